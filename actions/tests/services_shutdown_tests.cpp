// The shutdown of the product's services before an update or an uninstallation: the order, the
// "SCM" and "CA" ways, the stop time-out, the repair entry and the fallback after a failure.
#include <csignal>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "jxactions/JxServiceControl.h"
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxtest/host_process.h"
#include "file_copy_fixture.h"
#include "services_test_support.h"

using namespace jxsvctest;

namespace {

const WCHAR* const kRunOnce = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const WCHAR* const kRepairValue = u"{11111111-2222-3333-4444-555555555555}_FixSvc";

// The stop waits of the setup are counted instead of slept.
int g_Pauses = 0;
void CountPause(DWORD) {
    ++g_Pauses;
}
void NoSleep(DWORD) {}

// A data object whose add-on calls are recorded and answered.
class CShutdownData : public JxData {
public:
    bool ExecuteAddOn(const std::u16string& module, const std::u16string& function,
                      const std::u16string& argument) override {
        m_AddOnCalls.push_back(jxtext::N(module + u"!" + function + u"(" + argument + u")"));
        return m_AddOnResult;
    }
    std::vector<std::string> m_AddOnCalls;
    bool m_AddOnResult = true;
};

class ServiceShutdown : public ::testing::Test {
protected:
    void SetUp() override {
        g_Pauses = 0;
        SetServiceWaitForTesting(CountPause);
        ServiceController::SetSleepForTesting(NoSleep);
        jxplat::SetServiceStopGraceForTesting(50);
        InstallProgramFiles();
    }
    void TearDown() override {
        for (DWORD pid : m_Stubborn)
            ::kill(static_cast<pid_t>(pid), SIGKILL); // the test's own service processes
        SetServiceWaitForTesting(nullptr);
        ServiceController::SetSleepForTesting(nullptr);
        jxplat::SetServiceStopGraceForTesting(5000);
    }

    // A service of svcreg.exe, running unless told otherwise; one that ignores the stop is ended
    // by the test at its end.
    void MakeService(const std::u16string& name, DWORD startType, bool run = true, bool ignoreStop = false) {
        const std::u16string image =
            u"\"" + kInstallDir + u"svcreg.exe\" /service" + (ignoreStop ? u" /ignorestop" : u"");
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = CreateServiceW(scm, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                           image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service, nullptr);
        if (run) {
            ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
            if (ignoreStop) {
                SERVICE_STATUS_PROCESS status = {};
                DWORD needed = 0;
                QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                     sizeof(status), &needed);
                m_Stubborn.push_back(status.dwProcessId);
                // The stop must find the program ignoring it, not still starting up.
                ASSERT_TRUE(jxtest::AwaitIgnoresStopRequests(status.dwProcessId));
            }
        }
        CloseServiceHandle(service);
        CloseServiceHandle(scm);
    }
    void Load(const std::string& registerRows, const std::string& unregisterRows = "") {
        WriteDefinition(registerRows, unregisterRows);
        m_Data.SetAppDir(kAppDir);
        ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
    }
    // An update of the installed product: every service of the order is shut down.
    void MakeUpdateRun() {
        m_Data.m_SequenceData.m_bInstallModeInstall = false;
        m_Data.m_SequenceData.m_bInstallModeMaintenance = true;
        m_Data.SetProperty(u"InstallMode", u"Maintenance", 1);
        m_Data.SetProperty(u"FeatureStateInstalled", u"$Core$", 1);
        m_Data.m_UpdateMode = 1;
    }
    bool Running(const WCHAR* name) { return m_Data.IsServiceInState(SERVICE_RUNNING, name, nullptr); }
    int StartType(const WCHAR* name) { return ServiceController::QueryStartType(name, nullptr); }
    // The services named in the log lines "Disabled service X" of the shutdown, in order.
    std::vector<std::string> DisabledInOrder() {
        std::vector<std::string> names;
        std::istringstream lines(m_Log.Dump());
        const std::string marker = "Disabled service ";
        for (std::string line; std::getline(lines, line);)
            if (const size_t at = line.find(marker); at != std::string::npos && line.back() != '.')
                names.push_back(line.substr(at + marker.size()));
        return names;
    }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
    CShutdownData m_Data;
    std::vector<DWORD> m_Stubborn;
};

