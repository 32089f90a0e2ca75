// Keys: creating and opening, deleting (only keys without subkeys), handles of deleted keys,
// volatile keys, malformed paths.
#include <gtest/gtest.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "registry_test_support.h"

using namespace jxregtest;

namespace {

class RegistryKeys : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_root;
};

TEST_F(RegistryKeys, CreateReportsWhetherTheKeyIsNew) {
    CKey first, second;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              Create(HKEY_CURRENT_USER, u"Software\\Jx\\A\\B", KEY_READ, &first, &disposition));
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);
    ASSERT_EQ(ERROR_SUCCESS,
              Create(HKEY_CURRENT_USER, u"Software\\Jx\\A\\B\\", KEY_READ, &second, &disposition));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Jx\\A"));
    // An empty subkey opens the key itself again.
    CKey same;
    ASSERT_EQ(ERROR_SUCCESS, Open(first, u"", KEY_READ, &same));
    EXPECT_NE(first.Get(), same.Get());
}

TEST_F(RegistryKeys, OnlyKeysWithoutSubkeysAreDeleted) {
    CKey parent;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\Jx\\Parent", KEY_ALL_ACCESS, &parent));
    ASSERT_EQ(ERROR_SUCCESS, WriteString(parent, u"Child", 0, u"Name", u"value"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(parent, u"Own", u"value"));

    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Jx\\Parent"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Jx\\Parent\\Child"));

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(parent, u"CHILD"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(parent, u"Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExW(HKEY_CURRENT_USER, u"Software\\Jx\\Parent", 0, 0));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Jx\\Parent"));

    // The values went with the key: a new key of that name starts empty.
    CKey again;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\Jx\\Parent", KEY_READ, &again));
    EXPECT_TRUE(ValueNames(again).empty());

    // Roots of hives are not deleted.
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, u""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(HKEY_CURRENT_USER, nullptr));
}

TEST_F(RegistryKeys, HandlesOfADeletedKeyAnswerKeyDeleted) {
    CKey key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\Jx\\Doomed", KEY_ALL_ACCESS, &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"Name", u"value"));
    // Deleted through another handle; a new key of the same name must not revive this handle.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Jx\\Doomed"));
    CKey successor;
    ASSERT_EQ(ERROR_SUCCESS,
              Create(HKEY_CURRENT_USER, u"Software\\Jx\\Doomed\\Sub", KEY_ALL_ACCESS, &successor));
    ASSERT_EQ(ERROR_SUCCESS, SetString(successor, u"Name", u"value"));

    DWORD size = 0;
    char16_t name[32];
    DWORD length = 32;
    CKey child;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(key, u"Name", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, SetString(key, u"Name", u"again"));
    EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValueW(key, u"Name"));
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, Open(key, u"Sub", KEY_READ, &child));
    EXPECT_EQ(ERROR_KEY_DELETED, Create(key, u"New", KEY_READ, &child));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(*key.Out()));
    *key.Out() = nullptr;
}

TEST_F(RegistryKeys, VolatileKeysHoldOnlyVolatileKeysAndGoAtRestart) {
    CKey lastingParent;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\Jx", KEY_READ, &lastingParent));
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Jx\\Session", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &raw, nullptr));
    CKey lasting;
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, Create(raw, u"Lasting", KEY_READ, &lasting));
    HKEY inner = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(raw, u"Inner", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                             nullptr, &inner, nullptr));
    RegCloseKey(inner);
    RegCloseKey(raw);

    ASSERT_EQ(ERROR_SUCCESS, jxplat::DeleteVolatileRegistryKeys());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Jx\\Session"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Jx"));
}

TEST_F(RegistryKeys, MalformedPathsAreRefused) {
    struct Case {
        std::u16string path;
        LSTATUS expected;
    };
    const Case cases[] = {
        {u"\\Software\\Jx", ERROR_BAD_PATHNAME},
        {u"Software\\\\Jx", ERROR_BAD_PATHNAME},
        {u"Software\\" + std::u16string(256, u'k'), ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(jxtext::N(c.path));
        CKey key;
        EXPECT_EQ(c.expected, Create(HKEY_CURRENT_USER, c.path.c_str(), KEY_READ, &key));
        EXPECT_EQ(c.expected, Open(HKEY_CURRENT_USER, c.path.c_str(), KEY_READ, &key));
    }
    CKey longest;
    EXPECT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, (u"Software\\" + std::u16string(255, u'k')).c_str(),
                                    KEY_READ, &longest));
}

} // namespace
