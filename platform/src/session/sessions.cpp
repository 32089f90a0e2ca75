// The machine's terminal-services sessions and their users' tokens.
#include <cstring>
#include <fstream>
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/wtsapi.h"
#include "session/session_token.h"

namespace jxplat {
namespace {

WTS_CONNECTSTATE_CLASS _session_State(const std::string& state) {
    static const struct {
        const char* name;
        WTS_CONNECTSTATE_CLASS value;
    } kStates[] = {{"active", WTSActive},
                   {"connected", WTSConnected},
                   {"disconnected", WTSDisconnected},
                   {"idle", WTSIdle},
                   {"listen", WTSListen},
                   {"down", WTSDown},
                   {"connectquery", WTSConnectQuery},
                   {"shadow", WTSShadow},
                   {"reset", WTSReset},
                   {"init", WTSInit}};
    for (const auto& entry : kStates)
        if (jxtext::EqualsNoCase(jxtext::W(state), jxtext::W(entry.name)))
            return entry.value;
    return WTSDown;
}

// The user of a session: its own, or the machine's user in an active session without one.
std::string _session_User(const MachineSession& session) {
    if (!session.user.empty())
        return session.user;
    return _session_State(session.state) == WTSActive ? Machine().user.name : std::string();
}

std::string _session_ProcessFile(DWORD processId) {
    return MachinePath("sessions/process-" + std::to_string(processId));
}

} // namespace

// Remembers the session of a process started as a session's user.
void RecordProcessSession(DWORD processId, DWORD sessionId) {
    EnsureHostDirectory(MachinePath("sessions"));
    std::ofstream(_session_ProcessFile(processId), std::ios::trunc) << sessionId << "\n";
}

} // namespace jxplat

using namespace jxplat;

BOOL WTSEnumerateSessionsW(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* sessionInfo,
                           DWORD* count) {
    if (server != WTS_CURRENT_SERVER_HANDLE || reserved != 0 || version != 1 || !sessionInfo || !count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& sessions = Machine().sessions;
    // One allocation: the entries, then their station names.
    size_t bytes = sessions.size() * sizeof(WTS_SESSION_INFOW);
    for (const auto& session : sessions)
        bytes += (jxtext::W(session.winStation).size() + 1) * sizeof(char16_t);
    auto* block = static_cast<BYTE*>(LocalAlloc(0, bytes ? bytes : 1));
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    auto* entries = reinterpret_cast<WTS_SESSION_INFOW*>(block);
    auto* names = reinterpret_cast<char16_t*>(block + sessions.size() * sizeof(WTS_SESSION_INFOW));
    for (size_t i = 0; i < sessions.size(); ++i) {
        const std::u16string name = jxtext::W(sessions[i].winStation);
        std::memcpy(names, name.c_str(), (name.size() + 1) * sizeof(char16_t));
        entries[i].SessionId = sessions[i].id;
        entries[i].pWinStationName = names;
        entries[i].State = _session_State(sessions[i].state);
        names += name.size() + 1;
    }
    *sessionInfo = entries;
    *count = static_cast<DWORD>(sessions.size());
    return TRUE;
}

void WTSFreeMemory(PVOID memory) {
    if (memory)
        LocalFree(memory);
}

BOOL WTSQueryUserToken(ULONG sessionId, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *token = nullptr;
    const MachineUser& caller = Machine().user;
    if (!caller.administrator || !caller.elevated) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    for (const auto& session : Machine().sessions) {
        if (session.id != sessionId)
            continue;
        const std::string user = _session_User(session);
        if (user.empty())
            break;
        auto object = std::make_shared<CSessionToken>();
        object->m_sessionId = session.id;
        object->m_user = user;
        object->m_environmentFault = session.environmentFault;
        *token = InsertKernelHandle(object);
        return TRUE;
    }
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
}

DWORD WTSGetActiveConsoleSessionId() {
    for (const auto& session : Machine().sessions)
        if (_session_State(session.state) == WTSActive)
            return session.id;
    return 0xFFFFFFFFu;
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
    if (!sessionId) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::ifstream recorded(_session_ProcessFile(processId));
    DWORD value = 0;
    if (recorded >> value) {
        *sessionId = value;
        return TRUE;
    }
    bool known = processId == GetCurrentProcessId();
    for (const auto& entry : ReadProcessTable())
        known = known || entry.processId == processId;
    if (!known) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD console = WTSGetActiveConsoleSessionId();
    *sessionId = console == 0xFFFFFFFFu ? 0 : console;
    return TRUE;
}
