// The stand-in's Service Control Manager: creating, opening, configuring and refusing.
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "service_test_support.h"

namespace {

constexpr const WCHAR* kKey = u"SYSTEM\\CurrentControlSet\\Services\\JxDemo";

DWORD ReadDword(const WCHAR* key, const WCHAR* name) {
    DWORD value = 0xDEAD, size = sizeof(value);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
        RegQueryValueExW(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(opened);
    }
    return value;
}

std::vector<BYTE> QueryConfig(SC_HANDLE service) {
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigW(service, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(QueryServiceConfigW(service, reinterpret_cast<LPQUERY_SERVICE_CONFIGW>(buffer.data()), needed,
                                    &needed));
    return buffer;
}

} // namespace

TEST(ServiceConfig, CreateWritesTheServiceKeyAndQueryReadsItBack) {
    jxtest::TempMachineRoot root;
    SC_HANDLE service = svctest::CreateTestService(u"JxDemo", u"\"C:\\Program Files\\Jx\\demo.exe\" -k",
                                                   SERVICE_AUTO_START, u"RpcSs\0Tcpip\0");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(ReadDword(kKey, u"Type"), SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(ReadDword(kKey, u"Start"), SERVICE_AUTO_START);
    EXPECT_EQ(ReadDword(kKey, u"ErrorControl"), SERVICE_ERROR_NORMAL);

    std::vector<BYTE> buffer = QueryConfig(service);
    const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
    EXPECT_EQ(config->dwStartType, SERVICE_AUTO_START);
    EXPECT_EQ(std::u16string(config->lpBinaryPathName), u"\"C:\\Program Files\\Jx\\demo.exe\" -k");
    EXPECT_EQ(std::u16string(config->lpDisplayName), u"JxDemo");
    EXPECT_EQ(std::u16string(config->lpDependencies), u"RpcSs");
    EXPECT_EQ(std::u16string(config->lpDependencies + 6), u"Tcpip");

    // Only the named settings change.
    ASSERT_TRUE(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, u"Jx Demo"));
    buffer = QueryConfig(service);
    config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
    EXPECT_EQ(config->dwStartType, SERVICE_DISABLED);
    EXPECT_EQ(config->dwErrorControl, SERVICE_ERROR_NORMAL);
    EXPECT_EQ(std::u16string(config->lpDisplayName), u"Jx Demo");
    EXPECT_EQ(std::u16string(config->lpBinaryPathName), u"\"C:\\Program Files\\Jx\\demo.exe\" -k");
    CloseServiceHandle(service);
}

TEST(ServiceConfig, NamesAreCheckedAsTheManagerDoes) {
    jxtest::TempMachineRoot root;
    SC_HANDLE service = svctest::CreateTestService(u"JxDemo", u"C:\\demo.exe");
    ASSERT_NE(service, nullptr);
    CloseServiceHandle(service);
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm, nullptr);

