// The activation of the product's services after the installation: start types (stored ones in an
// update, configured ones in a first installation), protected services, refused changes retried
// through the driver, the registration check, the start and the startup actions.
#include <sstream>

#include <gtest/gtest.h>

#include "jxactions/JxServiceControl.h"
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxtest/driver_double.h"
#include "services_test_support.h"

using namespace jxsvctest;

namespace {

void NoSleep(DWORD) {}

class CActivationData : public JxData {
public:
    bool ExecuteAddOn(const std::u16string& module, const std::u16string& function,
                      const std::u16string& argument) override {
        m_AddOnCalls.push_back(jxtext::N(module + u"!" + function + u"(" + argument + u")"));
        return true;
    }
    std::vector<std::string> m_AddOnCalls;
};

class ServiceActivation : public ::testing::Test {
protected:
    void SetUp() override {
        SetServiceWaitForTesting(NoSleep);
        ServiceController::SetSleepForTesting(NoSleep);
        InstallProgramFiles();
        // Windows 6.3: the delayed automatic start exists.
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                  u"CurrentVersion", u"6.3", CRegStringType::Sz, 0);
    }
    void TearDown() override {
        StopEveryService();
        SetServiceWaitForTesting(nullptr);
        ServiceController::SetSleepForTesting(nullptr);
    }
    // The services the test started end with it: no service process outlives its test.
    static void StopEveryService() {
        HKEY services = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services", 0, KEY_READ,
                          &services) != ERROR_SUCCESS)
            return;
        std::vector<std::u16string> names;
        WCHAR name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            if (RegEnumKeyExW(services, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        RegCloseKey(services);
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        for (const std::u16string& service : names) {
            SC_HANDLE handle = OpenServiceW(scm, service.c_str(), SERVICE_ALL_ACCESS);
            SERVICE_STATUS status{};
            if (handle != nullptr) {
                ControlService(handle, SERVICE_CONTROL_STOP, &status);
                CloseServiceHandle(handle);
            }
        }
        CloseServiceHandle(scm);
    }
    void MakeService(const std::u16string& name, DWORD startType) {
        // The program without arguments runs as the service; the manager counts it as registered.
        const std::u16string image = u"\"" + kInstallDir + u"svcreg.exe\"";
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = CreateServiceW(scm, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                           image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service, nullptr);
        CloseServiceHandle(service);
        CloseServiceHandle(scm);
    }
    void Load(const std::string& registerRows) {
        WriteDefinition(registerRows, "");
        m_Data.SetAppDir(kAppDir);
        ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
    }
    void MakeUpdateRun() {
        m_Data.SetProperty(u"InstallMode", u"Maintenance", 1);
        m_Data.m_UpdateMode = 1;
    }
    bool Running(const WCHAR* name) { return m_Data.IsServiceInState(SERVICE_RUNNING, name, nullptr); }
    int StartType(const WCHAR* name) { return ServiceController::QueryStartType(name, nullptr); }
    bool Delayed(const WCHAR* name) {
        return CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), u"DelayedAutostart", 0,
                                        0) == 1;
    }
    // The services named in the log lines "Start service: X", in order.
    std::vector<std::string> StartedInOrder() {
        std::vector<std::string> names;
        std::istringstream lines(m_Log.Dump());
        const std::string marker = "Start service: ";
        for (std::string line; std::getline(lines, line);)
            if (const size_t at = line.find(marker); at != std::string::npos)
                names.push_back(line.substr(at + marker.size()));
        return names;
    }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
    CActivationData m_Data;
};

} // namespace

