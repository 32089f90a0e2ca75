// Process dumps (MiniDumpWriteDump). The stand-in writes the minidump container of Windows: the
// header, the stream directory, the system information (from the machine description), the thread
// list and the module list of the process (read from /proc), and the exception stream when
// exception information is given. It writes no memory ranges and no thread contexts whatever the
// dump type asks for; the dump type is kept in the header's flags. Only the calling process itself
// (GetCurrentProcess() or its own id) and processes of the machine's process table can be dumped:
// a handle of OpenProcess or CreateProcessW whose process still runs.
#pragma once

#include "jxplat/excpt.h"
#include "jxplat/wintypes.h"

typedef enum _MINIDUMP_TYPE {
    MiniDumpNormal = 0x00000000,
    MiniDumpWithDataSegs = 0x00000001,
    MiniDumpWithFullMemory = 0x00000002,
    MiniDumpWithHandleData = 0x00000004,
    MiniDumpFilterMemory = 0x00000008,
    MiniDumpScanMemory = 0x00000010,
    MiniDumpWithUnloadedModules = 0x00000020,
    MiniDumpWithIndirectlyReferencedMemory = 0x00000040,
    MiniDumpFilterModulePaths = 0x00000080,
    MiniDumpWithProcessThreadData = 0x00000100,
    MiniDumpWithPrivateReadWriteMemory = 0x00000200,
    MiniDumpWithoutOptionalData = 0x00000400,
    MiniDumpWithFullMemoryInfo = 0x00000800,
    MiniDumpWithThreadInfo = 0x00001000,
    MiniDumpWithCodeSegs = 0x00002000,
    MiniDumpWithoutAuxiliaryState = 0x00004000,
    MiniDumpWithFullAuxiliaryState = 0x00008000,
    MiniDumpWithPrivateWriteCopyMemory = 0x00010000,
    MiniDumpIgnoreInaccessibleMemory = 0x00020000,
    MiniDumpWithTokenInformation = 0x00040000,
    MiniDumpValidTypeFlags = 0x00ffffff
} MINIDUMP_TYPE;

typedef struct _MINIDUMP_EXCEPTION_INFORMATION {
    DWORD ThreadId;
    PEXCEPTION_POINTERS ExceptionPointers;
    BOOL ClientPointers; // the pointers are in the dumped process (the stand-in reads only its own)
} MINIDUMP_EXCEPTION_INFORMATION, *PMINIDUMP_EXCEPTION_INFORMATION;

// User streams and callbacks are not supported: pass null.
struct _MINIDUMP_USER_STREAM_INFORMATION;
typedef struct _MINIDUMP_USER_STREAM_INFORMATION* PMINIDUMP_USER_STREAM_INFORMATION;
struct _MINIDUMP_CALLBACK_INFORMATION;
typedef struct _MINIDUMP_CALLBACK_INFORMATION* PMINIDUMP_CALLBACK_INFORMATION;

// The stream types the stand-in writes.
#define ThreadListStream 3
#define ModuleListStream 4
#define ExceptionStream 6
#define SystemInfoStream 7

#define MINIDUMP_SIGNATURE 0x504D444Du // "MDMP"
#define MINIDUMP_VERSION 42899u        // 0xA793

// Fails with ERROR_INVALID_HANDLE for a handle that is no process or file, ERROR_INVALID_PARAMETER
// when the id is not the handle's process, ERROR_ACCESS_DENIED when the process has ended, and the
// file's write error. The file is written from its current position.
BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE dumpType,
                       PMINIDUMP_EXCEPTION_INFORMATION exceptionParam,
                       PMINIDUMP_USER_STREAM_INFORMATION userStreamParam,
                       PMINIDUMP_CALLBACK_INFORMATION callbackParam);
