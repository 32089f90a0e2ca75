// Shutting the machine down, and the machine's restart. ExitWindowsEx and
// InitiateSystemShutdownExW never restart the host: they record the request in the machine
// root's "reboot.request" (one JSON line per request); `jxmachine reboot` (jxplat::RebootMachine)
// is the restart itself.
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"

#define EWX_LOGOFF 0x00000000u
#define EWX_SHUTDOWN 0x00000001u
#define EWX_REBOOT 0x00000002u
#define EWX_FORCE 0x00000004u
#define EWX_POWEROFF 0x00000008u
#define EWX_FORCEIFHUNG 0x00000010u

#define SHTDN_REASON_FLAG_PLANNED 0x80000000u
#define SHTDN_REASON_MAJOR_APPLICATION 0x00040000u
#define SHTDN_REASON_MINOR_MAINTENANCE 0x00000001u

// Needs SeShutdownPrivilege enabled in the process token (ERROR_PRIVILEGE_NOT_HELD otherwise).
BOOL ExitWindowsEx(UINT flags, DWORD reason);
// Only the local machine (a null or empty name, or the computer name); needs SeShutdownPrivilege.
BOOL InitiateSystemShutdownExW(LPWSTR machineName, LPWSTR message, DWORD timeout, BOOL forceAppsClosed,
                               BOOL rebootAfterShutdown, DWORD reason);

namespace jxplat {

struct ShutdownRequest {
    std::string call; // "ExitWindowsEx" or "InitiateSystemShutdownExW"
    bool reboot = false;
    DWORD flags = 0; // ExitWindowsEx flags; for InitiateSystemShutdownExW EWX_REBOOT or EWX_SHUTDOWN
    DWORD reason = 0;
    DWORD processId = 0;
};

// The requests recorded since the machine last restarted.
std::vector<ShutdownRequest> ReadShutdownRequests();

struct RunOnceResult {
    std::u16string key;     // "HKLM\...\RunOnce" (with the view) or "HKCU\...\RunOnce"
    std::u16string name;    // the value's name
    std::u16string command; // the command line
    bool started = false;
    DWORD exitCode = 0;
};

// The machine's restart: carries out the pending file operations, removes the volatile registry
// keys and the recorded shutdown requests, then runs the RunOnce entries of HKLM (64-bit view,
// then the 32-bit view on 64-bit Windows) and of HKCU, each value removed before its command
// starts, one after the other, waiting for each; names beginning with "!" are removed after
// their command ran, "*" is ignored. Returns the entries it ran.
std::vector<RunOnceResult> RebootMachine();

} // namespace jxplat
