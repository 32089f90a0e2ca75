// Registration and unregistration of the definition's services through their own program.
#include <cstdio>

#include <gtest/gtest.h>

#include "jxactions/JxServiceControl.h"
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "services_test_support.h"

using namespace jxsvctest;

namespace {

class ServiceRegistration : public ::testing::Test {
protected:
    // Loads the definition with the rows; the program files are in place.
    void Load(const std::string& registerRows, const std::string& unregisterRows = "") {
        InstallProgramFiles();
        WriteDefinition(registerRows, unregisterRows);
        m_Data.SetAppDir(kAppDir);
        ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
        MakeInstallRun(m_Data);
    }
    std::u16string ImagePathOf(const std::u16string& name) {
        return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), u"ImagePath", u"",
                                           0);
    }
    bool Exists(const std::u16string& name) {
        return CReg::IsValidPath(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), 0);
    }
    // The output of "jxmachine services" for this machine.
    std::string MachineServices() {
        const std::string command =
            jxtest::BuildDir() + "/tools/jxmachine --root '" + m_Root.Path() + "' services";
        std::string out;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof(buffer), pipe))
                out += buffer;
            ::pclose(pipe);
        }
        return out;
    }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
    JxData m_Data;
};

} // namespace

TEST_F(ServiceRegistration, ProgramsRegisterTheirServicesAndTheImagePathIsFixed) {
    Load(RegisterRow("JxAlpha", "starttype=\"manuell\"") +
             RegisterRow("JxBeta", "deleteserviceonupdate=\"TRUE\""),
         UnregisterRow("JxAlpha"));
    m_Data.SelfRegService(SelfRegServiceAction());

    const std::u16string program = u"\"" + kInstallDir + u"svcreg.exe\"";
    ASSERT_TRUE(Exists(u"JxAlpha")) << m_Log.Dump();
    EXPECT_EQ(ImagePathOf(u"JxAlpha"), program) << "the registration's arguments are dropped";
    EXPECT_EQ(ImagePathOf(u"JxBeta"), program);
    EXPECT_TRUE(ServiceController::IsRegistered(u"JxAlpha", nullptr));
    EXPECT_TRUE(m_Data.m_InstallServices[0].m_RegisteredInThisRun);
    EXPECT_FALSE(m_Data.m_InstallServices[1].m_RegisteredInThisRun)
        << "delete on update: no registration check";
    EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure);
    EXPECT_FALSE(m_Data.m_SequenceData.m_bWarning);

    // The configured start types; then the service runs and the machine shows it.
    m_Data.FixServices();
    EXPECT_EQ(ServiceController::QueryStartType(u"JxAlpha", nullptr), 3);
    EXPECT_EQ(ServiceController::QueryStartType(u"JxBeta", nullptr), 2);
    ServiceController alpha;
    ASSERT_TRUE(alpha.Open(u"JxAlpha", nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS));
    ASSERT_TRUE(alpha.Start(false, 30, 1000));
    alpha.Close();
    EXPECT_TRUE(m_Data.IsServiceInState(SERVICE_RUNNING, u"JxAlpha", nullptr));
    const std::string listed = MachineServices();
    EXPECT_NE(listed.find("JxAlpha RUNNING start=DEMAND pid="), std::string::npos) << listed;
    EXPECT_NE(listed.find("JxBeta STOPPED start=AUTO"), std::string::npos) << listed;

    // Unregistration runs the program with its argument: the running service is marked for
    // deletion, and the removal that follows stops it, which takes it away.
    MakeUninstallRun(m_Data);
    m_Data.SelfUnRegServices(SelfUnRegServiceAction());
    EXPECT_FALSE(Exists(u"JxAlpha")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Unregister service using file C:\\Program Files\\Jx\\svcreg.exe."));
    EXPECT_EQ(MachineServices().find("JxAlpha"), std::string::npos);
    EXPECT_TRUE(Exists(u"JxBeta")) << "not in the unregister list";
}

TEST_F(ServiceRegistration, AProgramThatCannotStartFailsTheRunOnlyWhenAskedTo) {
    const std::string rows = RegisterRow("JxBroken", "", "broken.exe") + RegisterRow("JxLater");
    for (const bool abort : {true, false}) {
        SCOPED_TRACE(abort ? "AbortOnRegSvcFail" : "warning only");
        jxtest::TempMachineRoot root;
        JxData data;
        InstallProgramFiles();
        WriteDefinition(rows, "");
        data.SetAppDir(kAppDir);
        ASSERT_TRUE(data.LoadConfiguration());
        MakeInstallRun(data);
        data.SetProperty(u"Service_JxBroken", u"Broken Service", 1);
        if (abort)
            data.SetProperty(u"AbortOnRegSvcFail", u"True", 1);

        data.SelfRegService(SelfRegServiceAction());
        EXPECT_EQ(data.GetPropertyValue(u"_FailedServiceName"), u"Broken Service");
        const JxErrorInfo& error = abort ? data.m_SequenceData.m_Error : data.m_SequenceData.m_Warning;
        EXPECT_EQ(abort ? data.m_SequenceData.m_bFailure : data.m_SequenceData.m_bWarning, true);
        EXPECT_EQ(error.m_Message, u"The service could not be installed.");
        EXPECT_EQ(error.m_Title, u"Jx Test");
        EXPECT_EQ(error.m_ActionName, u"SelfRegService");
        EXPECT_EQ(error.m_FeatureName, u"Core");
        // No repair after a failed registration: no stray key for a service that never was.
        EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, ServiceKey(u"JxBroken").c_str(), 0));
        EXPECT_EQ(CReg::IsValidPath(HKEY_LOCAL_MACHINE, ServiceKey(u"JxLater").c_str(), 0), !abort);
        EXPECT_EQ(data.m_InstallServices[1].m_RegisteredInThisRun, !abort);
    }
}

