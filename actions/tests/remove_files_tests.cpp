// Removal of installed files: the files and shortcuts of the components an uninstallation removes,
// the update's wildcard masks, the emptied component folders, and the guards that keep a bad
// folder or name from emptying a drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <windows.h>

#include "jxbase/reg.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/hostile_paths.h"
#include "jxtest/machine_root.h"

namespace {

using namespace JxSetup::Data;

const std::u16string kFeature = u"Main";
const std::u16string kComponent = u"core";
const std::u16string kDest = u"C:\\Program Files\\Prod";
const std::u16string kPrograms = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const std::u16string kDesktop = u"C:\\Users\\Public\\Desktop";

JxFile Row(const std::u16string& name, const std::u16string& copyMode = u"bycrc") {
    JxFile row;
    row.name = name;
    row.featurename = kFeature;
    row.componentid = kComponent;
    row.copymode = copyMode;
    return row;
}

std::vector<std::string> PendingDeletes() {
    std::vector<std::string> sources;
    for (const auto& operation : jxplat::ReadPendingFileOperations())
        sources.push_back(jxtext::N(operation.source));
    return sources;
}

class RemoveFiles : public ::testing::Test {
protected:
    void TearDown() override {
        for (HANDLE handle : m_Handles)
            CloseHandle(handle);
    }

    // One feature with one component at the destination; the run removes the feature (an
    // uninstallation) or installs it.
    void Define(const std::vector<JxFile>& rows, bool uninstall = true,
                const std::u16string& destination = kDest) {
        JxComponent component;
        component.id = kComponent;
        component.destinationdir = destination;
        component.installmode = u"custom";
        component.extractaswpk = m_ExtractAsWpk;
        JxFeature feature;
        feature.name = kFeature;
        feature.components.push_back(component);
        m_Data.m_Features = {feature};
        m_Data.m_Files = rows;
        m_Data.m_SetupFiles = rows;
        m_Data.m_ProductInfo.languages = u"en,de";
        const std::u16string token = u"$" + kFeature + u"$";
        if (uninstall) {
            m_Data.m_SequenceData.m_bInstallModeUninstall = true;
            m_Data.SetProperty(u"InstallMode", u"Uninstall", 1);
            m_Data.SetProperty(u"FeatureStateInstalled", token, 1);
            m_Data.SetProperty(u"FeatureActionRemove", token, 1);
        } else {
            m_Data.m_SequenceData.m_bInstallModeInstall = true;
            m_Data.SetProperty(u"InstallMode", u"Install", 1);
            m_Data.SetProperty(u"FeatureStateAbsent", token, 1);
            m_Data.SetProperty(u"FeatureActionInstall", token, 1);
        }
    }

    void Lock(const std::u16string& path) {
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        m_Handles.push_back(handle);
    }

    bool RestartRequested() { return m_Data.GetPropertyValue(u"_RestartRequired") == u"1"; }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
    JxSequenceAction m_DeleteFiles{u"DeleteFiles", u"[AT_DELETEFILES]", 0x19e};
    JxSequenceAction m_DeleteOnUpdate{u"DeleteFileOnUpdateFM", u"[AT_DELETEFILEONUPDATEUSINGFILEMASK]",
                                      0x19f};
    std::u16string m_ExtractAsWpk;
    std::vector<HANDLE> m_Handles;
};

TEST_F(RemoveFiles, UninstallRemovesTheComponentsFilesByCopyModeAndCondition) {
    for (const char16_t* file : {u"\\a.txt", u"\\b.dll", u"\\c.dll", u"\\sub\\a.txt", u"\\sub\\d.dll",
                                 u"\\never.txt", u"\\cond.txt", u"\\gone.txt"})
        jxtest::WriteMachineFile(kDest + file);
    jxtest::WriteMachineFile(u"C:\\Other\\old.log");
    jxtest::WriteMachineFile(u"C:\\Other\\keep.log");
    JxFile delFalse = Row(u"cond.txt", u"delete");
    delFalse.condition = u"1 = 2";
    JxFile delTarget = Row(u"*.log", u"delete");
    delTarget.targetdir = u"C:\\Other";
    delTarget.name = u"old.log";
    JxFile copyFalse = Row(u"gone.txt");
    copyFalse.condition = u"1 = 2"; // a copied file goes whatever its condition says now
    Define({Row(u"a.txt"), Row(u"*.dll", u"byversion"), Row(u"never.txt", u"never"), delFalse, delTarget,
            copyFalse});

    m_Data.DeleteFiles(m_DeleteFiles);

    for (const char16_t* gone : {u"\\a.txt", u"\\b.dll", u"\\c.dll", u"\\gone.txt"})
        EXPECT_FALSE(jxtest::MachinePathExists(kDest + gone)) << jxtext::N(gone);
    // Never in subfolders: a same-named file or a matching one below the folder stays.
    for (const char16_t* kept : {u"\\sub\\a.txt", u"\\sub\\d.dll", u"\\never.txt", u"\\cond.txt"})
        EXPECT_TRUE(jxtest::MachinePathExists(kDest + kept)) << jxtext::N(kept);
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\Other\\old.log"));
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\Other\\keep.log"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Deleting files old.log in C:\\Other"));
    EXPECT_FALSE(RestartRequested());
}

