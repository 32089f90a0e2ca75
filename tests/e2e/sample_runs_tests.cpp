// Runs of the sample product beyond the plain install: an update over an installed build, a
// prerequisite that asks for a reboot and the run that resumes after it, and a failing action.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/fileapi.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

using jxe2e::kInstallDir;
using jxe2e::kProductKey;
using jxe2e::kUninstallKey;
const std::string kCore = "{5A3E9C21-0001-4000-8000-000000000001}";
const std::string kTools = "{5A3E9C21-0004-4000-8000-000000000004}";

std::string HostPath(const std::u16string& windowsPath) {
    return jxplat::WindowsToHostPath(windowsPath);
}

std::u16string ProductValue(const WCHAR* name) {
    return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kProductKey.c_str(), name, u"", 0);
}

// Every ".jxtmp" file below drive_c, as host paths.
std::vector<std::string> TemporaryCopies(const std::string& root) {
    std::vector<std::string> found;
    const fs::path drive = fs::path(root) / "drive_c";
    if (!fs::exists(drive))
        return found;
    for (const auto& entry : fs::recursive_directory_iterator(drive))
        if (entry.is_regular_file() &&
            jxtext::EqualsNoCase(jxtext::W(entry.path().extension().string()), u".jxtmp"))
            found.push_back(entry.path().string());
    return found;
}

// A machine root on which the variants packed below are trusted like the released sample.
class SampleRuns : public ::testing::Test {
protected:
    SampleRuns() : m_Root(jxe2e::TrustingMachine()) {}

    // Packs the variant into its own folder of the machine root and lets the machine trust it.
    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }

    jxtest::ProgramResult Run(const std::string& setup, std::vector<std::string> args = {}) {
        args.insert(args.begin(), "/_QuietInstallation=true");
        auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result;
    }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

// The sample as a newer build (1.0.0.2 by default) with a changed "always" file.
jxe2e::ProductVariant NewerBuild(const std::string& version = "1.0.0.2") {
    jxe2e::ProductVariant variant;
    EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "1.0.0.1", version), 2);
    EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "PKG-SAMPLE-1", "PKG-SAMPLE-" + version), 1);
    variant.payload[kTools + "/export.txt"] = "export of build " + version + "\n";
    return variant;
}

TEST_F(SampleRuns, ANewerBuildUpdatesTheInstalledProduct) {
    ASSERT_EQ(Run(Pack(jxe2e::ProductVariant(), "first")).exitCode, 0);
    const std::string exported = HostPath(kInstallDir + u"\\tools\\export.txt");
    const std::string before = jxtest::ReadHostFile(exported);
    ASSERT_FALSE(before.empty());
    // A value the user changed in the kept settings file.
    const std::string settings = HostPath(kInstallDir + u"\\data\\settings.xml");
    jxe2e::WriteText(settings, "<settings user=\"changed\"/>\n");

    const auto update = Run(Pack(NewerBuild(), "newer"));
    EXPECT_EQ(update.exitCode, 0);
    EXPECT_EQ(jxtest::ReadHostFile(exported), "export of build 1.0.0.2\n");
    EXPECT_EQ(jxtest::ReadHostFile(settings), "<settings user=\"changed\"/>\n");
    EXPECT_EQ(
        CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"DisplayVersion", u"", 0),
        u"1.0.0.2");
    EXPECT_EQ(ProductValue(u"Version"), u"1.0.0.2");
    // Both features stay installed, and so does the file of the language in use.
    EXPECT_TRUE(fs::exists(HostPath(kInstallDir + u"\\notes.txt")));
    EXPECT_TRUE(fs::exists(HostPath(kInstallDir + u"\\lang\\strings.txt")));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Quillmere Notes\\Tools",
                                  u"Enabled", KEY_WOW64_64KEY));
    EXPECT_TRUE(TemporaryCopies(m_Root.Path()).empty());
}

// A build with a higher minor version is an upgrade: the files follow their copy rules, the user's
// settings and the installed features stay, the product takes the new version.
TEST_F(SampleRuns, AHigherMinorVersionUpgradesTheInstalledProduct) {
    ASSERT_EQ(Run(Pack(jxe2e::ProductVariant(), "first")).exitCode, 0);
    const std::string settings = HostPath(kInstallDir + u"\\data\\settings.xml");
    jxe2e::WriteText(settings, "<settings user=\"changed\"/>\n");

    const auto upgrade = Run(Pack(NewerBuild("1.1.0.1"), "upgrade"));
    EXPECT_EQ(upgrade.exitCode, 0);
    EXPECT_EQ(ProductValue(u"Version"), u"1.1.0.1");
    EXPECT_EQ(jxtest::ReadHostFile(HostPath(kInstallDir + u"\\tools\\export.txt")),
              "export of build 1.1.0.1\n");
    EXPECT_EQ(jxtest::ReadHostFile(settings), "<settings user=\"changed\"/>\n");
    EXPECT_TRUE(fs::exists(HostPath(kInstallDir + u"\\lang\\strings.txt")));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Quillmere Notes\\Tools",
                                  u"Enabled", KEY_WOW64_64KEY));
    EXPECT_TRUE(TemporaryCopies(m_Root.Path()).empty());
}

