// What the file calls share: the kernel object behind a file handle, the mapping of Windows names
// to host paths with the Windows name errors, host errors as Win32 codes, and the Windows
// attributes and times of host files.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "core/paths.h"
#include "jxplat/fileapi.h"
#include "kernel/objects.h"

namespace jxplat {

// An open file or folder. The host descriptor carries the file pointer.
class CFileObject : public CKernelObject {
public:
    CFileObject(int fd, std::string hostPath, DWORD access, bool deleteOnClose)
        : m_fd(fd), m_hostPath(std::move(hostPath)), m_access(access), m_deleteOnClose(deleteOnClose) {}
    ~CFileObject() override;

    // The descriptor with the file pointer where the last call left it.
    int Fd() const;
    // The descriptor for calls that neither use nor move the file pointer (positional transfers,
    // status).
    int RawFd() const { return m_fd; }
    // Where a positional transfer leaves the file pointer: it is moved there when a call next uses
    // the pointer, so that transfers in a row do not each move it.
    void LeavePointerAt(long long position) { m_pendingPosition.store(position); }
    const std::string& HostPath() const { return m_hostPath; }
    bool CanRead() const;
    bool CanWrite() const;
    bool CanWriteAttributes() const;
    // Keeps this handle's entry in the share table until the handle goes.
    void HoldShare(std::shared_ptr<void> token) { m_share = std::move(token); }

private:
    int m_fd;
    std::string m_hostPath;
    DWORD m_access; // generic rights already expanded
    bool m_deleteOnClose;
    mutable std::atomic<long long> m_pendingPosition{-1}; // -1: the descriptor's pointer is current
    std::shared_ptr<void> m_share;                        // released after the descriptor is closed
};

// The file object behind a handle; null with ERROR_INVALID_HANDLE for anything else.
std::shared_ptr<CFileObject> ReferenceFileHandle(HANDLE handle);

// The name as the calling thread's file calls see it: with System32 redirected for the 32-bit
// process on 64-bit Windows while the thread has not switched redirection off.
bool FileSystemRedirectionActive();
std::u16string RedirectedFileName(std::u16string_view name);

// Maps a Windows file name (after redirection) to its host path. Sets the last error and returns false for a
// null or empty name, a name that cannot be mapped (ERROR_PATH_NOT_FOUND) or one with characters Windows
// refuses in names (ERROR_INVALID_NAME); wildcards are allowed in the last component on request.
// With `entry`, tells what the mapping learnt of the host path (see CHostEntry).
bool MapFileName(LPCWSTR fileName, std::string& hostPath, bool wildcardsInLastComponent = false,
                 CHostEntry* entry = nullptr);
// stat() (or lstat() without followLink) of a mapped host path, answered from what its mapping saw
// where that tells it; false with errno as the call would set it.
bool StatMapped(const std::string& hostPath, const CHostEntry& entry, struct stat& status,
                bool followLink = true);
// The error of a name that does not exist: ERROR_FILE_NOT_FOUND when its folder exists, else
// ERROR_PATH_NOT_FOUND.
DWORD MissingNameError(const std::string& hostPath);
DWORD MissingNameError(const std::string& hostPath, const CHostEntry& entry);
// A host errno as a Win32 error code.
DWORD Win32ErrorFromErrno(int error);
// Sets the last error from errno and returns false.
BOOL FailFromErrno();

// Windows attributes of a host file or folder with its status; the stored attributes are those
// Windows keeps besides read-only and folder. `entry`, when its mapping saw the path, tells whether
// the path is a link.
DWORD AttributesOf(const std::string& hostPath, const struct stat& status, const CHostEntry* entry = nullptr);
DWORD StoredAttributes(const std::string& hostPath, const struct stat& status);
// Stores the attributes (read-only as the write permission); false with errno on failure. `known`
// is the file's status when the caller has just taken it.
bool StoreAttributes(const std::string& hostPath, DWORD attributes, const struct stat* known = nullptr);
// Forgets what is kept of a file or folder that was deleted (its status taken before).
void ForgetAttributes(const struct stat& status);

// Share modes: whether an open of the file with this (expanded) access and share mode would
// conflict with the open handles of this process; AcquireShare records such an open and returns its
// token (null for an open without data or delete access, or with conflict set).
bool ShareConflicts(const struct stat& status, DWORD access, DWORD shareMode);
std::shared_ptr<void> AcquireShare(const struct stat& status, DWORD access, DWORD shareMode, bool& conflict);

// Appends one operation for the next restart to PendingFileRenameOperations (a null or empty
// target deletes the source). Needs an elevated administrator; sets the last error on failure.
BOOL AppendPendingFileOperation(LPCWSTR source, LPCWSTR target, bool replaceExisting);

FILETIME FileTimeFromTimespec(const struct timespec& time);
struct timespec TimespecFromFileTime(const FILETIME& time);
// Birth time where the host keeps one, else the last-write time.
FILETIME CreationTimeOf(const std::string& hostPath, const struct stat& status);

} // namespace jxplat
