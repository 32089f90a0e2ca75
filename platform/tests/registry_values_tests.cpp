// Values and names: data kept as stored, buffer sizes, names ignoring case, handles and access
// of handles, key information.
#include <cstring>

#include <gtest/gtest.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "registry/reg_clock.h"
#include "registry_test_support.h"

using namespace jxregtest;

namespace {

class RegistryValues : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_root;
};

// Replaces the registry's clock for one test.
class CClock {
public:
    explicit CClock(uint64_t start) : m_now(start) {
        jxplat::registry::SetRegistryClock([this] { return m_now; });
    }
    ~CClock() { jxplat::registry::SetRegistryClock(nullptr); }
    void Advance(uint64_t ticks) { m_now += ticks; }
    uint64_t Now() const { return m_now; }

private:
    uint64_t m_now;
};

std::vector<BYTE> Bytes(std::u16string_view text) {
    const BYTE* data = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(data, data + text.size() * sizeof(char16_t));
}

TEST_F(RegistryValues, DataComesBackAsStored) {
    struct Case {
        const char16_t* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const Case cases[] = {
        {u"terminated", REG_SZ, Bytes(std::u16string_view(u"text\0", 5))},
        {u"unterminated", REG_SZ, Bytes(u"text")}, // Windows keeps strings as the caller gave them
        {u"odd size", REG_SZ, {'a', 0, 'b'}},
        {u"expand", REG_EXPAND_SZ, Bytes(std::u16string_view(u"%TEMP%\\x\0", 9))},
        {u"multi", REG_MULTI_SZ, Bytes(std::u16string_view(u"a\0b\0\0", 5))},
        {u"dword", REG_DWORD, {0x0A, 0, 0, 0}},
        {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"empty binary", REG_BINARY, {}},
        {u"", REG_NONE, {0xFF, 0x00}}, // the default value
        {u"other type", 0x12345, {9}},
    };
    CKey key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\JxTest", KEY_ALL_ACCESS, &key));
    for (const Case& c : cases)
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, c.name, 0, c.type, c.data.data(), DWORD(c.data.size())));
    for (const Case& c : cases) {
        SCOPED_TRACE(jxtext::N(c.name));
        BYTE buffer[64];
        std::memset(buffer, 0xCC, sizeof(buffer));
        DWORD size = sizeof(buffer);
        DWORD type = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, c.name, nullptr, &type, buffer, &size));
        EXPECT_EQ(c.type, type);
        ASSERT_EQ(c.data.size(), size);
        EXPECT_EQ(c.data, std::vector<BYTE>(buffer, buffer + size));
        EXPECT_EQ(0xCC, buffer[size]) << "nothing is written past the stored data";
    }
    // A null name is the default value too.
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(2u, size);
}

TEST_F(RegistryValues, SmallBuffersGetTheNeededSize) {
    CKey key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\JxTest", KEY_ALL_ACCESS, &key));
    const BYTE data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Blob", 0, REG_BINARY, data, sizeof(data)));

    DWORD size = 0;
    DWORD type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Blob", nullptr, &type, nullptr, &size));
    EXPECT_EQ(10u, size);

    BYTE small[4] = {};
    size = sizeof(small);
    type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, u"Blob", nullptr, &type, small, &size));
    EXPECT_EQ(10u, size);
    EXPECT_EQ(DWORD(REG_BINARY), type);

    char16_t name[16];
    DWORD nameLength = 16;
    size = sizeof(small);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &nameLength, nullptr, nullptr, small, &size));
    EXPECT_EQ(10u, size);

    nameLength = 4; // "Blob" needs room for its terminator
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr));

    CKey sub;
    ASSERT_EQ(ERROR_SUCCESS, Create(key, u"Subkey", KEY_READ, &sub));
    nameLength = 6;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
    nameLength = 7;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(6u, nameLength);
    EXPECT_EQ(u"Subkey", std::u16string(name));
}

TEST_F(RegistryValues, MissingValuesAndKeysAreNotFound) {
    CKey key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\JxTest", KEY_ALL_ACCESS, &key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"Missing", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"Missing"));

    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"Gone", u"soon"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"GONE"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"Gone", nullptr, nullptr, nullptr, &size));

    CKey missing;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              Open(HKEY_CURRENT_USER, u"Software\\JxTest\\Missing\\Deeper", KEY_READ, &missing));
    EXPECT_EQ(nullptr, missing.Get());
    DWORD index = 0;
    char16_t name[8];
    DWORD length = 8;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryValues, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
    CKey key;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\JxCase", KEY_ALL_ACCESS, &key));
    for (const char16_t* name : {u"beta", u"Alpha", u"_under", u"gamma", u"\u00C4rger"}) {
        CKey sub;
        ASSERT_EQ(ERROR_SUCCESS, Create(key, name, KEY_READ, &sub));
    }
    CKey again;
    ASSERT_EQ(ERROR_SUCCESS,
              Create(HKEY_CURRENT_USER, u"SOFTWARE\\jxcase\\ALPHA", KEY_READ, &again, &disposition));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"software\\JXCASE\\\u00E4RGER"));
    // Ordered as Windows compares: upper-case folding puts '_' after the letters.
    EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"beta", u"gamma", u"_under", u"\u00C4rger"}),
              SubkeyNames(key));

    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"ValueName", u"first"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"VALUENAME", u"second"));
    std::u16string text;
    ASSERT_EQ(ERROR_SUCCESS, ReadString(key, u"", 0, u"valuename", &text));
    EXPECT_EQ(u"second", text);
    EXPECT_EQ(std::vector<std::u16string>{u"ValueName"}, ValueNames(key));
}

TEST_F(RegistryValues, HandlesAreCheckedAndTheirAccessHonoured) {
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\JxTest", 0, nullptr, 0, KEY_READ,
                                             nullptr, &key, nullptr));
    // A key opened for reading is not for writing, and the other way round.
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetString(key, u"Name", u"x"));
    CKey writeOnly;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\JxTest", KEY_SET_VALUE, &writeOnly));
    ASSERT_EQ(ERROR_SUCCESS, SetString(writeOnly, u"Name", u"x"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(writeOnly, u"Name", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Name", nullptr, nullptr, nullptr, &size));

    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExW(key, u"Name", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegSetValueExW(reinterpret_cast<HKEY>(0x12345), u"x", 0, REG_NONE, nullptr, 0));
}

TEST_F(RegistryValues, KeyInformationCountsMeasuresAndDates) {
    const uint64_t start = 0x01D9000000000000ull;
    CClock clock(start);
    CKey key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\JxInfo", KEY_ALL_ACCESS, &key));
    for (const char16_t* name : {u"a", u"LongerName"}) {
        CKey sub;
        ASSERT_EQ(ERROR_SUCCESS, Create(key, name, KEY_READ, &sub));
    }
    const BYTE eight[8] = {};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"v", 0, REG_BINARY, eight, 8));
    clock.Advance(1000);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"ValueNameLong", 0, REG_BINARY, eight, 2));

    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    FILETIME written = {};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr,
                                              &values, &maxValueName, &maxValue, nullptr, &written));
    EXPECT_EQ(2u, subKeys);
    EXPECT_EQ(10u, maxSubKey);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(13u, maxValueName);
    EXPECT_EQ(8u, maxValue);
    EXPECT_EQ(clock.Now(), (uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime);

    // A new subkey changes its parent's time as well.
    FILETIME parentTime = {};
    CKey software;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software", KEY_READ, &software));
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(software, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, &parentTime));
    EXPECT_EQ(start, (uint64_t(parentTime.dwHighDateTime) << 32) | parentTime.dwLowDateTime);
}

} // namespace
