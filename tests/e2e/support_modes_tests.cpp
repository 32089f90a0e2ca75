// Support modes of the sample's setup from the command line: each runs instead of an installation
// and ends with 0 when its work was done, 1 when it failed.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

using jxe2e::SampleMachine;
using jxe2e::SampleSetup;

namespace fs = std::filesystem;
using jxe2e::kUninstallKey;

bool Exists(const std::u16string& windowsPath) {
    return fs::exists(jxplat::WindowsToHostPath(windowsPath));
}

bool Installed() {
    return CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0);
}

struct ModeCase {
    const char* name;
    std::vector<std::string> args;
    long long exitCode;
    std::vector<std::u16string> written; // files the mode leaves behind
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class SupportMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(SupportMode, RunsInsteadOfAnInstallationWithItsExitCode) {
    const ModeCase& c = GetParam();
    jxtest::TempMachineRoot root(SampleMachine());
    std::vector<std::string> args = {"/_QuietInstallation=true"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = jxtest::RunProgram(SampleSetup(), args);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, c.exitCode) << jxe2e::AllLogs(root);
    EXPECT_FALSE(Installed());
    EXPECT_FALSE(Exists(jxe2e::kInstallDir + u"\\notes.txt"));
    for (const std::u16string& file : c.written)
        EXPECT_TRUE(Exists(file)) << jxtext::N(file);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, SupportMode,
    ::testing::Values(
        ModeCase{"ExtractTo",
                 {"/ExtractTo=C:\\out"},
                 0,
                 {u"C:\\out\\$CONFIG\\setup.jxsetup", u"C:\\out\\$UNINSTALL\\requirements.xml"}},
        // A folder that is not fully resolved is no place to extract a package to.
        ModeCase{"ExtractToARelativeFolder", {"/ExtractTo=..\\out"}, 1, {}},
        ModeCase{"DumpRegValues",
                 {"/_DumpRegValues=true", "/_DumpRegFile=C:\\dump\\values.xml"},
                 0,
                 {u"C:\\dump\\values.xml"}},
        ModeCase{"DumpRegValuesWithoutAFile", {"/_DumpRegValues=true"}, 1, {}},
        // The sample's service is not registered on a fresh machine: its start type cannot be set.
        ModeCase{"FixServicesOfAProductNotInstalled", {"/_FixServices=TRUE"}, 1, {}},
        ModeCase{"ShutdownServicesOfAProductNotInstalled", {"/_ShutdownServices=true"}, 1, {}},
        // The child run of a shortcut whose index names no row of the sample (or is not given).
        ModeCase{"RunCreateShortcutWithAnIndexThatNamesNoRow",
                 {"/_RunCreateShortcut=true", "/_FileIndex=999", "/_Language=1033"},
                 1,
                 {}},
        ModeCase{"RunCreateShortcutWithoutAnIndex", {"/_RunCreateShortcut=true"}, 1, {}},
        ModeCase{"SeveralModesInOneRun",
                 {"/ExtractTo=C:\\out", "/_DumpRegValues=true", "/_DumpRegFile=C:\\values.xml"},
                 0,
                 {u"C:\\out\\$CONFIG\\setup.jxsetup", u"C:\\values.xml"}},
        // One failed mode fails the run; the others still do their work.
        ModeCase{"OneOfSeveralFails",
                 {"/ExtractTo=C:\\out", "/_DumpRegValues=true"},
                 1,
                 {u"C:\\out\\$CONFIG\\setup.jxsetup"}}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

// A mode's flag that is not "true", or an empty folder to extract to, asks for no support mode: the
// run installs the product.
TEST(SupportModeRun, AFlagOtherThanTrueInstallsTheProduct) {
    jxtest::TempMachineRoot root(SampleMachine());
    const auto run =
        jxtest::RunProgram(SampleSetup(), {"/_QuietInstallation=true", "/_FixServices=1", "/ExtractTo="});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0) << jxe2e::AllLogs(root);
    EXPECT_TRUE(Installed());
}

// On an installed product the service repair sets the configured start type again.
TEST(SupportModeRun, FixServicesRepairsTheInstalledService) {
    jxtest::TempMachineRoot root(SampleMachine());
    ASSERT_EQ(jxtest::RunProgram(SampleSetup(), {"/_QuietInstallation=true"}).exitCode, 0);
    const std::u16string serviceKey = u"SYSTEM\\CurrentControlSet\\Services\\QuillmereSync";
    ASSERT_EQ(CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, serviceKey.c_str(), u"Start", SERVICE_DISABLED, 0),
              ERROR_SUCCESS);
    const auto run = jxtest::RunProgram(SampleSetup(), {"/_QuietInstallation=true", "/_FixServices=true"});
    EXPECT_EQ(run.exitCode, 0) << jxe2e::AllLogs(root);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, serviceKey.c_str(), u"Start", 0, 0),
              static_cast<DWORD>(SERVICE_DEMAND_START));
}

} // namespace
