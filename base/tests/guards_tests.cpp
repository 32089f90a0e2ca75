// The guards of paths and ids from input, and the delete helpers that rely on them, against hostile
// texts; the protected-folder test against other spellings and links on a fresh machine root.
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/files.h"
#include "jxbase/guards.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/hostile_paths.h"
#include "jxtest/machine_root.h"

namespace {

TEST(Guards, GuidFormIds) {
    for (const char16_t* id :
         {u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}", u"{abcdef01-2345-6789-abcd-ef0123456789}"})
        EXPECT_TRUE(IsGuidFormId(id)) << jxtext::N(id);
    for (const char16_t* id :
         {u"", u" ", u".", u"..", u"{}", u"{old}", u"5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31",
          u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F3}", u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}x",
          u"{5A3E9C21-4B7D-4F60-9A12+7C0E2D4B8F31}", u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F3G}",
          u"{..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\...}"})
        EXPECT_FALSE(IsGuidFormId(id)) << jxtext::N(id);
}

TEST(Guards, SinglePathSegments) {
    for (const char16_t* name : {u"a", u"setup.exe", u" lead", u"a.b.c", u"[Content_Types].xml", u"{GUID}"})
        EXPECT_TRUE(IsSinglePathSegment(name)) << jxtext::N(name);
    for (const char16_t* name : {u"", u" ", u"  ", u".", u"..", u"...", u"x.", u"x ", u"x. ", u"a\\b", u"a/b",
                                 u"C:", u"a:b", u"*", u"a?", u"a|b", u"a<b", u"a\"b", u"a\tb"})
        EXPECT_FALSE(IsSinglePathSegment(name)) << jxtext::N(name);
    // A pattern may hold wildcards, nothing else more.
    EXPECT_TRUE(IsSinglePathSegment(u"*.*", true));
    EXPECT_TRUE(IsSinglePathSegment(u"{*}.wpk", true));
    for (const char16_t* pattern : {u"..\\*", u"x\\*.*", u"*.", u".."})
        EXPECT_FALSE(IsSinglePathSegment(pattern, true)) << jxtext::N(pattern);

    // A name to write a file under is no device either.
    for (const char16_t* name :
         {u"setup.exe", u"{A}.wpk", u"$CORE.wpk", u"CONFIG.wpk", u"COM0", u"LPT10.txt", u"console"})
        EXPECT_TRUE(IsPlainFileName(name)) << jxtext::N(name);
    for (const char16_t* name : {u"CON", u"con.txt", u"Nul.wpk", u"aux", u"PRN.x.y", u"COM1", u"lpt9.log",
                                 u"CON .txt", u"..", u"a\\b", u"C:x", u"*.wpk"})
        EXPECT_FALSE(IsPlainFileName(name)) << jxtext::N(name);

    EXPECT_TRUE(IsPathInsideFolder(u"sub\\file.txt"));
    EXPECT_TRUE(IsPathInsideFolder(u"sub/deep/file.txt"));
    for (const char16_t* path : {u"", u"\\file", u"..\\file", u"sub\\..\\..\\file", u"sub\\.\\file", u"C:\\x",
                                 u"sub\\*.txt", u"sub \\file"})
        EXPECT_FALSE(IsPathInsideFolder(path)) << jxtext::N(path);
}

TEST(Guards, ResolvedFolders) {
    for (const char16_t* folder : {u"C:\\x", u"c:/x/", u"C:\\x\\\\y\\", u"D:\\Program Files (x86)\\Tolvane",
                                   u"\\\\server\\share\\x", u"C:\\x\\[Content]"})
        EXPECT_TRUE(IsResolvedFolder(folder)) << jxtext::N(folder);
    for (const std::u16string& folder : jxtest::HostileFolders())
        EXPECT_FALSE(IsResolvedFolder(folder) && IsExpandedFolder(folder)) << jxtext::N(folder);
    EXPECT_FALSE(IsExpandedFolder(u"C:\\x\\[Unset]"));
}

TEST(Guards, FoldersBelowABase) {
    const struct {
        const char16_t* folder;
        const char16_t* base;
        bool below;
    } cases[] = {
        {u"C:\\ProgramData\\Tolvane\\Setups\\x", u"C:\\ProgramData\\Tolvane", true},
        {u"c:/programdata/TOLVANE/x/", u"C:\\ProgramData\\Tolvane\\", true},
        {u"C:\\x", u"C:\\", true},
        {u"\\\\server\\share\\x", u"\\\\SERVER\\share", true},
        {u"C:\\ProgramData\\Tolvane", u"C:\\ProgramData\\Tolvane", false}, // the base itself
        {u"C:\\ProgramData\\TolvaneX\\y", u"C:\\ProgramData\\Tolvane", false},
        {u"C:\\ProgramData\\Tolvane\\..\\..\\Windows", u"C:\\ProgramData\\Tolvane", false},
        {u"C:\\ProgramData\\Tolvane\\.", u"C:\\ProgramData\\Tolvane", false},
        {u"C:\\ProgramData\\Tolvane\\x", u"C:\\ProgramData\\..\\ProgramData\\Tolvane", false},
        {u"D:\\ProgramData\\Tolvane\\x", u"C:\\ProgramData\\Tolvane", false},
        {u"\\\\other\\share\\x", u"\\\\server\\share", false},
        {u"C:\\x", u"relative", false},
        {u"C:\\x", u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsFolderBelow(c.folder, c.base), c.below)
            << jxtext::N(c.folder) << " / " << jxtext::N(c.base);
}

// Files are installed only on the machine's own drives: never on the host's drive Z:, a share or a
// drive the machine does not have.
TEST(Guards, LocalFoldersAreOnTheMachinesOwnDrives) {
    jxtest::TempMachineRoot root;
    for (const char16_t* folder : {u"C:\\Program Files (x86)\\Tolvane\\Quillmere Notes", u"c:/x/"})
        EXPECT_TRUE(IsLocalFolder(folder)) << jxtext::N(folder);
    for (const char16_t* folder :
         {u"Z:\\tmp\\x", u"D:\\Apps", u"\\\\server\\share\\x", u"C:\\", u"C:\\x\\..", u"C:\\x.", u"x"})
        EXPECT_FALSE(IsLocalFolder(folder)) << jxtext::N(folder);
}

TEST(Guards, ProtectedFoldersAreKnownByIdentity) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Windows", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Apps", nullptr));
    const std::string host = jxplat::WindowsToHostPath(u"C:\\");
    std::filesystem::create_directory_symlink(host + "/Windows", host + "/Apps/win");
    const std::vector<std::u16string> protectedFolders = {u"C:\\Windows"};
    for (const char16_t* path : {u"C:\\Windows", u"c:/WINDOWS/", u"C:\\Apps\\..\\Windows", u"C:\\Apps\\win"})
        EXPECT_TRUE(IsProtectedFolder(path, protectedFolders)) << jxtext::N(path);
    for (const char16_t* path : {u"C:\\Apps", u"C:\\Missing", u"C:\\", u""})
        EXPECT_FALSE(IsProtectedFolder(path, protectedFolders)) << jxtext::N(path);
}

