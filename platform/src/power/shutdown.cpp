// ExitWindowsEx and InitiateSystemShutdownExW: the request is recorded in "reboot.request" below
// the machine root, one JSON line each; the host is never shut down or restarted.
#include <fstream>

#include <nlohmann/json.hpp>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/shutdown.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "security/privileges.h"

namespace jxplat {
namespace {

BOOL _ShdRecord(const char* call, bool reboot, DWORD flags, DWORD reason) {
    if (!security::IsPrivilegeEnabled(u"SeShutdownPrivilege")) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    nlohmann::json line = {{"call", call},
                           {"reboot", reboot},
                           {"flags", flags},
                           {"reason", reason},
                           {"processId", GetCurrentProcessId()}};
    std::ofstream out(MachinePath("reboot.request"), std::ios::app | std::ios::binary);
    out << line.dump() << "\n";
    out.flush();
    if (!out) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

} // namespace

std::vector<ShutdownRequest> ReadShutdownRequests() {
    std::vector<ShutdownRequest> requests;
    std::ifstream in(MachinePath("reboot.request"), std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        auto line = nlohmann::json::parse(text, nullptr, false);
        if (!line.is_object())
            continue;
        ShutdownRequest request;
        request.call = line.value("call", "");
        request.reboot = line.value("reboot", false);
        request.flags = line.value("flags", 0u);
        request.reason = line.value("reason", 0u);
        request.processId = line.value("processId", 0u);
        requests.push_back(request);
    }
    return requests;
}

} // namespace jxplat

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    const bool reboot = (flags & EWX_REBOOT) != 0;
    return jxplat::_ShdRecord("ExitWindowsEx", reboot, flags, reason);
}

BOOL InitiateSystemShutdownExW(LPWSTR machineName, LPWSTR, DWORD, BOOL, BOOL rebootAfterShutdown,
                               DWORD reason) {
    if (machineName && *machineName) {
        std::u16string name(machineName);
        if (name.rfind(u"\\\\", 0) == 0)
            name = name.substr(2);
        if (!jxtext::EqualsNoCase(name, jxtext::Utf8ToUtf16(jxplat::Machine().computerName))) {
            SetLastError(ERROR_BAD_NETPATH);
            return FALSE;
        }
    }
    const bool reboot = rebootAfterShutdown != FALSE;
    return jxplat::_ShdRecord("InitiateSystemShutdownExW", reboot, reboot ? EWX_REBOOT : EWX_SHUTDOWN,
                              reason);
}
