// Empty-folder clean-up: adding folders, and registering them and their emptied parents for
// deletion at the next reboot, on real folders of a fresh machine root.
#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "jxactions/JxEmptyFolders.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"
#include "jxtest/machine_root.h"

namespace {

using JxSetup::Data::CleanEmptyFolder;
using JxSetup::Data::JxEmptyFolders;

void MakeDirs(const std::u16string& path) {
    std::filesystem::create_directories(jxplat::WindowsToHostPath(path));
}

void WriteFile(const std::u16string& path) {
    std::ofstream(jxplat::WindowsToHostPath(path), std::ios::binary) << "x";
}

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::u16string> PendingDeletes() {
    std::vector<std::u16string> result;
    for (const auto& op : jxplat::ReadPendingFileOperations()) {
        EXPECT_TRUE(op.target.empty());
        result.push_back(op.source);
    }
    return result;
}

// Each operation brackets its own lines: AddFolder's BEGIN and END, inside them the worker's BEGIN
// and its closing line.
TEST(EmptyFolders, AddFolder) {
    jxtest::TempMachineRoot root;
    MakeDirs(u"C:\\Apps\\Tool");
    WriteFile(u"C:\\Apps\\Tool\\tool.exe");
    std::vector<std::u16string> log; // "LEVEL|context|message" of AddFolder and its worker
    JxSetup::Data::JxLog::SetCaptureForTesting(
        [&](int level, std::u16string_view, std::u16string_view context, std::u16string_view message) {
            if (context.ends_with(u"::AddFolder") || context.ends_with(u"::AddToFolderSet"))
                log.push_back(std::u16string(JxSetup::Data::LogLevelName(level)) + u"|" +
                              std::u16string(context.substr(context.rfind(u':') + 1)) + u"|" +
                              std::u16string(message));
        });
    const std::u16string worker = u"AddToFolderSet|";
    const struct {
        const char16_t* path;
        std::vector<std::u16string> lines;
        size_t setSize; // folders in the set afterwards
    } cases[] = {
        {u"C:\\Apps\\Tool\\tool.exe",
         {u"LP_INFO|" + worker + u"Removed filename from parameter: C:\\Apps\\Tool",
          u"END|" + worker + u"Folder added: C:\\Apps\\Tool"},
         1},
        {u"c:/apps/TOOL/", {u"END|" + worker + u"Folder already added."}, 1},
        {u"C:\\APPS\\tool", {u"END|" + worker + u"Folder already added."}, 1},
        {u"C:\\Apps\\Missing", {u"END|" + worker + u"Folder not found."}, 1},
        {u"", {u"END|" + worker + u"parameter is empty"}, 1},
        {u"C:\\Apps", {u"END|" + worker + u"Folder added: C:\\Apps"}, 2},
    };
    CleanEmptyFolder sets;
    JxEmptyFolders folders(sets);
    for (const auto& c : cases) {
        SCOPED_TRACE(jxtext::N(c.path));
        log.clear();
        folders.AddFolder(c.path);
        std::vector<std::u16string> expected = {u"BEGIN|AddFolder|" + std::u16string(c.path),
                                                u"BEGIN|" + worker + c.path};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back(u"END|AddFolder|");
        EXPECT_EQ(log, expected);
        EXPECT_EQ(sets.m_Folders.size(), c.setSize);
    }
    // What is not an absolute, resolved folder below a root never reaches the worker.
    for (const char16_t* path :
         {u"C:\\", u"C:\\Apps\\Tool\\..\\Tool\\.", u"C:\\Apps\\Tool\\..", u"Apps\\Tool", u"C:\\Apps."}) {
        log.clear();
        folders.AddFolder(path);
        EXPECT_EQ(log, (std::vector<std::u16string>{
                           u"BEGIN|AddFolder|" + std::u16string(path),
                           u"END|AddFolder|Not an absolute, resolved folder below a root: never cleaned."}));
    }
    JxSetup::Data::JxLog::SetCaptureForTesting({});
    EXPECT_TRUE(sets.m_BlackList.empty());
    EXPECT_EQ(sets.m_Folders.size(), 2u);
}

TEST(EmptyFolders, CleanFolderRegistersEmptiedChainsDeepestFirst) {
    const struct {
        const char* name;
        std::vector<std::u16string> files;     // made with their folders
        std::vector<std::u16string> dirs;      // made, empty
        std::vector<std::u16string> blackList; // property folders of the run
        std::vector<std::u16string> toClean;
        std::vector<std::u16string> registered; // in order
        std::vector<std::u16string> goneAfterReboot;
        std::vector<std::u16string> keptAfterReboot;
    } cases[] = {
        {"stops below a folder holding anything else",
         {u"C:\\Data\\other.txt"},
         {u"C:\\Data\\App\\sub\\deep"},
         {},
         {u"C:\\Data\\App\\sub\\deep"},
         {u"C:\\Data\\App\\sub\\deep", u"C:\\Data\\App\\sub", u"C:\\Data\\App"},
         {u"C:\\Data\\App"},
         {u"C:\\Data\\other.txt"}},
        {"never a black-listed folder",
         {},
         {u"C:\\Program Files\\Maker\\App"},
         {u"C:\\Program Files", u"C:\\Windows"},
         {u"C:\\Program Files\\Maker\\App", u"C:\\Windows"},
         {u"C:\\Program Files\\Maker\\App", u"C:\\Program Files\\Maker"},
         {u"C:\\Program Files\\Maker"},
         {u"C:\\Program Files", u"C:\\Windows"}},
        {"a folder still holding a file is registered but stays",
         {u"C:\\Busy\\App\\locked.dll", u"C:\\keep.txt"},
         {},
         {},
         {u"C:\\Busy\\App"},
         {u"C:\\Busy\\App", u"C:\\Busy"},
         {},
         {u"C:\\Busy\\App\\locked.dll", u"C:\\Busy"}},
        {"sibling folders empty their common parent, which comes last",
         {u"C:\\keep.txt"},
         {u"C:\\S\\b", u"C:\\S\\a"},
         {},
         {u"C:\\S\\b", u"C:\\S\\a"},
         {u"C:\\S\\a", u"C:\\S\\b", u"C:\\S"},
         {u"C:\\S"},
         {u"C:\\keep.txt"}},
        {"a drive root is never registered",
         {},
         {u"D:\\Only\\App"},
         {},
         {u"D:\\Only\\App"},
         {u"D:\\Only\\App", u"D:\\Only"},
         {u"D:\\Only"},
         {u"D:\\"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        jxtest::TempMachineRoot root;
        for (const auto& dir : c.dirs)
            MakeDirs(dir);
        for (const auto& file : c.files) {
            MakeDirs(file.substr(0, file.rfind(u'\\')));
            WriteFile(file);
        }
        for (const auto& folder : c.blackList)
            MakeDirs(folder);
        CleanEmptyFolder sets;
        JxEmptyFolders folders(sets);
        for (const auto& folder : c.blackList)
            folders.AddFolderToBlackList(folder);
        for (const auto& folder : c.toClean)
            folders.AddFolder(folder);
        folders.CleanFolder();
        EXPECT_EQ(PendingDeletes(), c.registered);
        jxplat::CarryOutPendingFileOperations(); // a folder not empty by then stays, as on Windows
        for (const auto& path : c.goneAfterReboot)
            EXPECT_FALSE(Exists(path)) << jxtext::N(path);
        for (const auto& path : c.keptAfterReboot)
            EXPECT_TRUE(Exists(path)) << jxtext::N(path);
    }
}

TEST(EmptyFolders, LinkInParentIsNeverFollowed) {
    jxtest::TempMachineRoot root;
    MakeDirs(u"C:\\L\\App");
    MakeDirs(u"C:\\Elsewhere");
    WriteFile(u"C:\\Elsewhere\\precious.txt");
    std::filesystem::create_directory_symlink(jxplat::WindowsToHostPath(u"C:\\Elsewhere"),
                                              jxplat::WindowsToHostPath(u"C:\\L\\link"));
    CleanEmptyFolder sets;
    JxEmptyFolders folders(sets);
    folders.AddFolder(u"C:\\L\\App");
    folders.CleanFolder();
    EXPECT_EQ(PendingDeletes(), std::vector<std::u16string>{u"C:\\L\\App"});
    ASSERT_TRUE(jxplat::CarryOutPendingFileOperations());
    EXPECT_FALSE(Exists(u"C:\\L\\App"));
    EXPECT_TRUE(Exists(u"C:\\Elsewhere\\precious.txt"));
    EXPECT_TRUE(Exists(u"C:\\L\\link"));
}

// The black list knows its folders by file identity: a black-listed folder reached through a link,
// or written another way, ends the walk up as the folder itself does.
TEST(EmptyFolders, ABlackListedFolderIsKnownThroughALinkAndAnotherSpelling) {
    jxtest::TempMachineRoot root;
    MakeDirs(u"C:\\Windows");
    MakeDirs(u"C:\\Apps\\Tool\\Sub");
    const std::string host = jxplat::WindowsToHostPath(u"C:\\");
    std::filesystem::create_directory_symlink(host + "/Windows", host + "/Apps/Tool/win");
    MakeDirs(u"C:\\Windows\\Temp\\Product");
    CleanEmptyFolder sets;
    JxEmptyFolders folders(sets);
    folders.AddFolderToBlackList(u"c:/WINDOWS/");
    folders.AddFolderToBlackList(u"C:\\Apps\\Tool");
    EXPECT_TRUE(JxEmptyFolders::ContainsFolder(u"C:\\Apps\\Tool\\win", sets.m_BlackList));
    EXPECT_TRUE(JxEmptyFolders::ContainsFolder(u"C:\\APPS\\tool\\", sets.m_BlackList));
    EXPECT_FALSE(JxEmptyFolders::ContainsFolder(u"C:\\Apps\\Tool\\Sub", sets.m_BlackList));
    EXPECT_FALSE(JxEmptyFolders::ContainsFolder(u"C:\\Apps\\Missing", sets.m_BlackList));

    folders.AddFolder(u"C:\\Apps\\Tool\\win\\Temp\\Product");
    folders.CleanFolder();
    const std::vector<std::u16string> pending = PendingDeletes();
    EXPECT_EQ(pending, (std::vector<std::u16string>{u"C:\\Apps\\Tool\\win\\Temp\\Product",
                                                    u"C:\\Apps\\Tool\\win\\Temp"}));
}

} // namespace
