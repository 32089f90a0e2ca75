#include "jxbase/sharedmutex.h"

namespace Jxlockprimitives_legacy {
namespace {

// Process-wide: -1 undecided, 0 critical section, 1 slim reader/writer lock.
LONG volatile s_lockMode = -1;
CSrwFunctionTable s_functions = {};

const char* const kFunctionNames[CSrwFunctionTable::Count] = {
    "InitializeSRWLock",    "ReleaseSRWLockExclusive",    "ReleaseSRWLockShared",   "AcquireSRWLockExclusive",
    "AcquireSRWLockShared", "TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared"};

template <typename F> F _LockFunction(const CSrwFunctionTable* table, CSrwFunctionTable::Entry entry) {
    return reinterpret_cast<F>(table->entries[entry]);
}

using SrwVoid = void (*)(PSRWLOCK);
using SrwTry = BOOLEAN (*)(PSRWLOCK);

} // namespace

const CSrwFunctionTable* CSharedMutex::_LockDecideMode() {
    LONG mode = InterlockedCompareExchange(&s_lockMode, -1, -1);
    if (mode == -1) {
        const DWORD lastError = GetLastError();
        HMODULE kernel32 = GetModuleHandleA("Kernel32.dll");
        if (!kernel32)
            kernel32 = LoadLibraryA("Kernel32.dll");
        if (kernel32) {
            // The first thread to store a function wins; a later one never overwrites it.
            for (int entry = 0; entry < CSrwFunctionTable::Count; ++entry) {
                if (FARPROC found = GetProcAddress(kernel32, kFunctionNames[entry]))
                    InterlockedCompareExchangePointer(&s_functions.entries[entry],
                                                      reinterpret_cast<PVOID>(found), nullptr);
            }
        }
        bool slim = s_functions.entries[CSrwFunctionTable::Initialize] &&
                    s_functions.entries[CSrwFunctionTable::TryAcquireExclusive];
        // Concurrent first constructors agree on whichever decision was stored first.
        InterlockedCompareExchange(&s_lockMode, slim ? 1 : 0, -1);
        mode = InterlockedCompareExchange(&s_lockMode, -1, -1);
        SetLastError(lastError);
    }
    return mode == 1 ? &s_functions : nullptr;
}

void CSharedMutex::ResetLockModeForTesting() {
    for (PVOID volatile& entry : s_functions.entries)
        entry = nullptr;
    InterlockedExchange(&s_lockMode, -1);
}

CSharedMutex::CSharedMutex() {
    m_functions = _LockDecideMode();
    if (m_functions)
        _LockFunction<SrwVoid>(m_functions, CSrwFunctionTable::Initialize)(_LockSrw());
    else
        InitializeCriticalSectionAndSpinCount(&m_section, 0);
}

CSharedMutex::~CSharedMutex() {
    if (!m_functions)
        DeleteCriticalSection(&m_section);
}

DWORD CSharedMutex::Lock(bool exclusive) {
    const DWORD threadId = GetCurrentThreadId();
    if (!m_functions) {
        EnterCriticalSection(&m_section);
        m_owner = threadId;
    } else if (exclusive) {
        _LockFunction<SrwVoid>(m_functions, CSrwFunctionTable::AcquireExclusive)(_LockSrw());
        m_owner = threadId;
    } else {
        _LockFunction<SrwVoid>(m_functions, CSrwFunctionTable::AcquireShared)(_LockSrw());
    }
    return threadId;
}

bool CSharedMutex::TryLock() {
    bool taken =
        m_functions
            ? _LockFunction<SrwTry>(m_functions, CSrwFunctionTable::TryAcquireExclusive)(_LockSrw()) != FALSE
            : TryEnterCriticalSection(&m_section) != FALSE;
    if (taken)
        m_owner = GetCurrentThreadId();
    return taken;
}

DWORD CSharedMutex::Unlock(DWORD threadId) {
    if (!m_functions) {
        if (m_section.RecursionCount == 1) // the owner's last exit
            m_owner = 0;
        LeaveCriticalSection(&m_section);
    } else if (threadId == m_owner.load()) {
        m_owner = 0;
        _LockFunction<SrwVoid>(m_functions, CSrwFunctionTable::ReleaseExclusive)(_LockSrw());
    } else {
        _LockFunction<SrwVoid>(m_functions, CSrwFunctionTable::ReleaseShared)(_LockSrw());
    }
    return 0;
}

DWORD ConditionEventTraitsT<CSharedMutex>::WaitForMultiple(DWORD& lockId, bool exclusive, DWORD count,
                                                           const HANDLE* handles, BOOL waitAll,
                                                           DWORD timeout) {
    m_mutex.Unlock(lockId);
    DWORD result = WaitForMultipleObjects(count, handles, waitAll, timeout);
    lockId = m_mutex.Lock(exclusive);
    return result;
}

} // namespace Jxlockprimitives_legacy