TEST_F(SampleRuns, AnIncompatibleProductEndsTheQuietRun) {
    ASSERT_EQ(Run(Pack(jxe2e::ProductVariant(), "first")).exitCode, 0);
    jxe2e::ProductVariant incompatible = NewerBuild();
    ASSERT_EQ(
        jxe2e::ReplaceAll(incompatible.requirements, "version=\"1\"/>", "version=\"1\" noupgrade=\"true\"/>"),
        1);
    const auto run =
        Run(Pack(incompatible, "incompatible"), {"/_AbortSilentSetupOnIncompatibleProduct=true"});
    EXPECT_EQ(run.exitCode, 1);
    // The installed build is left as it was.
    EXPECT_EQ(ProductValue(u"Version"), u"1.0.0.1");
    EXPECT_NE(jxtest::ReadHostFile(HostPath(kInstallDir + u"\\tools\\export.txt")),
              "export of build 1.0.0.2\n");
}

TEST_F(SampleRuns, APrerequisiteThatAsksForARebootEndsWithFourAndTheResumedRunCompletes) {
    const std::string setup = Pack(jxe2e::WithRebootingPrerequisite(), "prerequisite");
    const std::string runs = (fs::path(m_Root.Path()) / "prereq.runs").string();

    EXPECT_EQ(Run(setup).exitCode, 4);
    EXPECT_EQ(jxtest::ReadHostFile(runs).find('\n'), jxtest::ReadHostFile(runs).size() - 1);

    EXPECT_EQ(Run(setup, {"/_SeqLastState=InstallPrerequisite"}).exitCode, 0);
    const std::string notes = jxtest::ReadHostFile(runs);
    EXPECT_EQ(std::count(notes.begin(), notes.end(), '\n'), 2) << notes;
    EXPECT_NE(notes.find("/quiet"), std::string::npos) << notes;
    EXPECT_TRUE(fs::exists(HostPath(kInstallDir + u"\\notes.txt")));
    // The Tools files are copied into the folder the installer was unpacked into; the installer goes.
    EXPECT_TRUE(fs::exists(HostPath(kInstallDir + u"\\tools\\export.txt")));
    EXPECT_FALSE(fs::exists(HostPath(kInstallDir + u"\\tools\\prereq.exe")));
    EXPECT_EQ(ProductValue(u"Version"), u"1.0.0.1");
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0));
}

TEST_F(SampleRuns, AFailingActionEndsWithOneAndLeavesNoTemporaryCopies) {
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    // A file stands where the tools folder goes, so that component cannot be copied.
    const std::string blocker = HostPath(kInstallDir + u"\\tools");
    jxe2e::WriteText(blocker, "not a folder\n");
    EXPECT_EQ(Run(setup).exitCode, 1);
    EXPECT_EQ(TemporaryCopies(m_Root.Path()), std::vector<std::string>());
    EXPECT_EQ(jxtest::ReadHostFile(blocker), "not a folder\n");
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0));
}

// The maintenance copy in the product's folder, made runnable as the uninstall entry runs it.
std::string MaintenanceCopy() {
    const std::string copy =
        HostPath(u"C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}\\setup.exe");
    fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);
    return copy;
}

// Nothing of the product is left: its folder, its keys, its uninstall entry.
void ExpectRemoved() {
    EXPECT_FALSE(fs::exists(HostPath(kInstallDir))) << "the installation folder is left";
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kProductKey.c_str(), 0));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
}

// An upgrade ended late leaves a setup of the newer build while the uninstall entry still names the
// installed one: the rules see an upgrade. An uninstall request stays an uninstall and removes the
// product.
TEST_F(SampleRuns, AnUninstallRequestOfANewerBuildRemovesTheProduct) {
    ASSERT_EQ(Run(Pack(jxe2e::ProductVariant(), "first")).exitCode, 0);
    const auto uninstall = Run(Pack(NewerBuild("1.1.0.1"), "upgrade"), {"/InstallMode=Uninstall"});
    EXPECT_EQ(uninstall.exitCode, 0);
    ExpectRemoved();
    EXPECT_NE(ProductValue(u"Version"), u"1.1.0.1") << "the upgrade was carried out";
}

