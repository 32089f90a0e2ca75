// CRegKeyEx: enumerating values with a growing buffer, strings with and without expansion,
// multi-string checks, deleting key trees in a view, and the one-call text writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "jxbase/regkey.h"
#include "jxtest/machine_root.h"

namespace {

const WCHAR* const kKey = u"Software\\Tolvane\\RegKeyTest";

void SetRaw(const WCHAR* name, DWORD type, const void* data, DWORD size, REGSAM view = 0) {
    CRegKeyEx key(HKEY_LOCAL_MACHINE, kKey, KEY_WRITE | view, true);
    ASSERT_EQ(key.Status(), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Key(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

bool KeyExists(const WCHAR* path, REGSAM view) {
    CRegKeyEx key(HKEY_LOCAL_MACHINE, path, KEY_READ | view);
    return key.Status() == ERROR_SUCCESS;
}

TEST(CRegKeyEx, EnumValueGrowsTheBufferAndRefusesHugeData) {
    jxtest::TempMachineRoot root;
    std::vector<BYTE> medium(3000, 0x5A);
    SetRaw(u"Medium", REG_BINARY, medium.data(), 3000);
    DWORD number = 0x01020304;
    SetRaw(u"Number", REG_DWORD, &number, 4);

    CRegKeyEx key(HKEY_LOCAL_MACHINE, kKey, KEY_READ);
    ASSERT_EQ(key.Status(), ERROR_SUCCESS);
    CRegValueBuffer buffer;
    std::u16string name;
    ASSERT_EQ(key.EnumValue(0, name, &buffer), ERROR_SUCCESS);
    EXPECT_EQ(name, u"Medium");
    EXPECT_EQ(buffer.m_Size, 3000u);
    EXPECT_EQ(buffer.m_Type, DWORD{REG_BINARY});
    EXPECT_EQ(std::vector<BYTE>(buffer.m_Data, buffer.m_Data + 3000), medium);
    EXPECT_EQ(buffer.GetDword(), 0u); // not a REG_DWORD
    ASSERT_EQ(key.EnumValue(1, name, &buffer), ERROR_SUCCESS);
    EXPECT_EQ(buffer.GetDword(), 0x01020304u);
    EXPECT_EQ(key.EnumValue(2, name, nullptr), ERROR_NO_MORE_ITEMS);
    std::free(buffer.m_Data);

    std::vector<BYTE> huge(2 * 1024 * 1024, 1);
    SetRaw(u"Huge", REG_BINARY, huge.data(), static_cast<DWORD>(huge.size()));
    CRegValueBuffer hugeBuffer;
    EXPECT_EQ(key.EnumValue(0, name, &hugeBuffer), ERROR_OUTOFMEMORY);
    std::free(hugeBuffer.m_Data);
}

TEST(CRegKeyEx, QueryStringValueTypesSizesAndExpansion) {
    jxtest::TempMachineRoot root;
    ::setenv("JX_REGKEY_TEST", "expanded", 1);
    DWORD number = 7;
    SetRaw(u"Number", REG_DWORD, &number, 4);
    SetRaw(u"EmptyZero", REG_SZ, u"", 0);
    SetRaw(u"EmptyTwo", REG_SZ, u"", 2);
    SetRaw(u"Odd", REG_SZ, u"ab\0", 5); // odd size: every byte is read, the half character dropped
    SetRaw(u"Expand", REG_EXPAND_SZ, u"%JX_REGKEY_TEST%\\x", 38);

    CRegKeyEx key(HKEY_LOCAL_MACHINE, kKey, KEY_READ);
    std::u16string text = u"untouched";
    EXPECT_EQ(key.QueryStringValue(u"Number", text), ERROR_INVALID_DATA);
    EXPECT_EQ(text, u"untouched");
    EXPECT_EQ(key.QueryStringValue(u"Missing", text), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.QueryStringValue(u"EmptyZero", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"");
    text = u"x";
    EXPECT_EQ(key.QueryStringValue(u"EmptyTwo", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(key.QueryStringValue(u"Odd", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"ab");
    EXPECT_EQ(key.QueryStringValue(u"Expand", text, kRegExpandExpandSz), ERROR_SUCCESS);
    EXPECT_EQ(text, u"expanded\\x");
    EXPECT_EQ(key.QueryStringValue(u"Expand", text, kRegExpandSz), ERROR_SUCCESS);
    EXPECT_EQ(text, u"%JX_REGKEY_TEST%\\x");

    EXPECT_EQ(key.GetStringValue(u"Expand", u"default", kRegExpandBoth), u"expanded\\x");
    EXPECT_EQ(key.GetStringValue(u"Number", u"default"), u"default");
    EXPECT_EQ(key.Status(), ERROR_INVALID_DATA);

    // A key that never opened answers the default without a registry call.
    CRegKeyEx missing(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Missing", KEY_READ);
    EXPECT_EQ(missing.Status(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.GetStringValue(u"Expand", u"default"), u"default");
    CRegKeyEx none;
    EXPECT_EQ(none.Status(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(none.GetStringValue(u"x", u"d"), u"d");
}

TEST(CRegKeyEx, QueryMultiStringValueChecksItsData) {
    jxtest::TempMachineRoot root;
    SetRaw(u"Good", REG_MULTI_SZ, u"one\0two\0", 18);
    SetRaw(u"OneTerminator", REG_MULTI_SZ, u"a", 4); // "a" and one zero
    SetRaw(u"Text", REG_SZ, u"a", 4);

    CRegKeyEx key(HKEY_LOCAL_MACHINE, kKey, KEY_READ);
    ULONG chars = 0;
    EXPECT_EQ(key.QueryMultiStringValue(u"Good", nullptr, &chars), ERROR_SUCCESS);
    EXPECT_EQ(chars, 9u);
    WCHAR one[1];
    chars = 1;
    EXPECT_EQ(key.QueryMultiStringValue(u"Good", one, &chars), ERROR_INSUFFICIENT_BUFFER);
    WCHAR buffer[32];
    chars = 32;
    EXPECT_EQ(key.QueryMultiStringValue(u"Good", buffer, &chars), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(buffer, 9), std::u16string(u"one\0two\0", 9));
    chars = 32;
    EXPECT_EQ(key.QueryMultiStringValue(u"OneTerminator", buffer, &chars), ERROR_INVALID_DATA);
    chars = 32;
    EXPECT_EQ(key.QueryMultiStringValue(u"Text", buffer, &chars), ERROR_INVALID_DATA);
    EXPECT_EQ(chars, 0u);
}

TEST(CRegKeyEx, RecurseDeleteKeyStaysInItsView) {
    jxtest::TempMachineRoot root;
    const WCHAR* deep = u"Software\\Tolvane\\Tree\\A\\B\\C";
    for (REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}}) {
        CRegKeyEx make(HKEY_LOCAL_MACHINE, deep, KEY_WRITE | view, true);
        ASSERT_EQ(make.Status(), ERROR_SUCCESS);
    }
    CRegKeyEx parent(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", KEY_ALL_ACCESS | KEY_WOW64_64KEY);
    ASSERT_EQ(parent.Status(), ERROR_SUCCESS);
    EXPECT_EQ(parent.ViewBits(), REGSAM{KEY_WOW64_64KEY});
    EXPECT_EQ(parent.RecurseDeleteKey(u"Tree"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(u"Software\\Tolvane\\Tree", KEY_WOW64_64KEY));
    EXPECT_TRUE(KeyExists(deep, KEY_WOW64_32KEY)); // the other view keeps its tree
    EXPECT_EQ(parent.RecurseDeleteKey(u"Tree"), ERROR_FILE_NOT_FOUND);

    // An empty name would name the key itself: refused.
    EXPECT_EQ(parent.RecurseDeleteKey(u""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parent.DeleteSubKey(u""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parent.DeleteSubKey(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(KeyExists(u"Software\\Tolvane", KEY_WOW64_64KEY));

    CRegKeyEx parent32(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Tree\\A\\B",
                       KEY_ALL_ACCESS | KEY_WOW64_32KEY);
    EXPECT_EQ(parent32.DeleteSubKey(u"C"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(deep, KEY_WOW64_32KEY));
    EXPECT_EQ(parent32.Close(), ERROR_SUCCESS);
    EXPECT_EQ(parent32.ViewBits(), 0u);
}

TEST(CRegKeyEx, OpenFailureKeepsTheHeldKeyAndAdoptedHandles) {
    jxtest::TempMachineRoot root;
    SetRaw(u"Name", REG_SZ, u"v", 4);
    CRegKeyEx key(HKEY_LOCAL_MACHINE, kKey, KEY_READ);
    HKEY held = key.Key();
    EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Missing", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.Key(), held);
    EXPECT_TRUE(key.ValueExists(u"Name"));
    EXPECT_FALSE(key.ValueExists(u"Other"));

    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_32KEY, &raw), ERROR_SUCCESS);
    CRegKeyEx adopted(raw, KEY_ALL_ACCESS | KEY_WOW64_32KEY);
    EXPECT_EQ(adopted.Status(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(adopted.ViewBits(), REGSAM{KEY_WOW64_32KEY});
    EXPECT_EQ(adopted.Access(), REGSAM{KEY_READ});
    EXPECT_TRUE(adopted.ValueExists(u"Name"));
}

TEST(CRegKeyEx, WriteRegistryValueWritesTheChosenStringType) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(WriteRegistryValue(u"%SystemRoot%\\x.exe", HKEY_LOCAL_MACHINE, kKey, u"ImagePath",
                                   KEY_WOW64_64KEY, 1));
    ASSERT_TRUE(WriteRegistryValue(u"plain", HKEY_LOCAL_MACHINE, kKey, u"Plain", 0, 0));
    DWORD type = 0;
    DWORD size = 0;
    CRegKeyEx key64(HKEY_LOCAL_MACHINE, kKey, KEY_READ | KEY_WOW64_64KEY);
    ASSERT_EQ(RegQueryValueExW(key64.Key(), u"ImagePath", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_EXPAND_SZ});
    EXPECT_EQ(size, 38u);
    CRegKeyEx key32(HKEY_LOCAL_MACHINE, kKey, KEY_READ);
    ASSERT_EQ(RegQueryValueExW(key32.Key(), u"Plain", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_SZ});
    EXPECT_FALSE(key32.ValueExists(u"ImagePath"));
}

} // namespace
