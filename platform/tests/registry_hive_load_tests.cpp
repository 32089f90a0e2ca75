// User hives: a profile's hive file loaded below HKEY_USERS, seen by enumeration, written through,
// unloaded again with its changes in the file; the privileges and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/security.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winreg.h"
#include "jxtest/machine_root.h"
#include "registry_test_support.h"

namespace {

using jxregtest::CKey;

constexpr const char16_t* kSid = u"S-1-5-21-1-2-3-1002";
constexpr const char16_t* kHive = u"C:\\Users\\Other\\NTUSER.DAT";

void EnableHivePrivileges(bool enable) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    for (const char16_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES privileges{1, {{{0, 0}, enable ? SE_PRIVILEGE_ENABLED : 0u}}};
        ASSERT_TRUE(LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid));
        ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    }
    CloseHandle(token);
}

std::vector<std::u16string> UsersKeys() {
    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

bool Contains(const std::vector<std::u16string>& names, const char16_t* name) {
    return std::find(names.begin(), names.end(), std::u16string(name)) != names.end();
}

TEST(RegistryHiveLoad, LoadWriteUnloadAndLoadAgain) {
    jxtest::TempMachineRoot root;
    std::filesystem::create_directories(jxplat::MachinePath("drive_c/Users/Other"));
    ASSERT_EQ(jxplat::CreateRegistryHiveFile(kHive), ERROR_SUCCESS);
    EnableHivePrivileges(true);

    ASSERT_EQ(RegLoadKeyW(HKEY_USERS, kSid, kHive), ERROR_SUCCESS);
    EXPECT_TRUE(Contains(UsersKeys(), kSid));
    const std::u16string key = std::u16string(kSid) + u"\\Software\\Tolvane";
    ASSERT_EQ(jxregtest::WriteString(HKEY_USERS, key.c_str(), 0, u"Name", u"other's"), ERROR_SUCCESS);
    // The key lives in the hive file, not in the HKEY_USERS database.
    CKey open;
    ASSERT_EQ(jxregtest::Open(HKEY_USERS, key.c_str(), KEY_READ, &open), ERROR_SUCCESS);
    EXPECT_EQ(RegUnLoadKeyW(HKEY_USERS, kSid), ERROR_ACCESS_DENIED); // a key of it is open
    RegCloseKey(*open.Out());
    *open.Out() = nullptr;
    ASSERT_EQ(RegUnLoadKeyW(HKEY_USERS, kSid), ERROR_SUCCESS);
    EXPECT_FALSE(Contains(UsersKeys(), kSid));
    CKey gone;
    EXPECT_EQ(jxregtest::Open(HKEY_USERS, key.c_str(), KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegUnLoadKeyW(HKEY_USERS, kSid), ERROR_INVALID_PARAMETER);

    // Loaded again (under another name), the value is there.
    ASSERT_EQ(RegLoadKeyW(HKEY_USERS, u"Copy", kHive), ERROR_SUCCESS);
    std::u16string text;
    EXPECT_EQ(jxregtest::ReadString(HKEY_USERS, u"Copy\\Software\\Tolvane", 0, u"Name", &text),
              ERROR_SUCCESS);
    EXPECT_EQ(text, u"other's");
    EXPECT_EQ(RegLoadKeyW(HKEY_USERS, kSid, kHive), ERROR_SHARING_VIOLATION); // loaded already as "Copy"
    ASSERT_EQ(RegUnLoadKeyW(HKEY_USERS, u"Copy"), ERROR_SUCCESS);
}

TEST(RegistryHiveLoad, RefusalsAndPrivileges) {
    jxtest::TempMachineRoot root;
    std::filesystem::create_directories(jxplat::MachinePath("drive_c/Users/Other"));
    ASSERT_EQ(jxplat::CreateRegistryHiveFile(kHive), ERROR_SUCCESS);
    EXPECT_EQ(jxplat::CreateRegistryHiveFile(kHive), ERROR_ALREADY_EXISTS);

    // Without the backup and restore privileges enabled nothing is loaded.
    EXPECT_EQ(RegLoadKeyW(HKEY_USERS, kSid, kHive), ERROR_PRIVILEGE_NOT_HELD);
    EnableHivePrivileges(true);
    EXPECT_EQ(RegLoadKeyW(HKEY_USERS, kSid, u"C:\\Users\\Nobody\\NTUSER.DAT"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegLoadKeyW(HKEY_LOCAL_MACHINE, kSid, kHive), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegLoadKeyW(HKEY_USERS, u"A\\B", kHive), ERROR_INVALID_PARAMETER);
    // The logged-on user's hive is loaded already.
    const std::u16string user = jxtext::W(jxplat::Machine().user.sid);
    CKey touch;
    ASSERT_EQ(jxregtest::Create(HKEY_CURRENT_USER, u"Software", KEY_READ, &touch), ERROR_SUCCESS);
    EXPECT_EQ(RegLoadKeyW(HKEY_USERS, user.c_str(), kHive), ERROR_ALREADY_EXISTS);
    // A file that is no hive.
    std::filesystem::create_directories(jxplat::MachinePath("drive_c/Users/Bad"));
    {
        FILE* bad = fopen(jxplat::MachinePath("drive_c/Users/Bad/NTUSER.DAT").c_str(), "wb");
        fputs("this is not a registry hive, not at all, and long enough to be read", bad);
        fclose(bad);
    }
    EXPECT_EQ(RegLoadKeyW(HKEY_USERS, u"Bad", u"C:\\Users\\Bad\\NTUSER.DAT"), ERROR_BADDB);

    ASSERT_EQ(RegLoadKeyW(HKEY_USERS, kSid, kHive), ERROR_SUCCESS);
    EnableHivePrivileges(false);
    EXPECT_EQ(RegUnLoadKeyW(HKEY_USERS, kSid), ERROR_PRIVILEGE_NOT_HELD);
    EnableHivePrivileges(true);
    EXPECT_EQ(RegUnLoadKeyW(HKEY_USERS, kSid), ERROR_SUCCESS);
}

} // namespace
