// GetDiskFreeSpaceExW: the space of the host file system below the folder's mapped path.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/winerror.h"

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
    std::string host;
    if (!jxplat::MapFileName(directoryName ? directoryName : u".", host))
        return FALSE;
    struct stat status {};
    if (::stat(host.c_str(), &status) != 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : jxplat::Win32ErrorFromErrno(errno));
        return FALSE;
    }
    if (!S_ISDIR(status.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    struct statvfs volume {};
    if (::statvfs(host.c_str(), &volume) != 0)
        return jxplat::FailFromErrno();
    const ULONGLONG unit = volume.f_frsize ? volume.f_frsize : volume.f_bsize;
    if (freeBytesAvailableToCaller)
        freeBytesAvailableToCaller->QuadPart = ULONGLONG(volume.f_bavail) * unit;
    if (totalNumberOfBytes)
        totalNumberOfBytes->QuadPart = ULONGLONG(volume.f_blocks) * unit;
    if (totalNumberOfFreeBytes)
        totalNumberOfFreeBytes->QuadPart = ULONGLONG(volume.f_bfree) * unit;
    return TRUE;
}