// A folder below a base with a link on the way (at any depth below the base, or the folder itself)
// is refused; a link above the base, or a folder that does not exist yet, is not this test's concern.
TEST(Guards, FoldersBelowABaseWithoutLinks) {
    jxtest::TempMachineRoot root;
    const std::string host = jxplat::WindowsToHostPath(u"C:\\");
    std::filesystem::create_directories(host + "/Data/Setups/prod/sub");
    std::filesystem::create_directories(host + "/Elsewhere/sub");
    std::filesystem::create_directory_symlink(host + "/Elsewhere", host + "/Data/Setups/linked");
    std::filesystem::create_directory_symlink(host + "/Data", host + "/DataLink");
    const struct {
        const char16_t* folder;
        const char16_t* base;
        bool accepted;
    } cases[] = {
        {u"C:\\Data\\Setups\\prod\\sub", u"C:\\Data\\Setups", true},
        {u"C:\\Data\\Setups\\missing\\x", u"C:\\Data\\Setups", true},
        {u"C:\\DataLink\\Setups\\prod", u"C:\\DataLink\\Setups", true}, // the link is above the base
        {u"C:\\Data\\Setups\\linked", u"C:\\Data\\Setups", false},
        {u"C:\\Data\\Setups\\linked\\sub", u"C:\\Data\\Setups", false},
        {u"C:\\DataLink\\Setups\\prod", u"C:\\", false},
        {u"C:\\Data\\Setups", u"C:\\Data\\Setups", false}, // not below
        {u"C:\\Data\\Setups\\..\\x", u"C:\\Data\\Setups", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsFolderBelowWithoutLinks(c.folder, c.base), c.accepted)
            << jxtext::N(c.folder) << " / " << jxtext::N(c.base);
}

// The delete helpers refuse every hostile folder: nothing on the drive goes, nothing is left to
// the reboot. A pattern that reaches into another folder is refused the same way.
TEST(Guards, TheDeleteHelpersRefuseHostileFolders) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\x", nullptr));
    const std::vector<std::u16string> victims = {u"C:\\victim.txt", u"C:\\x\\victim.txt"};
    for (const std::u16string& victim : victims) {
        HANDLE file = CreateFileW(victim.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    const DWORD everything = JX_DELETE_REMOVE_SELF | JX_DELETE_FILES_AT_REBOOT | JX_DELETE_FOLDERS_AT_REBOOT;
    for (const std::u16string& folder : jxtest::HostileFolders()) {
        SCOPED_TRACE(jxtext::N(folder));
        bool restart = true;
        EXPECT_FALSE(DeleteFileOrDirectory(folder.c_str(), nullptr, everything, &restart));
        EXPECT_FALSE(restart);
        EXPECT_FALSE(DeleteDirectoryContents(folder.c_str(), u"*.*", true, everything));
    }
    // A file written so that it reaches a file the text does not plainly name.
    for (const char16_t* file :
         {u"victim.txt", u"x\\victim.txt", u"C:victim.txt", u"C:\\x\\..\\victim.txt", u"C:\\x\\.\\victim.txt",
          u"C:\\x\\victim.txt.", u"C:\\x\\victim.txt ", u"\\\\?\\C:\\victim.txt"}) {
        SCOPED_TRACE(jxtext::N(file));
        EXPECT_FALSE(DeleteFileOrDirectory(file, nullptr, everything));
    }
    for (const char16_t* pattern : {u"..\\*.*", u"..\\victim.txt", u"..", u"x\\..\\..\\*"}) {
        SCOPED_TRACE(jxtext::N(pattern));
        EXPECT_FALSE(DeleteFileOrDirectory(u"C:\\x", pattern, everything));
        EXPECT_FALSE(DeleteDirectoryContents(u"C:\\x", pattern, true, everything));
    }
    for (const std::u16string& victim : victims)
        EXPECT_NE(GetFileAttributesW(victim.c_str()), INVALID_FILE_ATTRIBUTES) << jxtext::N(victim);
    EXPECT_TRUE(jxplat::ReadPendingFileOperations().empty());
}

} // namespace
