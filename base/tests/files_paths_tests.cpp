// Path helpers, the redirection guard and the known-folder lookup of the base library.
#include <thread>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/files.h"
#include "jxbase/knownfolder.h"
#include "jxbase/wow64guard.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

TEST(FilesPaths, JoinFolderPathAndFileName) {
    struct {
        const char16_t* folder;
        const char16_t* name;
        const char* joined;
    } rows[] = {
        {u"C:\\a\\", u"\\b", "C:\\a\\b"},
        {u"C:\\a//", u"/b\\c", "C:\\a\\b\\c"},
        {u"", u"b", "\\b"},
        {nullptr, u"b", "\\b"},
        {u"C:\\a", u"", "C:\\a\\"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(jxtext::N(JoinFolderPath(row.folder, row.name)), row.joined);
    EXPECT_EQ(jxtext::N(GetFileNameFromPath(u"C:\\a\\b.txt")), "b.txt");
    EXPECT_EQ(jxtext::N(GetFileNameFromPath(u"name")), "name");
}

TEST(FilesPaths, FileExistsAcceptsQuotesWildcardsAndFolders) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work", nullptr));
    HANDLE file = CreateFileW(u"C:\\work\\a.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(FileExists(u"\"C:\\work\\a.txt\""));
    EXPECT_TRUE(FileExists(u"C:\\work\\*.txt"));
    EXPECT_TRUE(FileExists(u"C:\\work"));
    EXPECT_FALSE(FileExists(u"C:\\work\\")); // the search takes no trailing separator
    EXPECT_FALSE(FileExists(u"C:\\work\\*.log"));
    EXPECT_FALSE(FileExists(u""));
}

TEST(FilesPaths, ExecutablePathAndStringBuffers) {
    const std::u16string path = GetExecutablePath();
    EXPECT_TRUE(jxtext::EndsWithNoCase(path, u"base_tests")) << jxtext::N(path);
    std::u16string text = u"abc";
    WCHAR* buffer = GetStringBuffer(text, 10);
    EXPECT_EQ(buffer[5], 0);
    buffer[3] = u'd';
    ReleaseStringBuffer(text);
    EXPECT_EQ(jxtext::N(text), "abcd");
    ReleaseStringBuffer(text, 2);
    EXPECT_EQ(jxtext::N(text), "ab");
}

// Redirection is off on this thread when C:\Windows\System32 shows the native folder.
bool RedirectionOff() {
    return GetFileAttributesW(u"C:\\Windows\\System32\\native-only") != INVALID_FILE_ATTRIBUTES;
}

TEST(FilesRedirection, GuardDisablesOnceAndRevertsOnlyOnItsThread) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(jxplat::EnsureHostDirectory(jxplat::MachineRoot() + "/drive_c/Windows/System32/native-only"));
    ASSERT_FALSE(RedirectionOff());
    {
        CWow64FsRedirectionGuard guard(true);
        EXPECT_TRUE(guard.IsDisabled());
        EXPECT_TRUE(guard.Disable()); // already held off: nothing more
        EXPECT_TRUE(RedirectionOff());
    }
    EXPECT_FALSE(RedirectionOff());

    auto* moved = new CWow64FsRedirectionGuard(true);
    bool revertedElsewhere = true;
    std::thread([&] {
        revertedElsewhere = moved->Revert();
        delete moved; // another thread's destructor leaves the owner's state alone
    }).join();
    EXPECT_FALSE(revertedElsewhere);
    EXPECT_TRUE(RedirectionOff());
    Wow64RevertWow64FsRedirection(nullptr); // back to redirection on for the next test
    EXPECT_FALSE(RedirectionOff());
}

TEST(FilesKnownFolder, LooksTheFolderUpThroughShell32) {
    jxtest::TempMachineRoot root;
    CKnownFolderPath lookup;
    std::u16string path = u"old";
    EXPECT_EQ(lookup.GetPath(FOLDERID_ProgramData, 0, path), S_OK);
    EXPECT_EQ(jxtext::N(path), "C:\\ProgramData");
    const KNOWNFOLDERID unknown = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_TRUE(FAILED(lookup.GetPath(unknown, 0, path)));
    EXPECT_TRUE(path.empty());
}

} // namespace