TEST_F(RemoveFiles, NothingIsRemovedWhenTheComponentIsNotRemoved) {
    jxtest::WriteMachineFile(kDest + u"\\a.txt");
    Define({Row(u"a.txt")}, false);
    m_Data.DeleteFiles(m_DeleteFiles);
    EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\a.txt"));

    m_ExtractAsWpk = u"TRUE";
    Define({Row(u"a.txt")});
    m_Data.DeleteFiles(m_DeleteFiles);
    EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\a.txt"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Skip action of component: core"));
}

TEST_F(RemoveFiles, ResourceFilesGoInEveryLanguage) {
    m_Data.m_Properties.AddText(u"LangDir", u"English", u"en");
    m_Data.m_Properties.AddText(u"LangDir", u"Deutsch", u"de");
    m_Data.SetProperty(u"LANGDIR", u"@LangDir", 1);
    jxtest::WriteMachineFile(kDest + u"\\English\\res.dll");
    jxtest::WriteMachineFile(kDest + u"\\Deutsch\\res.dll");
    JxFile row = Row(u"res.dll");
    row.resource = u"true";
    row.installallcontainedlanguages = u"true";
    Define({row}, true, kDest + u"\\[LANGDIR]");

    m_Data.DeleteFiles(m_DeleteFiles);

    EXPECT_FALSE(jxtest::MachinePathExists(kDest + u"\\English\\res.dll"));
    EXPECT_FALSE(jxtest::MachinePathExists(kDest + u"\\Deutsch\\res.dll"));
    EXPECT_EQ(m_Log.Count("LP_INFO", "Deleting files res.dll"), 2u);
}

TEST_F(RemoveFiles, ShortcutGoesFromTheProgramsMenuOnlyForExactlyPrograms) {
    struct {
        const char16_t* target;
        std::u16string removedFrom;
        std::u16string keptIn;
    } rows[] = {
        {u"programs", kPrograms, kDesktop},
        {u"Programs", kDesktop, kPrograms},
        {u"", kDesktop, kPrograms},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(jxtext::N(c.target));
        jxtest::WriteMachineFile(kPrograms + u"\\Prod App.lnk");
        jxtest::WriteMachineFile(kDesktop + u"\\Prod App.lnk");
        jxtest::WriteMachineFile(kDest + u"\\keep.txt");
        JxFile row = Row(u"keep.txt", u"never"); // the file stays, its shortcut goes
        row.scname = u"[PRODNAME] App";
        row.sctarget = c.target;
        m_Data.SetProperty(u"PRODNAME", u"Prod", 1);
        Define({row});
        m_Data.DeleteFiles(m_DeleteFiles);
        EXPECT_FALSE(jxtest::MachinePathExists(c.removedFrom + u"\\Prod App.lnk"));
        EXPECT_TRUE(jxtest::MachinePathExists(c.keptIn + u"\\Prod App.lnk"));
        EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\keep.txt"));
    }
}

