// Windows attributes and times of host files: the attributes, read-only included, are an extended
// attribute of the file (or, on a file system without them, a table of this process), so they hold
// for a process running as root; a host file the stand-in never marked is read-only when it has no
// write permission. The times are the host's.
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"

namespace jxplat {
namespace {

constexpr char kAttributeName[] = "user.jx.attributes";
constexpr DWORD kStoredMask = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kMarkedMask = kStoredMask | FILE_ATTRIBUTE_READONLY;
constexpr long long kSecondsFrom1601To1970 = 11644473600LL;

// Attributes of files on file systems without user extended attributes, by device and inode.
struct CFallbackStore {
    std::mutex lock;
    std::map<std::pair<dev_t, ino_t>, DWORD> values;
};

CFallbackStore& Fallback() {
    static CFallbackStore* store = new CFallbackStore; // lives until the process ends
    return *store;
}

} // namespace

namespace {

// The attribute word the stand-in keeps for a file or folder; false when it never marked it.
bool ReadMarked(const std::string& hostPath, const struct stat& status, DWORD& value) {
    unsigned char raw[4] = {};
    ssize_t got = ::getxattr(hostPath.c_str(), kAttributeName, raw, sizeof(raw));
    if (got == 4) {
        value = (raw[0] | raw[1] << 8 | raw[2] << 16 | static_cast<DWORD>(raw[3]) << 24) & kMarkedMask;
        return true;
    }
    if (got < 0 && errno == ENOTSUP) {
        CFallbackStore& store = Fallback();
        std::lock_guard<std::mutex> guard(store.lock);
        auto found = store.values.find({status.st_dev, status.st_ino});
        if (found != store.values.end()) {
            value = found->second;
            return true;
        }
    }
    return false;
}

} // namespace

DWORD StoredAttributes(const std::string& hostPath, const struct stat& status) {
    DWORD marked = 0;
    if (ReadMarked(hostPath, status, marked))
        return marked & kStoredMask;
    // Not marked by the stand-in: a file reads as Windows keeps a file that was written.
    return S_ISDIR(status.st_mode) ? 0 : FILE_ATTRIBUTE_ARCHIVE;
}

DWORD AttributesOf(const std::string& hostPath, const struct stat& status, const CHostEntry* entry) {
    DWORD marked = 0;
    DWORD attributes = 0;
    if (ReadMarked(hostPath, status, marked))
        attributes = marked; // read-only as the stand-in keeps it, whatever the host's permissions
    else if (S_ISDIR(status.st_mode))
        attributes = 0;
    else if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY; // a host file without write permission
    else
        attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (S_ISDIR(status.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    // A host symbolic link is what a symbolic link or junction is on Windows: a reparse point
    // with the attributes of its target.
    struct stat link {};
    if (entry && entry->known == CHostEntry::EKnown::Present)
        link = entry->status;
    else if (::lstat(hostPath.c_str(), &link) != 0)
        link.st_mode = 0;
    if (S_ISLNK(link.st_mode))
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool StoreAttributes(const std::string& hostPath, DWORD attributes, const struct stat* known) {
    struct stat status {};
    if (known)
        status = *known;
    else if (::stat(hostPath.c_str(), &status) != 0)
        return false;
    if (!S_ISDIR(status.st_mode)) {
        // The host's permission follows, for host tools; the stand-in reads its own mark.
        mode_t mode = status.st_mode & 07777;
        mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY)   ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                        : (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ? mode
                                                                 : (mode | S_IWUSR);
        if (wanted != mode && ::chmod(hostPath.c_str(), wanted) != 0)
            return false;
    }
    DWORD stored = attributes & kMarkedMask;
    unsigned char raw[4] = {static_cast<unsigned char>(stored), static_cast<unsigned char>(stored >> 8),
                            static_cast<unsigned char>(stored >> 16),
                            static_cast<unsigned char>(stored >> 24)};
    if (::setxattr(hostPath.c_str(), kAttributeName, raw, sizeof(raw), 0) == 0)
        return true;
    if (errno != ENOTSUP)
        return false;
    CFallbackStore& store = Fallback();
    std::lock_guard<std::mutex> guard(store.lock);
    store.values[{status.st_dev, status.st_ino}] = stored;
    return true;
}

void ForgetAttributes(const struct stat& status) {
    CFallbackStore& store = Fallback();
    std::lock_guard<std::mutex> guard(store.lock);
    store.values.erase({status.st_dev, status.st_ino});
}

FILETIME FileTimeFromTimespec(const struct timespec& time) {
    long long seconds = static_cast<long long>(time.tv_sec) + kSecondsFrom1601To1970;
    unsigned long long ticks =
        seconds < 0 ? 0 : static_cast<unsigned long long>(seconds) * 10000000ULL + time.tv_nsec / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct timespec TimespecFromFileTime(const FILETIME& time) {
    unsigned long long ticks =
        (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    struct timespec out {};
    out.tv_sec = static_cast<time_t>(static_cast<long long>(ticks / 10000000ULL) - kSecondsFrom1601To1970);
    out.tv_nsec = static_cast<long>((ticks % 10000000ULL) * 100);
    return out;
}

FILETIME CreationTimeOf(const std::string& hostPath, const struct stat& status) {
    struct statx extended {};
    if (::statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BTIME, &extended) == 0 &&
        (extended.stx_mask & STATX_BTIME)) {
        struct timespec birth {};
        birth.tv_sec = extended.stx_btime.tv_sec;
        birth.tv_nsec = extended.stx_btime.tv_nsec;
        return FileTimeFromTimespec(birth);
    }
    return FileTimeFromTimespec(status.st_mtim);
}

} // namespace jxplat

using namespace jxplat;

namespace {

// stat() of a mapped file; a failure sets the Windows error (file or path not found, ...).
bool StatOrFail(const std::string& host, const CHostEntry& entry, struct stat& status) {
    if (StatMapped(host, entry, status))
        return true;
    SetLastError(errno == ENOENT || errno == ENOTDIR ? MissingNameError(host, entry)
                                                     : Win32ErrorFromErrno(errno));
    return false;
}

} // namespace

DWORD GetFileAttributesW(LPCWSTR fileName) {
    std::string host;
    CHostEntry entry;
    if (!MapFileName(fileName, host, false, &entry))
        return INVALID_FILE_ATTRIBUTES;
    struct stat status {};
    if (!StatOrFail(host, entry, status))
        return INVALID_FILE_ATTRIBUTES;
    return AttributesOf(host, status, &entry);
}

BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS infoLevelId, LPVOID fileInformation) {
    if (infoLevelId != GetFileExInfoStandard || !fileInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string host;
    CHostEntry entry;
    if (!MapFileName(fileName, host, false, &entry))
        return FALSE;
    struct stat status {};
    if (!StatOrFail(host, entry, status))
        return FALSE;
    auto* data = static_cast<LPWIN32_FILE_ATTRIBUTE_DATA>(fileInformation);
    data->dwFileAttributes = AttributesOf(host, status, &entry);
    data->ftCreationTime = CreationTimeOf(host, status);
    data->ftLastAccessTime = FileTimeFromTimespec(status.st_atim);
    data->ftLastWriteTime = FileTimeFromTimespec(status.st_mtim);
    const unsigned long long size =
        S_ISDIR(status.st_mode) ? 0 : static_cast<unsigned long long>(status.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    return TRUE;
}

BOOL SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes) {
    std::string host;
    CHostEntry entry;
    if (!MapFileName(fileName, host, false, &entry))
        return FALSE;
    struct stat status {};
    if (!StatOrFail(host, entry, status))
        return FALSE;
    return StoreAttributes(host, fileAttributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL),
                           &status)
               ? TRUE
               : FailFromErrno();
}

BOOL SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                 const FILETIME* lastWriteTime) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    if (!object->CanWriteAttributes()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    struct timespec times[2] = {};
    times[0] = lastAccessTime ? TimespecFromFileTime(*lastAccessTime) : timespec{0, UTIME_OMIT};
    times[1] = lastWriteTime ? TimespecFromFileTime(*lastWriteTime) : timespec{0, UTIME_OMIT};
    return ::futimens(object->RawFd(), times) == 0 ? TRUE : FailFromErrno();
}

BOOL GetFileTime(HANDLE file, LPFILETIME creationTime, LPFILETIME lastAccessTime, LPFILETIME lastWriteTime) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    struct stat status {};
    if (::fstat(object->RawFd(), &status) != 0)
        return FailFromErrno();
    if (creationTime)
        *creationTime = CreationTimeOf(object->HostPath(), status);
    if (lastAccessTime)
        *lastAccessTime = FileTimeFromTimespec(status.st_atim);
    if (lastWriteTime)
        *lastWriteTime = FileTimeFromTimespec(status.st_mtim);
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    if (!information) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    struct stat status {};
    if (::fstat(object->RawFd(), &status) != 0)
        return FailFromErrno();
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = AttributesOf(object->HostPath(), status);
    information->ftCreationTime = CreationTimeOf(object->HostPath(), status);
    information->ftLastAccessTime = FileTimeFromTimespec(status.st_atim);
    information->ftLastWriteTime = FileTimeFromTimespec(status.st_mtim);
    information->dwVolumeSerialNumber = static_cast<DWORD>(status.st_dev);
    if (!S_ISDIR(status.st_mode)) {
        information->nFileSizeHigh =
            static_cast<DWORD>(static_cast<unsigned long long>(status.st_size) >> 32);
        information->nFileSizeLow = static_cast<DWORD>(status.st_size);
    }
    information->nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
    information->nFileIndexHigh = static_cast<DWORD>(static_cast<unsigned long long>(status.st_ino) >> 32);
    information->nFileIndexLow = static_cast<DWORD>(status.st_ino);
    return TRUE;
}
