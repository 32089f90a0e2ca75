// Deleting files, creating and removing folders.
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"

using namespace jxplat;

namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The status of an existing name; false with the Windows error of a missing one.
bool StatExisting(const std::string& host, const CHostEntry& entry, struct stat& status) {
    if (StatMapped(host, entry, status))
        return true;
    SetLastError(errno == ENOENT || errno == ENOTDIR ? MissingNameError(host, entry)
                                                     : Win32ErrorFromErrno(errno));
    return false;
}

bool IsSymbolicLink(const std::string& host, const CHostEntry& entry) {
    struct stat link {};
    return StatMapped(host, entry, link, false) && S_ISLNK(link.st_mode);
}

} // namespace

BOOL DeleteFileW(LPCWSTR fileName) {
    std::string host;
    CHostEntry entry;
    struct stat status {};
    if (!MapFileName(fileName, host, false, &entry) || !StatExisting(host, entry, status))
        return FALSE;
    if (S_ISDIR(status.st_mode) || (AttributesOf(host, status, &entry) & FILE_ATTRIBUTE_READONLY))
        return Fail(ERROR_ACCESS_DENIED);
    if (ShareConflicts(status, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return Fail(ERROR_SHARING_VIOLATION);
    const bool link = IsSymbolicLink(host, entry);
    if (::unlink(host.c_str()) != 0)
        return FailFromErrno();
    if (!link) // the link's target keeps its attributes
        ForgetAttributes(status);
    return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES attributes) {
    std::string host;
    if (!MapFileName(pathName, host))
        return FALSE;
    if (::mkdir(host.c_str(), 0777) == 0)
        return TRUE;
    if (errno == EEXIST)
        return Fail(ERROR_ALREADY_EXISTS);
    return Fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
}

BOOL RemoveDirectoryW(LPCWSTR pathName) {
    std::string host;
    CHostEntry entry;
    struct stat status {};
    if (!MapFileName(pathName, host, false, &entry) || !StatExisting(host, entry, status))
        return FALSE;
    if (!S_ISDIR(status.st_mode))
        return Fail(ERROR_DIRECTORY);
    // A link to a folder (a junction on Windows) is removed itself; its target stays as it is.
    if (IsSymbolicLink(host, entry))
        return ::unlink(host.c_str()) == 0 ? TRUE : FailFromErrno();
    if (ShareConflicts(status, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return Fail(ERROR_SHARING_VIOLATION);
    if (::rmdir(host.c_str()) != 0)
        return FailFromErrno();
    ForgetAttributes(status);
    return TRUE;
}
