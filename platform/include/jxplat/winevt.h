// The event log of the stand-in: RegisterEventSourceW, ReportEventW, DeregisterEventSource. Every
// report appends one entry to the machine root's event log (see MACHINE.md).
#pragma once

#include <string>
#include <vector>

#include "jxplat/security.h"
#include "jxplat/wintypes.h"

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

// The local machine is a null or empty server name, or the computer name (with or without "\\");
// another server fails with RPC_S_SERVER_UNAVAILABLE. An empty source name fails with
// ERROR_INVALID_PARAMETER; the fault switch "faults.eventLog" makes every registration fail with
// ERROR_ACCESS_DENIED.
HANDLE RegisterEventSourceW(LPCWSTR uncServerName, LPCWSTR sourceName);
BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid, WORD numStrings,
                  DWORD dataSize, LPCWSTR* strings, LPVOID rawData);
BOOL DeregisterEventSource(HANDLE eventLog);

namespace jxplat {

// One entry of the machine root's event log.
struct EventLogEntry {
    std::u16string source;
    std::u16string server;
    WORD type = 0;
    WORD category = 0;
    DWORD eventId = 0;
    std::vector<std::u16string> strings;
    DWORD dataSize = 0;
    DWORD processId = 0;
};

// The entries in the order they were reported.
std::vector<EventLogEntry> ReadEventLog();

} // namespace jxplat
