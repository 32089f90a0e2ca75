// Well-known SIDs, the local account lookup, and the token pair of an administrator under UAC.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxtest/machine_root.h"

namespace {

std::vector<BYTE> SidOf(const WCHAR* text) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidW(text, &sid));
    std::vector<BYTE> bytes(static_cast<const BYTE*>(sid), static_cast<const BYTE*>(sid) + GetLengthSid(sid));
    LocalFree(sid);
    return bytes;
}

} // namespace

TEST(SecurityAccounts, LookupFollowsTheTwoCallSizeProtocol) {
    jxtest::TempMachineRoot root;
    struct Row {
        const WCHAR* sid;
        std::u16string name;
        std::u16string domain;
        SID_NAME_USE use;
    } rows[] = {
        {u"S-1-15-2-1", u"ALL APPLICATION PACKAGES", u"APPLICATION PACKAGE AUTHORITY", SidTypeWellKnownGroup},
        {u"S-1-5-32-544", u"Administrators", u"BUILTIN", SidTypeAlias},
        {u"S-1-1-0", u"Everyone", u"", SidTypeWellKnownGroup},
        {u"S-1-5-21-3623811015-3361044348-30300820-1001", u"Tester", u"JXTEST-PC", SidTypeUser},
    };
    for (const Row& row : rows) {
        std::vector<BYTE> sid = SidOf(row.sid);
        DWORD nameSize = 0, domainSize = 0;
        SID_NAME_USE use = SidTypeUnknown;
        EXPECT_FALSE(LookupAccountSidW(nullptr, sid.data(), nullptr, &nameSize, nullptr, &domainSize, &use));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(nameSize, row.name.size() + 1);
        EXPECT_EQ(domainSize, row.domain.size() + 1);
        std::u16string name(nameSize, u'?'), domain(domainSize, u'?');
        ASSERT_TRUE(
            LookupAccountSidW(u"", sid.data(), name.data(), &nameSize, domain.data(), &domainSize, &use));
        EXPECT_EQ(name.c_str(), row.name);
        EXPECT_EQ(domain.c_str(), row.domain);
        EXPECT_EQ(nameSize, row.name.size());
        EXPECT_EQ(use, row.use);
    }
    std::vector<BYTE> unknown = SidOf(u"S-1-5-21-1-2-3-500");
    DWORD nameSize = 0, domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    EXPECT_FALSE(LookupAccountSidW(nullptr, unknown.data(), nullptr, &nameSize, nullptr, &domainSize, &use));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED));
    std::vector<BYTE> admins = SidOf(u"S-1-5-32-544");
    EXPECT_FALSE(
        LookupAccountSidW(u"\\\\OTHER-PC", admins.data(), nullptr, &nameSize, nullptr, &domainSize, &use));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST(SecurityAccounts, WellKnownSidsMatchTheirTextForms) {
    jxtest::TempMachineRoot root;
    DWORD size = 0;
    EXPECT_FALSE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 16u);
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    size = sizeof(sid);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size));
    EXPECT_EQ(std::vector<BYTE>(sid, sid + size), SidOf(u"S-1-5-32-544"));
    size = sizeof(sid);
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAnyPackageSid, nullptr, sid, &size));
    EXPECT_EQ(std::vector<BYTE>(sid, sid + size), SidOf(u"S-1-15-2-1"));
}

// The process token and its linked token for each kind of user: which one is elevated and which
// one holds Administrators.
TEST(SecurityAccounts, AnAdministratorUnderUacHasATokenPair) {
    struct Row {
        const char* name;
        bool administrator, elevated, uac;
        bool processAdmin, hasLinked, linkedAdmin, linkedElevated;
        DWORD elevationType;
    } rows[] = {
        {"filtered administrator", true, false, true, false, true, true, true, TokenElevationTypeLimited},
        {"elevated administrator", true, true, true, true, true, false, false, TokenElevationTypeFull},
        {"administrator without UAC", true, true, false, true, false, false, false,
         TokenElevationTypeDefault},
        {"standard user", false, false, true, false, false, false, false, TokenElevationTypeDefault},
    };
    std::vector<BYTE> admins = SidOf(u"S-1-5-32-544");
    std::vector<BYTE> users = SidOf(u"S-1-5-32-545");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        jxplat::MachineDescription machine;
        machine.user.administrator = row.administrator;
        machine.user.elevated = row.elevated;
        machine.user.uac = row.uac;
        jxtest::TempMachineRoot root(machine);
        BOOL member = -1;
        ASSERT_TRUE(CheckTokenMembership(nullptr, admins.data(), &member));
        EXPECT_EQ(member != FALSE, row.processAdmin);
        ASSERT_TRUE(CheckTokenMembership(nullptr, users.data(), &member));
        EXPECT_TRUE(member);

        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
        // The process token is a primary token.
        EXPECT_FALSE(CheckTokenMembership(token, admins.data(), &member));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_IMPERSONATION_TOKEN));
        DWORD type = 0, size = 0;
        ASSERT_TRUE(GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size));
        EXPECT_EQ(type, row.elevationType);
        TOKEN_LINKED_TOKEN linked = {};
        const BOOL got = GetTokenInformation(token, TokenLinkedToken, &linked, sizeof(linked), &size);
        CloseHandle(token);
        ASSERT_EQ(got != FALSE, row.hasLinked);
        if (!got) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_LOGON_SESSION));
            continue;
        }
        ASSERT_TRUE(CheckTokenMembership(linked.LinkedToken, admins.data(), &member));
        EXPECT_EQ(member != FALSE, row.linkedAdmin);
        TOKEN_ELEVATION elevation = {};
        ASSERT_TRUE(
            GetTokenInformation(linked.LinkedToken, TokenElevation, &elevation, sizeof(elevation), &size));
        EXPECT_EQ(elevation.TokenIsElevated != 0, row.linkedElevated);
        CloseHandle(linked.LinkedToken);
    }
}
