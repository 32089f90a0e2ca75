// Switches the file-system redirection of a 32-bit process off on this thread while it lives,
// when asked to; the previous state comes back on destruction.
#pragma once

#include <windows.h>

namespace JxSetup::Data {

class CWow64RedirectionOff {
public:
    explicit CWow64RedirectionOff(bool active) {
        if (active)
            m_bActive = Wow64DisableWow64FsRedirection(&m_pOldValue) != FALSE;
    }
    ~CWow64RedirectionOff() {
        if (m_bActive)
            Wow64RevertWow64FsRedirection(m_pOldValue);
    }
    CWow64RedirectionOff(const CWow64RedirectionOff&) = delete;
    CWow64RedirectionOff& operator=(const CWow64RedirectionOff&) = delete;

private:
    PVOID m_pOldValue = nullptr;
    bool m_bActive = false;
};

} // namespace JxSetup::Data
