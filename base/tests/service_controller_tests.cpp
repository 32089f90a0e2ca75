// ServiceController over the stand-in's Service Control Manager.
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

std::vector<DWORD> g_Sleeps;
int g_OpenFailures = 0;
DWORD g_OpenError = 0;

void RecordSleep(DWORD milliseconds) {
    g_Sleeps.push_back(milliseconds);
}

// Fails the first g_OpenFailures calls with g_OpenError, then opens the manager.
SC_HANDLE ScriptedOpen(LPCWSTR machine, LPCWSTR database, DWORD access) {
    if (g_OpenFailures-- > 0) {
        SetLastError(g_OpenError);
        return nullptr;
    }
    return ::OpenSCManagerW(machine, database, access);
}

// The host process runs (a process that ended but was not reaped yet does not).
bool IsAlive(DWORD pid) {
    const std::string stat = jxtest::ReadHostFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

class ServiceControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_Sleeps.clear();
        ServiceController::SetSleepForTesting(RecordSleep);
    }
    void TearDown() override {
        ServiceController::SetSleepForTesting(nullptr);
        ServiceController::SetOpenManagerForTesting(nullptr);
    }

    // A service of the stand-in with the given image; false when it cannot be made.
    static bool MakeService(const WCHAR* name, const std::u16string& image) {
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = CreateServiceW(scm, name, nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(), nullptr,
                                           nullptr, nullptr, nullptr, nullptr);
        CloseServiceHandle(service);
        CloseServiceHandle(scm);
        return service != nullptr;
    }
    static std::u16string SvcReg() {
        return jxplat::HostToWindowsPath(jxtest::BuildDir() + "/tests/programs/svcreg.exe");
    }
    static bool KeyExists(const WCHAR* name) {
        return CReg::IsValidPath(
            HKEY_LOCAL_MACHINE, (std::u16string(u"SYSTEM\\CurrentControlSet\\Services\\") + name).c_str(), 0);
    }

    jxtest::TempMachineRoot m_root;
};

} // namespace

TEST_F(ServiceControllerTest, StartsWaitsStopsAndDeletesARunningService) {
    ASSERT_TRUE(MakeService(u"JxCtl", u"\"" + SvcReg() + u"\" /service"));
    ServiceController controller;
    ASSERT_TRUE(controller.Open(u"JxCtl", nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS));
    EXPECT_TRUE(controller.Stop()) << "a stopped service needs no stop";
    ASSERT_TRUE(controller.Start(false, 30, 1000));
    EXPECT_TRUE(controller.IsInState(SERVICE_RUNNING));
    EXPECT_TRUE(g_Sleeps.empty()) << "running at the first look";
    EXPECT_TRUE(controller.Start(true, 30, 1000)) << "already running counts as started";
    EXPECT_TRUE(controller.StopOnClose());

    std::vector<BYTE> status;
    ASSERT_TRUE(controller.QueryServiceStatus(status));
    const DWORD pid = reinterpret_cast<SERVICE_STATUS_PROCESS*>(status.data())->dwProcessId;
    EXPECT_TRUE(IsAlive(pid));

    // Delete of a running service deletes it and stops it through Close.
    EXPECT_TRUE(controller.Delete());
    EXPECT_EQ(controller.ServiceHandle(), nullptr);
    EXPECT_FALSE(KeyExists(u"JxCtl"));
    EXPECT_FALSE(IsAlive(pid));
}

