// The file operations left for the next restart: PendingFileRenameOperations of the Session
// Manager key (native view), a REG_MULTI_SZ of pairs "\??\<source>", "\??\<target>" where an empty
// target deletes the source and a target beginning with "!" may replace an existing file.
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winreg.h"

namespace jxplat {
namespace {

constexpr char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char16_t kValueName[] = u"PendingFileRenameOperations";
constexpr std::u16string_view kNtPrefix = u"\\??\\";

// Serialises the read-modify-write of the value between the processes of the machine.
class CPendingLock {
public:
    CPendingLock() : m_fd(::open(MachinePath("pending.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~CPendingLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CPendingLock(const CPendingLock&) = delete;
    CPendingLock& operator=(const CPendingLock&) = delete;

private:
    int m_fd;
};

// The value's strings (empty ones included: an empty target is one); empty when it is missing.
LSTATUS ReadStrings(std::vector<std::u16string>& strings) {
    strings.clear();
    HKEY key = nullptr;
    LSTATUS status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExW(key, kValueName, nullptr, &type, nullptr, &size);
    std::u16string data((size + 1) / 2, u'\0');
    if (status == ERROR_SUCCESS && size > 0)
        status =
            RegQueryValueExW(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    data.resize(size / 2);
    // Pairs until a pair would begin with the closing terminator (a source is never empty).
    size_t at = 0;
    while (at < data.size() && data[at] != u'\0') {
        for (int part = 0; part < 2; ++part) {
            size_t end = data.find(u'\0', at);
            if (end == std::u16string::npos)
                end = data.size();
            strings.emplace_back(data.substr(at, end - at));
            at = end + 1;
        }
    }
    if (strings.size() % 2)
        strings.emplace_back();
    return ERROR_SUCCESS;
}

LSTATUS WriteStrings(const std::vector<std::u16string>& strings) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    std::u16string data;
    for (const std::u16string& text : strings) {
        data += text;
        data.push_back(u'\0');
    }
    data.push_back(u'\0');
    status = RegSetValueExW(key, kValueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size() * sizeof(char16_t)));
    RegCloseKey(key);
    return status;
}

LSTATUS DeleteValue() {
    HKEY key = nullptr;
    LSTATUS status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    status = RegDeleteValueW(key, kValueName);
    RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// The stored form of a path: "\??\" and a full path with backslashes. A path without a drive is
// on C:; a relative one has no meaning at the restart (there is no current folder then), so it is
// refused (empty) rather than resolved against whatever the restart would see.
std::u16string WithPrefix(std::u16string_view path) {
    std::u16string out(path);
    for (char16_t& c : out) {
        if (c == u'/')
            c = u'\\';
    }
    if (out.rfind(kNtPrefix, 0) == 0)
        return out;
    const bool hasDrive = out.size() >= 3 && out[1] == u':' && out[2] == u'\\';
    const bool onCurrentDrive = !out.empty() && out[0] == u'\\' && (out.size() < 2 || out[1] != u'\\');
    if (!hasDrive && !onCurrentDrive)
        return {};
    return std::u16string(kNtPrefix) + (onCurrentDrive ? u"C:" : u"") + out;
}

std::u16string WithoutPrefix(std::u16string_view path) {
    return std::u16string(path.rfind(kNtPrefix, 0) == 0 ? path.substr(kNtPrefix.size()) : path);
}

// A drive's root ("C:\") or the host's root: a restart never removes or replaces it.
bool IsRootFolder(std::u16string_view windowsPath) {
    std::u16string_view path = windowsPath;
    while (!path.empty() && (path.back() == u'\\' || path.back() == u'/'))
        path.remove_suffix(1);
    return path.size() <= 2;
}

bool CarryOut(const PendingFileOperation& operation) {
    const std::string source = WindowsToHostPath(operation.source);
    struct stat status {};
    if (source.empty() || IsRootFolder(operation.source))
        return false;
    if (::lstat(source.c_str(), &status) != 0)
        return operation.target.empty() && errno == ENOENT; // nothing left to delete
    if (operation.target.empty()) {
        if (::rmdir(source.c_str()) != 0 && (S_ISDIR(status.st_mode) || ::unlink(source.c_str()) != 0))
            return false;
        ForgetAttributes(status);
        return true;
    }
    const std::string target = WindowsToHostPath(operation.target);
    if (target.empty())
        return false;
    struct stat present {};
    const bool exists = ::lstat(target.c_str(), &present) == 0;
    if (exists && target != source && (!operation.replaceExisting || S_ISDIR(present.st_mode)))
        return false;
    if (::rename(source.c_str(), target.c_str()) != 0)
        return false;
    if (exists && target != source)
        ForgetAttributes(present);
    return true;
}

} // namespace

BOOL AppendPendingFileOperation(LPCWSTR source, LPCWSTR target, bool replaceExisting) {
    const MachineUser& user = Machine().user;
    if (!user.administrator || !user.elevated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const std::u16string storedSource = WithPrefix(source);
    const std::u16string storedTarget = target && *target ? WithPrefix(target) : std::u16string();
    if (storedSource.empty() || (target && *target && storedTarget.empty())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CPendingLock lock;
    std::vector<std::u16string> strings;
    LSTATUS status = ReadStrings(strings);
    if (status == ERROR_SUCCESS) {
        strings.push_back(storedSource);
        strings.push_back(storedTarget.empty() ? storedTarget
                                               : (replaceExisting ? u"!" : u"") + storedTarget);
        status = WriteStrings(strings);
    }
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

std::vector<PendingFileOperation> ReadPendingFileOperations() {
    std::vector<std::u16string> strings;
    std::vector<PendingFileOperation> operations;
    if (ReadStrings(strings) != ERROR_SUCCESS)
        return operations;
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        PendingFileOperation operation;
        operation.source = WithoutPrefix(strings[i]);
        std::u16string_view target = strings[i + 1];
        operation.replaceExisting = !target.empty() && target[0] == u'!';
        operation.target = WithoutPrefix(operation.replaceExisting ? target.substr(1) : target);
        operations.push_back(std::move(operation));
    }
    return operations;
}

bool CarryOutPendingFileOperations() {
    CPendingLock lock;
    bool all = true;
    for (const PendingFileOperation& operation : ReadPendingFileOperations())
        all = CarryOut(operation) && all;
    return DeleteValue() == ERROR_SUCCESS && all;
}

} // namespace jxplat
