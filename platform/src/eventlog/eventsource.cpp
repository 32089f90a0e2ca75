// Event sources of this process (RegisterEventSourceW/DeregisterEventSource) and the reports that
// append one entry each to the machine root's event log.
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <set>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/winevt.h"

namespace {

struct CEventSource {
    std::u16string server;
    std::u16string source;
};

// Live handles: a handle is the address of its source, valid until it is deregistered.
std::mutex g_SourcesLock;
std::set<CEventSource*> g_Sources;

bool _evt_IsLocalServer(std::u16string_view server) {
    if (server.empty())
        return true;
    if (server.substr(0, 2) == u"\\\\")
        server.remove_prefix(2);
    return jxtext::EqualsNoCase(server, jxtext::Utf8ToUtf16(jxplat::Machine().computerName)) ||
           jxtext::EqualsNoCase(server, u"localhost") || server == u".";
}

bool _evt_Append(const std::string& record) {
    const int fd = ::open(jxplat::MachinePath("eventlog.jsonl").c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // One write per entry: O_APPEND keeps entries of several processes whole.
    const ssize_t written = ::write(fd, record.data(), record.size());
    ::close(fd);
    return written == static_cast<ssize_t>(record.size());
}

} // namespace

HANDLE RegisterEventSourceW(LPCWSTR uncServerName, LPCWSTR sourceName) {
    const std::u16string server = uncServerName ? uncServerName : u"";
    if (!sourceName || !*sourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!_evt_IsLocalServer(server)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (jxplat::Machine().faultEventLog) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto* source = new CEventSource{server, sourceName};
    std::lock_guard<std::mutex> guard(g_SourcesLock);
    g_Sources.insert(source);
    return source;
}

BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid, WORD numStrings,
                  DWORD dataSize, LPCWSTR* strings, LPVOID rawData) {
    (void)userSid;
    CEventSource copy;
    {
        std::lock_guard<std::mutex> guard(g_SourcesLock);
        auto found = g_Sources.find(static_cast<CEventSource*>(eventLog));
        if (found == g_Sources.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        copy = **found;
    }
    if ((numStrings && !strings) || (dataSize && !rawData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    nlohmann::json texts = nlohmann::json::array();
    for (WORD i = 0; i < numStrings; ++i)
        texts.push_back(jxtext::Utf16ToUtf8(strings[i] ? strings[i] : u""));
    const nlohmann::json line = {{"source", jxtext::Utf16ToUtf8(copy.source)},
                                 {"server", jxtext::Utf16ToUtf8(copy.server)},
                                 {"type", type},
                                 {"category", category},
                                 {"eventId", eventId},
                                 {"strings", texts},
                                 {"dataSize", dataSize},
                                 {"processId", GetCurrentProcessId()}};
    if (!_evt_Append(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n")) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

BOOL DeregisterEventSource(HANDLE eventLog) {
    std::unique_ptr<CEventSource> owned;
    {
        std::lock_guard<std::mutex> guard(g_SourcesLock);
        auto found = g_Sources.find(static_cast<CEventSource*>(eventLog));
        if (found == g_Sources.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        owned.reset(*found);
        g_Sources.erase(found);
    }
    return TRUE;
}
