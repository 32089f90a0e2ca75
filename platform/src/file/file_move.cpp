// Moving and copying files: MoveFileExW (the delayed form goes to the pending operations),
// MoveFileW and CopyFileW.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/faults.h"
#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

using namespace jxplat;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool StatExisting(const std::string& host, const CHostEntry& entry, struct stat& status,
                  bool followLink = true) {
    if (StatMapped(host, entry, status, followLink))
        return true;
    SetLastError(errno == ENOENT || errno == ENOTDIR ? MissingNameError(host, entry)
                                                     : Win32ErrorFromErrno(errno));
    return false;
}

std::string FolderOf(const std::string& host) {
    size_t slash = host.find_last_of('/');
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : host.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

// At the machine's kill point a copy ends the program half-way, as a program killed inside a copy
// on Windows leaves it: the first half of the content in the target itself (a copy there writes
// into its target), nothing cleaned up.
[[noreturn]] void CopyPartAndEnd(int in, const struct stat& sourceStatus, const std::string& target) {
    const size_t half = std::max<size_t>(1, static_cast<size_t>(sourceStatus.st_size) / 2);
    size_t fits = ClaimDiskSpace(target, half);
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    char buffer[1 << 16];
    while (out >= 0 && fits > 0) {
        const ssize_t got = ::read(in, buffer, std::min(fits, sizeof(buffer)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || !WriteAll(out, buffer, static_cast<size_t>(got)))
            break;
        fits -= static_cast<size_t>(got);
    }
    EndAtKillPoint();
}

// Copies a file's content, Windows attributes and last-write time to a new file beside the target
// and renames that over the target, so that the target holds its old or its new content, never a
// part. Sets the last error and returns false on failure (nothing is left behind).
bool CopyHostFile(const std::string& source, const struct stat& sourceStatus, const std::string& target) {
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return FailFromErrno();
    if (sourceStatus.st_size > 0 && IsKillPointWrite(target))
        CopyPartAndEnd(in, sourceStatus, target);
    std::string temporary = FolderOf(target) + "/.jxcopy-XXXXXX";
    int out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (out < 0) {
        int error = errno;
        ::close(in);
        SetLastError(error == ENOENT || error == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(error));
        return false;
    }
    bool ok = true;
    // The source's known size is copied in the kernel (no pass through this process's memory); a
    // file system that cannot copy that way, or bytes beyond that size, go through reads and writes
    // from where the kernel copy stopped.
    constexpr size_t kKernelChunk = 1u << 20;
    size_t remaining = sourceStatus.st_size > 0 ? static_cast<size_t>(sourceStatus.st_size) : 0;
    while (remaining > 0) {
        const size_t want = std::min(remaining, kKernelChunk);
        // A full disk of the machine's faults: the copy fails and its part goes.
        if (ClaimDiskSpace(target, want) < want) {
            ok = false;
            errno = ENOSPC;
            break;
        }
        const ssize_t got = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                ok = false;
            break;
        }
        remaining -= static_cast<size_t>(got);
    }
    char buffer[1 << 16];
    while (ok) {
        ssize_t got = ::read(in, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        // A full disk of the machine's faults: the copy fails and its part goes.
        if (got > 0 && ClaimDiskSpace(target, static_cast<size_t>(got)) < static_cast<size_t>(got)) {
            ok = false;
            errno = ENOSPC;
            break;
        }
        if (got < 0 || (got > 0 && !WriteAll(out, buffer, static_cast<size_t>(got)))) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
    }
    int error = errno;
    ::close(in);
    if (ok) {
        struct timespec times[2] = {sourceStatus.st_atim, sourceStatus.st_mtim};
        ok = ::futimens(out, times) == 0;
        error = errno;
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    // A copy carries the source's attributes and is marked as written.
    if (ok && !StoreAttributes(temporary, (AttributesOf(source, sourceStatus) | FILE_ATTRIBUTE_ARCHIVE) &
                                              ~FILE_ATTRIBUTE_NORMAL)) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        SetLastError(Win32ErrorFromErrno(error));
    }
    return ok;
}

// The host path of the target with its last component spelled as the caller gave it (a rename that
// changes only the case of a name).
std::string WithNewCase(const std::string& host, LPCWSTR newFileName) {
    std::u16string_view name(newFileName);
    size_t separator = name.find_last_of(u"\\/");
    std::u16string_view last = separator == std::u16string_view::npos ? name : name.substr(separator + 1);
    return FolderOf(host) + "/" + jxtext::Utf16ToUtf8(last);
}

BOOL MoveNow(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
    std::string source;
    std::string target;
    CHostEntry sourceEntry;
    CHostEntry targetEntry;
    struct stat sourceStatus {};
    if (!MapFileName(existingFileName, source, false, &sourceEntry) ||
        !MapFileName(newFileName, target, false, &targetEntry) ||
        !StatExisting(source, sourceEntry, sourceStatus, false))
        return FALSE;
    if (ShareConflicts(sourceStatus, DELETE, kShareAll))
        return Fail(ERROR_SHARING_VIOLATION);

    struct stat targetStatus {};
    const bool targetExists = StatMapped(target, targetEntry, targetStatus, false);
    if (targetExists && source == target) {
        // The same name: only its case may change.
        std::string renamed = WithNewCase(source, newFileName);
        if (renamed != source && ::rename(source.c_str(), renamed.c_str()) != 0)
            return FailFromErrno();
        return TRUE;
    }
    if (targetExists) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING))
            return Fail(ERROR_ALREADY_EXISTS);
        if (S_ISDIR(targetStatus.st_mode) || S_ISDIR(sourceStatus.st_mode) ||
            (AttributesOf(target, targetStatus, &targetEntry) & FILE_ATTRIBUTE_READONLY))
            return Fail(ERROR_ACCESS_DENIED);
        if (ShareConflicts(targetStatus, DELETE, kShareAll))
            return Fail(ERROR_SHARING_VIOLATION);
    }
    if (::rename(source.c_str(), target.c_str()) == 0) {
        if (targetExists)
            ForgetAttributes(targetStatus);
        return TRUE;
    }
    if (errno == ENOENT || errno == ENOTDIR)
        return Fail(ERROR_PATH_NOT_FOUND);
    if (errno != EXDEV)
        return FailFromErrno();
    if (!(flags & MOVEFILE_COPY_ALLOWED) || S_ISDIR(sourceStatus.st_mode) || !S_ISREG(sourceStatus.st_mode))
        return Fail(ERROR_NOT_SAME_DEVICE);
    if (!CopyHostFile(source, sourceStatus, target))
        return FALSE;
    if (targetExists)
        ForgetAttributes(targetStatus);
    // The target is complete; a source that cannot go is reported, as Windows does.
    if (::unlink(source.c_str()) != 0)
        return FailFromErrno();
    ForgetAttributes(sourceStatus);
    return TRUE;
}

} // namespace

BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
    if (!existingFileName || !*existingFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        if (flags & MOVEFILE_COPY_ALLOWED)
            return Fail(ERROR_INVALID_PARAMETER);
        return jxplat::AppendPendingFileOperation(existingFileName, newFileName,
                                                  (flags & MOVEFILE_REPLACE_EXISTING) != 0);
    }
    if (!newFileName || !*newFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    return MoveNow(existingFileName, newFileName, flags);
}

BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
    return MoveFileExW(existingFileName, newFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
    std::string source;
    std::string target;
    CHostEntry sourceEntry;
    CHostEntry targetEntry;
    struct stat sourceStatus {};
    if (!MapFileName(existingFileName, source, false, &sourceEntry) ||
        !MapFileName(newFileName, target, false, &targetEntry) ||
        !StatExisting(source, sourceEntry, sourceStatus))
        return FALSE;
    if (S_ISDIR(sourceStatus.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    if (ShareConflicts(sourceStatus, FILE_READ_DATA, FILE_SHARE_READ))
        return Fail(ERROR_SHARING_VIOLATION);

    struct stat targetStatus {};
    const bool targetExists = StatMapped(target, targetEntry, targetStatus);
    if (targetExists) {
        if (failIfExists)
            return Fail(ERROR_FILE_EXISTS);
        if (targetStatus.st_dev == sourceStatus.st_dev && targetStatus.st_ino == sourceStatus.st_ino)
            return Fail(ERROR_SHARING_VIOLATION);
        const DWORD present = AttributesOf(target, targetStatus, &targetEntry);
        const DWORD carried = AttributesOf(source, sourceStatus, &sourceEntry);
        if (S_ISDIR(targetStatus.st_mode) || (present & FILE_ATTRIBUTE_READONLY) ||
            (present & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) & ~carried))
            return Fail(ERROR_ACCESS_DENIED);
        // The target is opened for writing without sharing.
        if (ShareConflicts(targetStatus, FILE_WRITE_DATA | DELETE, 0))
            return Fail(ERROR_SHARING_VIOLATION);
    }
    if (!CopyHostFile(source, sourceStatus, target))
        return FALSE;
    if (targetExists)
        ForgetAttributes(targetStatus);
    return TRUE;
}
