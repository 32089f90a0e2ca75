// Kernel objects, locks, modules and system error texts of the stand-in: threads, events and
// waits, critical sections, slim reader/writer locks, interlocked operations, module loading and
// FormatMessageW, with the Win32 names, flags, error codes and last-error behaviour.
#pragma once

#include <cstdarg>

#include "jxplat/wintypes.h"
#include "jxplat/winnt.h"

typedef uint8_t BOOLEAN;
typedef HANDLE HLOCAL;
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);
typedef LPTHREAD_START_ROUTINE PTHREAD_START_ROUTINE;

// ---- Threads and processes -------------------------------------------------------------------

#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004

DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
// Milliseconds since the host started (the monotonic clock), wrapping at 2^32 as on Windows.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
void Sleep(DWORD milliseconds);
// Gives the rest of the time slice to another ready thread; TRUE when one ran.
BOOL SwitchToThread();

// The thread handle is signalled when the thread ends; its exit code is the routine's result.
// CREATE_SUSPENDED holds the thread before its routine until ResumeThread.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE startAddress,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD GetThreadId(HANDLE thread);
// Returns the previous suspend count, or (DWORD)-1 on failure.
DWORD ResumeThread(HANDLE thread);
// Returns the previous suspend count, or (DWORD)-1 on failure (ERROR_ACCESS_DENIED once the thread
// ended). The stand-in holds a running thread when its current or next wait returns.
DWORD SuspendThread(HANDLE thread);

// ---- Handles, events and waits ----------------------------------------------------------------

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define EVENT_MODIFY_STATE 0x0002u
#define EVENT_ALL_ACCESS 0x001F0003u

BOOL CloseHandle(HANDLE object);

// Named events are shared within this process: a second CreateEventW of the same name (names
// compared ignoring case) opens the first one and sets ERROR_ALREADY_EXISTS.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name);
HANDLE OpenEventW(DWORD desiredAccess, BOOL inheritHandle, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// ---- Critical sections ------------------------------------------------------------------------

// Laid out as Windows lays it out. LockCount is -1 when free and counts entries and waiters
// otherwise; RecursionCount and OwningThread (the owner's thread id) are the owner's to read.
// The stand-in keeps its host lock in DebugInfo.
typedef struct _RTL_CRITICAL_SECTION {
    PVOID DebugInfo;
    LONG LockCount;
    LONG RecursionCount;
    HANDLE OwningThread;
    HANDLE LockSemaphore;
    ULONG_PTR SpinCount;
} RTL_CRITICAL_SECTION, *PRTL_CRITICAL_SECTION;
typedef RTL_CRITICAL_SECTION CRITICAL_SECTION;
typedef PRTL_CRITICAL_SECTION PCRITICAL_SECTION;
typedef PRTL_CRITICAL_SECTION LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// ---- Slim reader/writer locks -----------------------------------------------------------------

// One pointer-sized word: bit 0 a writer holds the lock, bit 1 a writer waits (new readers then
// queue behind it), the reader count from bit 2 up. Not re-entrant.
typedef struct _RTL_SRWLOCK {
    PVOID Ptr;
} RTL_SRWLOCK, SRWLOCK, *PSRWLOCK;
// clang-format off
#define SRWLOCK_INIT {0}
// clang-format on

void InitializeSRWLock(PSRWLOCK lock);
void AcquireSRWLockExclusive(PSRWLOCK lock);
void AcquireSRWLockShared(PSRWLOCK lock);
void ReleaseSRWLockExclusive(PSRWLOCK lock);
void ReleaseSRWLockShared(PSRWLOCK lock);
BOOLEAN TryAcquireSRWLockExclusive(PSRWLOCK lock);
BOOLEAN TryAcquireSRWLockShared(PSRWLOCK lock);

// ---- Interlocked operations -------------------------------------------------------------------

// Each returns the value before the operation, except Increment/Decrement, which return the new one.
LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand);
PVOID InterlockedCompareExchangePointer(PVOID volatile* destination, PVOID exchange, PVOID comparand);
LONG InterlockedIncrement(LONG volatile* addend);
LONG InterlockedDecrement(LONG volatile* addend);
LONG InterlockedExchange(LONG volatile* target, LONG value);

// ---- Modules ----------------------------------------------------------------------------------

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000

// System modules ("kernel32", "WinInet") are built in and found by their bare name, with or
// without ".dll", ignoring case. Any other name is a shared object at the mapped host path (a
// bare name is looked for beside the running program first), loaded with dlopen.
// GetModuleHandleW(nullptr) is the running program.
HMODULE GetModuleHandleW(LPCWSTR moduleName);
HMODULE GetModuleHandleA(LPCSTR moduleName);
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4
// With FROM_ADDRESS: the module that holds the address; the engine's own code is the running program.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);
// The Windows path of the process's program (GetCurrentProcess() only).
BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR exeName, LPDWORD size);
HMODULE LoadLibraryW(LPCWSTR fileName);
HMODULE LoadLibraryA(LPCSTR fileName);
HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE reserved, DWORD flags);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// ---- Local memory -----------------------------------------------------------------------------

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// Returns null on success, the memory on failure.
HLOCAL LocalFree(HLOCAL memory);

// ---- System error texts -----------------------------------------------------------------------

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#ifndef LANG_NEUTRAL
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3FF)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#endif

// The stand-in has English texts (1033). Language 0 and every neutral language id find them; any
// other language fails with ERROR_MUI_FILE_NOT_FOUND (15100). Messages 12000..12175 come from the
// WinInet module only (FORMAT_MESSAGE_FROM_HMODULE). Inserts are expanded only from an argument
// array (FORMAT_MESSAGE_ARGUMENT_ARRAY, each insert a string unless it names a format as %1!d!).
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);
