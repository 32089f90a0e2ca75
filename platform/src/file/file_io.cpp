// Reading and writing through file handles, the file pointer and the file size.
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "core/faults.h"
#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"

using namespace jxplat;

namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

DWORD TransferError(int error) {
    return error == EISDIR ? ERROR_INVALID_FUNCTION : Win32ErrorFromErrno(error);
}

unsigned long long OverlappedOffset(const OVERLAPPED* overlapped) {
    return (static_cast<unsigned long long>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
}

// Moves the pointer to an absolute position; false with the last error set.
bool MoveTo(int fd, long long position) {
    if (position < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    if (::lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return false;
    }
    return true;
}

// The position that a move of `distance` by `method` reaches; false with the last error set.
bool TargetPosition(int fd, long long distance, DWORD method, long long& target) {
    long long base = 0;
    if (method == FILE_CURRENT) {
        base = ::lseek(fd, 0, SEEK_CUR);
    } else if (method == FILE_END) {
        struct stat status {};
        base = ::fstat(fd, &status) == 0 ? status.st_size : -1;
    } else if (method != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (base < 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return false;
    }
    target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    return true;
}

} // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
    if (bytesRead)
        *bytesRead = 0;
    if (!bytesRead && !overlapped)
        return Fail(ERROR_INVALID_PARAMETER);
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    if (!object->CanRead())
        return Fail(ERROR_ACCESS_DENIED);
    if (!buffer && bytesToRead)
        return Fail(ERROR_NOACCESS);
    auto* out = static_cast<char*>(buffer);
    const bool positional = overlapped != nullptr;
    const unsigned long long offset = positional ? OverlappedOffset(overlapped) : 0;
    DWORD total = 0;
    while (total < bytesToRead) {
        ssize_t got = positional ? ::pread(object->RawFd(), out + total, bytesToRead - total, offset + total)
                                 : ::read(object->Fd(), out + total, bytesToRead - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Fail(TransferError(errno));
        }
        if (got == 0)
            break;
        total += static_cast<DWORD>(got);
    }
    if (positional) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = total;
        object->LeavePointerAt(static_cast<long long>(offset + total));
    }
    if (bytesRead)
        *bytesRead = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten)
        *bytesWritten = 0;
    if (!bytesWritten && !overlapped)
        return Fail(ERROR_INVALID_PARAMETER);
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    if (!object->CanWrite())
        return Fail(ERROR_ACCESS_DENIED);
    if (!buffer && bytesToWrite)
        return Fail(ERROR_NOACCESS);
    const auto* in = static_cast<const char*>(buffer);
    bool positional = overlapped != nullptr;
    unsigned long long offset = positional ? OverlappedOffset(overlapped) : 0;
    if (positional && overlapped->Offset == 0xFFFFFFFFu && overlapped->OffsetHigh == 0xFFFFFFFFu) {
        // Offset all ones: write at the end of the file.
        struct stat status {};
        if (::fstat(object->RawFd(), &status) != 0)
            return Fail(Win32ErrorFromErrno(errno));
        offset = static_cast<unsigned long long>(status.st_size);
    }
    // A full disk of the machine's faults takes what still fits; at the kill point the program
    // ends once part of the data is down, leaving a cut file.
    DWORD fits = static_cast<DWORD>(ClaimDiskSpace(object->HostPath(), bytesToWrite));
    const bool killed = bytesToWrite > 0 && IsKillPointWrite(object->HostPath());
    if (killed)
        fits = std::min(fits, std::max<DWORD>(1, bytesToWrite / 2));
    DWORD total = 0;
    while (total < fits) {
        ssize_t put = positional ? ::pwrite(object->RawFd(), in + total, fits - total, offset + total)
                                 : ::write(object->Fd(), in + total, fits - total);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            if (bytesWritten)
                *bytesWritten = total;
            return Fail(TransferError(errno));
        }
        total += static_cast<DWORD>(put);
    }
    if (killed)
        EndAtKillPoint();
    if (total < bytesToWrite) {
        if (bytesWritten)
            *bytesWritten = total;
        return Fail(ERROR_DISK_FULL);
    }
    if (positional) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = total;
        object->LeavePointerAt(static_cast<long long>(offset + total));
    }
    if (bytesWritten)
        *bytesWritten = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return INVALID_SET_FILE_POINTER;
    long long move = distanceHigh
                         ? static_cast<long long>(
                               (static_cast<unsigned long long>(static_cast<DWORD>(*distanceHigh)) << 32) |
                               static_cast<DWORD>(distance))
                         : static_cast<long long>(distance);
    long long target = 0;
    if (!TargetPosition(object->Fd(), move, moveMethod, target))
        return INVALID_SET_FILE_POINTER;
    if (!distanceHigh && target > 0xFFFFFFFFLL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (!MoveTo(object->Fd(), target))
        return INVALID_SET_FILE_POINTER;
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<unsigned long long>(target) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer, DWORD moveMethod) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    long long target = 0;
    if (!TargetPosition(object->Fd(), distance.QuadPart, moveMethod, target))
        return FALSE;
    // Asking where the pointer is moves nothing.
    const bool query = moveMethod == FILE_CURRENT && distance.QuadPart == 0;
    if (!query && !MoveTo(object->Fd(), target))
        return FALSE;
    if (newPointer)
        newPointer->QuadPart = target;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return INVALID_FILE_SIZE;
    struct stat status {};
    if (::fstat(object->RawFd(), &status) != 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    unsigned long long size = static_cast<unsigned long long>(status.st_size);
    if (fileSizeHigh)
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER fileSize) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    if (!fileSize)
        return Fail(ERROR_INVALID_PARAMETER);
    struct stat status {};
    if (::fstat(object->RawFd(), &status) != 0)
        return Fail(Win32ErrorFromErrno(errno));
    fileSize->QuadPart = status.st_size;
    return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    if (!object->CanWrite())
        return Fail(ERROR_ACCESS_DENIED);
    off_t position = ::lseek(object->Fd(), 0, SEEK_CUR);
    if (position < 0 || ::ftruncate(object->Fd(), position) != 0)
        return Fail(Win32ErrorFromErrno(errno));
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    auto object = ReferenceFileHandle(file);
    if (!object)
        return FALSE;
    if (!object->CanWrite())
        return Fail(ERROR_ACCESS_DENIED);
    return ::fsync(object->RawFd()) == 0 ? TRUE : Fail(Win32ErrorFromErrno(errno));
}
