// The stand-in's Service Control Manager: starting, stopping and deleting services, with the
// processes it runs for them.
#include <csignal>
#include <fstream>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/text.h"
#include "jxtest/host_process.h"
#include "jxtest/machine_root.h"
#include "service_test_support.h"

namespace {

bool HostProcessExists(DWORD pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool ServiceKeyExists(const WCHAR* name) {
    HKEY key = nullptr;
    const std::u16string path = std::u16string(u"SYSTEM\\CurrentControlSet\\Services\\") + name;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class ServiceRun : public ::testing::Test {
protected:
    std::u16string ServiceImage() const { return u"\"" + svctest::SvcRegProgram() + u"\" /service"; }
    jxtest::TempMachineRoot m_root;
};

} // namespace

TEST_F(ServiceRun, StartRunsTheImageAndStopEndsIt) {
    SC_HANDLE service = svctest::CreateTestService(u"JxRun", ServiceImage());
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(svctest::StatusOf(service).dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED));
    SERVICE_STATUS status = {};
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

    ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
    const SERVICE_STATUS_PROCESS running = svctest::StatusOf(service);
    EXPECT_EQ(running.dwCurrentState, SERVICE_RUNNING);
    ASSERT_NE(running.dwProcessId, 0u);
    EXPECT_TRUE(HostProcessExists(running.dwProcessId));
    EXPECT_FALSE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);

    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_FALSE(HostProcessExists(running.dwProcessId));
    EXPECT_EQ(svctest::StatusOf(service).dwCurrentState, SERVICE_STOPPED);
    CloseServiceHandle(service);
}

