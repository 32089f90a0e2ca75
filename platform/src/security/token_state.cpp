// The privileges a token of the machine's user holds: an elevated administrator's token has the
// administrator's set, any other token the standard user's set.
#include "security/token_state.h"

#include <algorithm>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "security/privileges.h"

namespace jxplat::security {
namespace {

constexpr const char16_t* kAdministratorPrivileges[] = {
    u"SeIncreaseQuotaPrivilege",
    u"SeSecurityPrivilege",
    u"SeTakeOwnershipPrivilege",
    u"SeLoadDriverPrivilege",
    u"SeSystemProfilePrivilege",
    u"SeSystemtimePrivilege",
    u"SeProfileSingleProcessPrivilege",
    u"SeIncreaseBasePriorityPrivilege",
    u"SeCreatePagefilePrivilege",
    u"SeBackupPrivilege",
    u"SeRestorePrivilege",
    u"SeShutdownPrivilege",
    u"SeDebugPrivilege",
    u"SeSystemEnvironmentPrivilege",
    u"SeChangeNotifyPrivilege",
    u"SeRemoteShutdownPrivilege",
    u"SeUndockPrivilege",
    u"SeManageVolumePrivilege",
    u"SeImpersonatePrivilege",
    u"SeCreateGlobalPrivilege",
    u"SeIncreaseWorkingSetPrivilege",
    u"SeTimeZonePrivilege",
    u"SeCreateSymbolicLinkPrivilege",
    u"SeDelegateSessionUserImpersonatePrivilege",
};

constexpr const char16_t* kUserPrivileges[] = {
    u"SeShutdownPrivilege",           u"SeChangeNotifyPrivilege", u"SeUndockPrivilege",
    u"SeIncreaseWorkingSetPrivilege", u"SeTimeZonePrivilege",
};

} // namespace

CTokenState& CTokenState::Get() {
    static CTokenState* state = [] {
        auto* made = new CTokenState;
        AddMachineRootResetHook([made] {
            std::lock_guard<std::mutex> guard(made->lock);
            made->loaded = false;
            made->privileges.clear();
        });
        return made;
    }();
    return *state;
}

void CTokenState::EnsureLoaded() {
    if (loaded)
        return;
    const MachineDescription& machine = Machine();
    elevated = machine.user.administrator && machine.user.elevated;
    fullAdministrator = machine.user.administrator && (machine.user.elevated || !machine.user.uac);
    hasLinkedToken = machine.user.administrator && machine.user.uac;
    userSid = jxtext::Utf8ToUtf16(machine.user.sid);
    privileges.clear();
    auto add = [this](const char16_t* name) {
        LUID_AND_ATTRIBUTES entry{};
        if (!PrivilegeLuid(name, &entry.Luid))
            return;
        // Only the change-notify privilege is on from the start, as in a Windows token.
        if (std::u16string_view(name) == u"SeChangeNotifyPrivilege")
            entry.Attributes = SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT;
        privileges.push_back(entry);
    };
    if (elevated)
        for (const char16_t* name : kAdministratorPrivileges)
            add(name);
    else
        for (const char16_t* name : kUserPrivileges)
            add(name);
    std::sort(privileges.begin(), privileges.end(),
              [](const LUID_AND_ATTRIBUTES& a, const LUID_AND_ATTRIBUTES& b) {
                  return a.Luid.LowPart < b.Luid.LowPart;
              });
    loaded = true;
}

} // namespace jxplat::security
