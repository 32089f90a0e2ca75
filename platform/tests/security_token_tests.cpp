// The process token: which privileges the machine's user holds, enabling them, and their names.
#include <gtest/gtest.h>

#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/security.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxtest/machine_root.h"

namespace {

// Enables (or disables) one privilege by name; answers the result and the last error.
std::pair<BOOL, DWORD> SetPrivilege(HANDLE token, const char16_t* name, bool enable) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    EXPECT_TRUE(LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid));
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    SetLastError(12345);
    BOOL ok = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    return {ok, GetLastError()};
}

bool IsEnabled(HANDLE token, const char16_t* name) {
    LUID luid{};
    EXPECT_TRUE(LookupPrivilegeValueW(nullptr, name, &luid));
    DWORD needed = 0;
    EXPECT_FALSE(GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed));
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), needed, &needed));
    auto* list = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < list->PrivilegeCount; ++i)
        if (list->Privileges[i].Luid.LowPart == luid.LowPart)
            return (list->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return false;
}

TEST(SecurityToken, ElevatedAdministratorEnablesBackupRestoreAndShutdown) {
    jxtest::TempMachineRoot root;
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    for (const char16_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME, SE_SHUTDOWN_NAME}) {
        EXPECT_FALSE(IsEnabled(token, name));
        auto [ok, error] = SetPrivilege(token, name, true);
        EXPECT_TRUE(ok);
        EXPECT_EQ(error, ERROR_SUCCESS);
        EXPECT_TRUE(IsEnabled(token, name));
    }
    // A second handle sees the same token.
    HANDLE other = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &other));
    EXPECT_TRUE(IsEnabled(other, SE_BACKUP_NAME));
    auto [ok, error] = SetPrivilege(token, SE_BACKUP_NAME, false);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(IsEnabled(other, SE_BACKUP_NAME));
    EXPECT_TRUE(CloseHandle(other));
    EXPECT_TRUE(CloseHandle(token));
}

TEST(SecurityToken, StandardUserHoldsShutdownButNotBackup) {
    jxplat::MachineDescription machine;
    machine.user.elevated = false;
    jxtest::TempMachineRoot root(machine);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    auto [backupOk, backupError] = SetPrivilege(token, SE_BACKUP_NAME, true);
    EXPECT_TRUE(backupOk); // succeeds, but reports the privilege not assigned
    EXPECT_EQ(backupError, ERROR_NOT_ALL_ASSIGNED);
    EXPECT_FALSE(IsEnabled(token, SE_BACKUP_NAME));
    auto [shutdownOk, shutdownError] = SetPrivilege(token, SE_SHUTDOWN_NAME, true);
    EXPECT_TRUE(shutdownOk);
    EXPECT_EQ(shutdownError, ERROR_SUCCESS);
    EXPECT_TRUE(IsEnabled(token, SE_SHUTDOWN_NAME));
    CloseHandle(token);
}

TEST(SecurityToken, ErrorsOfLookupsAndHandles) {
    jxtest::TempMachineRoot root;
    LUID luid{};
    EXPECT_FALSE(LookupPrivilegeValueW(nullptr, u"SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
    ASSERT_TRUE(LookupPrivilegeValueW(u"", u"seshutdownprivilege", &luid));
    EXPECT_EQ(luid.LowPart, 19u);
    WCHAR name[64] = {};
    DWORD count = 64;
    ASSERT_TRUE(LookupPrivilegeNameW(nullptr, &luid, name, &count));
    EXPECT_EQ(std::u16string(name), u"SeShutdownPrivilege");

    // A token opened for query only cannot be adjusted.
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES privileges{1, {{luid, SE_PRIVILEGE_ENABLED}}};
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(token);
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
