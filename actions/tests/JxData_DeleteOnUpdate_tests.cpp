// The deletions that follow an update: the files of the "deleteonupdate" rows, the resource files
// of languages the product does not need, and what they must never touch (a file the run has just
// installed, a needed language's file, anything outside a safe product folder).
#include <gtest/gtest.h>

#include <algorithm>

#include "file_copy_fixture.h"
#include "jxplat/fileapi.h"
#include "jxtest/log_capture.h"
#include "jxtest/hostile_paths.h"
#include "jxtest/machine_root.h"

namespace jxfilecopytest {
namespace {

const std::u16string kPackage = u"C:\\Source\\core.wpk";

std::u16string Target(const std::u16string& relative) {
    return kDestination + u"\\" + relative;
}

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

JxFile DeleteRow(const std::u16string& name, const std::u16string& targetDir = u"") {
    JxFile row = CopyRow(name, u"deleteonupdate");
    row.targetdir = targetDir;
    return row;
}

JxFile ResourceRow(const std::u16string& name, const std::u16string& allLanguages) {
    JxFile row = CopyRow(name);
    row.resource = u"true";
    row.installallcontainedlanguages = allLanguages;
    return row;
}

std::vector<std::u16string> PendingSources() {
    std::vector<std::u16string> sources;
    for (const auto& operation : jxplat::ReadPendingFileOperations())
        sources.push_back(operation.source);
    return sources;
}

using CLockedFile = std::unique_ptr<void, BOOL (*)(HANDLE)>;

class DeleteOnUpdate : public ::testing::Test {
protected:
    void SetUp() override { PackageMgr::Instance()->Cleanup(); }
    void TearDown() override {
        m_Data.reset();
        PackageMgr::Instance()->Cleanup();
    }

    // The product, its languages, and the rows grouped as CopyFiles groups them. The feature is
    // installed by the run, or left as it is by a maintenance run.
    void Define(const std::vector<JxFile>& rows, bool installRun = true,
                const std::u16string& destination = kDestination) {
        DefineProduct(*m_Data, rows, destination);
        if (!installRun) {
            m_Data->m_SequenceData.m_bInstallModeInstall = false;
            m_Data->m_SequenceData.m_bInstallModeMaintenance = true;
            m_Data->SetProperty(u"InstallMode", u"Maintenance", 1);
            m_Data->SetProperty(u"FeatureStateAbsent", u"", 1);
            m_Data->SetProperty(u"FeatureActionInstall", u"", 1);
            m_Data->SetProperty(u"FeatureStateInstalled", u"$" + kFeature + u"$", 1);
            m_Data->SetProperty(u"FeatureActionNothing", u"$" + kFeature + u"$", 1);
        }
        m_Data->m_Requirements.m_LanguageCodes = {{u"en", u"en"}, {u"de", u"de"}, {u"fr", u"fr"}};
        m_Data->GetFileActionState().m_DefinitionRows.clear();
        m_Data->_files_GroupByComponent();
    }

    void Languages(const std::u16string& product, const std::u16string& current) {
        m_Data->m_ProductInfo.languages = product;
        m_Data->SetCurrentLanguage(current);
    }

    // Opens a file without sharing, as a running program holds its image.
    static CLockedFile Lock(const std::u16string& path) {
        return CLockedFile(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                           CloseHandle);
    }

