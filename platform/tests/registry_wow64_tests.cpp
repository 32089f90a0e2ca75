// The 32-bit view of HKLM\SOFTWARE on 64-bit Windows: redirection to WOW6432Node, shared keys,
// views passed on by handles, and a 32-bit machine without any of it.
#include <gtest/gtest.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "registry_test_support.h"

using namespace jxregtest;

namespace {

class RegistryWow64 : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_root;
};

TEST_F(RegistryWow64, The32BitViewWritesBelowWow6432Node) {
    // Without a view flag the engine, a 32-bit program, sees the 32-bit view.
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
        SCOPED_TRACE(view);
        ASSERT_EQ(ERROR_SUCCESS,
                  WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", view, u"Where", u"32"));
        std::u16string text;
        EXPECT_EQ(ERROR_SUCCESS, ReadString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\JxVendor",
                                            KEY_WOW64_64KEY, u"Where", &text));
        EXPECT_EQ(u"32", text);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", KEY_WOW64_64KEY));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", view));
        // A path that names WOW6432Node already is not redirected a second time.
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\JxVendor", view));
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", view, 0));
    }
    // The native view writes where it says.
    ASSERT_EQ(ERROR_SUCCESS,
              WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", KEY_WOW64_64KEY, u"Where", u"64"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", KEY_WOW64_64KEY));
}

TEST_F(RegistryWow64, SharedKeysAreOneKeyInBothViews) {
    struct Case {
        const char16_t* written; // through the 32-bit view
        const char16_t* native;  // where the 64-bit view finds it
    };
    const Case cases[] = {
        {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\jx.exe",
         u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\jx.exe"},
        {u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
         u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
        {u"software\\policies\\Jx", u"SOFTWARE\\Policies\\Jx"},
        {u"SOFTWARE\\Classes\\.jxp", u"SOFTWARE\\Classes\\.jxp"},
        // COM registration below Classes is redirected, also when reached through the link.
        {u"SOFTWARE\\Classes\\CLSID\\{JX}", u"SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{JX}"},
        {u"SOFTWARE\\WOW6432Node\\Classes\\Interface\\{JX}",
         u"SOFTWARE\\Classes\\WOW6432Node\\Interface\\{JX}"},
        // Not shared: the uninstall entries and a sibling of a shared key.
        {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jx",
         u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jx"},
        {u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App PathsX",
         u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\App PathsX"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(jxtext::N(c.written));
        ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, c.written, KEY_WOW64_32KEY, u"v", u"x"));
        std::u16string text;
        EXPECT_EQ(ERROR_SUCCESS, ReadString(HKEY_LOCAL_MACHINE, c.native, KEY_WOW64_64KEY, u"v", &text));
    }
    // The user's Classes key redirects its COM keys the same way; HKCU is otherwise shared.
    ASSERT_EQ(ERROR_SUCCESS,
              WriteString(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{JX}", 0, u"v", u"x"));
    EXPECT_TRUE(
        KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\WOW6432Node\\CLSID\\{JX}", KEY_WOW64_64KEY));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_CURRENT_USER, u"Software\\JxVendor", 0, u"v", u"x"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\JxVendor", KEY_WOW64_64KEY));
}

TEST_F(RegistryWow64, AHandlePassesItsViewOnAndDeleteTakesTheViewAsked) {
    CKey native;
    ASSERT_EQ(ERROR_SUCCESS,
              Open(HKEY_LOCAL_MACHINE, u"SOFTWARE", KEY_ALL_ACCESS | KEY_WOW64_64KEY, &native));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(native, u"JxVendor\\Product", 0, u"v", u"64"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor\\Product", KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor\\Product"));
    // Explicit bits of a call win over the handle's view.
    ASSERT_EQ(ERROR_SUCCESS, WriteString(native, u"JxVendor\\Product", KEY_WOW64_32KEY, u"v", u"32"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor\\Product"));

    // RegDeleteKeyW deletes in the handle's view, RegDeleteKeyExW in the view it names.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(native, u"JxVendor\\Product"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor\\Product"));
    ASSERT_EQ(ERROR_SUCCESS,
              RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor\\Product", KEY_WOW64_32KEY, 0));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor\\Product"));

    CKey both;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              Open(HKEY_LOCAL_MACHINE, u"SOFTWARE", KEY_READ | KEY_WOW64_RES, &both));
}

TEST_F(RegistryWow64, A32BitMachineHasOneViewAndIgnoresTheFlags) {
    jxplat::MachineDescription machine;
    machine.is64Bit = false;
    m_root.Describe(machine);
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY), REGSAM(KEY_WOW64_64KEY)}) {
        SCOPED_TRACE(view);
        ASSERT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", view, u"v", u"x"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", view));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\JxVendor", view));
    }
}

} // namespace
