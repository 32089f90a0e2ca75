// Paged installs of the sample: the pages in the definition's order, cancel, a module that cannot
// serve, and the module's self-test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jxbase/reg.h"
#include "jxtest/run_program.h"
#include "paged_support.h"

namespace fs = std::filesystem;

namespace {

using jxe2e::DriveC;
using jxe2e::Exists;
using jxe2e::kAcceptLicence;
using jxe2e::kInstallDir;
using jxe2e::kUninstallKey;
using jxe2e::PagedRuns;

TEST_F(PagedRuns, InstallWalksThePagesAndInstallsAsQuietly) {
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    const auto run = Run(setup, kAcceptLicence);
    EXPECT_EQ(run.exitCode, 0) << jxe2e::ReadText(Journal());
    EXPECT_EQ(
        Steps({"page ", "set ", "ShowInstallProgressPage", "PreparePostInstall", "Finish", "Release"}),
        (std::vector<std::string>{"page Welcome", "page Licence", "set LICENSEACCEPTED=1", "page Features",
                                  "page Folder", "page Progress", "ShowInstallProgressPage",
                                  "PreparePostInstall", "page Finish", "Finish 0", "Release"}));
    // The progress page hears of the counted steps and of the actions' texts.
    const std::vector<std::string> ranges = Steps({"SetProgressRange "});
    ASSERT_FALSE(ranges.empty());
    EXPECT_NE(ranges.back(), "SetProgressRange 0");
    const std::vector<std::string> progress = Steps({"SetProgress "});
    for (const char* text : {"SetProgress -1 Preparing Quillmere Notes", "Copying files",
                             "Writing registry values", "Setting up Quillmere Notes"})
        EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [&](const std::string& step) {
            return step.find(text) != std::string::npos;
        })) << text;
    for (const char16_t* file : {u"\\notes.txt", u"\\quillsync.exe", u"\\data\\settings.xml",
                                 u"\\lang\\strings.txt", u"\\tools\\export.txt"})
        EXPECT_TRUE(Exists(kInstallDir + file)) << jxtext::N(file);
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
}

// The files, the registry of both views and the services, as a quiet and a paged install leave them.
std::string MachineState(const std::string& root) {
    std::string state;
    for (const std::string& entry : DriveC(root))
        state += entry + "\n";
    const std::string tool = jxtest::BuildDir() + "/tools/jxmachine --root '" + root + "' ";
    return state + jxtest::CommandOutput(tool + "reg HKLM --view 32") +
           jxtest::CommandOutput(tool + "reg HKLM --view 64") + jxtest::CommandOutput(tool + "services");
}

TEST_F(PagedRuns, APagedInstallLeavesTheMachineAsAQuietInstallDoes) {
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    ASSERT_EQ(Run(setup, "", {"/_QuietInstallation=true"}).exitCode, 0);
    std::string quiet = MachineState(m_Root.Path());
    ASSERT_EQ(Run(setup, "", {"/InstallMode=Uninstall", "/_QuietInstallation=true"}).exitCode, 0);
    ASSERT_EQ(Run(setup, kAcceptLicence).exitCode, 0) << jxe2e::ReadText(Journal());
    std::string paged = MachineState(m_Root.Path());
    // The paged run stores what its licence page set among the product's properties.
    EXPECT_EQ(jxe2e::ReplaceAll(paged, "\"LICENSEACCEPTED\"=\"1\"\n", ""), 1);
    EXPECT_EQ(paged, quiet);
}

TEST_F(PagedRuns, CancelOnAConfigurationPageChangesNothing) {
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    const auto run = Run(setup, "page Licence cancel\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Steps({"page ", "cancel", "end", "Finish", "Close", "Release"}),
              (std::vector<std::string>{"page Welcome", "page Licence", "cancel Licence", "end 6",
                                        "Close 2 2", "Finish 2", "Close 2 2", "Release"}));
    EXPECT_FALSE(Exists(kInstallDir));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
}

TEST_F(PagedRuns, CancelOnTheProgressPageRollsTheCopiedFilesBack) {
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    // The machine as a run leaves it that changes nothing (cancelled on its first page).
    ASSERT_EQ(Run(setup, "page Welcome cancel\n").exitCode, 1);
    const std::vector<std::string> before = DriveC(m_Root.Path());
    const auto run = Run(setup, kAcceptLicence + "cancel progress 1\n");
    const std::vector<std::string> steps = Steps({"ShowInstallProgressPage", "IsCancelRequested 1"});
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[0], "ShowInstallProgressPage") << "the cancel comes from the progress page";
    EXPECT_EQ(run.exitCode, 1);
    // The cancel came in the middle of the copy: a file was copied, then rolled back.
    const std::string logs = jxe2e::AllLogs(m_Root); // the first run copied nothing
    const size_t copied = logs.find("notes.txt.jxtmp]]");
    const size_t rolledBack = logs.find("Rolling back the copied files.");
    EXPECT_NE(copied, std::string::npos);
    EXPECT_NE(rolledBack, std::string::npos);
    EXPECT_LT(copied, rolledBack);
    EXPECT_EQ(DriveC(m_Root.Path()), before);
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Quillmere Notes", 0));
}

TEST_F(PagedRuns, AModuleThatCannotServeEndsWithTheInterfaceErrorBox) {
    const struct {
        const char* name;
        std::string module;
        std::string script;
    } cases[] = {
        {"missing", "-", ""},
        {"without the export", jxtest::BuildDir() + "/tests/programs/hello.dll", ""},
        {"refusing to initialize", "", "initialize fail\n"},
    };
    for (const auto& c : cases) {
        jxe2e::ProductVariant variant;
        variant.guiModule = c.module;
        const std::string setup = Pack(variant, c.name);
        fs::remove(fs::path(m_Root.Path()) / "messageboxes.jsonl");
        const auto run = Run(setup, c.script);
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_NE(MessageBoxes().find("Error while initializing the setup user interface"), std::string::npos)
            << c.name << ": " << MessageBoxes();
        EXPECT_FALSE(Exists(kInstallDir)) << c.name;
    }
    // The module that refused was released and unloaded.
    EXPECT_EQ(Steps({"Initialize", "page ", "Release"}), (std::vector<std::string>{"Initialize", "Release"}));
}

TEST_F(PagedRuns, SelftestRunsTheModulesSelfTestAndEnds) {
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    const auto run = Run(setup, "", {"/Selftest"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Steps({"InitializeUi", "RunSelftest", "page "}),
              (std::vector<std::string>{"InitializeUi", "RunSelftest 1"}));
    EXPECT_FALSE(Exists(kInstallDir));
}

} // namespace