TEST_F(ServiceControllerTest, OperationsWithoutTheirRightDoNothing) {
    ASSERT_TRUE(MakeService(u"JxCtl", u"C:\\ctl.exe"));
    ServiceController controller;
    ASSERT_TRUE(controller.Open(u"JxCtl", nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_QUERY_CONFIG));
    EXPECT_FALSE(controller.Start(false, 0, 0));
    EXPECT_FALSE(controller.Stop());
    EXPECT_FALSE(controller.IsInState(SERVICE_STOPPED));
    EXPECT_FALSE(controller.ChangeConfig(SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(controller.Delete());
    EXPECT_EQ(ServiceController::QueryStartType(u"JxCtl", nullptr), 3) << "nothing changed";
    EXPECT_TRUE(KeyExists(u"JxCtl"));
}

TEST_F(ServiceControllerTest, StartWithoutWaitReturnsRightAfterTheStart) {
    ASSERT_TRUE(MakeService(u"JxCtl", u"\"" + SvcReg() + u"\" /service"));
    ServiceController controller;
    ASSERT_TRUE(controller.Open(u"JxCtl", nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS));
    EXPECT_TRUE(controller.Start(true, 0, 1000));
    EXPECT_FALSE(controller.StopOnClose()) << "stop-on-close is recorded only once seen running";
    EXPECT_TRUE(controller.Stop());
}

TEST_F(ServiceControllerTest, ManagerOpenRetriesOnlyFailedRpcCalls) {
    ServiceController::SetOpenManagerForTesting(ScriptedOpen);
    g_OpenFailures = 100;
    g_OpenError = RPC_S_CALL_FAILED;
    EXPECT_EQ(ServiceController::OpenSCManagerW(nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(g_Sleeps, (std::vector<DWORD>{100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}));

    g_Sleeps.clear();
    g_OpenFailures = 3;
    SC_HANDLE manager = ServiceController::OpenSCManagerW(nullptr, SC_MANAGER_CONNECT);
    EXPECT_NE(manager, nullptr);
    EXPECT_EQ(g_Sleeps, (std::vector<DWORD>{100, 200, 300}));
    CloseServiceHandle(manager);

    g_Sleeps.clear();
    g_OpenFailures = 1;
    g_OpenError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(ServiceController::OpenSCManagerW(nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_TRUE(g_Sleeps.empty());
}

TEST_F(ServiceControllerTest, MachineNameIsStoredWithTwoBackslashes) {
    ASSERT_TRUE(MakeService(u"JxCtl", u"D:\\dir\\x.exe"));
    for (const WCHAR* name : {u"JXTEST-PC", u"\\\\JXTEST-PC"}) {
        ServiceController controller;
        ASSERT_TRUE(controller.Open(u"JxCtl", name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG))
            << jxtext::N(name);
        EXPECT_EQ(controller.MachineName(), u"\\\\JXTEST-PC");
        EXPECT_EQ(controller.ImagePath(true, true), u"\\\\JXTEST-PC\\D$\\dir\\x.exe");
        EXPECT_EQ(controller.ImagePath(true, false), u"D:\\dir\\x.exe");
        EXPECT_TRUE(controller.Close());
        EXPECT_EQ(controller.MachineName(), u"");
    }
    ServiceController other;
    EXPECT_FALSE(other.Open(u"JxCtl", u"OTHER", SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG));
    EXPECT_EQ(other.MachineName(), u"") << "a failed manager open clears the name";
}

TEST_F(ServiceControllerTest, ImagePathStripsArgumentsByTheQuotes) {
    struct Row {
        const WCHAR* image;
        const WCHAR* stripped;
    } rows[] = {
        {u"\"C:\\Program Files\\Jx\\svc.exe\" /service -x", u"C:\\Program Files\\Jx\\svc.exe"},
        {u"  D:\\Program Files\\x.exe  ", u"D:\\Program"},
        {u"C:\\svc.exe", u"C:\\svc.exe"},
    };
    int n = 0;
    for (const Row& row : rows) {
        const std::u16string name = u"JxImg" + jxtext::ToText(++n);
        ASSERT_TRUE(MakeService(name.c_str(), row.image));
        ServiceController controller;
        ASSERT_TRUE(controller.Open(name.c_str(), nullptr, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG));
        EXPECT_EQ(controller.ImagePath(true, true), row.stripped) << jxtext::N(row.image);
        EXPECT_EQ(controller.ImagePath(false, false), jxtext::Trim(row.image, u" "));
    }
}

TEST_F(ServiceControllerTest, RegisteredMeansTheImageFileExists) {
    std::ofstream(m_root.Path() + "/drive_c/svc.exe") << "x";
    ASSERT_TRUE(MakeService(u"JxQuoted", u"\"C:\\svc.exe\""));
    ASSERT_TRUE(MakeService(u"JxArgs", u"\"C:\\svc.exe\" /service"));
    ASSERT_TRUE(MakeService(u"JxGone", u"C:\\gone.exe"));

    EXPECT_TRUE(ServiceController::IsRegistered(u"JxQuoted", nullptr));
    // The registry path keeps the arguments of a quoted image path: such a service reads as not
    // registered, while the controller's own image path finds it.
    EXPECT_FALSE(ServiceController::IsRegistered(u"JxArgs", nullptr));
    ServiceController controller;
    ASSERT_TRUE(controller.Open(u"JxArgs", nullptr, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG));
    EXPECT_TRUE(controller.IsRegistered());
    EXPECT_FALSE(ServiceController::IsRegistered(u"JxGone", nullptr));
    EXPECT_FALSE(ServiceController::IsRegistered(u"JxMissing", nullptr));
}

TEST_F(ServiceControllerTest, StartTypesAndTheirNames) {
    ASSERT_TRUE(MakeService(u"JxCtl", u"C:\\ctl.exe"));
    EXPECT_EQ(ServiceController::QueryStartType(u"JxCtl", nullptr), 3);
    EXPECT_EQ(ServiceController::QueryStartType(u"JxMissing", nullptr), -1);
    const std::pair<int, const char*> names[] = {{0, "SERVICE_BOOT_START"}, {1, "SERVICE_SYSTEM_START"},
                                                 {2, "SERVICE_AUTO_START"}, {3, "SERVICE_DEMAND_START"},
                                                 {4, "SERVICE_DISABLED"},   {-1, "SERVICE_NO_CHANGE"},
                                                 {7, "Unknown Start Type"}};
    for (const auto& [type, name] : names)
        EXPECT_EQ(jxtext::N(ServiceController::GetStartTypeName(type)), name);
}

TEST_F(ServiceControllerTest, DelayedAutoStartNeedsWindowsSixAndTheChangeRight) {
    ASSERT_TRUE(MakeService(u"JxCtl", u"C:\\ctl.exe"));
    const WCHAR* versionKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    ServiceController controller;
    ASSERT_TRUE(controller.Open(u"JxCtl", nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS));

    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, versionKey, u"CurrentVersion", u"5.1", CRegStringType::Sz,
                              0);
    EXPECT_FALSE(controller.SetDelayedAutoStart(true));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, versionKey, u"CurrentVersion", u"6.3", CRegStringType::Sz,
                              0);
    EXPECT_TRUE(controller.SetDelayedAutoStart(true));
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\JxCtl",
                                       u"DelayedAutostart", 7, 0),
              1u);
    EXPECT_TRUE(controller.SetDelayedAutoStart(true)) << "no change needed";

    // A machine that refuses changes of the service refuses this one too.
    jxplat::MachineDescription machine;
    machine.refusedServiceChanges = {"JxCtl"};
    m_root.Describe(machine);
    EXPECT_FALSE(controller.SetDelayedAutoStart(false));
    EXPECT_FALSE(controller.ChangeConfig(SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(WindowsVersionFromRegistry, ReadsTheNumbersOfCurrentVersion) {
    jxtest::TempMachineRoot root;
    const WCHAR* key = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    struct Row {
        const WCHAR* text;
        DWORD major, minor;
    } rows[] = {{u"6.3", 6, 3}, {u"10.0 build", 10, 0}, {u".2", 9, 2}, {u"7", 9, 9}, {u"x6.1", 9, 9}};
    for (const Row& row : rows) {
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key, u"CurrentVersion", row.text, CRegStringType::Sz,
                                  0);
        OSVERSIONINFOEXW version = {};
        version.dwMajorVersion = 9;
        version.dwMinorVersion = 9;
        GetWindowsVersionFromRegistry(version);
        EXPECT_EQ(version.dwMajorVersion, row.major) << jxtext::N(row.text);
        EXPECT_EQ(version.dwMinorVersion, row.minor) << jxtext::N(row.text);
    }
}