// A program group of the product that the last of its shortcuts leaves empty goes with it (nested
// groups too); a group that keeps other entries, another maker's folder and a group that is a link
// stay.
TEST_F(RemoveFiles, AnEmptiedProgramGroupOfTheProductGoesWithItsLastShortcut) {
    const std::u16string linkedTarget = u"C:\\Elsewhere";
    jxtest::WriteMachineFile(linkedTarget + u"\\Linked.lnk");
    const std::string host = jxplat::WindowsToHostPath(kPrograms);
    std::filesystem::create_directories(host);
    std::filesystem::create_directory_symlink(jxplat::WindowsToHostPath(linkedTarget),
                                              host + "/Tolvane Linked");
    jxtest::WriteMachineFile(kDest + u"\\keep.txt");
    std::vector<JxFile> rows;
    for (const char16_t* name : {u"Tolvane Prod\\App", u"Tolvane Suite\\Tools\\Config", u"Tolvane Kept\\App",
                                 u"Other Vendor\\App", u"Tolvane Linked\\Linked", u"Desktop App"}) {
        jxtest::WriteMachineFile(kPrograms + u"\\" + name + u".lnk");
        JxFile row = Row(u"keep.txt", u"never");
        row.scname = name;
        row.sctarget = u"programs";
        rows.push_back(row);
    }
    jxtest::WriteMachineFile(kPrograms + u"\\Tolvane Kept\\Help.lnk");
    Define(rows);

    m_Data.DeleteFiles(m_DeleteFiles);

    for (const char16_t* gone : {u"\\Tolvane Prod", u"\\Tolvane Suite", u"\\Tolvane Kept\\App.lnk",
                                 u"\\Other Vendor\\App.lnk", u"\\Desktop App.lnk"})
        EXPECT_FALSE(jxtest::MachinePathExists(kPrograms + gone)) << jxtext::N(gone) << m_Log.Dump();
    for (const char16_t* kept : {u"\\Tolvane Kept\\Help.lnk", u"\\Other Vendor"})
        EXPECT_TRUE(jxtest::MachinePathExists(kPrograms + kept)) << jxtext::N(kept);
    EXPECT_TRUE(std::filesystem::is_symlink(host + "/Tolvane Linked"));
    EXPECT_TRUE(jxtest::MachinePathExists(linkedTarget + u"\\Linked.lnk"));
    EXPECT_TRUE(jxtest::MachinePathExists(kPrograms));
    EXPECT_EQ(m_Log.Count("LP_INFO", "Program group"), 3u) << m_Log.Dump();
}

TEST_F(RemoveFiles, ALockedFileGoesAtRebootAndAsksForARestartUnlessAnUpdateIgnoresIt) {
    struct {
        int updateMode;
        const char16_t* ignore;
        bool restart;
    } rows[] = {
        {1, u"TRUE", false}, // UPDATE with the row's permission
        {2, u"true", true},  // UPGRADE: the permission does not apply
        {1, u"", true},
        {0, u"true", true},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.updateMode);
        m_Data.SetProperty(u"_RestartRequired", u"", 1);
        m_Log.Clear();
        jxtest::WriteMachineFile(kDest + u"\\locked.dll");
        Lock(kDest + u"\\locked.dll");
        JxFile row = Row(u"locked.dll");
        row.ignorerebootrequest = c.ignore;
        Define({row});
        m_Data.m_UpdateMode = c.updateMode;
        m_Data.DeleteFiles(m_DeleteFiles);
        EXPECT_EQ(RestartRequested(), c.restart);
        EXPECT_EQ(m_Log.Has("LP_INFO", "Restart needed and ignored."), !c.restart);
        const std::vector<std::string> pending = PendingDeletes();
        EXPECT_NE(std::find(pending.begin(), pending.end(), "C:\\Program Files\\Prod\\locked.dll"),
                  pending.end());
        CloseHandle(m_Handles.back());
        m_Handles.pop_back();
    }
}