// The manager never kills a service process: one that ignores the stop stays stop pending, cannot
// be started again meanwhile, and is stopped once its process ends.
TEST_F(ServiceRun, AServiceThatIgnoresTheStopStaysStopPendingUntilItsProcessEnds) {
    jxplat::SetServiceStopGraceForTesting(50);
    SC_HANDLE service = svctest::CreateTestService(u"JxStubborn", ServiceImage() + u" /ignorestop");
    ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
    const DWORD pid = svctest::StatusOf(service).dwProcessId;
    ASSERT_NE(pid, 0u);
    ASSERT_TRUE(jxtest::AwaitIgnoresStopRequests(pid));
    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_TRUE(HostProcessExists(pid));
    EXPECT_EQ(svctest::StatusOf(service).dwProcessId, pid);
    EXPECT_FALSE(StartServiceW(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));

    ::kill(static_cast<pid_t>(pid), SIGKILL); // the test's own process
    ASSERT_TRUE(
        svctest::Eventually([&] { return svctest::StatusOf(service).dwCurrentState == SERVICE_STOPPED; }));
    EXPECT_EQ(svctest::StatusOf(service).dwWin32ExitCode, 0u);
    jxplat::SetServiceStopGraceForTesting(5000);
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, DeleteWhileRunningMarksTheServiceUntilItStops) {
    SC_HANDLE service = svctest::CreateTestService(u"JxRun", ServiceImage());
    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    ASSERT_TRUE(DeleteService(service));

    EXPECT_TRUE(ServiceKeyExists(u"JxRun")) << "a running service stays, marked";
    EXPECT_EQ(svctest::StatusOf(service).dwCurrentState, SERVICE_RUNNING);
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_FALSE(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_EQ(svctest::CreateTestService(u"JxRun", ServiceImage()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));

    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_FALSE(ServiceKeyExists(u"JxRun")) << "gone once stopped";
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    EXPECT_EQ(OpenServiceW(scm, u"JxRun", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    CloseServiceHandle(scm);
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, DeleteOfAStoppedServiceRemovesItAtOnce) {
    SC_HANDLE service = svctest::CreateTestService(u"JxIdle", u"C:\\idle.exe");
    ASSERT_TRUE(DeleteService(service));
    EXPECT_FALSE(ServiceKeyExists(u"JxIdle"));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, AProcessThatEndsOnItsOwnLeavesTheServiceStopped) {
    const std::u16string exitcode =
        jxplat::HostToWindowsPath(jxtest::BuildDir() + "/tests/programs/exitcode.exe");
    SC_HANDLE service = svctest::CreateTestService(u"JxShort", u"\"" + exitcode + u"\" 0");
    ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(
        svctest::Eventually([&] { return svctest::StatusOf(service).dwCurrentState == SERVICE_STOPPED; }));
    EXPECT_EQ(svctest::StatusOf(service).dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, StartFailsAsWindowsReportsIt) {
    // An image the stand-in cannot run (a placeholder file) runs without a process.
    const std::string placeholder = m_root.Path() + "/drive_c/placeholder.exe";
    std::ofstream(placeholder) << "not a program";
    SC_HANDLE idle = svctest::CreateTestService(u"JxIdle", u"C:\\placeholder.exe");
    ASSERT_TRUE(StartServiceW(idle, 0, nullptr));
    EXPECT_EQ(svctest::StatusOf(idle).dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(svctest::StatusOf(idle).dwProcessId, 0u);

    struct Row {
        const WCHAR* name;
        const WCHAR* image;
        DWORD startType;
        const WCHAR* dependencies;
        DWORD error;
    } rows[] = {
        {u"JxMissing", u"C:\\missing.exe", SERVICE_DEMAND_START, nullptr, ERROR_FILE_NOT_FOUND},
        {u"JxOff", u"C:\\placeholder.exe", SERVICE_DISABLED, nullptr, ERROR_SERVICE_DISABLED},
        {u"JxOrphan", u"C:\\placeholder.exe", SERVICE_DEMAND_START, u"NoSuchService\0",
         ERROR_SERVICE_DEPENDENCY_DELETED},
        {u"JxChild", u"C:\\placeholder.exe", SERVICE_DEMAND_START, u"JxMissing\0",
         ERROR_SERVICE_DEPENDENCY_FAIL},
    };
    for (const Row& row : rows) {
        SC_HANDLE service = svctest::CreateTestService(row.name, row.image, row.startType, row.dependencies);
        ASSERT_NE(service, nullptr) << jxtext::N(row.name);
        EXPECT_FALSE(StartServiceW(service, 0, nullptr)) << jxtext::N(row.name);
        EXPECT_EQ(GetLastError(), row.error) << jxtext::N(row.name);
        EXPECT_EQ(svctest::StatusOf(service).dwCurrentState, SERVICE_STOPPED);
        CloseServiceHandle(service);
    }

    // A dependency is started first, and cannot be stopped while its dependent runs.
    SC_HANDLE dependent =
        svctest::CreateTestService(u"JxDependent", u"C:\\placeholder.exe", SERVICE_DEMAND_START, u"JxBase\0");
    SC_HANDLE base = svctest::CreateTestService(u"JxBase", u"C:\\placeholder.exe");
    ASSERT_TRUE(StartServiceW(dependent, 0, nullptr));
    EXPECT_EQ(svctest::StatusOf(base).dwCurrentState, SERVICE_RUNNING);
    SERVICE_STATUS status = {};
    EXPECT_FALSE(ControlService(base, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEPENDENT_SERVICES_RUNNING));
    CloseServiceHandle(dependent);
    CloseServiceHandle(base);
    CloseServiceHandle(idle);
}

TEST_F(ServiceRun, StopNeverEndsAProcessWhoseIdWasReused) {
    SC_HANDLE service = svctest::CreateTestService(u"JxRun", ServiceImage());
    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    const DWORD pid = svctest::StatusOf(service).dwProcessId;
    ASSERT_NE(pid, 0u);
    // Pretend the recorded process is another one with the same id: the stand-in leaves it alone
    // and reads the service as stopped.
    const std::string statePath = m_root.Path() + "/services/state.json";
    std::string text = jxtest::ReadHostFile(statePath);
    const size_t at = text.find("\"startTicks\":");
    ASSERT_NE(at, std::string::npos);
    text.insert(at + 14, "1");
    std::ofstream(statePath, std::ios::trunc) << text;
    EXPECT_EQ(svctest::StatusOf(service).dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(HostProcessExists(pid));
    ::kill(static_cast<pid_t>(pid), SIGTERM); // the test's own clean-up of the process it started
    CloseServiceHandle(service);
}
