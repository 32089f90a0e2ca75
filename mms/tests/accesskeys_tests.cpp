// Access keys in the registry: value names per kind, both views on 64-bit Windows, the scrambled
// form, the access list of the restricted key, texts stored by other parties, subject texts.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jxbase/scrambler.h"
#include "jxmms/MmsAccessKeys.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "mmsmachine.h"

namespace {

const char16_t kRestricted[] = u"SOFTWARE\\TOLVANE\\Qrv ManagementServer\\Restricted";

// Raw bytes into a value of the restricted key (32-bit view, the one the engine reads).
void StoreRaw(const std::u16string& name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRestricted, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                    &key, nullptr);
    RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

std::string Utf16Bytes(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

bool KeyExists(REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE", 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class AccessKeys : public ::testing::Test {
protected:
    void TearDown() override { MmsAuthSubject = 0; }
    jxtest::TempMachineRoot m_Root;
};

TEST_F(AccessKeys, KindsNameTheirValues) {
    EXPECT_EQ(GetAccessKeyValueName(1), u"ClientAccessKey");
    EXPECT_EQ(GetAccessKeyValueName(2), u"ExchangeAccessKey");
    for (int kind : {3, 4, 5})
        EXPECT_EQ(GetAccessKeyValueName(kind), u"MmsAccessKey");
    EXPECT_EQ(GetAccessKeyValueName(100), u"IncomingAccessKey");
    for (int kind : {0, 6, 99, -2})
        EXPECT_EQ(GetAccessKeyValueName(kind), u"");
    EXPECT_EQ(GetAccessKeyValueName(-1), u""); // no subject yet
    MmsAuthSubject = 2;
    EXPECT_EQ(GetAccessKeyValueName(-1), u"ExchangeAccessKey");
}

TEST_F(AccessKeys, KindsWithoutANameTouchNothing) {
    jxmmstest::MmsMachine::SetProcessorArchitecture(u"AMD64");
    EXPECT_FALSE(WriteAccessKey(u"K", 0));
    EXPECT_FALSE(WriteAccessKey(u"K", -1));
    EXPECT_EQ(ReadAccessKey(0), u"");
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY));
    EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY));
}

TEST_F(AccessKeys, SixtyFourBitWindowsStoresBothViewsScrambled) {
    jxmmstest::MmsMachine::SetProcessorArchitecture(u"AMD64");
    ASSERT_TRUE(WriteAccessKey(u"6F9619FF-8B86-D011-B42D-00C04FC964FF", 100));
    EXPECT_EQ(ReadAccessKey(100), u"6F9619FF-8B86-D011-B42D-00C04FC964FF");
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const std::u16string stored = ReadRestrictedValue(u"IncomingAccessKey", u"", view);
        EXPECT_EQ(stored, ScrambleValue(u"6F9619FF-8B86-D011-B42D-00C04FC964FF", kScrambleKeyHead));
        EXPECT_EQ(stored.find(u"6F9619FF"), std::u16string::npos);
    }
    // Kinds 3 to 5 share one value; the other kinds keep theirs.
    ASSERT_TRUE(WriteAccessKey(u"main", 3));
    EXPECT_EQ(ReadAccessKey(5), u"main");
    EXPECT_EQ(ReadAccessKey(1), u"");
}

TEST_F(AccessKeys, ThirtyTwoBitWindowsStoresOnlyItsView) {
    jxmmstest::MmsMachine::SetProcessorArchitecture(u"x86");
    ASSERT_TRUE(WriteAccessKey(u"K1", 1));
    EXPECT_EQ(ReadRestrictedValue(u"ClientAccessKey", u"none", KEY_WOW64_32KEY),
              ScrambleValue(u"K1", kScrambleKeyHead));
    EXPECT_EQ(ReadRestrictedValue(u"ClientAccessKey", u"none", KEY_WOW64_64KEY), u"none");
}

TEST_F(AccessKeys, TheRestrictedKeyAdmitsAdministratorsOwnerAndSystemOnly) {
    jxmmstest::MmsMachine::SetProcessorArchitecture(u"x86");
    // A key made before by someone else gets the list put on it.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRestricted, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(WriteAccessKey(u"K", 2));
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRestricted, 0, KEY_READ | KEY_WOW64_32KEY, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> descriptor(size);
    ASSERT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl);
    std::vector<std::u16string> sids;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        LPVOID ace = nullptr;
        ASSERT_TRUE(GetAce(acl, i, &ace));
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(allowed->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(allowed->Mask, static_cast<DWORD>(KEY_ALL_ACCESS));
        LPWSTR text = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidW(&allowed->SidStart, &text));
        sids.emplace_back(text);
        LocalFree(text);
    }
    EXPECT_EQ(sids, (std::vector<std::u16string>{u"S-1-5-32-544", u"S-1-3-0", u"S-1-5-18"}));
}

TEST_F(AccessKeys, StoredTextsReadByTheirLengthAndType) {
    const std::u16string scrambled = ScrambleValue(u"KEY-42", kScrambleKeyHead);
    struct Case {
        const char* what;
        DWORD type;
        std::string bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        {"terminated", REG_SZ, Utf16Bytes(scrambled + u'\0'), u"KEY-42"},
        // Another party's value without its terminator reads in full.
        {"unterminated", REG_SZ, Utf16Bytes(scrambled), u"KEY-42"},
        {"expandable", REG_EXPAND_SZ, Utf16Bytes(scrambled + u'\0'), u""},
        {"binary", REG_BINARY, Utf16Bytes(scrambled + u'\0'), u""},
        {"one byte", REG_SZ, std::string("A", 1), u""},
        {"empty", REG_SZ, std::string(), u""},
    };
    for (const Case& c : cases) {
        StoreRaw(u"ExchangeAccessKey", c.type, c.bytes);
        EXPECT_EQ(ReadAccessKey(2), c.expected) << c.what;
    }
    StoreRaw(u"Plain", REG_SZ, Utf16Bytes(u"abc"));
    EXPECT_EQ(ReadRestrictedValue(u"Plain", u"default", 0), u"abc");
    StoreRaw(u"Long", REG_SZ, Utf16Bytes(std::u16string(1100, u'x')));
    EXPECT_EQ(ReadRestrictedValue(u"Long", u"default", 0), u"default");
}

TEST_F(AccessKeys, SubjectTextsMustBeDecimalNumbers) {
    jxmmstest::MmsMachine::SetProcessorArchitecture(u"x86");
    EXPECT_TRUE(WriteAccessKeyForSubject(u"K-100", u"100"));
    EXPECT_EQ(ReadAccessKeyForSubject(u"100"), u"K-100");
    for (const char16_t* bad : {u"", u"abc", u"1x", u" 100", u"100 ", u"0x64", u"+100", u"99999999999"}) {
        EXPECT_FALSE(WriteAccessKeyForSubject(u"K-bad", bad)) << jxtext::N(bad);
        EXPECT_EQ(ReadAccessKeyForSubject(bad), u"") << jxtext::N(bad);
    }
    EXPECT_EQ(ReadAccessKey(100), u"K-100");
    MmsAuthSubject = 100;
    EXPECT_EQ(ReadAccessKeyForSubject(u"-1"), u"K-100");
}

} // namespace
