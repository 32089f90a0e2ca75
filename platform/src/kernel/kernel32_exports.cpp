// What GetProcAddress finds in the built-in kernel32: the stand-in's own functions. Windows
// before Vista (major version 6) had no slim reader/writer locks, so they are missing there.
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/winbase.h"
#include "kernel/modules.h"

namespace jxplat {
namespace {

struct CKernel32Export {
    const char* name;
    FARPROC address;
    DWORD sinceMajor;
};

template <typename F> FARPROC _ModExport(F* function) {
    return reinterpret_cast<FARPROC>(function);
}

const CKernel32Export kExports[] = {
    {"AcquireSRWLockExclusive", _ModExport(&AcquireSRWLockExclusive), 6},
    {"AcquireSRWLockShared", _ModExport(&AcquireSRWLockShared), 6},
    {"CloseHandle", _ModExport(&CloseHandle), 0},
    {"CreateEventW", _ModExport(&CreateEventW), 0},
    {"CreateThread", _ModExport(&CreateThread), 0},
    {"DeleteCriticalSection", _ModExport(&DeleteCriticalSection), 0},
    {"EnterCriticalSection", _ModExport(&EnterCriticalSection), 0},
    {"FormatMessageW", _ModExport(&FormatMessageW), 0},
    {"FreeLibrary", _ModExport(&FreeLibrary), 0},
    {"GetCurrentProcessId", _ModExport(&GetCurrentProcessId), 0},
    {"GetCurrentThreadId", _ModExport(&GetCurrentThreadId), 0},
    {"GetExitCodeThread", _ModExport(&GetExitCodeThread), 0},
    {"GetLastError", _ModExport(&GetLastError), 0},
    {"GetModuleHandleA", _ModExport(&GetModuleHandleA), 0},
    {"GetModuleHandleW", _ModExport(&GetModuleHandleW), 0},
    {"GetProcAddress", _ModExport(&GetProcAddress), 0},
    {"InitializeCriticalSection", _ModExport(&InitializeCriticalSection), 0},
    {"InitializeCriticalSectionAndSpinCount", _ModExport(&InitializeCriticalSectionAndSpinCount), 0},
    {"InitializeSRWLock", _ModExport(&InitializeSRWLock), 6},
    {"InterlockedCompareExchange", _ModExport(&InterlockedCompareExchange), 0},
    {"InterlockedDecrement", _ModExport(&InterlockedDecrement), 0},
    {"InterlockedExchange", _ModExport(&InterlockedExchange), 0},
    {"InterlockedIncrement", _ModExport(&InterlockedIncrement), 0},
    {"LeaveCriticalSection", _ModExport(&LeaveCriticalSection), 0},
    {"LoadLibraryA", _ModExport(&LoadLibraryA), 0},
    {"LoadLibraryExW", _ModExport(&LoadLibraryExW), 0},
    {"LoadLibraryW", _ModExport(&LoadLibraryW), 0},
    {"LocalAlloc", _ModExport(&LocalAlloc), 0},
    {"LocalFree", _ModExport(&LocalFree), 0},
    {"OpenEventW", _ModExport(&OpenEventW), 0},
    {"ReleaseSRWLockExclusive", _ModExport(&ReleaseSRWLockExclusive), 6},
    {"ReleaseSRWLockShared", _ModExport(&ReleaseSRWLockShared), 6},
    {"ResetEvent", _ModExport(&ResetEvent), 0},
    {"ResumeThread", _ModExport(&ResumeThread), 0},
    {"SetEvent", _ModExport(&SetEvent), 0},
    {"SetLastError", _ModExport(&SetLastError), 0},
    {"Sleep", _ModExport(&Sleep), 0},
    {"TryAcquireSRWLockExclusive", _ModExport(&TryAcquireSRWLockExclusive), 6},
    {"TryAcquireSRWLockShared", _ModExport(&TryAcquireSRWLockShared), 6},
    {"TryEnterCriticalSection", _ModExport(&TryEnterCriticalSection), 0},
    {"WaitForMultipleObjects", _ModExport(&WaitForMultipleObjects), 0},
    {"WaitForSingleObject", _ModExport(&WaitForSingleObject), 0},
    {"Wow64DisableWow64FsRedirection", _ModExport(&Wow64DisableWow64FsRedirection), 0},
    {"Wow64RevertWow64FsRedirection", _ModExport(&Wow64RevertWow64FsRedirection), 0},
};

} // namespace

FARPROC FindKernel32Export(const char* name) {
    for (const CKernel32Export& entry : kExports) {
        // Export names are case-sensitive, as on Windows.
        if (std::strcmp(entry.name, name) == 0)
            return entry.sinceMajor <= Machine().windowsMajor ? entry.address : nullptr;
    }
    return nullptr;
}

} // namespace jxplat