    bool Pending(const std::u16string& path) {
        const std::vector<std::u16string> sources = PendingSources();
        return std::find(sources.begin(), sources.end(), path) != sources.end();
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    std::unique_ptr<JxData> m_Data = std::make_unique<JxData>();
    JxSequenceAction m_Action{u"DeleteFilesOnUpdate", u"[AT_DELETEFILESONUPDATE]", 415};
};

TEST_F(DeleteOnUpdate, DeletesTheRowsFilesOnlyForComponentsTheRunProcesses) {
    struct {
        bool installRun;
        bool deleted;
    } modes[] = {{true, true}, {false, false}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.installRun);
        m_Log.Clear();
        for (const char16_t* file : {u"old.dll", u"cond.dll", u"keep.dll", u"a.tmp", u"en\\old.res",
                                     u"de\\old.res", u"fr\\old.res", u"it\\old.res"})
            WriteFileBytes(Target(file), "old");
        WriteFileBytes(u"C:\\Other\\moved.txt", "old");
        JxFile falseCondition = DeleteRow(u"cond.dll");
        falseCondition.condition = u"1 = 2";
        JxFile resource = DeleteRow(u"[ISOLANG]\\old.res");
        resource.resource = u"TRUE";
        Define({DeleteRow(u"old.dll"), falseCondition, CopyRow(u"keep.dll"), DeleteRow(u"*.tmp"), resource,
                DeleteRow(u"moved.txt", u"C:\\Other"), DeleteRow(u"missing.dll")},
               mode.installRun);
        Languages(u"en", u"en");

        m_Data->DeleteFilesOnUpdate(m_Action);

        EXPECT_NE(Exists(Target(u"old.dll")), mode.deleted);
        EXPECT_NE(Exists(u"C:\\Other\\moved.txt"), mode.deleted); // "targetdir" of a delete row
        // Every installed language, not only the product's ones; "it" is not installed.
        for (const char16_t* file : {u"en\\old.res", u"de\\old.res", u"fr\\old.res"})
            EXPECT_NE(Exists(Target(file)), mode.deleted) << jxtext::N(file);
        for (const char16_t* file : {u"cond.dll", u"keep.dll", u"a.tmp", u"it\\old.res"})
            EXPECT_TRUE(Exists(Target(file))) << jxtext::N(file);
        EXPECT_EQ(m_Log.Has("LP_INFO", "File deleted on update: C:\\Program Files\\Prod\\old.dll"),
                  mode.deleted);
        EXPECT_EQ(m_Log.Dump().find("missing.dll"), std::string::npos);
        EXPECT_FALSE(m_Data->IsRestartRequired());
    }
}

TEST_F(DeleteOnUpdate, UnneededLanguagesGoAndNeededOnesStay) {
    struct {
        const char16_t* allLanguages;
        const char16_t* product;
        const char16_t* current;
        std::vector<std::u16string> kept; // of the installed en, de, fr
    } cases[] = {
        {u"true", u"de", u"de", {u"de"}},
        {u"true", u"en,de", u"de", {u"en", u"de"}},
        {u"", u"en,de", u"en", {u"en"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(jxtext::N(std::u16string(c.allLanguages) + u"/" + c.product + u"/" + c.current));
        for (const char16_t* language : {u"en", u"de", u"fr"}) {
            WriteFileBytes(Target(std::u16string(language) + u"\\res.dll"), "res");
            WriteFileBytes(u"C:\\Program Files\\Prod-" + std::u16string(language) + u"\\help.chm", "help");
        }
        WriteFileBytes(Target(u"shared.res"), "shared");
        WriteFileBytes(Target(u"de\\plain.txt"), "plain");
        // "[ISOLANG]" only in the "targetdir" of a copy row, which is not its folder: one file for
        // every language, which a needed language keeps.
        JxFile shared = ResourceRow(u"shared.res", c.allLanguages);
        shared.targetdir = u"C:\\Elsewhere\\[ISOLANG]";
        JxFile plain = CopyRow(u"[ISOLANG]\\plain.txt"); // not a resource row
        Define({ResourceRow(u"[ISOLANG]\\res.dll", c.allLanguages), shared, plain});
        Languages(c.product, c.current);

        m_Data->DeleteUnneededResourceFiles();

        for (const char16_t* language : {u"en", u"de", u"fr"}) {
            const bool kept = std::find(c.kept.begin(), c.kept.end(), language) != c.kept.end();
            EXPECT_EQ(Exists(Target(std::u16string(language) + u"\\res.dll")), kept) << jxtext::N(language);
        }
        EXPECT_TRUE(Exists(Target(u"shared.res")));
        EXPECT_TRUE(Exists(Target(u"de\\plain.txt")));

        // The language in the component's folder: the same choice.
        Define({ResourceRow(u"help.chm", c.allLanguages)}, true, u"C:\\Program Files\\Prod-[ISOLANG]");
        m_Data->DeleteUnneededResourceFiles();
        for (const char16_t* language : {u"en", u"de", u"fr"}) {
            const bool kept = std::find(c.kept.begin(), c.kept.end(), language) != c.kept.end();
            EXPECT_EQ(Exists(u"C:\\Program Files\\Prod-" + std::u16string(language) + u"\\help.chm"), kept)
                << jxtext::N(language);
        }
    }
}

// The deletion runs after the commit: a path this run has just copied holds the new file, or gets it
// at the reboot, and deleting it now or at the reboot would lose the new file.
TEST_F(DeleteOnUpdate, AFileThisRunInstalledStays) {
    for (const bool locked : {false, true}) {
        SCOPED_TRACE(locked);
        m_Data = std::make_unique<JxData>();
        PackageMgr::Instance()->Cleanup();
        m_Log.Clear();
        WriteFileBytes(Target(u"app.dll"), "old");
        WriteFileBytes(Target(u"stale.dll"), "old");
        ASSERT_TRUE(WriteComponentPackage(kPackage, {{u"app.dll", "new"}}));
        DefineProduct(*m_Data, {CopyRow(u"app.dll", u"always"), DeleteRow(u"APP.dll", u"[INSTALLDIR]"),
                                DeleteRow(u"stale.dll", u"[INSTALLDIR]")});
        m_Data->SetProperty(u"INSTALLDIR", kDestination, 1);
        ASSERT_TRUE(MountAndCopy(*m_Data, kPackage));
        CLockedFile lock(nullptr, CloseHandle);
        if (locked)
            lock = Lock(Target(u"app.dll"));
        ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
        m_Data->CommitCopiedFiles();

        m_Data->DeleteFilesOnUpdate(m_Action);

        EXPECT_FALSE(Exists(Target(u"stale.dll")));
        EXPECT_EQ(ReadFileBytes(Target(u"app.dll")), locked ? "old" : "new");
        // Locked: the new file replaces it at the reboot, and no deletion follows it there.
        EXPECT_FALSE(Pending(Target(u"app.dll")));
        EXPECT_EQ(Pending(Target(u"app.dll.jxtmp")), locked);
        EXPECT_TRUE(
            m_Log.Has("LP_INFO", "File C:\\Program Files\\Prod\\APP.dll was installed by this run: kept."))
            << m_Log.Dump();
    }
}

TEST_F(DeleteOnUpdate, ALockedFileGoesAtTheRebootAndOnlyAForcedRowAsksForARestart) {
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force);
        m_Data->SetProperty(u"_RestartRequired", u"", 1);
        WriteFileBytes(Target(u"locked.dll"), "old");
        const CLockedFile lock = Lock(Target(u"locked.dll"));
        ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
        JxFile row = DeleteRow(u"locked.dll");
        row.forcerebootrequest = force ? u"True" : u"";
        Define({row});

        m_Data->DeleteFilesOnUpdate(m_Action);

        EXPECT_TRUE(Pending(Target(u"locked.dll")));
        EXPECT_TRUE(m_Log.Has(
            "LP_INFO", "File deleted on update using MoveFileEx: C:\\Program Files\\Prod\\locked.dll"));
        EXPECT_EQ(m_Data->GetPropertyValue(u"_RestartRequired") == u"1", force);
    }
}

// A folder or name that did not resolve to a real place of the product deletes nothing.
TEST_F(DeleteOnUpdate, UnsafeFoldersAndNamesAreRefused) {
    struct {
        std::u16string folder;
        std::u16string name;
    } cases[] = {
        {u"C:\\", u"victim.txt"},
        {u"C:", u"victim.txt"},
        {u"", u"victim.txt"},
        {u"relative", u"victim.txt"},
        {u"[UNSET_FOLDER]", u"victim.txt"},
        {u"C:\\Program Files\\..", u"victim.txt"},
        {kDestination, u"..\\victim.txt"},
        {kDestination, u"sub/../../victim.txt"},
        {kDestination, u"[UNSET_NAME]"},
        {kDestination, u""},
        {kDestination, u"sub"}, // a folder, not a file
        {u"\\\\?\\C:", u"victim.txt"},
        {kDestination, u"victim.txt."},
        {kDestination, u"sub\\.\\victim.txt"},
    };
    std::vector<std::pair<std::u16string, std::u16string>> all;
    for (const auto& c : cases)
        all.emplace_back(c.folder, c.name);
    for (const std::u16string& folder : jxtest::HostileFolders())
        all.emplace_back(folder, u"victim.txt");
    WriteFileBytes(u"C:\\victim.txt", "keep");
    WriteFileBytes(u"C:\\Program Files\\victim.txt", "keep");
    WriteFileBytes(Target(u"sub\\victim.txt"), "keep");
    for (const auto& [folder, name] : all) {
        const struct {
            const std::u16string& folder;
            const std::u16string& name;
        } c{folder, name};
        SCOPED_TRACE(jxtext::N(c.folder + u" | " + c.name));
        m_Log.Clear();
        // Both actions, the one from a delete row's "targetdir" and the other from the component's.
        JxFile resource = ResourceRow(c.name + u"[ISOLANG]", u"");
        Define({DeleteRow(c.name, c.folder), resource}, true, c.folder);
        Languages(u"en", u"en");

        m_Data->DeleteFilesOnUpdate(m_Action);
        m_Data->DeleteUnneededResourceFiles();

        EXPECT_TRUE(Exists(u"C:\\victim.txt"));
        EXPECT_TRUE(Exists(u"C:\\Program Files\\victim.txt"));
        EXPECT_TRUE(Exists(Target(u"sub\\victim.txt")));
        EXPECT_TRUE(PendingSources().empty());
        EXPECT_TRUE(m_Log.Has("WARNING", "nothing deleted")) << m_Log.Dump();
    }
}

} // namespace
} // namespace jxfilecopytest
