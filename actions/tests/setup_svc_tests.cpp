// The setup service: installed from the $SETUP package when the packaged program differs from the
// installed one, kept when it does not, removed on uninstallation; never started by the setup.
#include <filesystem>

#include <gtest/gtest.h>

#include "file_copy_fixture.h"
#include "jxactions/JxSetupSVC.h"
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace jxfilecopytest {
namespace {

const std::u16string kMedia = u"C:\\media\\";
const std::u16string kFolder = u"C:\\Program Files\\Tolvane\\SetupSVC";
const std::u16string kProgram = kFolder + u"\\SetupSVC.exe";
const WCHAR* const kName = u"JxSetupSvc";

// The setup service program: run with "/service" it registers itself as the service kName (its
// image this program), as the real one does; each run is noted in "setupsvc.runs".
std::string ServiceProgram(const std::string& build) {
    return "#!/bin/sh\n# build " + build + "\n" +
           "echo \"$JX_COMMAND_LINE\" >> \"$JX_MACHINE_ROOT/setupsvc.runs\"\n" + "'" + jxtest::BuildDir() +
           "/tools/jxmachine' --root \"$JX_MACHINE_ROOT\" set "
           "'HKLM\\SYSTEM\\CurrentControlSet\\Services\\JxSetupSvc' ImagePath "
           "'sz:C:\\Program Files\\Tolvane\\SetupSVC\\SetupSVC.exe' >/dev/null\n";
}

class SetupService : public ::testing::Test {
protected:
    void SetUp() override {
        PackageMgr::Instance()->Cleanup();
        m_Data.SetProperty(u"InstallMode", u"Install", 1);
        m_Data.SetProperty(u"SVCFOLDER", kFolder, 1);
        m_Data.m_SetupSvc = JxSetupSVCData{u"[SVCFOLDER]", u"SetupSVC.exe", u"JxSetupSvc"};
    }
    void TearDown() override { PackageMgr::Instance()->Cleanup(); }

    void MountSetupPackage(const std::string& program, const std::u16string& name = u"setup.wpk") {
        ASSERT_TRUE(WriteNamedPackage(kMedia + name, "$SETUP", {{u"$SETUP\\SetupSVC.exe", program}}));
        ASSERT_TRUE(m_Data.MountExternalPackage(kMedia + name, kScanModeReplace));
    }
    bool Install() {
        JxSetupSVC service(m_Data.m_SetupSvc, &m_Data);
        service.initSetupSVCPaths();
        return service.installSetupSVC();
    }
    bool Uninstall() {
        JxSetupSVC service(m_Data.m_SetupSvc, &m_Data);
        service.initSetupSVCPaths();
        return service.uninstallSetupSVC();
    }
    int Runs() {
        std::ifstream in(m_Root.Path() + "/setupsvc.runs");
        int count = 0;
        for (std::string line; std::getline(in, line);)
            ++count;
        return count;
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
};

} // namespace

TEST_F(SetupService, InstalledWhenNewerKeptWhenNotRemovedOnUninstall) {
    MountSetupPackage(ServiceProgram("1"));
    EXPECT_TRUE(Install()) << m_Log.Dump();
    EXPECT_EQ(ReadFileBytes(kProgram), ServiceProgram("1"));
    EXPECT_TRUE(ServiceController::IsRegistered(kName, nullptr));
    EXPECT_EQ(Runs(), 1);
    EXPECT_NE(jxtest::ReadHostFile(m_Root.Path() + "/setupsvc.runs").find("/service"), std::string::npos);
    EXPECT_FALSE(m_Data.IsServiceInState(SERVICE_RUNNING, kName, nullptr)) << "the setup never starts it";

    // The same program again: nothing is copied or run.
    EXPECT_FALSE(Install());
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Installed SetupSVC is up to date."));
    EXPECT_EQ(Runs(), 1);

    // Another build in the packages (of another size: the rule compares size, date and digest)
    // replaces it.
    PackageMgr::Instance()->Cleanup();
    MountSetupPackage(ServiceProgram("2 with a fix"), u"setup2.wpk");
    EXPECT_TRUE(Install());
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Installed SetupSVC is out of date."));
    EXPECT_EQ(ReadFileBytes(kProgram), ServiceProgram("2 with a fix"));
    EXPECT_EQ(Runs(), 2);

    EXPECT_TRUE(Uninstall());
    EXPECT_FALSE(ServiceController::IsRegistered(kName, nullptr));
    EXPECT_FALSE(
        CReg::IsValidPath(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\JxSetupSvc", 0));
    EXPECT_FALSE(std::filesystem::exists(jxplat::WindowsToHostPath(kProgram)));
    EXPECT_FALSE(Uninstall()) << "nothing left to remove";
    EXPECT_TRUE(m_Log.Has("LP_INFO", "SetupSVC is not installed."));
}

// A program that does not register the service leaves an installation that says so.
TEST_F(SetupService, AnInstallationWithoutTheServiceReportsFalse) {
    MountSetupPackage("#!/bin/sh\nexit 0\n");
    EXPECT_FALSE(Install());
    EXPECT_TRUE(std::filesystem::exists(jxplat::WindowsToHostPath(kProgram)));
    EXPECT_TRUE(m_Log.Has("END", "false"));
}

TEST_F(SetupService, NothingHappensWithoutDescriptionPackageOrInDllMode) {
    EXPECT_FALSE(Install());
    EXPECT_TRUE(m_Log.Has("LP_INFO", "File not found in VFS: \\$SETUP\\SetupSVC.exe")) << m_Log.Dump();
    MountSetupPackage(ServiceProgram("1"));
    m_Data.SetProperty(u"_IsDLLMode", u"TRUE", 1);
    EXPECT_FALSE(Install());
    EXPECT_TRUE(m_Log.Has("LP_INFO", "DLL Mode detected."));
    m_Data.SetProperty(u"_IsDLLMode", u"", 1);
    m_Data.m_SetupSvc.setupsvcname.clear();
    EXPECT_FALSE(Install());
    EXPECT_FALSE(Uninstall());
    EXPECT_EQ(m_Log.Count("LP_INFO", "No valid SetupSVC info found."), 2u);
    // A folder that is no place of the machine is refused before anything is copied or deleted.
    m_Data.m_SetupSvc = JxSetupSVCData{u"C:\\Program Files\\..\\Windows", u"SetupSVC.exe", u"JxSetupSvc"};
    EXPECT_FALSE(Install());
    EXPECT_EQ(Runs(), 0);
}

// In DLL mode the removal leaves the service registered and deletes only the file; a locked file
// goes at the next reboot, and its folder is handed to the empty-folder clean-up either way.
TEST_F(SetupService, DllModeRemovalDeletesOnlyTheFile) {
    MountSetupPackage(ServiceProgram("1"));
    ASSERT_TRUE(Install());
    m_Data.SetProperty(u"_IsDLLMode", u"true", 1);
    EXPECT_TRUE(Uninstall());
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\JxSetupSvc", 0));
    EXPECT_FALSE(std::filesystem::exists(jxplat::WindowsToHostPath(kProgram)));
}

} // namespace jxfilecopytest