// A file that cannot be replaced now (read-only) waits for the restart: the run says so with 3, and
// the restart puts the file in place.
TEST_F(SampleRuns, AFileLeftToTheRestartEndsWithThree) {
    ASSERT_EQ(Run(Pack(jxe2e::ProductVariant(), "first")).exitCode, 0);
    const std::u16string exported = kInstallDir + u"\\tools\\export.txt";
    ASSERT_TRUE(SetFileAttributesW(exported.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(Run(Pack(NewerBuild(), "newer")).exitCode, 3);
    EXPECT_NE(jxtest::ReadHostFile(HostPath(exported)), "export of build 1.0.0.2\n");
    ASSERT_TRUE(jxplat::CarryOutPendingFileOperations());
    EXPECT_EQ(jxtest::ReadHostFile(HostPath(exported)), "export of build 1.0.0.2\n");
}

// A run killed in its file copy leaves temporary copies beside the targets; the next run and the
// uninstallation remove them.
TEST_F(SampleRuns, TemporaryCopiesOfARunEndedInTheCopyAreRemoved) {
    const auto leave = [] {
        jxe2e::WriteText(HostPath(kInstallDir + u"\\notes.txt.jxtmp"), std::string(1 << 20, 'n'));
        jxe2e::WriteText(HostPath(kInstallDir + u"\\tools\\export.txt.jxtmp"), "cut");
    };
    leave();
    EXPECT_EQ(Run(Pack(jxe2e::ProductVariant(), "first")).exitCode, 0);
    EXPECT_EQ(TemporaryCopies(m_Root.Path()), std::vector<std::string>());

    leave();
    EXPECT_EQ(Run(MaintenanceCopy(), {"/InstallMode=Uninstall"}).exitCode, 0);
    EXPECT_EQ(TemporaryCopies(m_Root.Path()), std::vector<std::string>());
    ExpectRemoved();
}

// A user's value that an update deletes and keeps: saved before the update, written back after it.
void AddKeptValue(jxe2e::ProductVariant& variant) {
    jxe2e::AddRows(
        variant, "</SetupRegistry>",
        "  <SetupRegValue featurename=\"Core\" componentid=\"" + kCore +
            "\" root=\"HKLM\" key=\"Software\\Tolvane\\Quillmere Notes\" valuename=\"Theme\" type=\"REG_SZ\" "
            "value=\"light\" mode=\"i\" plattform=\"x86\" restore=\"true\" deleteonupdate=\"true\"/>");
}

// An application of the install list whose time limit is not a number of seconds.
void AddAppWithBadTimeout(jxe2e::ProductVariant& variant) {
    jxe2e::AddRows(variant, "</ExecutingSequence>", "  <ExecuteAction name=\"ExecuteInstallApps\"/>");
    jxe2e::AddRows(variant, "</Setup>",
                   "<SetupInstallExecuteApplications>\n"
                   "    <SetupInstallExecuteApplication featurename=\"Core\" componentid=\"" +
                       kCore +
                       "\" path=\"[INSTALLDIR]quillsync.exe\" wait=\"true\" timeout=\"30s\"/>\n"
                       "  </SetupInstallExecuteApplications>");
}

TEST_F(SampleRuns, AnApplicationRowWithABadTimeoutFailsTheRunWithOneAndAClosedLog) {
    jxe2e::ProductVariant variant;
    AddAppWithBadTimeout(variant);
    const auto run = Run(Pack(variant, "badtimeout"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(TemporaryCopies(m_Root.Path()), std::vector<std::string>());
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0));
    // The log was closed (zipped) and names the row and the failed action.
    const std::vector<std::string> logs = jxe2e::RunLogs(m_Root, true);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(logs[0].find("Invalid timeout \"30s\" of application [INSTALLDIR]quillsync.exe."),
              std::string::npos);
    EXPECT_NE(
        logs[0].find("Action: ExecuteAppSequenceInst - Feature:  - Message: Invalid timeout of application"),
        std::string::npos);
}

// An update that fails after it deleted the values it keeps writes them back before it ends.
TEST_F(SampleRuns, AFailedUpdateWritesTheSavedValuesBack) {
    jxe2e::ProductVariant first;
    AddKeptValue(first);
    ASSERT_EQ(Run(Pack(first, "first")).exitCode, 0);
    ASSERT_EQ(ProductValue(u"Theme"), u"light");
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kProductKey.c_str(), u"Theme", u"dark", CRegStringType::Sz,
                              0);

    jxe2e::ProductVariant update = NewerBuild();
    AddKeptValue(update);
    AddAppWithBadTimeout(update);
    EXPECT_EQ(Run(Pack(update, "update")).exitCode, 1);
    EXPECT_EQ(ProductValue(u"Theme"), u"dark");
    const std::string log = jxe2e::AllLogs(m_Root);
    EXPECT_NE(log.find("The run ended before the saved registry values were restored."), std::string::npos);
    EXPECT_TRUE(TemporaryCopies(m_Root.Path()).empty());
}

} // namespace
