// The recursive delete against a fresh machine root: patterns, options, the restart fall-back,
// refused paths and links that must never be followed.
#include <filesystem>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/files.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

class FilesDelete : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(u"C:\\work", nullptr)); }

    static void Write(const std::u16string& path) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    static void Folder(const std::u16string& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)); }
    static bool Exists(const std::u16string& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // A handle that shares nothing: the file can be neither deleted nor renamed while it is open.
    static HANDLE Lock(const std::u16string& path) {
        return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    static std::vector<std::string> PendingDeletes() {
        std::vector<std::string> out;
        for (const auto& operation : jxplat::ReadPendingFileOperations())
            if (operation.target.empty())
                out.push_back(jxtext::N(operation.source));
        return out;
    }

    jxtest::TempMachineRoot m_root;
};

TEST_F(FilesDelete, RefusesEmptyRelativeAndRootPaths) {
    Write(u"C:\\keep.txt");
    Write(u"C:\\work\\keep.txt");
    for (const char16_t* path :
         {u"", u"work", u"work\\keep.txt", u"C:", u"C:\\", u"C:\\\\", u"\\\\server\\share"}) {
        EXPECT_FALSE(DeleteFileOrDirectory(path, nullptr, JX_DELETE_REMOVE_SELF)) << jxtext::N(path);
        EXPECT_FALSE(DeleteDirectoryContents(path, nullptr, true, JX_DELETE_RECURSE)) << jxtext::N(path);
    }
    EXPECT_FALSE(DeleteFileOrDirectory(nullptr, nullptr, 0));
    EXPECT_TRUE(Exists(u"C:\\keep.txt"));
    EXPECT_TRUE(Exists(u"C:\\work\\keep.txt"));
}

TEST_F(FilesDelete, PatternReachesEverySubFolderAndKeepsTheFolders) {
    Folder(u"C:\\work\\sub");
    Folder(u"C:\\work\\sub\\deep");
    Folder(u"C:\\work\\dir.log"); // a folder whose name matches is visited once, not deleted
    for (const char16_t* file : {u"C:\\work\\a.log", u"C:\\work\\a.txt", u"C:\\work\\sub\\b.log",
                                 u"C:\\work\\sub\\deep\\c.log", u"C:\\work\\dir.log\\d.log"})
        Write(file);
    EXPECT_TRUE(DeleteFileOrDirectory(u"C:\\work", u"*.log", JX_DELETE_RECURSE));
    EXPECT_TRUE(Exists(u"C:\\work\\a.txt"));
    for (const char16_t* gone : {u"C:\\work\\a.log", u"C:\\work\\sub\\b.log", u"C:\\work\\sub\\deep\\c.log",
                                 u"C:\\work\\dir.log\\d.log"})
        EXPECT_FALSE(Exists(gone)) << jxtext::N(gone);
    EXPECT_TRUE(Exists(u"C:\\work\\sub\\deep"));
    EXPECT_TRUE(Exists(u"C:\\work\\dir.log"));

    // Without recursion only the folder's own files go.
    Write(u"C:\\work\\sub\\e.txt");
    EXPECT_TRUE(DeleteFileOrDirectory(u"C:\\work", u"*.*", 0));
    EXPECT_FALSE(Exists(u"C:\\work\\a.txt"));
    EXPECT_TRUE(Exists(u"C:\\work\\sub\\e.txt"));

    // Removing the folder itself takes everything.
    EXPECT_TRUE(DeleteFileOrDirectory(u"C:\\work", nullptr, JX_DELETE_REMOVE_SELF));
    EXPECT_FALSE(Exists(u"C:\\work"));
}

TEST_F(FilesDelete, LockedEntriesAreLeftToTheRestartOnlyWhenAllowed) {
    Folder(u"C:\\work\\dir");
    Write(u"C:\\work\\dir\\locked.bin");
    Write(u"C:\\work\\dir\\free.bin");
    HANDLE lock = Lock(u"C:\\work\\dir\\locked.bin");
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    bool restart = true;
    EXPECT_FALSE(DeleteFileOrDirectory(u"C:\\work\\dir\\locked.bin", nullptr, 0, &restart));
    EXPECT_FALSE(restart);
    EXPECT_TRUE(PendingDeletes().empty());

    EXPECT_TRUE(DeleteFileOrDirectory(
        u"C:\\work\\dir", nullptr,
        JX_DELETE_REMOVE_SELF | JX_DELETE_FILES_AT_REBOOT | JX_DELETE_FOLDERS_AT_REBOOT, &restart));
    EXPECT_TRUE(restart);
    EXPECT_FALSE(Exists(u"C:\\work\\dir\\free.bin"));
    EXPECT_EQ(PendingDeletes(), (std::vector<std::string>{"C:\\work\\dir\\locked.bin", "C:\\work\\dir"}));
    CloseHandle(lock);
    ASSERT_TRUE(jxplat::CarryOutPendingFileOperations());
    EXPECT_FALSE(Exists(u"C:\\work\\dir"));
}

// What is not there is gone: a missing file or folder (a removal that ran before) is no reason for a
// restart and leaves nothing pending.
TEST_F(FilesDelete, AMissingFileOrFolderIsGoneWithoutARestart) {
    for (const WCHAR* missing : {u"C:\\work\\missing.bin", u"C:\\work\\gone\\notes.txt"}) {
        bool restart = true;
        EXPECT_TRUE(DeleteFileOrDirectory(missing, nullptr, JX_DELETE_FILES_AT_REBOOT, &restart))
            << jxtext::N(missing);
        EXPECT_FALSE(restart) << jxtext::N(missing);
    }
    bool restart = true;
    EXPECT_TRUE(DeleteFileOrDirectory(u"C:\\work\\gone", u"notes.txt", JX_DELETE_FILES_AT_REBOOT, &restart));
    EXPECT_FALSE(restart);
    EXPECT_TRUE(PendingDeletes().empty());
}

TEST_F(FilesDelete, AFailedSchedulingAtRestartIsAFailure) {
    Write(u"C:\\work\\locked.bin");
    HANDLE lock = Lock(u"C:\\work\\locked.bin");
    jxplat::MachineDescription standard;
    standard.user.elevated = false; // only an elevated administrator may schedule
    m_root.Describe(standard);
    bool restart = true;
    EXPECT_FALSE(
        DeleteFileOrDirectory(u"C:\\work\\locked.bin", nullptr, JX_DELETE_FILES_AT_REBOOT, &restart));
    EXPECT_FALSE(restart);
    EXPECT_FALSE(DeleteFileOrDirectory(
        u"C:\\work", nullptr, JX_DELETE_REMOVE_SELF | JX_DELETE_FILES_AT_REBOOT | JX_DELETE_FOLDERS_AT_REBOOT,
        &restart));
    CloseHandle(lock);
}

TEST_F(FilesDelete, LinksAreDeletedThemselvesNeverFollowed) {
    Folder(u"C:\\outside");
    Write(u"C:\\outside\\precious.txt");
    Folder(u"C:\\work\\tree");
    const std::string host = jxplat::WindowsToHostPath(u"C:\\");
    std::filesystem::create_directory_symlink(host + "/outside", host + "/work/tree/folderlink");
    std::filesystem::create_symlink(host + "/outside/precious.txt", host + "/work/tree/filelink.txt");

    // The link named as the path: its target's contents are not the caller's to delete.
    EXPECT_TRUE(DeleteFileOrDirectory(u"C:\\work\\tree\\folderlink", nullptr, JX_DELETE_RECURSE));
    EXPECT_TRUE(Exists(u"C:\\outside\\precious.txt"));

    EXPECT_TRUE(DeleteFileOrDirectory(u"C:\\work\\tree", nullptr, JX_DELETE_REMOVE_SELF));
    EXPECT_FALSE(Exists(u"C:\\work\\tree"));
    EXPECT_TRUE(Exists(u"C:\\outside\\precious.txt"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\outside\\precious.txt") & FILE_ATTRIBUTE_READONLY, 0u);
}

} // namespace
