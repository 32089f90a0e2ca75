// The scoped switch of file-system redirection. The functions are looked up at run time, as
// platforms without redirection do not have them.
#include "jxbase/wow64guard.h"

CWow64FsRedirectionGuard::CWow64FsRedirectionGuard(bool disableNow) {
    if (HMODULE kernel32 = GetModuleHandleW(u"kernel32")) {
        m_pfnDisable =
            reinterpret_cast<DisableFunction>(GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
        m_pfnRevert =
            reinterpret_cast<RevertFunction>(GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection"));
    }
    if (disableNow)
        Disable();
}

CWow64FsRedirectionGuard::~CWow64FsRedirectionGuard() {
    // Redirection is the state of the thread that switched it: another thread cannot restore it.
    if (m_bDisabled && m_pfnRevert && GetCurrentThreadId() == m_dwOwnerThread) {
        if (m_pfnRevert(m_pOldValue))
            m_bDisabled = false;
    }
}

bool CWow64FsRedirectionGuard::Disable() {
    if (m_bDisabled || !m_pfnDisable)
        return true;
    m_dwOwnerThread = GetCurrentThreadId();
    const BOOL done = m_pfnDisable(&m_pOldValue);
    if (done)
        m_bDisabled = true;
    return done != FALSE;
}

bool CWow64FsRedirectionGuard::Revert() {
    if (!m_bDisabled || !m_pfnRevert)
        return true;
    if (GetCurrentThreadId() != m_dwOwnerThread)
        return false;
    const BOOL done = m_pfnRevert(m_pOldValue);
    if (done)
        m_bDisabled = false;
    return done != FALSE;
}