// A folder or name that did not resolve to a real place of the product removes nothing.
TEST_F(RemoveFiles, UnsafeFoldersAndNamesAreRefused) {
    struct {
        std::u16string destination;
        std::u16string name;
    } rows[] = {
        {u"C:\\", u"victim.txt"},
        {u"C:", u"victim.txt"},
        {u"C:\\Program Files\\..", u"victim.txt"},
        {u"[UNSET_FOLDER]", u"victim.txt"},
        {u"relative", u"victim.txt"},
        {u"C:\\Program Files\\Prod", u"..\\..\\victim.txt"},
        {u"C:\\Program Files\\Prod", u"[UNSET_NAME]"},
        {u"C:\\Program Files\\Prod", u"[\\*.*"},
        {u"\\\\server", u"victim.txt"},
    };
    std::vector<std::pair<std::u16string, std::u16string>> all;
    for (const auto& c : rows)
        all.emplace_back(c.destination, c.name);
    for (const std::u16string& folder : jxtest::HostileFolders())
        all.emplace_back(folder, u"victim.txt");
    jxtest::WriteMachineFile(u"C:\\victim.txt");
    jxtest::WriteMachineFile(u"C:\\x\\victim.txt");
    jxtest::WriteMachineFile(kDest + u"\\victim.txt");
    for (const auto& [destination, name] : all) {
        const struct {
            const std::u16string& destination;
            const std::u16string& name;
        } c{destination, name};
        SCOPED_TRACE(jxtext::N(c.destination + u" " + c.name));
        m_Log.Clear();
        Define({Row(c.name)}, true, c.destination);
        m_Data.DeleteFiles(m_DeleteFiles);
        EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\victim.txt"));
        EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\x\\victim.txt"));
        EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\victim.txt"));
        EXPECT_TRUE(m_Log.Has("WARNING", "nothing deleted")) << m_Log.Dump();
    }
}

TEST_F(RemoveFiles, UpdateDeletesByMaskOnlyWhereRowAndConditionSaySo) {
    for (const char16_t* file : {u"\\a.tmp", u"\\b.tmp", u"\\sub\\c.tmp", u"\\exact.txt", u"\\x.old"})
        jxtest::WriteMachineFile(kDest + file);
    auto row = [](const std::u16string& name, const std::u16string& mode = u"deleteonupdate") {
        JxFile r = Row(name, mode);
        r.targetdir = u"[INSTALLDIR]";
        return r;
    };
    m_Data.SetProperty(u"INSTALLDIR", kDest, 1);
    JxFile falseCondition = row(u"*.old");
    falseCondition.condition = u"1 = 2";
    Define({row(u"*.tmp"), row(u"exact.txt"), falseCondition, row(u"*.txt", u"DeleteOnUpdate")}, false);

    m_Data.DeleteOnUpdateWithFileMask(m_DeleteOnUpdate);

    EXPECT_FALSE(jxtest::MachinePathExists(kDest + u"\\a.tmp"));
    EXPECT_FALSE(jxtest::MachinePathExists(kDest + u"\\b.tmp"));
    EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\sub\\c.tmp"));
    EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\exact.txt")); // no mask: not this action's row
    EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\x.old"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Deleting *.tmp in C:\\Program Files\\Prod"));
}

