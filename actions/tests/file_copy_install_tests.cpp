// The file actions of an installation: package files copied to temporaries beside their targets,
// committed onto them (locked targets aside or at the next reboot), and what was not committed
// removed again, leaving the machine as it was.
#include <gtest/gtest.h>

#include "file_copy_fixture.h"
#include "jxplat/fileapi.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace jxfilecopytest {
namespace {

const std::u16string kPackage = u"C:\\Source\\core.wpk";

std::u16string Target(const std::u16string& relative) {
    return kDestination + u"\\" + relative;
}

class FileCopyTest : public ::testing::Test {
protected:
    void SetUp() override { PackageMgr::Instance()->Cleanup(); }
    void TearDown() override {
        for (HANDLE handle : m_Handles)
            CloseHandle(handle);
        m_Data.reset();
        PackageMgr::Instance()->Cleanup();
    }

    void Install(const std::map<std::u16string, std::string>& files, const std::vector<JxFile>& rows) {
        ASSERT_TRUE(WriteComponentPackage(kPackage, files));
        DefineProduct(*m_Data, rows);
        ASSERT_TRUE(MountAndCopy(*m_Data, kPackage));
    }

    // Opens a file without sharing, as a running program holds its image.
    void Lock(const std::u16string& path) {
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        m_Handles.push_back(handle);
    }

    std::string Drive() { return SnapshotTreeOf(u"C:\\"); }
    static std::string SnapshotTreeOf(const std::u16string& folder) {
        std::string text;
        for (const auto& [path, content] : SnapshotTree(jxplat::WindowsToHostPath(folder)))
            text += path + "=" + content + "\n";
        return text;
    }

