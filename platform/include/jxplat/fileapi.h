// Files, folders, searches and memory-mapped views of the stand-in, with the Win32 names, flags,
// error codes and last-error behaviour. Windows paths are mapped to host files below the machine
// root (jxplat::WindowsToHostPath); names match ignoring case.
//
// What the host cannot keep is kept beside it: the file attributes, read-only included, live in the
// extended attribute "user.jx.attributes" (so they hold for a process running as root too; an
// unmarked host file is read-only when it has no write permission); a file has no settable
// creation time (its birth time is reported where the host keeps one, else its last-write time).
// Share modes are honoured between the handles of one process (ERROR_SHARING_VIOLATION).
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"
#include "jxplat/winnt.h"

// Error codes of the file calls that the common list does not have.
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_NEGATIVE_SEEK
#define ERROR_NEGATIVE_SEEK 131L
#endif
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif
#ifndef ERROR_MAPPED_ALIGNMENT
#define ERROR_MAPPED_ALIGNMENT 1132L
#endif

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

// ---- Access, sharing, creation ----------------------------------------------------------------

#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_EA 0x0008u
#define FILE_WRITE_EA 0x0010u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u // a host symbolic link reads as one
#define FILE_ATTRIBUTE_OFFLINE 0x00001000u
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x00002000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u // handles are synchronous here: overlapped calls complete at once
#define FILE_FLAG_WRITE_THROUGH 0x80000000u

// Opens or creates a file (or, with FILE_FLAG_BACKUP_SEMANTICS, a folder). As on Windows:
// CREATE_ALWAYS and OPEN_ALWAYS on an existing file succeed with ERROR_ALREADY_EXISTS as last
// error; CREATE_ALWAYS or TRUNCATE_EXISTING of a file that is hidden or system while the call
// does not ask for the same attributes fails with ERROR_ACCESS_DENIED, and so does write access to
// a read-only file; a folder without FILE_FLAG_BACKUP_SEMANTICS is ERROR_ACCESS_DENIED; a missing
// file is ERROR_FILE_NOT_FOUND and a missing folder on the way ERROR_PATH_NOT_FOUND.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

// ---- Reading, writing, the file pointer -------------------------------------------------------

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

// Handles are synchronous: with an OVERLAPPED the transfer happens at its offset (as one
// positional read or write, so threads that share a handle do not race on the pointer) and the
// file pointer is left after it. A read at or past the end succeeds with 0 bytes.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
// Returns the new low part (and high part through distanceHigh), INVALID_SET_FILE_POINTER with a
// last error on failure (ERROR_NEGATIVE_SEEK before the start); a success whose low part is
// 0xFFFFFFFF sets the last error to 0.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer, DWORD moveMethod);
// INVALID_FILE_SIZE with the last error on failure; a size whose low part is 0xFFFFFFFF sets it to 0.
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER fileSize);
// The end of the file moves to the file pointer.
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);

// ---- Times and attributes ---------------------------------------------------------------------

// A null time is left unchanged; the creation time cannot be set (accepted and ignored).
// Needs FILE_WRITE_ATTRIBUTES (or GENERIC_WRITE) access.
BOOL SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                 const FILETIME* lastWriteTime);
BOOL GetFileTime(HANDLE file, LPFILETIME creationTime, LPFILETIME lastAccessTime, LPFILETIME lastWriteTime);

DWORD GetFileAttributesW(LPCWSTR fileName);

typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

// The volume serial number and the file index identify one file-system object: two handles on
// the same file or folder answer the same pair.
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel } GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;

// Only GetFileExInfoStandard (else ERROR_INVALID_PARAMETER); a folder has size 0.
BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS infoLevelId, LPVOID fileInformation);
// FILE_ATTRIBUTE_NORMAL alone clears the others; FILE_ATTRIBUTE_DIRECTORY is ignored.
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes);

// ---- Names and folders -------------------------------------------------------------------------

// Fails with ERROR_ACCESS_DENIED for a read-only file or a folder, ERROR_SHARING_VIOLATION for a
// file open without FILE_SHARE_DELETE.
BOOL DeleteFileW(LPCWSTR fileName);

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

// Renames a file or folder (a folder only on the same volume). An existing target is
// ERROR_ALREADY_EXISTS unless MOVEFILE_REPLACE_EXISTING, which replaces a file but never a folder
// or a read-only file (ERROR_ACCESS_DENIED). A source or target open without FILE_SHARE_DELETE is
// ERROR_SHARING_VIOLATION. Across volumes a file is copied and the source deleted only with
// MOVEFILE_COPY_ALLOWED (else ERROR_NOT_SAME_DEVICE).
// MOVEFILE_DELAY_UNTIL_REBOOT moves nothing now: it appends the pair "\??\<source>" and
// "\??\<target>" ("!" before it with MOVEFILE_REPLACE_EXISTING; empty with a null target, which
// deletes the source) to PendingFileRenameOperations (REG_MULTI_SZ of
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager); it needs an elevated administrator
// (ERROR_ACCESS_DENIED) and cannot be combined with MOVEFILE_COPY_ALLOWED (ERROR_INVALID_PARAMETER).
// A name without a drive is on C:; a relative name is ERROR_INVALID_PARAMETER (the restart has no
// current folder to resolve it against).
BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
// MoveFileExW with MOVEFILE_COPY_ALLOWED.
BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName);
// Copies the content, the attributes and the last-write time. With failIfExists an existing target
// is ERROR_FILE_EXISTS; a read-only target, or a hidden or system one the source is not, is
// ERROR_ACCESS_DENIED; a target open without sharing is ERROR_SHARING_VIOLATION. The copy is
// written beside the target and renamed over it, so a failure never leaves the target half-written.
BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
// ERROR_ALREADY_EXISTS when the name exists, ERROR_PATH_NOT_FOUND when the parent is missing.
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES attributes);
// ERROR_DIR_NOT_EMPTY for a folder with entries, ERROR_SHARING_VIOLATION for one open without
// FILE_SHARE_DELETE.
BOOL RemoveDirectoryW(LPCWSTR pathName);

