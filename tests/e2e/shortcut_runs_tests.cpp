// Shortcuts of the sample product: made during the install by child runs of the stored setup, read
// back with lnkinfo, and removed by the uninstallation; a row with a hostile target makes none.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

const std::u16string kDesktopLink = u"C:\\Users\\Public\\Desktop\\Quillmere Notes.lnk";
const std::u16string kProgramsLink =
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tolvane Quillmere\\Sync.lnk";
const std::u16string kHostileLink = u"C:\\Users\\Public\\Desktop\\Export.lnk";
const std::u16string kPrograms = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";

bool Exists(const std::u16string& windowsPath) {
    return fs::exists(jxplat::WindowsToHostPath(windowsPath));
}

std::string LinkInfo(const std::u16string& link) {
    return jxtest::CommandOutput("lnkinfo '" + jxplat::WindowsToHostPath(link) + "' 2>&1");
}

// The sample with a desktop link to its notes, a link to its sync program in a program group, and
// a link of the tools whose target lies outside the product.
jxe2e::ProductVariant WithShortcuts() {
    jxe2e::ProductVariant variant;
    const auto addTo = [&](const std::string& row, const std::string& attributes) {
        EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, row, row + " " + attributes), 1) << row;
    };
    addTo("<SetupFile name=\"notes.txt\" featurename=\"Core\"",
          "scname=\"[PRODUCTNAME]\" scdescription=\"Notes of [PRODUCTNAME]\"");
    addTo("<SetupFile name=\"quillsync.exe\" featurename=\"Core\"",
          "scname=\"Tolvane Quillmere\\Sync\" sctarget=\"programs\" sciconindex=\"1\" "
          "appid=\"Tolvane.Quillmere.Sync\"");
    addTo("<SetupFile name=\"export.txt\" featurename=\"Tools\"",
          "scname=\"Export\" scfile=\"[SystemFolder]cmd.exe\"");
    return variant;
}

TEST(ShortcutRuns, ChildRunsMakeTheLinksAndTheUninstallRemovesThem) {
    if (jxtest::CommandOutput("command -v lnkinfo").empty())
        GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    jxplat::MachineDescription machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot root(machine);
    const std::string setup =
        jxe2e::PackTrusted(WithShortcuts(), fs::path(root.Path()) / "pack", machine, root);
    ASSERT_FALSE(setup.empty());

    const auto install = jxtest::RunProgram(setup, {"/_QuietInstallation=true"});
    ASSERT_TRUE(install.started);
    ASSERT_EQ(install.exitCode, 0) << jxe2e::AllLogs(root);
    const std::string log = jxe2e::AllLogs(root);
    // Each shortcut is made by a child of the stored setup, which writes no log of its own.
    EXPECT_NE(log.find("Running external app to create shortcut."), std::string::npos) << log;
    EXPECT_NE(log.find("/_FileIndex="), std::string::npos) << log;
    EXPECT_NE(log.find("Shortcut Export is refused: its target"), std::string::npos) << log;
    EXPECT_EQ(jxe2e::RunLogs(root).size(), 1u);

    std::string info = LinkInfo(kDesktopLink);
    EXPECT_NE(info.find(jxtext::N(jxe2e::kInstallDir) + "\\notes.txt"), std::string::npos) << info;
    EXPECT_NE(info.find("Notes of Quillmere Notes"), std::string::npos) << info;
    info = LinkInfo(kProgramsLink);
    EXPECT_NE(info.find(jxtext::N(jxe2e::kInstallDir) + "\\quillsync.exe"), std::string::npos) << info;
    EXPECT_FALSE(Exists(kHostileLink));

    const std::string copy = jxplat::WindowsToHostPath(
        u"C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}\\setup.exe");
    fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);

    // The support mode on its own, as a parent starts it: the link of the row at the index comes
    // back and the run ends with 0, installing nothing.
    const std::string definition = WithShortcuts().definition;
    const size_t notesRow = definition.find("<SetupFile name=\"notes.txt\"");
    ASSERT_NE(notesRow, std::string::npos);
    size_t index = 0;
    for (size_t at = definition.find("<SetupFile "); at < notesRow;
         at = definition.find("<SetupFile ", at + 1))
        ++index;
    fs::remove(jxplat::WindowsToHostPath(kDesktopLink));
    const auto child =
        jxtest::RunProgram(copy, {"/_RunCreateShortcut=true", "/_FileIndex=" + std::to_string(index),
                                  "/_Language=1033", "/_noInitDlg=true"});
    ASSERT_TRUE(child.started);
    EXPECT_EQ(child.exitCode, 0) << jxe2e::AllLogs(root);
    EXPECT_TRUE(Exists(kDesktopLink));
    // Another maker's program group, with its own entry and an empty one, is none of the product's.
    jxe2e::WriteText(jxplat::WindowsToHostPath(kPrograms + u"\\Other Vendor\\Tool.lnk"), "not ours");
    fs::create_directories(jxplat::WindowsToHostPath(kPrograms + u"\\Other Empty"));
    const auto uninstall = jxtest::RunProgram(copy, {"/_QuietInstallation=true", "/InstallMode=Uninstall"});
    ASSERT_TRUE(uninstall.started);
    EXPECT_EQ(uninstall.exitCode, 0) << jxe2e::AllLogs(root);
    EXPECT_FALSE(Exists(kDesktopLink));
    EXPECT_FALSE(Exists(kProgramsLink));
    // The program group the product's link left empty goes with it; the other folders stay.
    EXPECT_FALSE(Exists(kPrograms + u"\\Tolvane Quillmere")) << jxe2e::AllLogs(root);
    EXPECT_TRUE(Exists(kPrograms + u"\\Other Vendor\\Tool.lnk"));
    EXPECT_TRUE(Exists(kPrograms + u"\\Other Empty"));
    EXPECT_TRUE(Exists(kPrograms));
}

} // namespace
