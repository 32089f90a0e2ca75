// A lock shared by every process and session of the machine: a named mutex in the global
// namespace whose name is derived from the caller's lock name and the machine's current boot.
#pragma once

#include <string>

#include <windows.h>

class CMachineWideLock {
public:
    explicit CMachineWideLock(const WCHAR* lockName);
    ~CMachineWideLock() { Release(); }
    CMachineWideLock(const CMachineWideLock&) = delete;
    CMachineWideLock& operator=(const CMachineWideLock&) = delete;

    // With a time-out of 0 a single try. True when held (also when the holder had ended without
    // releasing it); false on a time-out or a failed wait.
    bool Acquire(DWORD timeoutMs);
    // Must run on the thread that acquired the lock; the name stays for a later Acquire.
    void Release();

    bool IsHeld() const { return m_Mutex != nullptr; }
    const std::u16string& GetName() const { return m_Name; }

    // The kernel calls Acquire makes. Tests put in their own (a create or a wait that fails, a sleep
    // that only counts); nullptr puts the real ones back.
    struct KernelCalls {
        HANDLE (*createMutex)(const WCHAR* name);
        DWORD (*wait)(HANDLE mutex, DWORD milliseconds);
        void (*sleep)(DWORD milliseconds);
    };
    static void SetKernelCallsForTesting(const KernelCalls* calls);

private:
    HANDLE m_Mutex = nullptr;
    std::u16string m_Name;
};