std::string ScmRow(const std::string& name, const std::string& extra = "") {
    return RegisterRow(name, "shutdownoption=\"SCM\" " + extra);
}

} // namespace

TEST_F(ServiceShutdown, AnUpdateStopsTheServicesInOrderAndSchedulesTheRepair) {
    MakeService(u"JxFirst", SERVICE_AUTO_START);
    MakeService(u"JxSecond", SERVICE_DEMAND_START);
    MakeService(u"JxUnlisted", SERVICE_AUTO_START);
    MakeService(u"JxIdle", SERVICE_AUTO_START, false);
    Load(ScmRow("JxFirst") + ScmRow("JxSecond") + ScmRow("JxUnlisted") + ScmRow("JxIdle") +
         RegisterRow("JxClassic", "shutdownoption=\"other\""));
    MakeUpdateRun();
    // Services missing from the order go first; an unknown name is dropped.
    m_Data.SetProperty(u"_ShutdownOrder", u"JxSecond,JxGhost,JxFirst,JxClassic", 1);

    ASSERT_TRUE(m_Data.ShutdownActions()) << m_Log.Dump();
    EXPECT_EQ(DisabledInOrder(), (std::vector<std::string>{"JxUnlisted", "JxIdle", "JxSecond", "JxFirst"}));
    for (const WCHAR* name : {u"JxFirst", u"JxSecond", u"JxUnlisted", u"JxIdle"}) {
        EXPECT_FALSE(Running(name)) << jxtext::N(name);
        EXPECT_EQ(StartType(name), SERVICE_DISABLED) << jxtext::N(name);
    }
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Service is not running")) << "the idle service is only disabled";
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Classical shutdown option set. Nothing to do."));
    // The repair run, should this run not end normally: the program quietly with _FixServices.
    const std::u16string repair =
        CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kRunOnce, kRepairValue, u"", 0);
    EXPECT_NE(repair.find(u"\" /_QuietInstallation=true /_FixServices=true"), std::u16string::npos)
        << jxtext::N(repair);
    EXPECT_EQ(repair.front(), u'"');
    // The stored start types are those from before the shutdown.
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, u"JxSetup\\ServiceStates", u"JxSecond", 0, 0),
              static_cast<DWORD>(SERVICE_DEMAND_START));
}

// A service that ignores the stop: the wait gives up after its time-out, later services are left
// running, the user is told, and the fallback gives every service its configured start type back.
TEST_F(ServiceShutdown, AServiceThatDoesNotStopFailsTheUpdateAndTheServicesComeBack) {
    MakeService(u"JxStubborn", SERVICE_AUTO_START, true, true);
    MakeService(u"JxLater", SERVICE_AUTO_START);
    Load(ScmRow("JxStubborn", "starttype=\"manuell\"") + ScmRow("JxLater"));
    MakeUpdateRun();
    m_Data.SetProperty(u"_ShutdownOrder", u"JxStubborn,JxLater", 1);

    EXPECT_FALSE(m_Data.ShutdownActions());
    EXPECT_EQ(g_Pauses, 3599) << "3599 pauses of 500 ms";
    EXPECT_TRUE(m_Log.Has("ERROR", "Timeout! Failed to stop service after 30 minutes.")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Prior service shutdown failed. Skipping shutdown of service: JxLater"));
    EXPECT_TRUE(Running(u"JxLater"));
    EXPECT_EQ(StartType(u"JxLater"), SERVICE_AUTO_START);
    EXPECT_EQ(StartType(u"JxStubborn"), SERVICE_DEMAND_START) << "the configured start type";
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, u"JxSetup\\ServiceStates", 0));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, kRepairValue, 0));
}

