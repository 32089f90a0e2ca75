// The merged Classes view and who may change what.
#include <gtest/gtest.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "registry_test_support.h"

using namespace jxregtest;

namespace {

class RegistryAccess : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_root;
};

std::u16string Read(HKEY root, const char16_t* path, const char16_t* name) {
    std::u16string text;
    LSTATUS status = ReadString(root, path, 0, name, &text);
    return status == ERROR_SUCCESS ? text
                                   : u"<error " + jxtext::ToText(static_cast<long long>(status)) + u">";
}

TEST_F(RegistryAccess, ClassesRootMergesTheUserOverTheMachine) {
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.jxp", 0, u"", u"machine"));
    ASSERT_EQ(ERROR_SUCCESS,
              WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.jxp", 0, u"Only", u"machine"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CURRENT_USER, u"Software\\Classes\\.jxp", 0, u"", u"user"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Jx.Machine", 0, u"", u"m"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CURRENT_USER, u"Software\\Classes\\Jx.User", 0, u"", u"u"));

    // Reads see the user's key first and fall through to the machine's.
    EXPECT_EQ(u"user", Read(HKEY_CLASSES_ROOT, u".jxp", u""));
    EXPECT_EQ(u"machine", Read(HKEY_CLASSES_ROOT, u".JXP", u"Only"));
    EXPECT_EQ(u"m", Read(HKEY_CLASSES_ROOT, u"Jx.Machine", u""));
    CKey root;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CLASSES_ROOT, u"", KEY_READ, &root));
    EXPECT_EQ((std::vector<std::u16string>{u".jxp", u"Jx.Machine", u"Jx.User"}), SubkeyNames(root));
    CKey both;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CLASSES_ROOT, u".jxp", KEY_READ, &both));
    EXPECT_EQ((std::vector<std::u16string>{u"", u"Only"}), ValueNames(both));
    DWORD values = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(both, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2u, values);

    // Writes go to the user's key where it exists, else to the machine's.
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CLASSES_ROOT, u".jxp", 0, u"New", u"x"));
    EXPECT_EQ(u"x", Read(HKEY_CURRENT_USER, u"Software\\Classes\\.jxp", u"New"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CLASSES_ROOT, u"Jx.Machine", 0, u"New", u"y"));
    EXPECT_EQ(u"y", Read(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Jx.Machine", u"New"));

    // New keys: below the user's key into the user's Classes, directly below the root into HKLM's.
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CLASSES_ROOT, u"Jx.User\\shell\\open", 0, u"", u"u"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\Jx.User\\shell\\open"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CLASSES_ROOT, u"Jx.Brand\\CurVer", 0, u"", u"m"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Jx.Brand\\CurVer"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\Jx.Brand"));

    // Deleting takes the user's key first.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, u".jxp"));
    EXPECT_EQ(u"machine", Read(HKEY_CLASSES_ROOT, u".jxp", u""));
}

TEST_F(RegistryAccess, OnlyAnElevatedAdministratorChangesTheMachine) {
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", 0, u"Name", u"kept"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Jx.Machine", 0, u"", u"m"));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CURRENT_USER, u"Software\\Classes\\Jx.User", 0, u"", u"u"));

    for (bool administrator : {true, false}) {
        SCOPED_TRACE(administrator ? "administrator, not elevated" : "standard user");
        jxplat::MachineDescription machine;
        machine.user.administrator = administrator;
        machine.user.elevated = false;
        m_root.Describe(machine);

        CKey key;
        DWORD disposition = 0;
        EXPECT_EQ(ERROR_ACCESS_DENIED, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxOther", KEY_READ, &key));
        EXPECT_EQ(ERROR_ACCESS_DENIED, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", KEY_WRITE, &key));
        EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", KEY_SET_VALUE, &key));
        EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", KEY_ALL_ACCESS, &key));
        EXPECT_EQ(ERROR_ACCESS_DENIED, SetString(HKEY_LOCAL_MACHINE, u"Name", u"x"));
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor"));
        EXPECT_EQ(ERROR_ACCESS_DENIED, WriteString(HKEY_CLASSES_ROOT, u"Jx.Machine", 0, u"", u"x"));
        EXPECT_EQ(ERROR_ACCESS_DENIED, WriteString(HKEY_CLASSES_ROOT, u"Jx.New", 0, u"", u"x"));

        // Reading works; an existing key opens through RegCreateKeyExW for reading.
        EXPECT_EQ(u"kept", Read(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", u"Name"));
        EXPECT_EQ(ERROR_SUCCESS,
                  Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", KEY_READ, &key, &disposition));
        EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
        // MAXIMUM_ALLOWED grants what the user may have: reading only.
        CKey most;
        ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", MAXIMUM_ALLOWED, &most));
        EXPECT_EQ(ERROR_ACCESS_DENIED, SetString(most, u"Name", u"x"));

        // The user's own hive, also through the Classes view, stays writable.
        EXPECT_EQ(ERROR_SUCCESS, WriteString(HKEY_CURRENT_USER, u"Software\\JxVendor", 0, u"Name", u"mine"));
        EXPECT_EQ(ERROR_SUCCESS, WriteString(HKEY_CLASSES_ROOT, u"Jx.User", 0, u"", u"mine"));
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Jx.New"));
}

} // namespace
