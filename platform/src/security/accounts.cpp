// Well-known SIDs, the local account lookup and token membership. The names are those of an
// English Windows; the machine's user is the one local account besides the built-in ones.
#include <cstring>
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/security.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "security/security_codec.h"
#include "security/token_state.h"

using jxplat::security::CTokenObject;
using jxplat::security::CTokenState;

namespace {

struct CWellKnownAccount {
    WELL_KNOWN_SID_TYPE type;
    const char16_t* sid;
    const char16_t* name;
    const char16_t* domain;
    SID_NAME_USE use;
};

constexpr CWellKnownAccount kWellKnownAccounts[] = {
    {WinNullSid, u"S-1-0-0", u"NULL SID", u"", SidTypeWellKnownGroup},
    {WinWorldSid, u"S-1-1-0", u"Everyone", u"", SidTypeWellKnownGroup},
    {WinLocalSid, u"S-1-2-0", u"LOCAL", u"", SidTypeWellKnownGroup},
    {WinCreatorOwnerSid, u"S-1-3-0", u"CREATOR OWNER", u"", SidTypeWellKnownGroup},
    {WinCreatorGroupSid, u"S-1-3-1", u"CREATOR GROUP", u"", SidTypeWellKnownGroup},
    {WinInteractiveSid, u"S-1-5-4", u"INTERACTIVE", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {WinSelfSid, u"S-1-5-10", u"SELF", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {WinAuthenticatedUserSid, u"S-1-5-11", u"Authenticated Users", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {WinLocalSystemSid, u"S-1-5-18", u"SYSTEM", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {WinLocalServiceSid, u"S-1-5-19", u"LOCAL SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {WinNetworkServiceSid, u"S-1-5-20", u"NETWORK SERVICE", u"NT AUTHORITY", SidTypeWellKnownGroup},
    {WinBuiltinDomainSid, u"S-1-5-32", u"Builtin", u"Builtin", SidTypeDomain},
    {WinBuiltinAdministratorsSid, u"S-1-5-32-544", u"Administrators", u"BUILTIN", SidTypeAlias},
    {WinBuiltinUsersSid, u"S-1-5-32-545", u"Users", u"BUILTIN", SidTypeAlias},
    {WinBuiltinGuestsSid, u"S-1-5-32-546", u"Guests", u"BUILTIN", SidTypeAlias},
    {WinBuiltinAnyPackageSid, u"S-1-15-2-1", u"ALL APPLICATION PACKAGES", u"APPLICATION PACKAGE AUTHORITY",
     SidTypeWellKnownGroup},
};

// The groups every interactive token has enabled, besides the user itself.
constexpr const char16_t* kEveryTokenGroups[] = {u"S-1-1-0", u"S-1-2-0", u"S-1-5-4", u"S-1-5-11",
                                                 u"S-1-5-32-545"};

constexpr char16_t kAdministratorsSid[] = u"S-1-5-32-544";

BOOL _acct_Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

bool _acct_IsLocalSystem(LPCWSTR systemName) {
    if (systemName == nullptr || systemName[0] == 0)
        return true;
    std::u16string_view name(systemName);
    if (name.substr(0, 2) == u"\\\\")
        name.remove_prefix(2);
    return jxtext::EqualsNoCase(name, jxtext::Utf8ToUtf16(jxplat::Machine().computerName));
}

// Copies text into a caller's buffer of *size characters; false when it does not fit.
bool _acct_Fits(const std::u16string& text, LPWSTR buffer, const LPDWORD size) {
    return buffer != nullptr && *size > text.size();
}

} // namespace

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE sidType, PSID, PSID sid, DWORD* sidSize) {
    if (sidSize == nullptr)
        return _acct_Fail(ERROR_INVALID_PARAMETER);
    for (const CWellKnownAccount& account : kWellKnownAccounts) {
        if (account.type != sidType)
            continue;
        const std::vector<BYTE> bytes = jxplat::security::SidFromText(account.sid);
        if (sid == nullptr || *sidSize < bytes.size()) {
            *sidSize = static_cast<DWORD>(bytes.size());
            return _acct_Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(sid, bytes.data(), bytes.size());
        *sidSize = static_cast<DWORD>(bytes.size());
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    return _acct_Fail(ERROR_INVALID_PARAMETER);
}

BOOL LookupAccountSidW(LPCWSTR systemName, PSID sid, LPWSTR name, LPDWORD cchName,
                       LPWSTR referencedDomainName, LPDWORD cchReferencedDomainName, PSID_NAME_USE use) {
    if (cchName == nullptr || cchReferencedDomainName == nullptr || use == nullptr)
        return _acct_Fail(ERROR_INVALID_PARAMETER);
    if (!jxplat::security::SidIsValid(sid))
        return _acct_Fail(ERROR_INVALID_SID);
    if (!_acct_IsLocalSystem(systemName))
        return _acct_Fail(RPC_S_SERVER_UNAVAILABLE);
    const std::u16string text = jxplat::security::SidToText(sid);
    std::u16string accountName;
    std::u16string domainName;
    SID_NAME_USE accountUse = SidTypeUnknown;
    bool found = false;
    for (const CWellKnownAccount& account : kWellKnownAccounts) {
        if (text == account.sid) {
            accountName = account.name;
            domainName = account.domain;
            accountUse = account.use;
            found = true;
            break;
        }
    }
    const jxplat::MachineDescription& machine = jxplat::Machine();
    if (!found && jxtext::EqualsNoCase(text, jxtext::Utf8ToUtf16(machine.user.sid))) {
        accountName = jxtext::Utf8ToUtf16(machine.user.name);
        domainName = jxtext::Utf8ToUtf16(machine.computerName);
        accountUse = SidTypeUser;
        found = true;
    }
    if (!found)
        return _acct_Fail(ERROR_NONE_MAPPED);
    if (!_acct_Fits(accountName, name, cchName) ||
        !_acct_Fits(domainName, referencedDomainName, cchReferencedDomainName)) {
        *cchName = static_cast<DWORD>(accountName.size() + 1);
        *cchReferencedDomainName = static_cast<DWORD>(domainName.size() + 1);
        return _acct_Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(name, accountName.c_str(), (accountName.size() + 1) * sizeof(WCHAR));
    std::memcpy(referencedDomainName, domainName.c_str(), (domainName.size() + 1) * sizeof(WCHAR));
    *cchName = static_cast<DWORD>(accountName.size());
    *cchReferencedDomainName = static_cast<DWORD>(domainName.size());
    *use = accountUse;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL CheckTokenMembership(HANDLE tokenHandle, PSID sidToCheck, PBOOL isMember) {
    if (isMember == nullptr)
        return _acct_Fail(ERROR_INVALID_PARAMETER);
    if (!jxplat::security::SidIsValid(sidToCheck))
        return _acct_Fail(ERROR_INVALID_SID);
    // No thread impersonates here, so the thread's token is the process token.
    CTokenObject processToken(TOKEN_QUERY);
    std::shared_ptr<CTokenObject> given;
    const CTokenObject* token = &processToken;
    if (tokenHandle != nullptr) {
        given = jxplat::ReferenceKernelHandleAs<CTokenObject>(tokenHandle);
        if (!given)
            return _acct_Fail(ERROR_INVALID_HANDLE);
        if (!given->IsLinked())
            return _acct_Fail(ERROR_NO_IMPERSONATION_TOKEN);
        if ((given->Access() & TOKEN_QUERY) == 0)
            return _acct_Fail(ERROR_ACCESS_DENIED);
        token = given.get();
    }
    CTokenState& state = CTokenState::Get();
    std::lock_guard<std::mutex> guard(state.lock);
    state.EnsureLoaded();
    const std::u16string text = jxplat::security::SidToText(sidToCheck);
    bool member = jxtext::EqualsNoCase(text, state.userSid);
    for (const char16_t* group : kEveryTokenGroups)
        member = member || text == group;
    // In a filtered token Administrators is a deny-only group: present, but no member.
    if (text == kAdministratorsSid)
        member = token->IsFullAdministrator(state);
    *isMember = member ? TRUE : FALSE;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
