// Privilege names and LUIDs (the values Windows assigns), and which of them a token holds.
#include "security/privileges.h"

#include <iterator>

#include "jxplat/text.h"
#include "security/token_state.h"

namespace jxplat::security {
namespace {

struct CPrivilegeName {
    DWORD luid;
    const char16_t* name;
};

constexpr CPrivilegeName kPrivileges[] = {
    {2, u"SeCreateTokenPrivilege"},
    {3, u"SeAssignPrimaryTokenPrivilege"},
    {4, u"SeLockMemoryPrivilege"},
    {5, u"SeIncreaseQuotaPrivilege"},
    {6, u"SeMachineAccountPrivilege"},
    {7, u"SeTcbPrivilege"},
    {8, u"SeSecurityPrivilege"},
    {9, u"SeTakeOwnershipPrivilege"},
    {10, u"SeLoadDriverPrivilege"},
    {11, u"SeSystemProfilePrivilege"},
    {12, u"SeSystemtimePrivilege"},
    {13, u"SeProfileSingleProcessPrivilege"},
    {14, u"SeIncreaseBasePriorityPrivilege"},
    {15, u"SeCreatePagefilePrivilege"},
    {16, u"SeCreatePermanentPrivilege"},
    {17, u"SeBackupPrivilege"},
    {18, u"SeRestorePrivilege"},
    {19, u"SeShutdownPrivilege"},
    {20, u"SeDebugPrivilege"},
    {21, u"SeAuditPrivilege"},
    {22, u"SeSystemEnvironmentPrivilege"},
    {23, u"SeChangeNotifyPrivilege"},
    {24, u"SeRemoteShutdownPrivilege"},
    {25, u"SeUndockPrivilege"},
    {26, u"SeSyncAgentPrivilege"},
    {27, u"SeEnableDelegationPrivilege"},
    {28, u"SeManageVolumePrivilege"},
    {29, u"SeImpersonatePrivilege"},
    {30, u"SeCreateGlobalPrivilege"},
    {31, u"SeTrustedCredManAccessPrivilege"},
    {32, u"SeRelabelPrivilege"},
    {33, u"SeIncreaseWorkingSetPrivilege"},
    {34, u"SeTimeZonePrivilege"},
    {35, u"SeCreateSymbolicLinkPrivilege"},
    {36, u"SeDelegateSessionUserImpersonatePrivilege"},
};

} // namespace

bool PrivilegeLuid(std::u16string_view name, LUID* luid) {
    for (const CPrivilegeName& entry : kPrivileges) {
        if (jxtext::EqualsNoCase(name, entry.name)) {
            luid->LowPart = entry.luid;
            luid->HighPart = 0;
            return true;
        }
    }
    return false;
}

std::u16string_view PrivilegeName(const LUID& luid) {
    if (luid.HighPart != 0)
        return {};
    for (const CPrivilegeName& entry : kPrivileges)
        if (entry.luid == luid.LowPart)
            return entry.name;
    return {};
}

bool IsPrivilegeEnabled(std::u16string_view name) {
    LUID luid{};
    if (!PrivilegeLuid(name, &luid))
        return false;
    CTokenState& state = CTokenState::Get();
    std::lock_guard<std::mutex> guard(state.lock);
    state.EnsureLoaded();
    for (const LUID_AND_ATTRIBUTES& held : state.privileges)
        if (held.Luid.LowPart == luid.LowPart && held.Luid.HighPart == luid.HighPart)
            return (held.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return false;
}

} // namespace jxplat::security
