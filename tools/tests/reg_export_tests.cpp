// The .reg text of a key tree: headers, escaping, every value type, wrapping, views.
#include <gtest/gtest.h>

#include "jxmachine/reg_export.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

LSTATUS Set(HKEY root, const char16_t* path, REGSAM view, const char16_t* name, DWORD type,
            std::vector<BYTE> data) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status;
}

std::vector<BYTE> Utf16Bytes(std::u16string_view text) {
    const BYTE* data = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(data, data + text.size() * sizeof(char16_t));
}

TEST(RegExport, PrintsTheTreeAsRegeditText) {
    jxtest::TempMachineRoot root;
    const char16_t* key = u"SOFTWARE\\Jx";
    ASSERT_EQ(ERROR_SUCCESS,
              Set(HKEY_LOCAL_MACHINE, key, 0, u"", REG_SZ, Utf16Bytes(std::u16string_view(u"d\0", 2))));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"Path \"q\"", REG_SZ,
                                 Utf16Bytes(std::u16string_view(u"C:\\Jx \"x\"\0", 10))));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"Count", REG_DWORD, {0x0A, 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"Exp", REG_EXPAND_SZ,
                                 Utf16Bytes(std::u16string_view(u"%A%\0", 4))));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"Multi", REG_MULTI_SZ,
                                 Utf16Bytes(std::u16string_view(u"a\0b\0\0", 5))));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"Q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"Bin", REG_BINARY, {0xDE, 0xAD}));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"None", REG_NONE, {}));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, key, 0, u"Odd", REG_SZ, {0x61}));
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx\\Sub", 0, u"V", REG_DWORD, {1, 0, 0, 0}));

    EXPECT_EQ("Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Jx]\n"
              "@=\"d\"\n"
              "\"Bin\"=hex:de,ad\n"
              "\"Count\"=dword:0000000a\n"
              "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\n"
              "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
              "\"None\"=hex(0):\n"
              "\"Odd\"=hex(1):61\n"
              "\"Path \\\"q\\\"\"=\"C:\\\\Jx \\\"x\\\"\"\n"
              "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Jx\\Sub]\n"
              "\"V\"=dword:00000001\n"
              "\n",
              jxtools::ExportRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx", 0));
}

TEST(RegExport, WrapsLongHexAtEightyColumnsAndHonoursTheView) {
    jxtest::TempMachineRoot root;
    ASSERT_EQ(ERROR_SUCCESS, Set(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx", KEY_WOW64_64KEY, u"B", REG_BINARY,
                                 std::vector<BYTE>(60, 0x11)));
    std::string text = jxtools::ExportRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx", KEY_WOW64_64KEY);
    size_t start = text.find("\"B\"=hex:");
    ASSERT_NE(std::string::npos, start);
    size_t bytes = 0;
    for (const std::u16string& line : jxtext::Split(jxtext::W(text.substr(start)), u'\n')) {
        if (line.empty())
            break;
        EXPECT_LE(line.size(), 80u);
        for (size_t at = line.find(u"11"); at != std::u16string::npos; at = line.find(u"11", at + 2))
            ++bytes;
    }
    EXPECT_EQ(60u, bytes);
    // The engine's default view is the 32-bit one, where this key does not exist.
    EXPECT_EQ("", jxtools::ExportRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx", 0));
}

} // namespace