// Services that the shutdown disabled come back with the start types stored before it, in the
// reverse of the shutdown order, and run when their rows ask for it; the stored types go.
TEST_F(ServiceActivation, AnUpdateGivesBackTheStoredStartTypesInReverseOrder) {
    MakeService(u"JxFirst", SERVICE_DEMAND_START);
    MakeService(u"JxSecond", SERVICE_AUTO_START);
    MakeService(u"JxQuiet", SERVICE_DEMAND_START);
    MakeService(u"JxConfigured", SERVICE_DEMAND_START);
    Load(RegisterRow("JxFirst", "start=\"true\"") +
         RegisterRow("JxSecond", "start=\"TRUE\" starttype=\"delayed\"") +
         RegisterRow("JxQuiet", "start=\"false\"") +
         RegisterRow("JxConfigured", "start=\"true\" startservicewithconfigsettings=\"true\""));
    for (const WCHAR* name : {u"JxFirst", u"JxSecond", u"JxQuiet", u"JxConfigured"})
        ASSERT_TRUE(DisableService(name, nullptr));
    MakeUpdateRun();
    m_Data.SetProperty(u"_ShutdownOrder", u"JxFirst,JxSecond", 1);

    m_Data.CheckAndActivateServices();
    EXPECT_EQ(StartType(u"JxFirst"), SERVICE_DEMAND_START) << "stored, not the configured automatic start";
    EXPECT_EQ(StartType(u"JxSecond"), SERVICE_AUTO_START);
    EXPECT_TRUE(Delayed(u"JxSecond"));
    EXPECT_EQ(StartType(u"JxQuiet"), SERVICE_DEMAND_START);
    EXPECT_EQ(StartType(u"JxConfigured"), SERVICE_AUTO_START) << "the row asks for its configured type";
    EXPECT_TRUE(Running(u"JxFirst"));
    EXPECT_TRUE(Running(u"JxSecond"));
    EXPECT_TRUE(Running(u"JxConfigured"));
    EXPECT_FALSE(Running(u"JxQuiet"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "(Configuration) Do not start service: JxQuiet"));
    // Reverse of the merged order "JxQuiet, JxConfigured, JxFirst, JxSecond".
    EXPECT_EQ(StartedInOrder(), (std::vector<std::string>{"JxSecond", "JxFirst", "JxConfigured"}));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, u"JxSetup\\ServiceStates", 0));

    // A service that already runs is not started again.
    m_Log.Clear();
    m_Data.CheckAndActivateServices();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "(System) Service is already running: JxFirst"));
    EXPECT_TRUE(StartedInOrder().empty());
}

TEST_F(ServiceActivation, AFirstInstallationUsesTheConfiguredStartTypes) {
    MakeService(u"JxOne", SERVICE_DEMAND_START);
    MakeService(u"JxOff", SERVICE_DEMAND_START);
    Load(RegisterRow("JxOne", "starttype=\"auto\"") +
         RegisterRow("JxOff", "start=\"true\" starttype=\"disabled\""));
    MakeInstallRun(m_Data);
    m_Data.CheckAndActivateServices();
    EXPECT_EQ(StartType(u"JxOne"), SERVICE_AUTO_START);
    EXPECT_FALSE(Running(u"JxOne"));
    EXPECT_EQ(StartType(u"JxOff"), SERVICE_DEMAND_START) << "a disabled configuration leaves it alone";
    EXPECT_FALSE(Running(u"JxOff"));
    EXPECT_TRUE(
        m_Log.Has("LP_INFO", "Configured start type is disabled. Do not activate and start service."));
}

// Protected services set their start type through their own program from Windows 10 on; older
// systems get it from the Service Control Manager. The list compares ignoring case.
TEST_F(ServiceActivation, ProtectedServicesRegisterThemselves) {
    MakeService(u"JxGuard", SERVICE_DEMAND_START);
    Load(RegisterRow("JxGuard", "starttype=\"auto\""));
    MakeInstallRun(m_Data);
    m_Data.SetProperty(u"_PPLServices", u"$jxguard$,$Other$", 1);
    m_Data.SetProperty(u"VersionNT", u"1000", 1);
    m_Data.CheckAndActivateServices();
    EXPECT_TRUE(m_Log.Has("BEGIN", "Register service as PPL: JxGuard")) << m_Log.Dump();
    EXPECT_EQ(StartType(u"JxGuard"), SERVICE_DEMAND_START) << "the program sets its own start type";

    m_Data.SetProperty(u"VersionNT", u"603", 1);
    m_Data.CheckAndActivateServices();
    EXPECT_EQ(StartType(u"JxGuard"), SERVICE_AUTO_START);
}

// A refused change is retried while the setup holds a connection to the driver; without the
// driver the service keeps its start type and its delayed flag, and is still started.
TEST_F(ServiceActivation, ARefusedChangeIsRetriedThroughTheDriver) {
    jxplat::MachineDescription machine;
    machine.refusedServiceChanges = {"JxGuarded"};
    m_Root.Describe(machine);
    MakeService(u"JxGuarded", SERVICE_DEMAND_START);
    Load(RegisterRow("JxGuarded", "start=\"true\" starttype=\"delayed\""));
    MakeInstallRun(m_Data);

    m_Data.CheckAndActivateServices();
    EXPECT_EQ(StartType(u"JxGuarded"), SERVICE_DEMAND_START);
    EXPECT_FALSE(Delayed(u"JxGuarded"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Connection to ProcessManager failed with error code")) << m_Log.Dump();
    EXPECT_TRUE(Running(u"JxGuarded"));

    jxtest::CDriverDouble driver;
    ASSERT_TRUE(driver.Ready());
    m_Data.CheckAndActivateServices();
    EXPECT_EQ(StartType(u"JxGuarded"), SERVICE_AUTO_START);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Connection to ProcessManager succeeded. Retrying to set start type of "
                                     "service JxGuarded"));
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0) << jxtest::CDriverDouble::Status();
}

