// Paged runs of the sample: the scripted GUI module answers the pages, and its journal shows what
// the engine asked of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace fs = std::filesystem;

namespace {

const std::u16string kInstallDir = u"C:\\Program Files (x86)\\Tolvane\\Quillmere Notes";
const std::u16string kUninstallKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}";

bool Exists(const std::u16string& windowsPath) {
    return fs::exists(jxplat::WindowsToHostPath(windowsPath));
}

class PagedRuns : public ::testing::Test {
protected:
    PagedRuns() : m_Root(jxe2e::TrustingMachine()) {}

    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }
    // A paged run (no quiet option) answered by the script.
    jxtest::ProgramResult Run(const std::string& setup, const std::string& script,
                              const std::vector<std::string>& args = {}) {
        jxe2e::WriteText(fs::path(m_Root.Path()) / "gui-script.txt", script);
        m_Machine.guiScript = "gui-script.txt";
        m_Root.Describe(m_Machine);
        fs::remove(Journal());
        auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result;
    }
    fs::path Journal() const { return fs::path(m_Root.Path()) / "gui-journal.txt"; }
    std::vector<std::string> JournalLines() const {
        std::vector<std::string> lines;
        std::istringstream in(jxe2e::ReadText(Journal()));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // The lines that start with one of the prefixes, in order.
    std::vector<std::string> Steps(const std::vector<std::string>& prefixes) const {
        std::vector<std::string> steps;
        for (const std::string& line : JournalLines())
            for (const std::string& prefix : prefixes)
                if (line.rfind(prefix, 0) == 0) {
                    steps.push_back(line);
                    break;
                }
        return steps;
    }
    std::string MessageBoxes() const {
        return jxe2e::ReadText(fs::path(m_Root.Path()) / "messageboxes.jsonl");
    }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

// The files and folders below drive C:, without the run's own logs and temporary files.
std::vector<std::string> DriveC(const std::string& root) {
    std::vector<std::string> entries;
    const fs::path drive = fs::path(root) / "drive_c";
    if (!fs::exists(drive))
        return entries;
    for (const auto& entry : fs::recursive_directory_iterator(drive)) {
        const std::string path = fs::relative(entry.path(), drive).string();
        if (path.find("Setups/Logs") != std::string::npos || path.find("/Temp") != std::string::npos ||
            path.find("AppData") != std::string::npos)
            continue;
        entries.push_back(path);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

const std::string kAcceptLicence = "page Licence next set LICENSEACCEPTED=1\n";

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
    EXPECT_FALSE(Steps({"SetProgress "}).empty());
    for (const char16_t* file : {u"\\notes.txt", u"\\quillsync.exe", u"\\data\\settings.xml",
                                 u"\\lang\\strings.txt", u"\\tools\\export.txt"})
        EXPECT_TRUE(Exists(kInstallDir + file)) << jxtext::N(file);
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
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