    EXPECT_EQ(svctest::CreateTestService(u"jxdemo", u"C:\\other.exe"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(svctest::CreateTestService(u"a\\b", u"C:\\other.exe"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));

    SC_HANDLE opened = OpenServiceW(scm, u"JXDEMO", SERVICE_QUERY_STATUS);
    EXPECT_NE(opened, nullptr) << "names compare ignoring case";
    EXPECT_EQ(OpenServiceW(scm, u"Missing", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    // A manager handle is no service handle, and a closed handle is no handle.
    EXPECT_FALSE(StartServiceW(scm, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseServiceHandle(opened));
    EXPECT_FALSE(CloseServiceHandle(opened));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseServiceHandle(scm);
}

TEST(ServiceConfig, MachineNameIsTheComputerNameWithOrWithoutBackslashes) {
    jxtest::TempMachineRoot root;
    for (const WCHAR* name : {u"JXTEST-PC", u"\\\\jxtest-pc"}) {
        SC_HANDLE scm = OpenSCManagerW(name, nullptr, SC_MANAGER_CONNECT);
        EXPECT_NE(scm, nullptr) << jxtext::N(name);
        CloseServiceHandle(scm);
    }
    EXPECT_EQ(OpenSCManagerW(u"\\\\OTHER", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST(ServiceConfig, HandlesCarryOnlyTheRightsAskedFor) {
    jxtest::TempMachineRoot root;
    CloseServiceHandle(svctest::CreateTestService(u"JxDemo", u"C:\\demo.exe"));
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, GENERIC_READ);
    ASSERT_NE(scm, nullptr);
    EXPECT_EQ(CreateServiceW(scm, u"JxOther", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                             SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, u"C:\\x.exe", nullptr, nullptr,
                             nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE service = OpenServiceW(scm, u"JxDemo", SERVICE_QUERY_CONFIG);
    ASSERT_NE(service, nullptr);
    EXPECT_FALSE(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

TEST(ServiceConfig, AUserWhoIsNotAnElevatedAdministratorMayOnlyRead) {
    jxtest::TempMachineRoot root;
    CloseServiceHandle(svctest::CreateTestService(u"JxDemo", u"C:\\demo.exe"));
    jxplat::MachineDescription standard;
    standard.user.elevated = false;
    root.Describe(standard);

    EXPECT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, GENERIC_READ);
    ASSERT_NE(scm, nullptr);
    EXPECT_EQ(OpenServiceW(scm, u"JxDemo", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE service = OpenServiceW(scm, u"JxDemo", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(svctest::StatusOf(service).dwCurrentState, SERVICE_STOPPED);
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

TEST(ServiceConfig, TheMachineRefusesEveryChangeOfAListedService) {
    jxtest::TempMachineRoot root;
    SC_HANDLE guarded = svctest::CreateTestService(u"JxGuard", u"C:\\guard.exe");
    SC_HANDLE free = svctest::CreateTestService(u"JxFree", u"C:\\free.exe");
    jxplat::MachineDescription machine;
    machine.refusedServiceChanges = {"jxguard"};
    root.Describe(machine);

    SERVICE_DELAYED_AUTO_START_INFO delayed = {TRUE};
    EXPECT_FALSE(ChangeServiceConfigW(guarded, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ChangeServiceConfig2W(guarded, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteService(guarded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadDword(u"SYSTEM\\CurrentControlSet\\Services\\JxGuard", u"Start"), SERVICE_DEMAND_START);

    EXPECT_TRUE(ChangeServiceConfigW(free, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    CloseServiceHandle(guarded);
    CloseServiceHandle(free);
}

TEST(ServiceConfig, SecondLevelSettingsRoundTrip) {
    jxtest::TempMachineRoot root;
    SC_HANDLE service = svctest::CreateTestService(u"JxDemo", u"C:\\demo.exe");
    ASSERT_NE(service, nullptr);

    SERVICE_DESCRIPTIONW description = {const_cast<LPWSTR>(u"Protects the machine")};
    SERVICE_DELAYED_AUTO_START_INFO delayed = {TRUE};
    SC_ACTION actions[2] = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSW failure = {86400, nullptr, nullptr, 2, actions};
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description));
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed));
    ASSERT_TRUE(ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure));
    EXPECT_FALSE(ChangeServiceConfig2W(service, 99, &delayed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(ReadDword(kKey, u"DelayedAutostart"), 1u);

    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(), needed, &needed));
    EXPECT_EQ(std::u16string(reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription),
              u"Protects the machine");

    SERVICE_DELAYED_AUTO_START_INFO readDelayed = {};
    ASSERT_TRUE(QueryServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                                     reinterpret_cast<LPBYTE>(&readDelayed), sizeof(readDelayed), &needed));
    EXPECT_TRUE(readDelayed.fDelayedAutostart);

    QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
    buffer.assign(needed, 0);
    ASSERT_TRUE(
        QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(), needed, &needed));
    const auto* read = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(buffer.data());
    EXPECT_EQ(read->dwResetPeriod, 86400u);
    ASSERT_EQ(read->cActions, 2u);
    EXPECT_EQ(read->lpsaActions[0].Type, SC_ACTION_RESTART);
    EXPECT_EQ(read->lpsaActions[0].Delay, 60000u);

    // The launch protection is the service key's "LaunchProtected" value.
    SERVICE_LAUNCH_PROTECTED_INFO protection = {};
    ASSERT_TRUE(QueryServiceConfig2W(service, SERVICE_CONFIG_LAUNCH_PROTECTED,
                                     reinterpret_cast<LPBYTE>(&protection), sizeof(protection), &needed));
    EXPECT_EQ(protection.dwLaunchProtected, 0u);
    CloseServiceHandle(service);
}
