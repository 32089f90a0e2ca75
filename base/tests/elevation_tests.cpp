// The elevation checks over the machine's user and the UAC policy values, and the copied account
// SID with its names.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/accountsid.h"
#include "jxbase/elevation.h"
#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxtest/machine_root.h"

namespace {

const WCHAR kPolicyKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

enum CUser { ElevatedAdmin, FilteredAdmin, StandardUser };

// A policy value to write, or none to remove it; unset leaves the machine's own value.
struct CPolicy {
    const WCHAR* name;
    std::optional<DWORD> value;
};

struct CChecks {
    bool admin;
    bool adminLinked;
    bool elevated;
    bool canElevate;
    bool adminOrCanElevate;
    bool silent;
};

// Writes the policy values in the native view (the key is shared by both views) while the user may
// still write HKLM, then turns the machine into the one the row describes.
void PrepareMachine(jxtest::TempMachineRoot& root, CUser user, DWORD windowsMajor,
                    const std::vector<CPolicy>& policy) {
    for (const CPolicy& entry : policy) {
        if (entry.value)
            ASSERT_EQ(CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kPolicyKey, entry.name, *entry.value,
                                             KEY_WOW64_64KEY),
                      0);
        else
            CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kPolicyKey, entry.name, KEY_WOW64_64KEY);
    }
    jxplat::MachineDescription machine;
    machine.windowsMajor = windowsMajor;
    machine.windowsMinor = windowsMajor < 6 ? 1 : 0;
    machine.user.administrator = user != StandardUser;
    machine.user.elevated = user == ElevatedAdmin;
    root.Describe(machine);
}

CChecks Check() {
    CChecks checks{};
    checks.admin = IsUserAdmin(false);
    checks.adminLinked = IsUserAdmin(true);
    checks.elevated = IsProcessElevated();
    checks.canElevate = CanElevateWithUac();
    checks.adminOrCanElevate = IsUserAdminOrCanElevate();
    bool silent = true;
    EXPECT_EQ(IsUserAdminEx(false, &silent), checks.admin);
    checks.silent = silent;
    EXPECT_EQ(IsUserAdminEx(true), checks.adminLinked);
    return checks;
}

} // namespace

TEST(Elevation, ChecksFollowTheTokenAndTheUacPolicy) {
    const std::optional<DWORD> missing;
    struct Row {
        const char* name;
        CUser user;
        DWORD windowsMajor;
        std::vector<CPolicy> policy;
        CChecks expected;
    } rows[] = {
        // A fresh machine has the Windows 10 policy: UAC on, administrators and users prompted.
        {"elevated administrator", ElevatedAdmin, 10, {}, {true, true, true, true, true, false}},
        {"administrator in a filtered session",
         FilteredAdmin,
         10,
         {},
         {false, true, false, true, true, false}},
        {"administrator elevated without a prompt",
         FilteredAdmin,
         10,
         {{u"ConsentPromptBehaviorAdmin", 0}},
         {false, true, false, true, true, true}},
        {"administrator prompt behaviour missing",
         FilteredAdmin,
         10,
         {{u"ConsentPromptBehaviorAdmin", missing}},
         {false, true, false, true, true, false}},
        {"standard user, user prompt behaviour missing",
         StandardUser,
         10,
         {{u"ConsentPromptBehaviorUser", missing}},
         {false, false, false, false, false, false}},
        {"standard user who may ask", StandardUser, 10, {}, {false, false, false, true, true, false}},
        {"UAC switched off",
         FilteredAdmin,
         10,
         {{u"EnableLUA", 0}, {u"ConsentPromptBehaviorAdmin", 0}},
         {false, true, false, false, true, false}},
        {"UAC value missing",
         StandardUser,
         10,
         {{u"EnableLUA", missing}, {u"ConsentPromptBehaviorUser", 3}},
         {false, false, false, false, false, false}},
        {"before Windows 6",
         FilteredAdmin,
         5,
         {{u"ConsentPromptBehaviorAdmin", 0}},
         {false, true, false, false, true, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        jxtest::TempMachineRoot root;
        PrepareMachine(root, row.user, row.windowsMajor, row.policy);
        const CChecks got = Check();
        EXPECT_EQ(got.admin, row.expected.admin);
        EXPECT_EQ(got.adminLinked, row.expected.adminLinked);
        EXPECT_EQ(got.elevated, row.expected.elevated);
        EXPECT_EQ(got.canElevate, row.expected.canElevate);
        EXPECT_EQ(got.adminOrCanElevate, row.expected.adminOrCanElevate);
        EXPECT_EQ(got.silent, row.expected.silent);
    }
}

TEST(Elevation, AMachineWithoutUacHasItsPolicyOff) {
    jxplat::MachineDescription machine;
    machine.user.administrator = false;
    machine.user.elevated = false;
    machine.user.uac = false;
    jxtest::TempMachineRoot root(machine);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kPolicyKey, u"EnableLUA", 7, 0), 0u);
    EXPECT_FALSE(CanElevateWithUac());
    EXPECT_FALSE(IsUserAdminOrCanElevate());
}

TEST(AccountSid, HoldsACopyOfTheSidWithItsLocalNames) {
    jxtest::TempMachineRoot root;
    PSID packages = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-15-2-1", &packages));
    CAccountSid account(packages);
    ASSERT_TRUE(account.IsValid());
    EXPECT_NE(account.GetSid(), packages);
    EXPECT_EQ(account.GetSidLength(), GetLengthSid(packages));
    EXPECT_TRUE(EqualSid(account.GetSid(), packages));
    EXPECT_EQ(account.GetSidText(), u"S-1-15-2-1");
    EXPECT_EQ(account.GetAccountName(), u"ALL APPLICATION PACKAGES");
    EXPECT_EQ(account.GetDomainName(), u"APPLICATION PACKAGE AUTHORITY");
    EXPECT_EQ(account.GetAccountType(), SidTypeWellKnownGroup);
    LocalFree(packages);

    // An account the local system does not know keeps its SID but no names.
    PSID unknown = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-21-1-2-3-500", &unknown));
    ASSERT_TRUE(account.Assign(unknown));
    EXPECT_EQ(account.GetSidText(), u"S-1-5-21-1-2-3-500");
    EXPECT_TRUE(account.GetAccountName().empty());
    EXPECT_TRUE(account.GetDomainName().empty());
    EXPECT_EQ(account.GetAccountType(), SidTypeUser);
    LocalFree(unknown);
}

TEST(AccountSid, AnInvalidSidLeavesTheObjectEmpty) {
    jxtest::TempMachineRoot root;
    PSID user = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-21-3623811015-3361044348-30300820-1001", &user));
    CAccountSid account(user);
    LocalFree(user);
    ASSERT_TRUE(account.IsValid());
    EXPECT_EQ(account.GetAccountName(), u"Tester");
    EXPECT_EQ(account.GetAccountType(), SidTypeUser);

    BYTE broken[12] = {2, 1, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0}; // revision 2 is no SID
    EXPECT_FALSE(account.Assign(broken));
    EXPECT_FALSE(account.IsValid());
    EXPECT_EQ(account.GetSid(), nullptr);
    EXPECT_EQ(account.GetSidLength(), 0u);
    EXPECT_TRUE(account.GetSidText().empty());
    EXPECT_TRUE(account.GetAccountName().empty());
    EXPECT_EQ(account.GetAccountType(), SidTypeUser);
    EXPECT_FALSE(account.Assign(nullptr));
}
