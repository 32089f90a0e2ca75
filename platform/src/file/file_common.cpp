// File handles as kernel objects, Windows names mapped to host paths, host errors as Win32 codes.
#include "file/file_common.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

namespace jxplat {

CFileObject::~CFileObject() {
    if (m_fd >= 0)
        ::close(m_fd);
    struct stat status {};
    if (m_deleteOnClose && ::stat(m_hostPath.c_str(), &status) == 0 && ::unlink(m_hostPath.c_str()) == 0)
        ForgetAttributes(status);
}

int CFileObject::Fd() const {
    const long long position = m_pendingPosition.exchange(-1);
    if (position >= 0)
        ::lseek(m_fd, static_cast<off_t>(position), SEEK_SET);
    return m_fd;
}

bool CFileObject::CanRead() const {
    return (m_access & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) != 0;
}

bool CFileObject::CanWrite() const {
    return (m_access & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL)) != 0;
}

bool CFileObject::CanWriteAttributes() const {
    return (m_access & (FILE_WRITE_ATTRIBUTES | GENERIC_WRITE | GENERIC_ALL)) != 0;
}

std::shared_ptr<CFileObject> ReferenceFileHandle(HANDLE handle) {
    auto file = ReferenceKernelHandleAs<CFileObject>(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool IsRefusedInName(char16_t c, bool wildcardsAllowed) {
    if (c < 32)
        return true;
    switch (c) {
    case u'<':
    case u'>':
    case u'"':
    case u'|':
    case u':':
        return true;
    case u'*':
    case u'?':
        return !wildcardsAllowed;
    default:
        return false;
    }
}

} // namespace

bool MapFileName(LPCWSTR fileName, std::string& hostPath, bool wildcardsInLastComponent, CHostEntry* entry) {
    CHostEntry ignored;
    CHostEntry& seen = entry ? *entry : ignored;
    seen = CHostEntry();
    if (!fileName || !*fileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    std::u16string_view name(fileName);
    size_t start = 0;
    if (name.size() >= 4 && IsSeparator(name[0]) && IsSeparator(name[1]) && name[2] == u'?' &&
        IsSeparator(name[3]))
        start = 4;
    if (name.size() >= start + 2 && name[start + 1] == u':')
        start += 2;
    size_t lastSeparator = name.find_last_of(u"\\/");
    size_t lastStart = lastSeparator == std::u16string_view::npos ? 0 : lastSeparator + 1;
    for (size_t i = start; i < name.size(); ++i) {
        if (IsSeparator(name[i]))
            continue;
        if (IsRefusedInName(name[i], wildcardsInLastComponent && i >= lastStart)) {
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
    }
    hostPath = WindowsToHostPath(RedirectedFileName(name), seen);
    if (hostPath.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

DWORD MissingNameError(const std::string& hostPath) {
    std::string folder = hostPath;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? std::string(".")
             : slash == 0               ? std::string("/")
                                        : folder.substr(0, slash);
    struct stat status {};
    return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                           : ERROR_PATH_NOT_FOUND;
}

DWORD MissingNameError(const std::string& hostPath, const CHostEntry& entry) {
    return entry.known == CHostEntry::EKnown::Missing ? ERROR_FILE_NOT_FOUND : MissingNameError(hostPath);
}

bool StatMapped(const std::string& hostPath, const CHostEntry& entry, struct stat& status, bool followLink) {
    if (entry.known == CHostEntry::EKnown::Missing) {
        errno = ENOENT;
        return false;
    }
    if (entry.known == CHostEntry::EKnown::Present && (!followLink || !S_ISLNK(entry.status.st_mode))) {
        status = entry.status;
        return true;
    }
    return (followLink ? ::stat(hostPath.c_str(), &status) : ::lstat(hostPath.c_str(), &status)) == 0;
}

DWORD Win32ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
        return ERROR_BUSY;
    case ENOTSUP:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

BOOL FailFromErrno() {
    SetLastError(Win32ErrorFromErrno(errno));
    return FALSE;
}

} // namespace jxplat
