// CreateFileW: opening and creating files and folders with the Windows dispositions and checks.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device/device.h"
#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"

using namespace jxplat;

namespace {

constexpr DWORD kAttributeFlags = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD ExpandGenericAccess(DWORD access) {
    if (access & (GENERIC_READ | GENERIC_ALL))
        access |= FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA;
    if (access & (GENERIC_WRITE | GENERIC_ALL))
        access |= FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA;
    return access;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenFolder(const std::string& host, DWORD access, DWORD shareMode, DWORD disposition, DWORD flags) {
    if (disposition == CREATE_NEW)
        return Fail(ERROR_FILE_EXISTS);
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_ALWAYS ||
        disposition == TRUNCATE_EXISTING)
        return Fail(ERROR_ACCESS_DENIED);
    int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Fail(Win32ErrorFromErrno(errno));
    struct stat status {};
    bool conflict = false;
    std::shared_ptr<void> share;
    if (::fstat(fd, &status) == 0)
        share = AcquireShare(status, access, shareMode, conflict);
    if (conflict) {
        ::close(fd);
        return Fail(ERROR_SHARING_VIOLATION);
    }
    auto object = std::make_shared<CFileObject>(fd, host, access, false);
    object->HoldShare(std::move(share));
    HANDLE handle = InsertKernelHandle(object);
    SetLastError(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

} // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
    if (fileName && IsDevicePath(fileName))
        return OpenDevice(fileName);
    std::string host;
    CHostEntry entry;
    if (!MapFileName(fileName, host, false, &entry))
        return INVALID_HANDLE_VALUE;
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER);
    const DWORD access =
        ExpandGenericAccess(desiredAccess) | ((flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) ? DELETE : 0u);
    const bool writesData = (access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;

    struct stat status {};
    const bool exists = StatMapped(host, entry, status);
    if (!exists && errno != ENOENT)
        return Fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
    if (exists && S_ISDIR(status.st_mode))
        return OpenFolder(host, access, shareMode, creationDisposition, flagsAndAttributes);

    const bool truncates =
        exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING);
    if (exists) {
        if (creationDisposition == CREATE_NEW)
            return Fail(ERROR_FILE_EXISTS);
        const DWORD present = AttributesOf(host, status, &entry);
        if ((present & FILE_ATTRIBUTE_READONLY) && (writesData || truncates))
            return Fail(ERROR_ACCESS_DENIED);
        // Windows refuses to overwrite a hidden or system file unless the caller asks for the same.
        if (creationDisposition == CREATE_ALWAYS &&
            (present & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~flagsAndAttributes))
            return Fail(ERROR_ACCESS_DENIED);
        if (creationDisposition == TRUNCATE_EXISTING && !writesData)
            return Fail(ERROR_INVALID_PARAMETER);
        // Checked before the open, which may truncate.
        if (ShareConflicts(status, access, shareMode))
            return Fail(ERROR_SHARING_VIOLATION);
    } else if (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING) {
        return Fail(MissingNameError(host, entry));
    }

    int openFlags = O_CLOEXEC;
    openFlags |= (writesData || truncates || !exists) ? O_RDWR : O_RDONLY;
    if (!exists)
        openFlags |= O_CREAT | O_EXCL;
    if (truncates)
        openFlags |= O_TRUNC;
    int fd = ::open(host.c_str(), openFlags, 0666);
    if (fd < 0)
        return Fail(errno == ENOENT ? MissingNameError(host) : Win32ErrorFromErrno(errno));

    struct stat opened {};
    const bool described = ::fstat(fd, &opened) == 0;
    if (!exists || creationDisposition == CREATE_ALWAYS) {
        // A written file carries the archive attribute besides what the caller asked for.
        DWORD stored = (flagsAndAttributes & kAttributeFlags) | FILE_ATTRIBUTE_ARCHIVE;
        if (exists)
            stored |= StoredAttributes(host, status);
        if (!StoreAttributes(host, stored, described ? &opened : nullptr)) {
            DWORD error = Win32ErrorFromErrno(errno);
            ::close(fd);
            if (!exists)
                ::unlink(host.c_str());
            return Fail(error);
        }
    }
    bool conflict = false;
    std::shared_ptr<void> share;
    if (described)
        share = AcquireShare(opened, access, shareMode, conflict);
    if (conflict) {
        ::close(fd);
        if (!exists)
            ::unlink(host.c_str());
        return Fail(ERROR_SHARING_VIOLATION);
    }
    auto object = std::make_shared<CFileObject>(fd, host, access,
                                                (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0);
    object->HoldShare(std::move(share));
    HANDLE handle = InsertKernelHandle(object);
    const bool reportsExisting =
        exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}
