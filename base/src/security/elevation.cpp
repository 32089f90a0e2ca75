// The elevation and account tests over the process token, the built-in Administrators group and
// the UAC policy values of the registry.
#include "jxbase/elevation.h"

#include "jxbase/reg.h"
#include "jxbase/trace.h"

namespace {

const WCHAR kUacPolicyKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// The policy values as Windows reads them when they are missing.
const DWORD kEnableLuaDefault = 0;
const DWORD kConsentAdminDefault = 2;
const DWORD kConsentUserDefault = 0;

DWORD _elev_Policy(const WCHAR* valueName, DWORD defaultValue) {
    return CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kUacPolicyKey, valueName, defaultValue, 0);
}

bool _elev_IsVistaOrLater() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&version))) {
        JX_QRV_TRACE(0, u"_elev_IsVistaOrLater", u"GetVersionEx failed with %lu\n", GetLastError());
        return false;
    }
    return version.dwMajorVersion >= 6;
}

bool _elev_IsUacOn() {
    return _elev_IsVistaOrLater() && _elev_Policy(u"EnableLUA", kEnableLuaDefault) != 0;
}

// The thread's own token in Administrators: the group as an enabled member.
bool _elev_IsThreadTokenAdmin() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                  0, 0, 0, 0, &administrators)) {
        JX_QRV_TRACE(0, u"IsUserAdmin", u"AllocateAndInitializeSid failed with %lu\n", GetLastError());
        return false;
    }
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) {
        JX_QRV_TRACE(0, u"IsUserAdmin", u"CheckTokenMembership failed with %lu\n", GetLastError());
        member = FALSE;
    }
    FreeSid(administrators);
    return member != FALSE;
}

// The process token's linked token in Administrators: the full token of an administrator whose
// process runs with the filtered token.
bool _elev_IsLinkedTokenAdmin() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        JX_QRV_TRACE(0, u"IsUserAdmin", u"OpenProcessToken failed with %lu\n", GetLastError());
        return false;
    }
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    const BOOL haveLinked = GetTokenInformation(token, TokenLinkedToken, &linked, sizeof(linked), &size);
    CloseHandle(token);
    if (!haveLinked) {
        // A standard user or a machine without UAC has no linked token.
        JX_QRV_TRACE(1, u"IsUserAdmin", u"no linked token (%lu)\n", GetLastError());
        return false;
    }
    BYTE sidBuffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof(sidBuffer);
    BOOL member = FALSE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidBuffer, &sidSize)) {
        JX_QRV_TRACE(0, u"IsUserAdmin", u"CreateWellKnownSid failed with %lu\n", GetLastError());
    } else if (!CheckTokenMembership(linked.LinkedToken, sidBuffer, &member)) {
        JX_QRV_TRACE(0, u"IsUserAdmin", u"CheckTokenMembership of the linked token failed with %lu\n",
                     GetLastError());
        member = FALSE;
    }
    CloseHandle(linked.LinkedToken);
    return member != FALSE;
}

} // namespace

bool IsUserAdmin(bool checkLinkedToken) {
    if (_elev_IsThreadTokenAdmin())
        return true;
    return checkLinkedToken && _elev_IsLinkedTokenAdmin();
}

bool IsProcessElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_QUERY_SOURCE, &token)) {
        JX_QRV_TRACE(0, u"IsProcessElevated", u"OpenProcessToken failed with %lu\n", GetLastError());
        return false;
    }
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
    const DWORD error = GetLastError();
    CloseHandle(token);
    if (!read) {
        JX_QRV_TRACE(0, u"IsProcessElevated", u"GetTokenInformation failed with %lu\n", error);
        return false;
    }
    return elevation.TokenIsElevated != 0;
}

bool CanElevateWithUac() {
    if (!_elev_IsUacOn())
        return false;
    if (IsUserAdmin(true))
        return true;
    // A standard user's request is refused outright when the policy says 0.
    return _elev_Policy(u"ConsentPromptBehaviorUser", kConsentUserDefault) != 0;
}

bool IsUserAdminOrCanElevate() {
    return IsUserAdmin(true) || CanElevateWithUac();
}

bool IsUserAdminEx(bool checkLinkedToken, bool* elevatesSilently) {
    const bool admin = IsUserAdmin(checkLinkedToken);
    if (elevatesSilently) {
        *elevatesSilently = false;
        *elevatesSilently = _elev_IsUacOn() && IsUserAdmin(true) &&
                            _elev_Policy(u"ConsentPromptBehaviorAdmin", kConsentAdminDefault) == 0;
    }
    return admin;
}
