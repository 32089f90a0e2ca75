#include <gtest/gtest.h>

#include "jxbase/reg.h"
#include "jxtest/machine_root.h"

namespace {

const WCHAR* const kKey = u"Software\\Tolvane\\Test";

void SetRaw(const WCHAR* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(CReg, StringReads) {
    jxtest::TempMachineRoot root;
    SetRaw(u"Empty", REG_SZ, u"", 2);
    SetRaw(u"Multi", REG_MULTI_SZ, u"first\0second\0", 28);
    std::u16string big(600, u'x');
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Big", big, CRegStringType::Sz, 0);
    SetRaw(u"NoTerminator", REG_SZ, u"abc", 6);

    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Empty", u"default", 0), u"");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Multi", u"default", 0), u"first");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Big", u"default", 0), big);
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"NoTerminator", u"", 0), u"abc");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Missing", u"default", 0), u"default");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Nowhere", u"x", u"d", 0), u"d");
}

TEST(CReg, StringTypeIsExplicit) {
    jxtest::TempMachineRoot root;
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Plain", u"%TEMP%", CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Expand", u"%TEMP%", CRegStringType::ExpandSz, 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    RegQueryValueExW(key, u"Plain", nullptr, &type, nullptr, &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 14u); // with its terminating zero
    RegQueryValueExW(key, u"Expand", nullptr, &type, nullptr, &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    RegCloseKey(key);
}

TEST(CReg, IntReads) {
    jxtest::TempMachineRoot root;
    EXPECT_EQ(CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Dword", 0xDEADBEEF, 0), ERROR_SUCCESS);
    ULONGLONG qword = 7;
    SetRaw(u"Qword", REG_QWORD, &qword, 8);
    BYTE two[] = {0x34, 0x12};
    SetRaw(u"Short", REG_BINARY, two, 2);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Dword", 1, 0), 0xDEADBEEFu);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Missing", 9, 0), 9u);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Qword", 9, 0), 9u);
    // Shorter data replaces only the low-order bytes of the default.
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Short", 0xAABBCCDD, 0), 0xAABB1234u);
}

TEST(CReg, MultiStrings) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CReg::PutMultiStringToRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"Two", {u"a", u"bc"}, 0));
    auto data = ReadRegistryValueData(HKEY_LOCAL_MACHINE, kKey, u"Two", 0, REG_MULTI_SZ);
    ASSERT_TRUE(data);
    const BYTE expected[] = {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0};
    EXPECT_EQ(*data, std::vector<BYTE>(expected, expected + sizeof(expected)));

    SetRaw(u"WithEmpty", REG_MULTI_SZ, u"a\0\0b\0", 12);
    SetRaw(u"Unterminated", REG_MULTI_SZ, u"xyz", 6);
    SetRaw(u"Sz", REG_SZ, u"a\0", 4);
    ASSERT_TRUE(CReg::PutMultiStringToRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"None", {}, 0));
    using V = std::vector<std::u16string>;
    EXPECT_EQ(CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"Two", 0), (V{u"a", u"bc"}));
    EXPECT_EQ(CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"WithEmpty", 0),
              (V{u"a", u"b"}));
    EXPECT_EQ(CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"Unterminated", 0), (V{u"xyz"}));
    EXPECT_EQ(CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"Sz", 0), V{});
    EXPECT_EQ(CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"None", 0), V{});
}

TEST(CReg, TestsAndDeletes) {
    jxtest::TempMachineRoot root;
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Test\\Child\\Grandchild", u"v", 1, 0);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kKey, u"v", 1, 0);
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kKey, 0));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kKey, u"v", 0));
    EXPECT_TRUE(CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"v", 0));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kKey, u"v", 0));
    EXPECT_FALSE(CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"v", 0));

    // An empty name must not delete the parent; a key with sub-keys stays.
    EXPECT_FALSE(CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"", 0));
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kKey, 0));
    EXPECT_FALSE(CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Child", 0));
    EXPECT_TRUE(
        CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Test\\Child", u"Grandchild", 0));
    EXPECT_TRUE(CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Child", 0));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Test\\Child", 0));
}

TEST(CReg, ViewsAreNamedByTheCaller) {
    jxtest::TempMachineRoot root;
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kKey, u"v", 32, KEY_WOW64_32KEY);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kKey, u"v", 64, KEY_WOW64_64KEY);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"v", 0, 0), 32u); // the process's own view
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"v", 0, KEY_WOW64_64KEY), 64u);
    EXPECT_TRUE(
        CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", u"Test", KEY_WOW64_64KEY));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY));
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY));
}

TEST(CReg, ProductVariantsUseTheProductRoot) {
    jxtest::TempMachineRoot root;
    EXPECT_EQ(GetProductRegistryPath(nullptr), u"Software\\Tolvane");
    EXPECT_EQ(GetProductRegistryPath(u"JxSetupEngine"), u"Software\\Tolvane\\JxSetupEngine");
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", u"Root", u"r", CRegStringType::Sz, 0);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE\\QrvScanP", u"DebugLevel", 6, 0);
    EXPECT_EQ(CReg::GetProductStringFromRegistry(HKEY_LOCAL_MACHINE, u"", u"Root", u"", 0), u"r");
    EXPECT_EQ(CReg::GetProductIntFromRegistry(HKEY_LOCAL_MACHINE, u"QrvScanP", u"DebugLevel", 0, 0), 6u);
    EXPECT_TRUE(CReg::DeleteProductValueFromRegistry(HKEY_LOCAL_MACHINE, u"QrvScanP", u"DebugLevel", 0));
}

} // namespace
