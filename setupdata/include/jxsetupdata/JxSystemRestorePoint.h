// A Windows system restore point around an installation: the System Restore client functions,
// loaded at run time from "SrClient.dll", and at most one open point. The installation actions
// define its operations; the data object owns it.
#pragma once

#include <string>

#include <windows.h>

#include "jxplat/srrestoreptapi.h"

namespace JxSetup::Data {

class JxSystemRestorePoint {
public:
    // Loads the client and prepares COM; without a usable client every operation answers 0.
    JxSystemRestorePoint();
    // Closes a point that is still open as failed (the system discards it) and unloads the client.
    ~JxSystemRestorePoint();
    JxSystemRestorePoint(const JxSystemRestorePoint&) = delete;
    JxSystemRestorePoint& operator=(const JxSystemRestorePoint&) = delete;

    // 1 when a point was opened or one is open already; 0 otherwise. A description longer than
    // the request record holds is cut.
    int BeginSystemRestorePoint(const std::u16string& description);
    // The result of the System Restore call (nonzero on success); 0 when nothing was done. The
    // point counts as closed afterwards, whatever the result.
    BOOL EndSystemRestorePoint(bool success);
    // The process's COM security as the System Restore client needs it.
    bool SetComSecurity();

    bool IsUsable() const { return m_SetRestorePoint != nullptr; }
    LONGLONG GetOpenSequenceNumber() const { return m_SequenceNumber; }

private:
    void _sr_Unload();

    PFN_SRSetRestorePointW m_SetRestorePoint = nullptr;
    PFN_SRRemoveRestorePoint m_RemoveRestorePoint = nullptr; // needed to count as usable, never called
    HMODULE m_Library = nullptr;
    LONGLONG m_SequenceNumber = 0; // of the open point; 0 when none is open
    RESTOREPOINTINFOW m_Request = {};
    STATEMGRSTATUS m_Status = {};
    // This object's CoInitializeEx succeeded (S_OK or S_FALSE) and is to be balanced.
    bool m_bComInitialized = false;
};

} // namespace JxSetup::Data
