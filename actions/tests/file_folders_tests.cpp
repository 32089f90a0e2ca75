// The folder, deletion, command-line and session helpers of the file record against a fresh
// machine root.
#include <fstream>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxtest/machine_root.h"

namespace {

using JxSetup::Data::JxFile;
using JxSetup::Data::JxProcessEntry;

class FileFolders : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(JxFile::PrepareDestinationDirectory(u"C:\\work\\sub\\deep"), 0u); }
    jxtest::TempMachineRoot m_root;
};

TEST_F(FileFolders, CreatesCopiesListsAndRemovesFolders) {
    EXPECT_EQ(JxFile::PrepareDestinationDirectory(u"C:\\work\\sub"), 183u);
    jxtest::WriteMachineFile(u"C:\\work\\a.txt", "a");
    jxtest::WriteMachineFile(u"C:\\work\\b.log", "b");
    jxtest::WriteMachineFile(u"C:\\work\\sub\\c.txt", "c");

    JxFile::CopyDir(u"C:\\work", u"C:\\flat", false);
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\flat\\a.txt"));
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\flat\\sub"));
    JxFile::CopyDir(u"C:\\work", u"C:\\tree", true);
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\tree\\sub\\c.txt"));

    EXPECT_EQ(JxFile::GetFilesInDirectory(u"C:\\work", u"*.txt"),
              std::vector<std::u16string>{u"C:\\work\\a.txt"});
    EXPECT_EQ(JxFile::GetFilesInDirectory(u"C:\\work", u"*").size(), 2u); // folders are not listed
    EXPECT_TRUE(JxFile::GetFilesInDirectory(u"C:\\work", u"").empty());
    EXPECT_TRUE(JxFile::GetFilesInDirectory(u"C:\\work\\a.txt", u"*").empty());

    EXPECT_EQ(JxFile::GetParentFolder(u"C:\\work\\sub\\c.txt", 0), u"C:\\work\\sub");
    EXPECT_EQ(JxFile::GetParentFolder(u"C:\\work\\sub\\c.txt", 1), u"C:\\work");
    EXPECT_EQ(JxFile::GetParentFolder(u"C:\\work\\sub", 1), u"C:\\work");

    EXPECT_TRUE(JxFile::DeleteEmptyDir(u"C:\\missing"));
    EXPECT_FALSE(JxFile::DeleteEmptyDir(u"C:\\work\\a.txt"));
    EXPECT_FALSE(JxFile::DeleteEmptyDir(u"C:\\work\\sub"));
    EXPECT_TRUE(JxFile::DeleteEmptyDir(u"C:\\work\\sub\\deep"));
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\work\\sub\\deep"));
}

