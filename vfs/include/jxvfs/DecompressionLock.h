// The process-wide decompression lock: every block decode, with its reads of the carrier, runs
// inside one critical section. The busy counter only notices a nested entry by the same thread.
#pragma once

#include <windows.h>

class CDecompressionLock {
public:
    // The one lock; made before the package manager, so it is deleted after it.
    static CDecompressionLock& Instance();
    ~CDecompressionLock();
    CDecompressionLock(const CDecompressionLock&) = delete;
    CDecompressionLock& operator=(const CDecompressionLock&) = delete;

    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }
    // Atomic changes of the busy counter; each returns the new value.
    LONG IncrementBusy() { return InterlockedIncrement(&m_busy); }
    LONG DecrementBusy() { return InterlockedDecrement(&m_busy); }
    LONG GetBusy() { return InterlockedCompareExchange(&m_busy, 0, 0); }

private:
    CDecompressionLock();

    CRITICAL_SECTION m_section;
    LONG volatile m_busy = 0;
};

// Holds the decompression lock for a scope.
class CDecompressionGuard {
public:
    CDecompressionGuard() : m_lock(CDecompressionLock::Instance()) { m_lock.Enter(); }
    ~CDecompressionGuard() { m_lock.Leave(); }
    CDecompressionGuard(const CDecompressionGuard&) = delete;
    CDecompressionGuard& operator=(const CDecompressionGuard&) = delete;

private:
    CDecompressionLock& m_lock;
};