TEST_F(ServiceRegistration, RowsOutsideTheRunAreNeverRegistered) {
    Load(RegisterRow("JxNoFile", "", "absent.exe") +
         "<SetupRegisterService name=\"JxOtherFeature\" featurename=\"Other\" componentid=\"{C1}\" "
         "file=\"svcreg.exe\" argument=\"/regserver JxOtherFeature\"/>\n");
    std::filesystem::remove(jxplat::WindowsToHostPath(kInstallDir + u"svcreg.exe"));
    m_Data.SelfRegService(SelfRegServiceAction());
    EXPECT_FALSE(Exists(u"JxNoFile"));
    EXPECT_FALSE(Exists(u"JxOtherFeature"));
    EXPECT_FALSE(m_Data.m_InstallServices[0].m_RegisteredInThisRun);
    EXPECT_FALSE(m_Data.m_InstallServices[1].m_RegisteredInThisRun);
}

TEST_F(ServiceRegistration, FixServiceConfigurationRepairsOnlyAnExistingService) {
    Load("");
    // A service left marked for deletion by an earlier run, registered with arguments.
    ASSERT_EQ(CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, ServiceKey(u"JxOld").c_str(), u"DeleteFlag", 1, 0),
              0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, ServiceKey(u"JxOld").c_str(), u"ImagePath",
                              u"\"C:\\x.exe\" -k", CRegStringType::ExpandSz, 0);
    m_Data.FixServiceConfiguration(u"JxOld", u"C:\\Program Files\\Jx\\new.exe");
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, ServiceKey(u"JxOld").c_str(), u"DeleteFlag", 0));
    EXPECT_EQ(ImagePathOf(u"JxOld"), u"\"C:\\Program Files\\Jx\\new.exe\"");

    // An alternative image path, and a service whose image path is to stay (its flag still goes).
    m_Data.SetProperty(u"JxOldImagePath", u"D:\\alt.exe", 1);
    m_Data.FixServiceConfiguration(u"JxOld", u"C:\\ignored.exe");
    EXPECT_EQ(ImagePathOf(u"JxOld"), u"\"D:\\alt.exe\"");
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, ServiceKey(u"JxOld").c_str(), u"DeleteFlag", 1, 0);
    m_Data.SetProperty(u"JxOldSkipFixImagePath", u"TRUE", 1);
    m_Data.FixServiceConfiguration(u"JxOld", u"C:\\ignored.exe");
    EXPECT_EQ(ImagePathOf(u"JxOld"), u"\"D:\\alt.exe\"");
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, ServiceKey(u"JxOld").c_str(), u"DeleteFlag", 0));

    m_Data.FixServiceConfiguration(u"JxNever", u"C:\\Program Files\\Jx\\svcreg.exe");
    EXPECT_FALSE(Exists(u"JxNever"));
    EXPECT_TRUE(m_Log.Has("WARNING", "Service JxNever is not registered")) << m_Log.Dump();
}

// "DisableServiceAfterReg" leaves each service its registration made disabled (start type 4);
// without it the service keeps the start type it registered with.
TEST_F(ServiceRegistration, DisableServiceAfterRegDisablesTheRegisteredServices) {
    for (const char16_t* disable : {u"True", u"false", u""}) {
        SCOPED_TRACE(jxtext::N(disable));
        jxtest::TempMachineRoot root;
        JxData data;
        InstallProgramFiles();
        WriteDefinition(RegisterRow("JxAlpha") + RegisterRow("JxNoFile", "", "absent.exe"), "");
        data.SetAppDir(kAppDir);
        ASSERT_TRUE(data.LoadConfiguration());
        MakeInstallRun(data);
        data.SetProperty(u"DisableServiceAfterReg", disable, 1);

        data.SelfRegService(SelfRegServiceAction());

        ASSERT_TRUE(ServiceController::IsRegistered(u"JxAlpha", nullptr));
        const bool disabled = ServiceController::QueryStartType(u"JxAlpha", nullptr) == SERVICE_DISABLED;
        EXPECT_EQ(disabled, jxtext::EqualsNoCase(disable, u"true"));
        EXPECT_FALSE(ServiceController::IsRegistered(u"JxNoFile", nullptr));
        EXPECT_FALSE(data.m_SequenceData.m_bFailure);
    }
}

// An update unregisters only the services whose rows say it replaces them ("deleteserviceonupdate");
// the others stay registered and running as they were.
TEST_F(ServiceRegistration, AnUpdateUnregistersOnlyTheServicesItReplaces) {
    Load(RegisterRow("JxAlpha") + RegisterRow("JxBeta", "deleteserviceonupdate=\"TRUE\""),
         UnregisterRow("JxAlpha") + UnregisterRow("JxBeta", "deleteserviceonupdate=\"True\""));
    m_Data.SelfRegService(SelfRegServiceAction());
    ASSERT_TRUE(Exists(u"JxAlpha"));
    ASSERT_TRUE(Exists(u"JxBeta"));

    m_Data.SelfUnRegServicesOnUpdate(JxSequenceAction(u"SelfUnRegServiceOnUpdate", u"", 0x1df));

    EXPECT_FALSE(Exists(u"JxBeta")) << m_Log.Dump();
    EXPECT_TRUE(Exists(u"JxAlpha"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Unregister service using file C:\\Program Files\\Jx\\svcreg.exe."));
}
