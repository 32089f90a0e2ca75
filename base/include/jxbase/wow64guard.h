// The scoped switch of the file-system redirection of a 32-bit process on 64-bit Windows.
// Redirection is a state of the thread: a guard switches it off and back on on the same thread.
#pragma once

#include <windows.h>

class CWow64FsRedirectionGuard {
public:
    // Looks up the disable and revert functions in the loaded "kernel32" (either may be missing);
    // with disableNow, disables at once.
    explicit CWow64FsRedirectionGuard(bool disableNow = true);
    // Reverts on the owner thread when this guard holds redirection off; on another thread it
    // does nothing.
    ~CWow64FsRedirectionGuard();
    CWow64FsRedirectionGuard(const CWow64FsRedirectionGuard&) = delete;
    CWow64FsRedirectionGuard& operator=(const CWow64FsRedirectionGuard&) = delete;

    // True and nothing done when already held off or the platform has no such function.
    bool Disable();
    // True when nothing is held off or the platform has no such function; false on another
    // thread than the one that disabled.
    bool Revert();
    bool IsDisabled() const { return m_bDisabled; }

private:
    using DisableFunction = BOOL (*)(PVOID*);
    using RevertFunction = BOOL (*)(PVOID);

    DisableFunction m_pfnDisable = nullptr;
    RevertFunction m_pfnRevert = nullptr;
    PVOID m_pOldValue = nullptr;
    bool m_bDisabled = false;
    DWORD m_dwOwnerThread = 0;
};