TEST_F(ServiceShutdown, AnUninstallationIgnoresAFailure) {
    MakeService(u"JxStubborn", SERVICE_AUTO_START, true, true);
    Load(ScmRow("JxStubborn"));
    MakeUninstallRun(m_Data);

    EXPECT_TRUE(m_Data.ShutdownActions());
    EXPECT_TRUE(m_Log.Has("LP_INFO", "InstallMode is Uninstall. Ignore shutdown failure."));
    EXPECT_EQ(StartType(u"JxStubborn"), SERVICE_DISABLED) << "no fallback";
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, kRepairValue, 0))
        << "an uninstallation schedules no repair";
}

// "CancelUpdate" forces the failure path without a service being touched; above 1 it also keeps
// the fallback away from "QrvWCtl".
TEST_F(ServiceShutdown, CancelUpdateTestsTheFallback) {
    MakeService(u"JxOne", SERVICE_DEMAND_START, false);
    MakeService(u"QrvWCtl", SERVICE_DEMAND_START, false);
    Load(ScmRow("JxOne") + ScmRow("QrvWCtl"));
    MakeUpdateRun();
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"CancelUpdate", 2, 0);

    EXPECT_FALSE(m_Data.ShutdownActions());
    EXPECT_TRUE(m_Log.Has("WARNING", "CancelUpdate setted. Testing fallback scenario."));
    EXPECT_TRUE(DisabledInOrder().empty());
    EXPECT_EQ(StartType(u"JxOne"), SERVICE_AUTO_START) << "the fallback sets the configured type";
    EXPECT_TRUE(Running(u"JxOne")) << "and starts the service";
    EXPECT_EQ(StartType(u"QrvWCtl"), SERVICE_DEMAND_START);
    EXPECT_FALSE(Running(u"QrvWCtl"));
    EXPECT_EQ(m_Log.Count("WARNING", "Skipped by user setting!"), 2u);
}

// A first installation shuts down only the services of features it installs or removes; a
// component extracted as a package keeps its service.
TEST_F(ServiceShutdown, AnInstallationShutsDownOnlyTheServicesOfChangedFeatures) {
    MakeService(u"JxCore", SERVICE_AUTO_START);
    Load(ScmRow("JxCore"));
    MakeInstallRun(m_Data);
    m_Data.SetProperty(u"FeatureActionInstall", u"", 1);
    ASSERT_TRUE(m_Data.ShutdownActions());
    EXPECT_TRUE(Running(u"JxCore"));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, kRepairValue, 0));

    m_Data.SetProperty(u"FeatureActionInstall", u"$Core$", 1);
    m_Data.m_Features[0].components[0].extractaswpk = u"TRUE";
    ASSERT_TRUE(m_Data.ShutdownActions());
    EXPECT_TRUE(Running(u"JxCore"));

    m_Data.m_Features[0].components[0].extractaswpk = u"";
    ASSERT_TRUE(m_Data.ShutdownActions());
    EXPECT_FALSE(Running(u"JxCore"));
    // An installation that disables a service schedules the repair as well.
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, kRepairValue, 0));
}

// The product's own shutdown: shutdown actions first, then the "CA" service with its parameter
// telling whether the service goes away in this run; a failed action stops everything after it.
TEST_F(ServiceShutdown, ShutdownActionsAndAddOnShutdowns) {
    Load(RegisterRow("JxAddOn", "shutdownoption=\"ca\" shutdownmodule=\"prod.dll\" shutdownfunction=\"Stop\" "
                                "shutdownparam=\"fast\""),
         UnregisterRow("JxAddOn"));
    JxSequenceEntry action;
    action.modulename = u"prod.dll";
    action.functionname = u"Prepare";
    action.argument = u"[PRODUCTNAME]";
    action.shutdownaction = u"true";
    m_Data.m_PropertyActions.push_back(action);

    MakeUninstallRun(m_Data);
    ASSERT_TRUE(m_Data.ShutdownActions());
    EXPECT_EQ(m_Data.m_AddOnCalls,
              (std::vector<std::string>{"prod.dll!Prepare([PRODUCTNAME])", "prod.dll!Stop(fast;true)"}));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Executing shutdown action prod.dll, Prepare, Jx Test."));

    // An installation never removes the service.
    m_Data.m_AddOnCalls.clear();
    MakeInstallRun(m_Data);
    m_Data.SetProperty(u"FeatureActionRemove", u"", 1);
    ASSERT_TRUE(m_Data.ShutdownActions());
    EXPECT_EQ(m_Data.m_AddOnCalls.back(), "prod.dll!Stop(fast;false)");

    m_Data.m_AddOnCalls.clear();
    m_Data.m_AddOnResult = false;
    m_Data.m_PropertyActions.push_back(action);
    EXPECT_FALSE(m_Data.ShutdownActions());
    EXPECT_EQ(m_Data.m_AddOnCalls, (std::vector<std::string>{"prod.dll!Prepare([PRODUCTNAME])"}));
    EXPECT_TRUE(m_Log.Has(
        "ERROR", "Prior ShutdownAction failed. Skipping current action prod.dll, Prepare, Jx Test."));
}