// Temporary copies a copy left when it ended half-way go with the product: beside the targets and in
// the component's alternative folder, also one that waited for the restart; other files stay.
TEST_F(RemoveFiles, UninstallRemovesTheTemporaryCopiesOfItsFiles) {
    const std::u16string alternative = u"C:\\Staging";
    for (const std::u16string& file : {kDest + u"\\a.txt", kDest + u"\\a.txt.jxtmp", kDest + u"\\b.dll.jxtmp",
                                       kDest + u"\\waits.txt.jxtmp", alternative + u"\\a.txt.jxtmp",
                                       kDest + u"\\user.jxtmp", kDest + u"\\a.txt.bak"})
        jxtest::WriteMachineFile(file);
    ASSERT_TRUE(MoveFileExW((kDest + u"\\waits.txt.jxtmp").c_str(), (kDest + u"\\waits.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    Define({Row(u"a.txt"), Row(u"*.dll", u"byversion"), Row(u"waits.txt")});
    m_Data.m_Features[0].components[0].mvexaltdir = alternative;

    m_Data.DeleteFiles(m_DeleteFiles);

    for (const std::u16string& gone : {kDest + u"\\a.txt", kDest + u"\\a.txt.jxtmp", kDest + u"\\b.dll.jxtmp",
                                       kDest + u"\\waits.txt.jxtmp", alternative + u"\\a.txt.jxtmp"})
        EXPECT_FALSE(jxtest::MachinePathExists(gone)) << jxtext::N(gone);
    EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\user.jxtmp"));
    EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\a.txt.bak"));
    EXPECT_FALSE(RestartRequested());
}

TEST_F(RemoveFiles, EmptyFoldersGoAfterUninstallAndTheMergeFolderIsEmptied) {
    jxtest::WriteMachineFile(u"C:\\Merge\\m.wpk");
    jxtest::WriteMachineFile(u"C:\\Merge\\nested\\n.wpk");
    m_Data.SetProperty(u"_MergeWPKDir", u"C:\\Merge", 1);
    std::filesystem::create_directories(jxplat::WindowsToHostPath(kDest));

    Define({Row(u"a.txt")}, false);
    m_Data.DeleteAllEmptyFolder();
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\Merge\\m.wpk"));
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\Merge\\nested\\n.wpk"));
    EXPECT_TRUE(jxtest::MachinePathExists(kDest)); // not an uninstallation

    Define({Row(u"a.txt"), Row(u"b.txt")});
    m_Data.DeleteAllEmptyFolder();
    EXPECT_FALSE(jxtest::MachinePathExists(kDest));
    EXPECT_EQ(m_Log.Count("LP_INFO", "Deleting directory C:\\Program Files\\Prod."), 2u);
    EXPECT_FALSE(RestartRequested());
}

// A folder that still holds files goes at the restart, and asks for it, only when those files go at
// the restart too (they were locked when the uninstallation removed them); a file of the user keeps
// the folder and asks for nothing.
TEST_F(RemoveFiles, OnlyAFolderKeptByLockedFilesIsLeftToTheReboot) {
    struct {
        const char* name;
        bool lockedFile;
        const char16_t* ignore;
        bool scheduled;
        bool restart;
    } rows[] = {
        {"locked file", true, u"", true, true},
        {"locked file, restart ignored", true, u"True", true, false},
        {"file of the user", false, u"", false, false},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(jxplat::WindowsToHostPath(kDest));
        CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE,
                                      u"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                      u"PendingFileRenameOperations", 0);
        m_Data.SetProperty(u"_RestartRequired", u"", 1);
        jxtest::WriteMachineFile(kDest + u"\\left.txt");
        if (c.lockedFile)
            ASSERT_TRUE(MoveFileExW((kDest + u"\\left.txt").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
        JxFile row = Row(u"a.txt");
        row.ignorerebootrequest = c.ignore;
        Define({row});
        m_Data.DeleteAllEmptyFolder();
        EXPECT_TRUE(jxtest::MachinePathExists(kDest + u"\\left.txt"));
        const std::vector<std::string> pending = PendingDeletes();
        EXPECT_EQ(std::find(pending.begin(), pending.end(), "C:\\Program Files\\Prod") != pending.end(),
                  c.scheduled);
        EXPECT_EQ(RestartRequested(), c.restart);
    }
}

// Component folders inside one another go whatever the order of their rows, and only files the
// restart deletes make them wait for it.
TEST_F(RemoveFiles, NestedComponentFoldersGoWithoutARestart) {
    JxFile outer = Row(u"a.txt");
    JxFile inner = Row(u"b.txt");
    inner.componentid = u"inner";
    Define({outer, inner});
    JxComponent component = m_Data.m_Features[0].components[0];
    component.id = u"inner";
    component.destinationdir = kDest + u"\\data";
    m_Data.m_Features[0].components.push_back(component);
    std::filesystem::create_directories(jxplat::WindowsToHostPath(kDest + u"\\data"));

    m_Data.DeleteAllEmptyFolder();
    EXPECT_FALSE(jxtest::MachinePathExists(kDest));
    EXPECT_TRUE(PendingDeletes().empty());
    EXPECT_FALSE(RestartRequested());

    // A locked file in the inner folder leaves both to the restart, the inner one first.
    jxtest::WriteMachineFile(kDest + u"\\data\\locked.dll");
    ASSERT_TRUE(MoveFileExW((kDest + u"\\data\\locked.dll").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    m_Data.DeleteAllEmptyFolder();
    EXPECT_EQ(PendingDeletes(),
              (std::vector<std::string>{"C:\\Program Files\\Prod\\data\\locked.dll",
                                        "C:\\Program Files\\Prod\\data", "C:\\Program Files\\Prod"}));
    EXPECT_TRUE(RestartRequested());
}

} // namespace
