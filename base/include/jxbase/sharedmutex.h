// The lock of the in-house templates: exclusive and shared locking on a slim reader/writer lock
// where the running Windows has one (looked up in kernel32 at run time, so the program still runs
// where it is missing), else a critical section that serves shared requests exclusively.
#pragma once

#include <atomic>

#include <windows.h>

namespace Jxlockprimitives_legacy {

// The slim reader/writer functions found in kernel32, in lookup order; each null until found.
struct CSrwFunctionTable {
    enum Entry {
        Initialize,
        ReleaseExclusive,
        ReleaseShared,
        AcquireExclusive,
        AcquireShared,
        TryAcquireExclusive,
        TryAcquireShared,
        Count
    };
    PVOID volatile entries[Count];
};

class CSharedMutex {
public:
    CSharedMutex();
    ~CSharedMutex();
    CSharedMutex(const CSharedMutex&) = delete;
    CSharedMutex& operator=(const CSharedMutex&) = delete;

    // Returns the caller's thread id, which the caller passes back to Unlock. With a critical
    // section, a shared request is exclusive and the lock is re-entrant; a slim lock is not.
    DWORD Lock(bool exclusive);
    // Returns 0. With a slim lock, an id equal to the recorded owner releases the exclusive hold,
    // any other id a shared one.
    DWORD Unlock(DWORD threadId);
    // Exclusive try; on success the caller is the owner and unlocks with its thread id.
    bool TryLock();

    // The thread that holds the lock exclusively, 0 when none.
    DWORD OwnerThreadId() const { return m_owner.load(); }
    bool IsSlimLock() const { return m_functions != nullptr; }

    // Makes the next constructor decide the process-wide mode again (tests switch the machine's
    // Windows version in between).
    static void ResetLockModeForTesting();

private:
    static const CSrwFunctionTable* _LockDecideMode();
    PSRWLOCK _LockSrw() { return &m_srw; }

    // The lock storage: a critical section, or in slim mode its first word is the SRWLOCK.
    union {
        CRITICAL_SECTION m_section;
        SRWLOCK m_srw;
    };
    std::atomic<DWORD> m_owner{0};
    const CSrwFunctionTable* m_functions = nullptr;
};

template <typename TLock> class ConditionEventTraitsT;

// The wait companion of the lock: waits on kernel objects with the lock released.
template <> class ConditionEventTraitsT<CSharedMutex> {
public:
    CSharedMutex& Mutex() { return m_mutex; }

    // Unlocks with `lockId`, waits as WaitForMultipleObjects does, locks again (exclusive or
    // shared) and stores the new id in `lockId`. Returns the wait's result.
    DWORD WaitForMultiple(DWORD& lockId, bool exclusive, DWORD count, const HANDLE* handles, BOOL waitAll,
                          DWORD timeout);

private:
    CSharedMutex m_mutex;
};

} // namespace Jxlockprimitives_legacy