// On 64-bit Windows the dumps are written by the packaged helper, before the shutdown when asked
// ("Pre_") and again after a failed one; an uninstallation still ignores the failure.
TEST_F(ServiceShutdown, AServiceThatDoesNotStopIsDumpedByThePackagedHelper) {
    MakeService(u"JxStubborn", SERVICE_AUTO_START, true, true);
    Load(ScmRow("JxStubborn"));
    MakeUninstallRun(m_Data);
    const std::string helper = "#!/bin/sh\necho \"$JX_COMMAND_LINE\" >> \"$JX_MACHINE_ROOT/dumps.runs\"\n";
    ASSERT_TRUE(jxfilecopytest::WriteNamedPackage(u"C:\\media\\setup.wpk", "$SETUP",
                                                  {{u"$SETUP\\JxSetupHlp64.exe", helper}}));
    ASSERT_TRUE(m_Data.MountExternalPackage(u"C:\\media\\setup.wpk", kScanModeReplace));
    m_Data.SetProperty(u"CommonAppDataFolder", u"C:\\ProgramData", 1);
    m_Data.SetProperty(u"VersionNT64", u"1000", 1);
    m_Data.SetProperty(u"_PreCreateMiniDumps", u"2", 1);
    m_Data.SetProperty(u"_CreateMiniDumps", u"1", 1);

    EXPECT_TRUE(m_Data.ShutdownActions());
    const std::string runs = jxtest::ReadHostFile(m_Root.Path() + "/dumps.runs");
    const std::string options = "/destination=\"C:\\ProgramData\\Tolvane\\Setups\\Logs\" /fileprefix=\"";
    EXPECT_NE(runs.find(options + "Pre_\" /dumplevel=\"2\" /processname=\"svcreg.exe\""), std::string::npos)
        << runs;
    EXPECT_NE(runs.find(options + "\" /dumplevel=\"1\" /processname=\"svcreg.exe\""), std::string::npos)
        << runs;
    EXPECT_LT(runs.find("Pre_"), runs.find("/dumplevel=\"1\""));
    PackageMgr::Instance()->Cleanup();
}

// On 32-bit Windows the engine writes the dumps itself: a minidump of each running service
// process lands in the logs folder under the prefix.
TEST_F(ServiceShutdown, On32BitWindowsTheEngineWritesTheDumpsItself) {
    MakeService(u"JxStubborn", SERVICE_AUTO_START, true, true);
    Load(ScmRow("JxStubborn"));
    MakeUninstallRun(m_Data);
    m_Data.SetProperty(u"CommonAppDataFolder", u"C:\\ProgramData", 1);
    m_Data.SetProperty(u"VersionNT64", u"", 1);
    EXPECT_TRUE(m_Data.ShutdownCreateDumps(u"Pre_", u"1"));
    const std::string logs = jxplat::WindowsToHostPath(u"C:\\ProgramData\\Tolvane\\Setups\\Logs");
    std::vector<std::string> dumps;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(logs, error))
        if (entry.path().filename().string().rfind("Pre_", 0) == 0)
            dumps.push_back(entry.path().string());
    ASSERT_EQ(dumps.size(), 1u) << logs;
    EXPECT_EQ(jxtest::ReadHostFile(dumps[0]).substr(0, 4), "MDMP");
}
