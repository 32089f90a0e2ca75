// FindFirstFileW and its search handles: a search lists its matches when it starts.
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"

using namespace jxplat;

namespace {

class CFindObject : public CKernelObject {
public:
    std::vector<WIN32_FIND_DATAW> matches;
    size_t next = 0;
};

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool Describe(const std::string& hostPath, const CHostEntry& entry, const std::u16string& name,
              WIN32_FIND_DATAW& data) {
    struct stat status {};
    if (!StatMapped(hostPath, entry, status) || name.size() >= MAX_PATH)
        return false;
    data = WIN32_FIND_DATAW{};
    data.dwFileAttributes = AttributesOf(hostPath, status, &entry);
    data.ftCreationTime = CreationTimeOf(hostPath, status);
    data.ftLastAccessTime = FileTimeFromTimespec(status.st_atim);
    data.ftLastWriteTime = FileTimeFromTimespec(status.st_mtim);
    if (!S_ISDIR(status.st_mode)) {
        data.nFileSizeHigh = static_cast<DWORD>(static_cast<unsigned long long>(status.st_size) >> 32);
        data.nFileSizeLow = static_cast<DWORD>(status.st_size);
    }
    std::copy(name.begin(), name.end(), data.cFileName);
    return true;
}

std::u16string BaseName(const std::string& hostPath) {
    size_t slash = hostPath.find_last_of('/');
    return jxtext::Utf8ToUtf16(slash == std::string::npos ? hostPath : hostPath.substr(slash + 1));
}

} // namespace

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findFileData) {
    std::string host;
    CHostEntry entry;
    if (!findFileData)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!MapFileName(fileName, host, true, &entry))
        return INVALID_HANDLE_VALUE;
    std::u16string_view name(fileName);
    size_t separator = name.find_last_of(u"\\/");
    std::u16string_view folder =
        separator == std::u16string_view::npos ? std::u16string_view() : name.substr(0, separator + 1);
    std::u16string_view pattern = separator == std::u16string_view::npos ? name : name.substr(separator + 1);
    if (pattern.empty())
        return Fail(ERROR_FILE_NOT_FOUND);

    auto search = std::make_shared<CFindObject>();
    if (pattern.find_first_of(u"*?") == std::u16string_view::npos) {
        WIN32_FIND_DATAW data;
        if (!Describe(host, entry, BaseName(host), data))
            return Fail(MissingNameError(host, entry));
        search->matches.push_back(data);
    } else {
        std::string folderHost = folder.empty() ? std::string(".") : WindowsToHostPath(folder);
        DIR* dir = folderHost.empty() ? nullptr : ::opendir(folderHost.c_str());
        if (!dir)
            return Fail(ERROR_PATH_NOT_FOUND);
        const std::u16string wanted = pattern == u"*.*" ? std::u16string(u"*") : std::u16string(pattern);
        // A drive's root has no "." and "..".
        size_t afterDrive = folder.size() >= 2 && folder[1] == u':' ? 2 : 0;
        const bool driveRoot = folder.size() == afterDrive + 1 && IsSeparator(folder[afterDrive]);
        std::vector<std::pair<std::u16string, std::u16string>> names; // folded, own
        while (dirent* entry = ::readdir(dir)) {
            std::u16string own = jxtext::Utf8ToUtf16(entry->d_name);
            if ((own == u"." || own == u"..") && driveRoot)
                continue;
            if (jxtext::MatchesWildcard(own, wanted))
                names.emplace_back(own == u"." || own == u".." ? own : u"/" + jxtext::Fold(own), own);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (const auto& [folded, own] : names) {
            WIN32_FIND_DATAW data;
            if (Describe(folderHost + "/" + jxtext::Utf16ToUtf8(own), CHostEntry(), own, data))
                search->matches.push_back(data);
        }
        if (search->matches.empty())
            return Fail(ERROR_FILE_NOT_FOUND);
    }
    *findFileData = search->matches[0];
    search->next = 1;
    return InsertKernelHandle(search);
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findFileData) {
    auto search = ReferenceKernelHandleAs<CFindObject>(findFile);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->matches.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findFileData = search->matches[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (!ReferenceKernelHandleAs<CFindObject>(findFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(findFile);
}