// A service registered in this run whose registration did not hold is registered again with the
// row's argument, expanded as the registration expands it; its deletion flag goes.
TEST_F(ServiceActivation, AServiceWhoseRegistrationDidNotHoldIsRegisteredAgain) {
    Load(
        "<SetupRegisterService name=\"JxLost\" featurename=\"Core\" componentid=\"{C1}\" file=\"svcreg.exe\" "
        "argument=\"/regserver [LOSTNAME] 3\" start=\"true\" starttype=\"manuell\"/>\n");
    MakeInstallRun(m_Data);
    m_Data.SetProperty(u"LOSTNAME", u"JxLost", 1);
    m_Data.m_InstallServices[0].m_RegisteredInThisRun = true;
    m_Data.CheckAndActivateServices();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Register service JxLost.")) << m_Log.Dump();
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, ServiceKey(u"JxLost").c_str(), 0))
        << "[LOSTNAME] expanded";
    // The program registers itself with an argument in its image path; the repair of the image
    // path is the registration's work, so here it is done by hand.
    m_Data.FixServiceConfiguration(u"JxLost", kInstallDir + u"svcreg.exe");

    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, ServiceKey(u"JxLost").c_str(), u"DeleteFlag", 1, 0);
    m_Data.CheckAndActivateServices();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Serivce JxLost is already registered."));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, ServiceKey(u"JxLost").c_str(), u"DeleteFlag", 0));
}

// A component whose condition fails or that is extracted as a package keeps its service as it is;
// the startup actions run afterwards.
TEST_F(ServiceActivation, SkippedComponentsAndStartupActions) {
    MakeService(u"JxSkipped", SERVICE_DEMAND_START);
    Load(RegisterRow("JxSkipped", "start=\"true\" starttype=\"auto\""));
    MakeInstallRun(m_Data);
    JxSequenceEntry startup;
    startup.modulename = u"prod.dll";
    startup.functionname = u"Started";
    startup.argument = u"[PRODUCTNAME]";
    startup.startupaction = u"True";
    m_Data.m_PropertyActions.push_back(startup);

    m_Data.m_Features[0].components[0].condition = u"[VersionNT]<0";
    m_Data.CheckAndActivateServices();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "(Condition) Skip check and activate service: JxSkipped"));
    m_Data.m_Features[0].components[0].condition = u"";
    m_Data.m_Features[0].components[0].extractaswpk = u"true";
    m_Data.CheckAndActivateServices();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "(ExtractAsWpk) Skip check and activate service: JxSkipped"));
    EXPECT_EQ(StartType(u"JxSkipped"), SERVICE_DEMAND_START);
    EXPECT_FALSE(Running(u"JxSkipped"));
    EXPECT_EQ(m_Data.m_AddOnCalls, (std::vector<std::string>{"prod.dll!Started([PRODUCTNAME])",
                                                             "prod.dll!Started([PRODUCTNAME])"}));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Executing StartupAction prod.dll, Started, Jx Test"));
}

// A run that crashed after its shutdown left the service disabled; the start type stored before
// that shutdown survives the crash, and the next update's activation gives it back.
TEST_F(ServiceActivation, AServiceLeftDisabledByACrashedRunGetsItsEarlierStartTypeBack) {
    MakeService(u"JxCrashed", SERVICE_DISABLED);
    CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, u"JxSetup\\ServiceStates", u"JxCrashed", SERVICE_DEMAND_START,
                           0);
    Load(RegisterRow("JxCrashed", "start=\"true\""));
    EXPECT_EQ(m_Data.m_InstallServices[0].m_StoredStartType, static_cast<int32_t>(SERVICE_DEMAND_START));
    MakeUpdateRun();
    m_Data.CheckAndActivateServices();
    EXPECT_EQ(StartType(u"JxCrashed"), SERVICE_DEMAND_START);
    EXPECT_TRUE(Running(u"JxCrashed"));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, u"JxSetup\\ServiceStates", 0));
}