// ---- Searches ------------------------------------------------------------------------------------

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// The last component may hold "*" and "?" ("*.*" matches every name, as on Windows); names match
// ignoring case and come in the order of their upper-case forms; a folder other than a drive's
// root also lists "." and "..". No match is ERROR_FILE_NOT_FOUND, a missing folder
// ERROR_PATH_NOT_FOUND; FindNextFileW after the last match fails with ERROR_NO_MORE_FILES.
HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findFileData);
BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findFileData);
BOOL FindClose(HANDLE findFile);

// ---- Temporary files ---------------------------------------------------------------------------

// The user's temporary folder "C:\Users\<user>\AppData\Local\Temp\" (made on first use). Returns
// the length without the terminator, or the size needed (with it) when the buffer is too small.
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);
// "<path>\<up to three characters of prefix><hex number>.TMP". With unique 0 the number is chosen
// and the file created empty (ERROR_FILE_EXISTS is never returned for it); otherwise only the name
// is formed. Returns the number, 0 on failure.
UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefixString, UINT unique, LPWSTR tempFileName);

// Space of the volume that holds the folder (null: the current folder), from the host file system
// below the machine root: free bytes for the caller, total bytes, free bytes. Each pointer may be
// null. A missing folder fails with ERROR_PATH_NOT_FOUND, a file with ERROR_DIRECTORY.
BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes);

// Kinds of drive (GetDriveTypeW).
#define DRIVE_UNKNOWN 0u
#define DRIVE_NO_ROOT_DIR 1u
#define DRIVE_REMOVABLE 2u
#define DRIVE_FIXED 3u
#define DRIVE_REMOTE 4u
#define DRIVE_CDROM 5u
#define DRIVE_RAMDISK 6u

// The kind of the drive whose root is named ("C:\" or "C:"; null: the system drive C:). A
// drive of the machine (a "drive_<letter>" folder below the machine root) is DRIVE_FIXED; the host's
// drive Z: is DRIVE_REMOTE (its files are outside the machine); any other letter, a share or a text
// that names no root is DRIVE_NO_ROOT_DIR.
UINT GetDriveTypeW(LPCWSTR rootPathName);

// ---- Memory-mapped views -----------------------------------------------------------------------

#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define FILE_MAP_COPY 0x0001u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u

typedef struct _SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

// A 32-bit x86 process: page size 4096, allocation granularity 65536 (the unit of view offsets).
void GetSystemInfo(LPSYSTEM_INFO systemInfo);

// Unnamed mappings of a file handle. A maximum size of 0 is the file's size; mapping an empty file
// that way fails with ERROR_FILE_INVALID. PAGE_READONLY needs read access, PAGE_READWRITE read and
// write access and may grow the file to the maximum size.
HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCWSTR name);
// The offset must be a multiple of the allocation granularity (ERROR_MAPPED_ALIGNMENT); 0 bytes maps
// to the end of the mapping; a view past it is ERROR_ACCESS_DENIED. A view stays valid after the
// mapping handle is closed, until UnmapViewOfFile.
LPVOID MapViewOfFile(HANDLE fileMappingObject, DWORD desiredAccess, DWORD fileOffsetHigh, DWORD fileOffsetLow,
                     SIZE_T numberOfBytesToMap);
LPVOID MapViewOfFileEx(HANDLE fileMappingObject, DWORD desiredAccess, DWORD fileOffsetHigh,
                       DWORD fileOffsetLow, SIZE_T numberOfBytesToMap, LPVOID baseAddress);
BOOL UnmapViewOfFile(LPCVOID baseAddress);

// ---- COM task memory (the allocator of texts handed out by IStream::Stat) -----------------------

LPVOID CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(LPVOID memory);

// ---- File-system redirection of the 32-bit process on 64-bit Windows --------------------------

// On 64-bit Windows the process is a 32-bit program: in the file calls, C:\Windows\System32 is
// C:\Windows\SysWOW64 (except catroot, catroot2, drivers\etc, logfiles and spool below it) and
// C:\Windows\Sysnative is the real System32, until the calling thread switches redirection off.
// Disable hands back the thread's previous state, Revert restores it. On a 32-bit machine both
// fail with ERROR_INVALID_FUNCTION.
BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue);
BOOL Wow64RevertWow64FsRedirection(PVOID oldValue);
// True on a 64-bit machine (the description's is64Bit) for every process of the engine.
BOOL IsWow64Process(HANDLE process, BOOL* wow64Process);

// ---- Operations at the next restart -------------------------------------------------------------

namespace jxplat {

// One entry of PendingFileRenameOperations, without the "\??\" prefixes: an empty target deletes
// the source; replaceExisting is the "!" of the target.
struct PendingFileOperation {
    std::u16string source;
    std::u16string target;
    bool replaceExisting = false;
};

// The pending operations in order (none when the value is missing or empty).
std::vector<PendingFileOperation> ReadPendingFileOperations();
// What a restart does with them: carries out each in order (a rename onto an existing target only
// with replaceExisting; a delete of a folder only when it is empty), ignoring open handles and
// read-only attributes as the system does at boot, then removes the value. Returns false when one
// of them could not be carried out (the others are still done, and the value is removed).
bool CarryOutPendingFileOperations();

} // namespace jxplat