    jxtest::TempMachineRoot m_Root;
    std::unique_ptr<JxData> m_Data = std::make_unique<JxData>();
    std::vector<HANDLE> m_Handles;
};

// A run that ended half-way left temporary copies beside targets: the next run removes them (only
// the engine's names of its own rows), except one the restart is to move into place.
TEST_F(FileCopyTest, TemporaryCopiesOfAnEarlierRunAreRemoved) {
    WriteFileBytes(Target(u"same.txt"), "same");
    WriteFileBytes(Target(u"same.txt.jxtmp"), "cut");
    WriteFileBytes(Target(u"sub\\c.dat.jxtmp"), "cut");
    WriteFileBytes(Target(u"waits.txt.jxtmp"), "waits");
    ASSERT_TRUE(MoveFileExW(Target(u"waits.txt.jxtmp").c_str(), Target(u"waits.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    WriteFileBytes(Target(u"user.txt.jxtmp"), "not a row of the product");
    WriteFileBytes(Target(u"same.txt.bak"), "not a temporary name");

    Install({{u"same.txt", "same"}, {u"sub\\c.dat", "c"}, {u"waits.txt", "waits"}},
            {CopyRow(u"same.txt"), CopyRow(u"sub\\*.dat"), CopyRow(u"waits.txt")});

    EXPECT_FALSE(JxFile::FileExists(Target(u"same.txt.jxtmp")));
    EXPECT_EQ(ReadFileBytes(Target(u"sub\\c.dat.jxtmp")), "c") << "this run's own copy";
    EXPECT_TRUE(JxFile::FileExists(Target(u"waits.txt.jxtmp")));
    EXPECT_TRUE(JxFile::FileExists(Target(u"user.txt.jxtmp")));
    EXPECT_TRUE(JxFile::FileExists(Target(u"same.txt.bak")));
}

TEST_F(FileCopyTest, InstallsThroughTemporariesBesideTheTargets) {
    WriteFileBytes(Target(u"same.txt"), "same");
    Install({{u"a.txt", "new a"},
             {u"sub\\c.dat", std::string(70000, 'c')},
             {u"empty.txt", ""},
             {u"same.txt", "same"},
             {u"forced.txt", "forced"}},
            {CopyRow(u"a.txt"), CopyRow(u"sub\\c.dat"), CopyRow(u"empty.txt"), CopyRow(u"same.txt"),
             CopyRow(u"forced.txt", u"always")});
    WriteFileBytes(Target(u"forced.txt"), "old forced");

    // Each copy waits under its target's name + ".jxtmp"; the targets are untouched.
    EXPECT_EQ(ReadFileBytes(Target(u"a.txt.jxtmp")), "new a");
    EXPECT_EQ(ReadFileBytes(Target(u"sub\\c.dat.jxtmp")), std::string(70000, 'c'));
    EXPECT_TRUE(JxFile::FileExists(Target(u"empty.txt.jxtmp"))) << "an empty file is extracted too";
    EXPECT_FALSE(JxFile::FileExists(Target(u"same.txt.jxtmp"))) << "an identical target is left alone";
    EXPECT_FALSE(JxFile::FileExists(Target(u"a.txt")));
    EXPECT_EQ(m_Data->GetFileActionState().m_Copied.size(), 4u);
    EXPECT_TRUE(m_Data->HasUncommittedFileCopies());

    m_Data->CommitCopiedFiles();

    EXPECT_EQ(ReadFileBytes(Target(u"a.txt")), "new a");
    EXPECT_EQ(ReadFileBytes(Target(u"sub\\c.dat")), std::string(70000, 'c'));
    EXPECT_TRUE(JxFile::FileExists(Target(u"empty.txt")));
    EXPECT_EQ(ReadFileBytes(Target(u"forced.txt")), "forced");
    EXPECT_EQ(ReadFileBytes(Target(u"same.txt")), "same");
    EXPECT_EQ(SnapshotTreeOf(kDestination).find(".jxtmp"), std::string::npos);
    EXPECT_FALSE(m_Data->HasUncommittedFileCopies());
    EXPECT_EQ(m_Data->GetPropertyValue(u"_RestartRequired"), u"");
    EXPECT_EQ(m_Data->m_CopiedComponents.count(kFeature + kComponent), 1u);

    // Nothing is left to remove: a rollback now leaves the committed files.
    m_Data->RollbackCopiedFiles();
    EXPECT_EQ(ReadFileBytes(Target(u"sub\\c.dat")), std::string(70000, 'c'));
}

TEST_F(FileCopyTest, RowsOfOneNameInTwoFoldersGetTheirOwnFiles) {
    Install(
        {{u"x\\f.txt", "from x"},
         {u"y\\f.txt", "from y"},
         {u"w\\1.txt", "1"},
         {u"w\\2.txt", "2"},
         {u"w\\3.dat", "3"}},
        {CopyRow(u"x\\f.txt"), CopyRow(u"y\\f.txt"), CopyRow(u"w\\*.txt"), CopyRow(u"x\\f.txt", u"always")});
    m_Data->CommitCopiedFiles();

    EXPECT_EQ(ReadFileBytes(Target(u"x\\f.txt")), "from x");
    EXPECT_EQ(ReadFileBytes(Target(u"y\\f.txt")), "from y");
    // The wildcard takes the files that fit it, in the row's sub-folder.
    EXPECT_EQ(ReadFileBytes(Target(u"w\\1.txt")), "1");
    EXPECT_EQ(ReadFileBytes(Target(u"w\\2.txt")), "2");
    EXPECT_FALSE(JxFile::FileExists(Target(u"w\\3.dat")));
    // The second row for x\f.txt would share its temporary: it is not copied twice.
    EXPECT_EQ(m_Data->GetFileActionState().m_Copied.size(), 4u);
}

struct LockedCase {
    const char* name;
    const char* ignoreReboot;
    const char* restart;
};

class LockedTarget : public FileCopyTest, public ::testing::WithParamInterface<LockedCase> {};

TEST_P(LockedTarget, IsReplacedAtTheNextReboot) {
    WriteFileBytes(Target(u"app.exe"), "old image");
    JxFile row = CopyRow(u"app.exe");
    row.ignorerebootrequest = jxtext::W(GetParam().ignoreReboot);
    Install({{u"app.exe", "new image"}}, {row});
    Lock(Target(u"app.exe"));

    m_Data->CommitCopiedFiles();

    EXPECT_EQ(ReadFileBytes(Target(u"app.exe")), "old image");
    EXPECT_EQ(ReadFileBytes(Target(u"app.exe.jxtmp")), "new image");
    EXPECT_EQ(m_Data->GetPropertyValue(u"_RestartRequired"), jxtext::W(GetParam().restart));
    EXPECT_FALSE(m_Data->HasUncommittedFileCopies()) << "the waiting copy belongs to the reboot";
    m_Data->RollbackCopiedFiles();
    EXPECT_TRUE(JxFile::FileExists(Target(u"app.exe.jxtmp")));

    for (HANDLE handle : m_Handles)
        CloseHandle(handle);
    m_Handles.clear();
    ASSERT_TRUE(jxplat::CarryOutPendingFileOperations());
    EXPECT_EQ(ReadFileBytes(Target(u"app.exe")), "new image");
    EXPECT_FALSE(JxFile::FileExists(Target(u"app.exe.jxtmp")));
}

INSTANTIATE_TEST_SUITE_P(Commit, LockedTarget,
                         ::testing::Values(LockedCase{"AsksForARestart", "", "1"},
                                           LockedCase{"UnlessTheRowIgnoresIt", "true", ""}),
                         [](const ::testing::TestParamInfo<LockedCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(FileCopyTest, RenameIfLockedPutsTheNewFileInAtOnce) {
    // A read-only file can be renamed but not deleted: the old one goes aside, then at the reboot.
    WriteFileBytes(Target(u"svc.exe"), "old svc");
    ASSERT_TRUE(SetFileAttributesW(Target(u"svc.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    // A file held without any sharing cannot even be renamed: it keeps its place until the reboot.
    WriteFileBytes(Target(u"held.exe"), "old held");
    JxFile aside = CopyRow(u"svc.exe");
    aside.renameiflocked = u"true";
    JxFile held = CopyRow(u"held.exe");
    held.renameiflocked = u"true";
    Install({{u"svc.exe", "new svc"}, {u"held.exe", "new held"}}, {aside, held});
    Lock(Target(u"held.exe"));

    m_Data->CommitCopiedFiles();

    EXPECT_EQ(ReadFileBytes(Target(u"svc.exe")), "new svc");
    EXPECT_EQ(ReadFileBytes(Target(u"svc.exe.alt")), "old svc");
    EXPECT_EQ(ReadFileBytes(Target(u"held.exe")), "old held") << "the product is never without its file";
    EXPECT_FALSE(JxFile::FileExists(Target(u"held.exe.alt")));
    EXPECT_EQ(m_Data->GetPropertyValue(u"_RestartRequired"), u"1");

    for (HANDLE handle : m_Handles)
        CloseHandle(handle);
    m_Handles.clear();
    ASSERT_TRUE(jxplat::CarryOutPendingFileOperations());
    EXPECT_FALSE(JxFile::FileExists(Target(u"svc.exe.alt")));
    EXPECT_EQ(ReadFileBytes(Target(u"held.exe")), "new held");
}

TEST_F(FileCopyTest, CancelLeavesTheMachineAsItWas) {
    // A folder of the user's own and a file in it are there before the run.
    WriteFileBytes(u"C:\\Program Files\\Other\\keep.txt", "keep");
    WriteFileBytes(Target(u"a.txt"), "old a");
    ASSERT_TRUE(
        WriteComponentPackage(kPackage, {{u"a.txt", "new a"}, {u"deep\\er\\b.txt", "b"}, {u"c.txt", "c"}}));
    const std::string before = Drive();
    DefineProduct(*m_Data, {CopyRow(u"a.txt"), CopyRow(u"deep\\er\\b.txt"), CopyRow(u"c.txt")});
    ASSERT_TRUE(MountAndCopy(*m_Data, kPackage));
    ASSERT_NE(Drive(), before);

    // The user cancelled before CleanUp: nothing is committed.
    m_Data->RollbackCopiedFiles();

    EXPECT_EQ(Drive(), before);
    EXPECT_FALSE(m_Data->HasUncommittedFileCopies());
}

TEST_F(FileCopyTest, RollbackRemovesOnlyWhatTheRunMade) {
    Install({{u"a.txt", "a"}, {u"sub\\b.txt", "b"}, {u"two\\c.txt", "c"}},
            {CopyRow(u"a.txt"), CopyRow(u"sub\\b.txt"), CopyRow(u"two\\c.txt")});
    const auto& created = m_Data->GetFileActionState().m_CreatedFolders;
    ASSERT_GE(created.size(), 3u);
    EXPECT_EQ(created.back().m_Path, Target(u"two"));
    // A file someone else put into a folder of the run keeps it; a black-listed folder is never
    // removed, though the run made it.
    WriteFileBytes(Target(u"sub\\user.txt"), "user");
    m_Data->GetCleanEmptyFolder().m_BlackList.insert(kDestination);

    m_Data->RollbackCopiedFiles();

    EXPECT_EQ(ReadFileBytes(Target(u"sub\\user.txt")), "user");
    EXPECT_FALSE(JxFile::FileExists(Target(u"a.txt.jxtmp")));
    EXPECT_FALSE(JxFile::FileExists(Target(u"sub\\b.txt.jxtmp")));
    EXPECT_EQ(GetFileAttributesW(Target(u"two").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(kDestination.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileCopyTest, AFolderThatCannotBeMadeFailsTheRun) {
    WriteFileBytes(Target(u"sub"), "a file where the folder should be");
    Install({{u"sub\\b.txt", "b"}, {u"sub\\c.txt", "c"}}, {CopyRow(u"sub\\b.txt"), CopyRow(u"sub\\c.txt")});

    const JxSequenceData& sequence = m_Data->m_SequenceData;
    EXPECT_TRUE(sequence.m_bFailure);
    EXPECT_TRUE(sequence.m_bRollback);
    EXPECT_EQ(sequence.m_Error.m_Message, u"[ERR_CREATE_FOLDER]");
    EXPECT_EQ(sequence.m_Error.m_ActionName, u"CopyFiles");
    EXPECT_EQ(sequence.m_Error.m_Description,
              u"Failed to create contained folder: " + Target(u"sub\\b.txt.jxtmp"));
    // The next row is not tried once the run has failed.
    EXPECT_EQ(m_Data->GetFileActionState().m_Copied.size(), 1u);
}

TEST_F(FileCopyTest, ATargetFolderThatCannotBeMadeAtCommitOnlyWarns) {
    // The copies wait in the alternative folder; the target's folder is blocked by a file.
    ASSERT_TRUE(WriteComponentPackage(kPackage, {{u"sub\\b.txt", "b"}, {u"a.txt", "a"}}));
    DefineProduct(*m_Data, {CopyRow(u"sub\\b.txt"), CopyRow(u"a.txt")});
    m_Data->m_Features[0].components[0].mvexaltdir = u"C:\\Staging";
    ASSERT_TRUE(MountAndCopy(*m_Data, kPackage));
    EXPECT_EQ(ReadFileBytes(u"C:\\Staging\\sub\\b.txt.jxtmp"), "b");
    WriteFileBytes(Target(u"sub"), "blocked");

    m_Data->CommitCopiedFiles();

    EXPECT_FALSE(m_Data->m_SequenceData.m_bFailure);
    EXPECT_TRUE(m_Data->m_SequenceData.m_bWarning);
    EXPECT_EQ(ReadFileBytes(Target(u"a.txt")), "a");
    // The copy that could not go is removed at the end of the sequence.
    EXPECT_TRUE(m_Data->HasUncommittedFileCopies());
    m_Data->_Sequence_Run();
    EXPECT_FALSE(JxFile::FileExists(u"C:\\Staging\\sub\\b.txt.jxtmp"));
    EXPECT_FALSE(GetFileAttributesW(u"C:\\Staging") != INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadFileBytes(Target(u"a.txt")), "a");
}

TEST_F(FileCopyTest, AComponentWithoutPackageCopiesNothing) {
    ASSERT_TRUE(WriteComponentPackage(kPackage, {{u"a.txt", "a"}}));
    DefineProduct(*m_Data, {CopyRow(u"a.txt")});
    m_Data->FileActions_Initialize(CopyFilesAction()); // nothing mounted
    m_Data->CopyFilesTemporary();
    EXPECT_TRUE(m_Data->GetFileActionState().m_Copied.empty());

    // A second initialization in the run keeps the first picture.
    ASSERT_TRUE(m_Data->MountExternalPackage(kPackage, kScanModeReplace));
    m_Data->FileActions_Initialize(CopyFilesAction());
    m_Data->CopyFilesTemporary();
    EXPECT_TRUE(m_Data->GetFileActionState().m_Copied.empty());
}

// A 64-bit row reaches the native System32 in every step (its copy, commit and removal), a 32-bit
// row the redirected SysWOW64: a step that forgets the row's redirection works in the wrong folder.
TEST_F(FileCopyTest, SixtyFourBitRowsWorkInTheNativeSystemFolder) {
    const std::u16string destination = u"C:\\Windows\\System32\\Prod";
    const std::string native = m_Root.Path() + "/drive_c/Windows/System32/Prod/";
    const std::string wow = m_Root.Path() + "/drive_c/Windows/SysWOW64/Prod/";
    JxFile wide = CopyRow(u"wide.dll");
    wide.is64bit = u"True";
    ASSERT_TRUE(WriteComponentPackage(kPackage, {{u"wide.dll", "64"}, {u"narrow.dll", "32"}}));
    DefineProduct(*m_Data, {wide, CopyRow(u"narrow.dll")}, destination);
    ASSERT_TRUE(MountAndCopy(*m_Data, kPackage));
    EXPECT_EQ(jxtest::ReadHostFile(native + "wide.dll.jxtmp"), "64");
    EXPECT_EQ(jxtest::ReadHostFile(wow + "narrow.dll.jxtmp"), "32");
    EXPECT_FALSE(std::filesystem::exists(wow + "wide.dll.jxtmp"));

    // A rollback removes each copy from its own folder, and the folders the run made there.
    m_Data->RollbackCopiedFiles();
    EXPECT_FALSE(std::filesystem::exists(native));
    EXPECT_FALSE(std::filesystem::exists(wow));

    // Copied again and committed, each file is in its own view of the system folder.
    m_Data = std::make_unique<JxData>();
    PackageMgr::Instance()->Cleanup();
    DefineProduct(*m_Data, {wide, CopyRow(u"narrow.dll")}, destination);
    ASSERT_TRUE(MountAndCopy(*m_Data, kPackage));
    m_Data->CommitCopiedFiles();
    EXPECT_EQ(jxtest::ReadHostFile(native + "wide.dll"), "64");
    EXPECT_EQ(jxtest::ReadHostFile(wow + "narrow.dll"), "32");
    EXPECT_FALSE(std::filesystem::exists(native + "narrow.dll"));
    EXPECT_FALSE(std::filesystem::exists(wow + "wide.dll"));
    EXPECT_FALSE(m_Data->HasUncommittedFileCopies());
}

// "renameexistentfile" keeps the file that was there under the row's other name (properties
// expanded) before the new one goes in; without a file there, nothing is renamed.
TEST_F(FileCopyTest, RenameExistentFileKeepsTheOldFileUnderItsNewName) {
    WriteFileBytes(Target(u"conf.ini"), "user settings");
    JxFile kept = CopyRow(u"conf.ini");
    kept.renameexistentfile = u"True";
    kept.renameexistentfileto = u"conf-[Suffix].ini";
    JxFile fresh = CopyRow(u"fresh.ini");
    fresh.renameexistentfile = u"true";
    fresh.renameexistentfileto = u"fresh-old.ini";
    Install({{u"conf.ini", "defaults"}, {u"fresh.ini", "fresh"}}, {kept, fresh});
    m_Data->SetProperty(u"Suffix", u"saved", 1);

    m_Data->CommitCopiedFiles();

    EXPECT_EQ(ReadFileBytes(Target(u"conf.ini")), "defaults");
    EXPECT_EQ(ReadFileBytes(Target(u"conf-saved.ini")), "user settings");
    EXPECT_EQ(ReadFileBytes(Target(u"fresh.ini")), "fresh");
    EXPECT_FALSE(JxFile::FileExists(Target(u"fresh-old.ini")));
    EXPECT_EQ(m_Data->GetPropertyValue(u"_RestartRequired"), u"");
}

// "forcerebootrequest" asks for a restart though its file went in at once; "ignorerebootrequest"
// on the same row wins.
TEST_F(FileCopyTest, ForceRebootRequestAsksForARestart) {
    for (const char16_t* ignore : {u"", u"true"}) {
        m_Data = std::make_unique<JxData>();
        PackageMgr::Instance()->Cleanup();
        JxFile row = CopyRow(u"driver.sys");
        row.forcerebootrequest = u"TRUE";
        row.ignorerebootrequest = ignore;
        Install({{u"driver.sys", "driver"}}, {row});
        m_Data->CommitCopiedFiles();
        EXPECT_EQ(ReadFileBytes(Target(u"driver.sys")), "driver");
        EXPECT_EQ(m_Data->GetPropertyValue(u"_RestartRequired"), *ignore ? u"" : u"1") << jxtext::N(ignore);
        DeleteFileW(Target(u"driver.sys").c_str());
    }
}

// A locked package file is not a reason to restart: its new copy waits beside it as ".wpk.jxtmp"
// and its folder is remembered, so that the end of the run (or the next run) moves it into place.
TEST_F(FileCopyTest, ALockedPackageTargetWaitsForTheNextRunNotForARestart) {
    WriteFileBytes(Target(u"{C1}.wpk"), "old package");
    Install({{u"{C1}.wpk", "new package"}}, {CopyRow(u"{C1}.wpk")});
    Lock(Target(u"{C1}.wpk"));

    m_Data->CommitCopiedFiles();

    EXPECT_EQ(ReadFileBytes(Target(u"{C1}.wpk")), "old package");
    EXPECT_EQ(ReadFileBytes(Target(u"{C1}.wpk.jxtmp")), "new package");
    EXPECT_EQ(m_Data->GetPropertyValue(u"_RestartRequired"), u"");
    EXPECT_EQ(m_Data->m_TempPackageDirs, std::set<std::u16string>{kDestination});
    EXPECT_FALSE(m_Data->HasUncommittedFileCopies());
}

// A target folder is refused, with a WARNING that names the row, unless it is a resolved folder on
// one of the machine's own drives: the host's drive, a share, a missing drive, a root or a folder
// that climbs out with ".." gets nothing. The other components' rows are copied as usual.
TEST_F(FileCopyTest, TargetFoldersOutsideTheMachinesDrivesAreRefused) {
    const std::string host = jxplat::MachinePath("host-side");
    std::filesystem::create_directories(host);
    const std::u16string onHost = jxplat::HostToWindowsPath(host);
    ASSERT_EQ(onHost.substr(0, 2), u"Z:");
    const std::vector<std::u16string> refused = {onHost + u"\\Prod",
                                                 u"D:\\Prod",
                                                 u"\\\\server\\share\\Prod",
                                                 u"C:\\",
                                                 u"C:\\Program Files\\Prod\\..\\..",
                                                 u"C:\\Prod.",
                                                 u"relative\\Prod",
                                                 u"[Unset]\\Prod"};
    for (const std::u16string& destination : refused) {
        SCOPED_TRACE(jxtext::N(destination));
        jxtest::CLogCapture log;
        m_Data = std::make_unique<JxData>();
        PackageMgr::Instance()->Cleanup();
        ASSERT_TRUE(WriteComponentPackage(kPackage, {{u"a.txt", "new a"}}));
        DefineProduct(*m_Data, {CopyRow(u"a.txt")}, destination);
        ASSERT_TRUE(MountAndCopy(*m_Data, kPackage));
        m_Data->CommitCopiedFiles();
        EXPECT_TRUE(m_Data->GetFileActionState().m_Copied.empty());
        EXPECT_TRUE(log.Has("WARNING", "File row a.txt of component core is refused")) << log.Dump();
        EXPECT_TRUE(SnapshotTree(host).empty());
        EXPECT_FALSE(JxFile::FileExists(u"C:\\a.txt"));
        EXPECT_FALSE(JxFile::FileExists(u"C:\\Program Files\\a.txt"));
    }
    // The folders of the machine's drives, as the sample names them, are taken.
    m_Data = std::make_unique<JxData>();
    PackageMgr::Instance()->Cleanup();
    Install({{u"a.txt", "new a"}}, {CopyRow(u"a.txt")});
    m_Data->CommitCopiedFiles();
    EXPECT_EQ(ReadFileBytes(Target(u"a.txt")), "new a");
}

} // namespace
} // namespace jxfilecopytest
