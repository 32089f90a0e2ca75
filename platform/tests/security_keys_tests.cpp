// Security descriptors kept with registry keys: the default, reading parts, writing a DACL, and
// who may do it.
#include <gtest/gtest.h>

#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/security.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winreg.h"
#include "jxtest/machine_root.h"
#include "registry_test_support.h"

namespace {

using jxregtest::CKey;

std::vector<BYTE> ReadSecurity(HKEY key, SECURITY_INFORMATION parts, LSTATUS* status = nullptr) {
    DWORD size = 0;
    LSTATUS first = RegGetKeySecurity(key, parts, nullptr, &size);
    std::vector<BYTE> descriptor(size);
    LSTATUS second =
        first == ERROR_INSUFFICIENT_BUFFER ? RegGetKeySecurity(key, parts, descriptor.data(), &size) : first;
    if (status)
        *status = second;
    return second == ERROR_SUCCESS ? descriptor : std::vector<BYTE>();
}

// The SID texts of a descriptor's DACL entries, with their masks.
std::vector<std::pair<std::u16string, DWORD>> DaclEntries(std::vector<BYTE>& descriptor) {
    std::vector<std::pair<std::u16string, DWORD>> entries;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    if (!present || dacl == nullptr)
        return entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        LPVOID ace = nullptr;
        EXPECT_TRUE(GetAce(dacl, i, &ace));
        LPWSTR text = nullptr;
        EXPECT_TRUE(ConvertSidToStringSidW(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, &text));
        entries.emplace_back(text, static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask);
        LocalFree(text);
    }
    return entries;
}

TEST(SecurityKeys, DefaultDescriptorOfMachineAndUserKeys) {
    jxtest::TempMachineRoot root;
    CKey machine;
    ASSERT_EQ(jxregtest::Create(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Sec", KEY_ALL_ACCESS, &machine),
              ERROR_SUCCESS);
    std::vector<BYTE> descriptor =
        ReadSecurity(machine, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION);
    ASSERT_FALSE(descriptor.empty());
    using Entries = std::vector<std::pair<std::u16string, DWORD>>;
    EXPECT_EQ(DaclEntries(descriptor), (Entries{{u"S-1-5-18", KEY_ALL_ACCESS},
                                                {u"S-1-5-32-544", KEY_ALL_ACCESS},
                                                {u"S-1-5-32-545", KEY_READ}}));
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted));
    LPWSTR text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(owner, &text));
    EXPECT_EQ(std::u16string(text), u"S-1-5-32-544");
    LocalFree(text);

    // Only the parts asked for: no owner here.
    std::vector<BYTE> daclOnly = ReadSecurity(machine, DACL_SECURITY_INFORMATION);
    ASSERT_TRUE(GetSecurityDescriptorOwner(daclOnly.data(), &owner, &defaulted));
    EXPECT_EQ(owner, nullptr);

    CKey user;
    ASSERT_EQ(jxregtest::Create(HKEY_CURRENT_USER, u"Software\\Tolvane", KEY_ALL_ACCESS, &user),
              ERROR_SUCCESS);
    std::vector<BYTE> userDescriptor = ReadSecurity(user, DACL_SECURITY_INFORMATION);
    EXPECT_EQ(DaclEntries(userDescriptor).back().first, jxtext::W(jxplat::Machine().user.sid));
}

TEST(SecurityKeys, WrittenDaclIsKeptPerKeyAndView) {
    jxtest::TempMachineRoot root;
    PSID everyone = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-1-0", &everyone));
    alignas(4) BYTE aclBuffer[64];
    PACL dacl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(dacl, sizeof(aclBuffer), ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAceEx(dacl, ACL_REVISION, 3, KEY_READ, everyone));
    SECURITY_DESCRIPTOR absolute{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, dacl, FALSE));

    CKey key64;
    ASSERT_EQ(
        jxregtest::Create(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key64),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeySecurity(key64, DACL_SECURITY_INFORMATION, &absolute), ERROR_SUCCESS);
    // The owner stays the one it had.
    std::vector<BYTE> descriptor =
        ReadSecurity(key64, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION);
    using Entries = std::vector<std::pair<std::u16string, DWORD>>;
    EXPECT_EQ(DaclEntries(descriptor), (Entries{{u"S-1-1-0", KEY_READ}}));
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted));
    EXPECT_NE(owner, nullptr);

    // The 32-bit view's key is another key with its own (default) descriptor.
    CKey key32;
    ASSERT_EQ(
        jxregtest::Create(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key32),
        ERROR_SUCCESS);
    std::vector<BYTE> other = ReadSecurity(key32, DACL_SECURITY_INFORMATION);
    EXPECT_EQ(DaclEntries(other).size(), 3u);

    // A handle without WRITE_DAC or READ_CONTROL is refused; bad descriptors too.
    CKey readOnly;
    ASSERT_EQ(jxregtest::Open(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                              &readOnly),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeySecurity(readOnly, DACL_SECURITY_INFORMATION, &absolute), ERROR_ACCESS_DENIED);
    LSTATUS status = 0;
    ReadSecurity(readOnly, DACL_SECURITY_INFORMATION, &status);
    EXPECT_EQ(status, ERROR_ACCESS_DENIED);
    BYTE garbage[20] = {7};
    EXPECT_EQ(RegSetKeySecurity(key64, DACL_SECURITY_INFORMATION, garbage), ERROR_INVALID_SECURITY_DESCR);
    ReadSecurity(key64, SACL_SECURITY_INFORMATION, &status);
    EXPECT_EQ(status, ERROR_PRIVILEGE_NOT_HELD);
    LocalFree(everyone);
}

TEST(SecurityKeys, OnlyAnElevatedAdministratorChangesMachineKeys) {
    jxtest::TempMachineRoot root;
    {
        CKey make;
        ASSERT_EQ(jxregtest::Create(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", KEY_ALL_ACCESS, &make),
                  ERROR_SUCCESS);
    }
    jxplat::MachineDescription machine;
    machine.user.elevated = false;
    root.Describe(machine);
    SECURITY_DESCRIPTOR absolute{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, nullptr, FALSE));
    EXPECT_EQ(RegSetKeySecurity(HKEY_LOCAL_MACHINE, DACL_SECURITY_INFORMATION, &absolute),
              ERROR_ACCESS_DENIED);
    CKey user;
    ASSERT_EQ(jxregtest::Create(HKEY_CURRENT_USER, u"Software\\Mine", KEY_ALL_ACCESS, &user), ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeySecurity(user, DACL_SECURITY_INFORMATION, &absolute), ERROR_SUCCESS);
    std::vector<BYTE> descriptor = ReadSecurity(user, DACL_SECURITY_INFORMATION);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = &*reinterpret_cast<PACL>(descriptor.data());
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(dacl, nullptr); // a NULL DACL
}

} // namespace
