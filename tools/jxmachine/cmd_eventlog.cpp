// jxmachine eventlog: the entries of the machine's event log, oldest first.
#include <cstdio>
#include <string>

#include <windows.h>

#include "jxmachine/commands.h"
#include "jxplat/text.h"

namespace {

const char* TypeName(WORD type) {
    switch (type) {
    case EVENTLOG_SUCCESS:
        return "success";
    case EVENTLOG_ERROR_TYPE:
        return "error";
    case EVENTLOG_WARNING_TYPE:
        return "warning";
    case EVENTLOG_INFORMATION_TYPE:
        return "information";
    case EVENTLOG_AUDIT_SUCCESS:
        return "audit-success";
    case EVENTLOG_AUDIT_FAILURE:
        return "audit-failure";
    default:
        return "unknown";
    }
}

// One line per entry: source, type, category, event id, then each string.
int PrintEventLog(int, char**, int) {
    for (const jxplat::EventLogEntry& entry : jxplat::ReadEventLog()) {
        std::string line = jxtext::Utf16ToUtf8(entry.source) + "\t" + TypeName(entry.type) +
                           "\tcategory=" + std::to_string(entry.category) +
                           "\tid=" + std::to_string(entry.eventId);
        for (const std::u16string& text : entry.strings)
            line += "\t" + jxtext::Utf16ToUtf8(text);
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

jxtools::JxMachineCommand g_EventLog("eventlog",
                                     "eventlog                 print the event log (source, type, category, "
                                     "event id, strings)",
                                     PrintEventLog);

} // namespace
