// Mutexes within one process (across processes: the run-state tests), and shutdown requests.
#include <gtest/gtest.h>

#include <thread>

#include <windows.h>

#include "jxplat/security.h"
#include "jxtest/machine_root.h"

namespace {

TEST(Mutex, NamedMutexOwnershipRecursionAndErrors) {
    jxtest::TempMachineRoot root;
    EXPECT_EQ(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"Global\\M"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE first = CreateMutexW(nullptr, TRUE, u"Global\\M");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateMutexW(nullptr, FALSE, u"Global\\M");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE other = CreateMutexW(nullptr, FALSE, u"Local\\M"); // another namespace
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Bad\\Name"), nullptr);

    // The owner takes it again; another thread cannot, and may not release it.
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_FALSE(ReleaseMutex(first));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
        EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_OBJECT_0);
        ReleaseMutex(other);
    }).join();
    EXPECT_TRUE(ReleaseMutex(first));
    EXPECT_TRUE(ReleaseMutex(first));
    EXPECT_FALSE(ReleaseMutex(first));
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
        ReleaseMutex(first);
    }).join();

    // A wait for all that cannot be satisfied gives back the mutex it found free.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE both[] = {first, event};
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
        ReleaseMutex(first);
    }).join();
    for (HANDLE h : {first, second, other, event})
        CloseHandle(h);
}

TEST(Shutdown, IsRecordedOnlyWithThePrivilegeEnabled) {
    jxtest::TempMachineRoot root;
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    CloseHandle(token);

    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0x80040001u));
    EXPECT_TRUE(InitiateSystemShutdownExW(nullptr, nullptr, 0, TRUE, FALSE, 0));
    const auto requests = jxplat::ReadShutdownRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].reboot);
    EXPECT_EQ(requests[0].reason, 0x80040001u);
    EXPECT_FALSE(requests[1].reboot);
    jxplat::RebootMachine();
    EXPECT_TRUE(jxplat::ReadShutdownRequests().empty());
}

} // namespace