TEST_F(FileFolders, DeleteFilesByMaskAndRecursion) {
    struct {
        const char16_t* mask;
        bool recursive;
        std::vector<const char16_t*> gone;
        std::vector<const char16_t*> kept;
    } rows[] = {
        {u"*.*",
         false,
         {u"C:\\work\\a.txt", u"C:\\work\\b.log"},
         {u"C:\\work\\sub\\c.log", u"C:\\work\\sub"}},
        {u"*.log", true, {u"C:\\work\\b.log", u"C:\\work\\sub"}, {u"C:\\work\\a.txt"}}, // emptied folders go
        {u"*.*", true, {u"C:\\work"}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(jxtext::N(row.mask));
        JxFile::PrepareDestinationDirectory(u"C:\\work\\sub");
        for (const char16_t* file : {u"C:\\work\\a.txt", u"C:\\work\\b.log", u"C:\\work\\sub\\c.log"})
            jxtest::WriteMachineFile(file);
        bool reboot = true;
        EXPECT_TRUE(JxFile::DeleteFiles(u"C:\\work", row.mask, row.recursive, reboot));
        for (const char16_t* path : row.gone)
            EXPECT_FALSE(jxtest::MachinePathExists(path)) << jxtext::N(path);
        for (const char16_t* path : row.kept)
            EXPECT_TRUE(jxtest::MachinePathExists(path)) << jxtext::N(path);
        JxFile::DeleteFiles(u"C:\\work", u"*.*", true, reboot);
    }
}

TEST_F(FileFolders, ALockedFileIsLeftToTheRebootAndReported) {
    jxtest::WriteMachineFile(u"C:\\work\\locked.dll");
    HANDLE lock = CreateFileW(u"C:\\work\\locked.dll", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    bool reboot = false;
    EXPECT_TRUE(JxFile::DeleteFiles(u"C:\\work", u"*.*", true, reboot));
    EXPECT_TRUE(reboot);
    std::vector<std::string> deletes;
    for (const auto& operation : jxplat::ReadPendingFileOperations())
        deletes.push_back(jxtext::N(operation.source));
    EXPECT_EQ(deletes, (std::vector<std::string>{"C:\\work\\locked.dll", "C:\\work"}));
    CloseHandle(lock);
}

TEST(FileCommandLine, ParametersFollowTheProgramToken) {
    struct {
        const char16_t* line;
        const char16_t* params;
    } rows[] = {
        {u"\"C:\\My App\\Setup.EXE\" /a=b /c", u"/a=b /c"},
        {u"C:\\app\\setup.exe /a=b", u"/a=b"},
        {u"C:\\app\\setup.exe", u""},
        {u"\"C:\\x.exe.dir\\run.bin\"   x", u"x"},
        {u"setup", u""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(jxtext::N(JxFile::_cmd_SkipProgram(row.line)), jxtext::N(row.params))
            << jxtext::N(row.line);
}

TEST(FileSessions, ProcessRunningInSessionMatchesNameAndSession) {
    const std::vector<JxProcessEntry> processes = {{10, 1, u"Tool.exe"}, {11, 2, u"other.exe"}};
    EXPECT_TRUE(JxFile::isProcessRunningInSession(u"tool.EXE", 1, processes));
    EXPECT_FALSE(JxFile::isProcessRunningInSession(u"tool.exe", 2, processes));
    EXPECT_FALSE(JxFile::isProcessRunningInSession(u"other.exe", 1, processes));
}

TEST(FileSessions, LaunchesInEveryActiveSessionWhereTheProgramDoesNotRun) {
    jxplat::MachineDescription machine;
    machine.sessions = {{0, "disconnected", "Services", "", false},
                        {1, "active", "Console", "", false},
                        {2, "active", "RDP-Tcp#1", "Other", true}, // its environment cannot be made
                        {3, "active", "RDP-Tcp#2", "Third", false},
                        {4, "disconnected", "RDP-Tcp#3", "Gone", false}};
    jxtest::TempMachineRoot root(machine);
    JxFile::PrepareDestinationDirectory(u"C:\\app");
    JxFile::PrepareDestinationDirectory(u"C:\\other");
    const std::string app = jxplat::WindowsToHostPath(u"C:\\app");
    jxtest::WriteMachineFile(u"C:\\app\\tool.exe", "#!/bin/sh\necho started >> '" + app + "/started.txt'\n");
    // The same program name, already running in session 1 until the test lets it end.
    jxtest::WriteMachineFile(u"C:\\other\\tool.exe",
                             "#!/bin/sh\nwhile [ ! -f '" + app + "/go' ]; do sleep 0.02; done\n");
    HANDLE token = nullptr;
    ASSERT_TRUE(WTSQueryUserToken(1, &token));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION running{};
    std::u16string line = u"\"C:\\other\\tool.exe\"";
    ASSERT_TRUE(CreateProcessAsUserW(token, nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &running));
    CloseHandle(token);

    // Session 2 fails (no environment), which makes the result false; session 3 still gets it.
    EXPECT_FALSE(JxFile::LaunchFileInActiveSessions(u"C:\\app", u"tool.exe", u"", true));
    EXPECT_EQ(jxtest::ReadHostFile(app + "/started.txt"), "started\n");
    jxtest::WriteMachineFile(u"C:\\app\\go");
    EXPECT_EQ(WaitForSingleObject(running.hProcess, 30000), WAIT_OBJECT_0);
    CloseHandle(running.hProcess);
    CloseHandle(running.hThread);
}

} // namespace
