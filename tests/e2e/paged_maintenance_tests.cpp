// Paged maintenance of the installed sample through the scripted GUI module: modify, repair and
// uninstall chosen on the maintenance page, each run from the maintenance copy.
#include <gtest/gtest.h>

#include <filesystem>

#include "jxbase/reg.h"
#include "paged_support.h"

namespace {

namespace fs = std::filesystem;

using jxe2e::DriveC;
using jxe2e::Exists;
using jxe2e::kAcceptLicence;
using jxe2e::kInstallDir;
using jxe2e::kProductKey;
using jxe2e::kUninstallKey;

const std::u16string kToolsKey = u"Software\\Tolvane\\Quillmere Notes\\Tools";

class PagedMaintenance : public jxe2e::PagedRuns {
protected:
    // Installs the sample through the pages and makes its maintenance copy runnable, as the
    // uninstall entry runs it.
    std::string Install() {
        EXPECT_EQ(Run(Pack(jxe2e::ProductVariant(), "sample"), kAcceptLicence).exitCode, 0);
        const std::string copy = jxplat::WindowsToHostPath(
            u"C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}\\setup.exe");
        fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);
        return copy;
    }
    std::vector<std::string> Pages() const { return Steps({"page ", "Finish"}); }
};

TEST_F(PagedMaintenance, ModifyRemovesADeselectedFeatureAndAddsItBack) {
    const std::string copy = Install();
    const auto remove = Run(copy, "page Maintenance next set MAINTENANCECHOICE=modify\n"
                                  "page Features next set FeatureActionRemove=$Tools$\n");
    EXPECT_EQ(remove.exitCode, 0) << jxe2e::ReadText(Journal());
    EXPECT_EQ(Pages(), (std::vector<std::string>{"page Maintenance", "page Features", "page Progress",
                                                 "page Finish", "Finish 0"}));
    EXPECT_FALSE(Exists(kInstallDir + u"\\tools\\export.txt"));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kToolsKey.c_str(), u"Enabled", KEY_WOW64_64KEY));
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0));

    // The next run knows the feature as absent: selecting it installs it again.
    const auto add = Run(copy, "page Maintenance next set MAINTENANCECHOICE=modify\n"
                               "page Features next set FeatureActionInstall=$Tools$\n");
    EXPECT_EQ(add.exitCode, 0) << jxe2e::ReadText(Journal());
    EXPECT_TRUE(Exists(kInstallDir + u"\\tools\\export.txt"));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kToolsKey.c_str(), u"Enabled", KEY_WOW64_64KEY));
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
}

// A repair that changes no feature leaves every file, key and the uninstall entry as they were.
TEST_F(PagedMaintenance, RepairKeepsTheInstalledProduct) {
    const std::string copy = Install();
    const std::vector<std::string> before = DriveC(m_Root.Path());
    const auto run = Run(copy, "page Maintenance next set MAINTENANCECHOICE=repair\n");
    EXPECT_EQ(run.exitCode, 0) << jxe2e::ReadText(Journal());
    EXPECT_EQ(Pages(),
              (std::vector<std::string>{"page Maintenance", "page Progress", "page Finish", "Finish 0"}));
    EXPECT_EQ(DriveC(m_Root.Path()), before);
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kProductKey.c_str(), u"Version", u"", 0),
              u"1.0.0.1");
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kToolsKey.c_str(), u"Enabled", KEY_WOW64_64KEY));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0));
}

TEST_F(PagedMaintenance, RemoveOnTheMaintenancePageUninstallsTheProduct) {
    const std::string copy = Install();
    const auto run = Run(copy, "page Maintenance next set MAINTENANCECHOICE=remove\n");
    EXPECT_EQ(run.exitCode, 0) << jxe2e::ReadText(Journal());
    EXPECT_EQ(Pages(),
              (std::vector<std::string>{"page Maintenance", "page Progress", "page Finish", "Finish 0"}));
    // Cancelling is off while the product is removed.
    EXPECT_FALSE(Steps({"SetCancelDisabled 1"}).empty());
    EXPECT_FALSE(Exists(kInstallDir));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kProductKey.c_str(), 0));
    EXPECT_FALSE(
        Exists(u"C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}\\setup.exe"));
}

} // namespace
