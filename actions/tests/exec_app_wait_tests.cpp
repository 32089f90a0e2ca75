// ExecAppWait: starting programs directly and through the shell, web addresses, waiting with and
// without a time limit, and what the result says about the program's end.
#include <gtest/gtest.h>

#include "exec_app_test_support.h"

using namespace jxapptest;

namespace {

const std::u16string kProgram = u"C:\\Program Files\\Jx Tools\\exit code.exe";
const std::u16string kSeen = u"C:\\seen.txt";

class ExecAppWaitTest : public ::testing::Test {
protected:
    std::string Seen() { return jxtest::ReadHostFile(jxplat::WindowsToHostPath(kSeen)); }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
    JxData m_Data;
};

} // namespace

TEST_F(ExecAppWaitTest, WaitsAndHandsOnTheExitCode) {
    PlaceExitCodeProgram(kProgram);
    struct Row {
        std::u16string path;
        std::u16string arguments;
        int32_t result;
        std::string line; // the command line the program saw
    } rows[] = {
        {kProgram, u"0 C:\\seen.txt", 0, "\"C:\\Program Files\\Jx Tools\\exit code.exe\" 0 C:\\seen.txt"},
        {kProgram, u"3010 C:\\seen.txt", 3010,
         "\"C:\\Program Files\\Jx Tools\\exit code.exe\" 3010 C:\\seen.txt"},
        // A quoted path is not quoted again; arguments beginning with a blank get no second one.
        {u"\"" + kProgram + u"\"", u" 1641 C:\\seen.txt", 1641,
         "\"C:\\Program Files\\Jx Tools\\exit code.exe\" 1641 C:\\seen.txt"},
        // Without a path the command line is the arguments as they are.
        {u"", u"\"" + kProgram + u"\" 1603 C:\\seen.txt", 1603,
         "\"C:\\Program Files\\Jx Tools\\exit code.exe\" 1603 C:\\seen.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(
            m_Data.ExecAppWait(row.path, row.arguments, false, true, true, false, JxData::kExecNoTimeLimit),
            row.result)
            << m_Log.Dump();
        EXPECT_EQ(Seen(), row.line);
        EXPECT_TRUE(m_Log.Has("LP_INFO", "Exit code is " + std::to_string(row.result) + "."));
    }
    EXPECT_TRUE(m_Log.Has("BEGIN", "App: C:\\Program Files\\Jx Tools\\exit code.exe Arg: 0 C:\\seen.txt "
                                   "ShellExecute: false Hide: true Wait: true TimeOut -1"));
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

TEST_F(ExecAppWaitTest, ACrashStatusIsAFailureNeverSuccess) {
    PlaceExitCodeProgram(kProgram);
    EXPECT_EQ(
        m_Data.ExecAppWait(kProgram, u"3221225477", false, false, true, false, JxData::kExecNoTimeLimit),
        -1073741819);
    EXPECT_TRUE(m_Log.Has("ERROR", "0xC0000005")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("END", "-1073741819"));
}

TEST_F(ExecAppWaitTest, AFailedStartGivesTheNegatedWindowsError) {
    WriteText(u"C:\\Tools\\broken.exe", "this is no program");
    struct Row {
        bool useShell;
        std::u16string path;
        int32_t result;
        std::string logged;
    } rows[] = {
        {false, u"C:\\Tools\\missing.exe", -ERROR_FILE_NOT_FOUND,
         "Can't create Process using CreateProcess. Errorcode 2"},
        {false, u"C:\\Tools\\broken.exe", -ERROR_BAD_EXE_FORMAT, "Errorcode 193"},
        {true, u"C:\\Tools\\missing.exe", -ERROR_FILE_NOT_FOUND,
         "Failed to launch C:\\Tools\\missing.exe /x using ShellEcecute. Errorcode 2"},
    };
    for (const Row& row : rows) {
        m_Log.Clear();
        EXPECT_EQ(
            m_Data.ExecAppWait(row.path, u"/x", row.useShell, false, true, false, JxData::kExecNoTimeLimit),
            row.result);
        EXPECT_TRUE(m_Log.Has("ERROR", row.logged)) << m_Log.Dump();
    }
}

TEST_F(ExecAppWaitTest, WithoutWaitARunningProgramGivesMinusOne) {
    CGate gate(u"C:\\Tools\\slow.exe");
    bool waited = false;
    m_Data.m_WaitForProcessForTesting = [&](HANDLE, DWORD) {
        waited = true;
        return static_cast<DWORD>(WAIT_FAILED);
    };
    EXPECT_EQ(m_Data.ExecAppWait(u"C:\\Tools\\slow.exe", u"", false, false, false, false, 30), -1);
    EXPECT_FALSE(waited);
    EXPECT_TRUE(m_Log.Has("WARNING", "Can't get exit code. Process is still running."));
    gate.Open();
}

TEST_F(ExecAppWaitTest, ATimeLimitWaitsAtLeastFiveMinutesAndLeavesTheProgramRunning) {
    CGate gate(u"C:\\Tools\\slow.exe");
    struct Row {
        DWORD seconds;
        DWORD milliseconds;
    } rows[] = {
        {JxData::kExecNoTimeLimit, INFINITE},
        {0, 300000},
        {30, 300000},
        {600, 600000},
        // Computed in 64 bits: a large limit never wraps to a short wait nor becomes INFINITE.
        {4294968, INFINITE - 1},
        {0xFFFFFFFE, INFINITE - 1},
    };
    for (const Row& row : rows) {
        m_Log.Clear();
        DWORD asked = 0;
        HANDLE process = nullptr;
        m_Data.m_WaitForProcessForTesting = [&](HANDLE handle, DWORD milliseconds) {
            asked = milliseconds;
            process = handle;
            return static_cast<DWORD>(WAIT_TIMEOUT);
        };
        EXPECT_EQ(m_Data.ExecAppWait(u"C:\\Tools\\slow.exe", u"", false, false, true, false, row.seconds),
                  -1);
        EXPECT_EQ(asked, row.milliseconds) << row.seconds;
        EXPECT_NE(process, nullptr);
        EXPECT_TRUE(m_Log.Has("LP_INFO", "Process timed out. ProcResult: 258. LastError: 0")) << m_Log.Dump();
        gate.Open(); // the timed-out program is still there to be let go
    }
}

TEST_F(ExecAppWaitTest, WebAddressesOpenInTheBrowserWithoutWaiting) {
    bool waited = false;
    m_Data.m_WaitForProcessForTesting = [&](HANDLE, DWORD) {
        waited = true;
        return static_cast<DWORD>(WAIT_OBJECT_0);
    };
    EXPECT_EQ(m_Data.ExecAppWait(u"", u"\"\" HTTPS://example.test/welcome", false, false, true, false, 0), 0);
    EXPECT_EQ(m_Data.ExecAppWait(u"", u"\"\" http://example.test/a b", false, false, true, false, 0), 0);
    EXPECT_FALSE(waited);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Open default Browser with url: HTTPS://example.test/welcome"));
    const std::string opened = jxtest::ReadHostFile(jxplat::MachinePath("shellexecute.jsonl"));
    EXPECT_NE(opened.find("\"file\":\"HTTPS://example.test/welcome\""), std::string::npos) << opened;
    EXPECT_NE(opened.find("\"file\":\"http://example.test/a b\""), std::string::npos) << opened;
}

TEST_F(ExecAppWaitTest, TheShellStartWaitsWithoutLimitAndReportsNoExitCode) {
    PlaceExitCodeProgram(kProgram);
    DWORD asked = 0;
    m_Data.m_WaitForProcessForTesting = [&](HANDLE handle, DWORD milliseconds) {
        asked = milliseconds;
        return WaitForSingleObject(handle, milliseconds);
    };
    EXPECT_EQ(m_Data.ExecAppWait(kProgram, u"3010 C:\\seen.txt", true, true, true, false, 30), 0);
    EXPECT_EQ(asked, INFINITE);
    EXPECT_EQ(Seen(), "\"C:\\Program Files\\Jx Tools\\exit code.exe\" 3010 C:\\seen.txt");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Process finished."));
}

TEST_F(ExecAppWaitTest, ASixtyFourBitStartReachesTheRealSystemFolder) {
    PlaceExitCodeProgram(u"C:\\Windows\\System32\\native.exe"); // host path: the 64-bit System32
    const std::u16string program = u"C:\\Windows\\System32\\native.exe";
    EXPECT_EQ(m_Data.ExecAppWait(program, u"3010", false, false, true, true, JxData::kExecNoTimeLimit), 3010);
    // A 32-bit start is redirected to SysWOW64, where there is no such program; redirection is back.
    EXPECT_EQ(m_Data.ExecAppWait(program, u"3010", false, false, true, false, JxData::kExecNoTimeLimit),
              -ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Every line of a start shows the arguments with their protected values masked; the program gets
// them in clear.
TEST_F(ExecAppWaitTest, ProtectedArgumentsNeverReachTheLog) {
    PlaceExitCodeProgram(kProgram);
    ASSERT_TRUE(m_Data.SetProperty(u"__TOKEN", u"Lm3-expanded-token", 1));
    const std::u16string arguments = m_Data.ExpandProperties(u"0 C:\\seen.txt /__PW=Lm3 direct /t=[__TOKEN]");
    EXPECT_EQ(m_Data.ExecAppWait(kProgram, arguments, false, true, true, false, JxData::kExecNoTimeLimit), 0);
    EXPECT_NE(Seen().find("/__PW=Lm3 direct /t=Lm3-expanded-token"), std::string::npos) << Seen();
    EXPECT_EQ(m_Data.ExecAppWait(u"C:\\Tools\\missing.exe", arguments, true, true, true, false,
                                 JxData::kExecNoTimeLimit),
              -ERROR_FILE_NOT_FOUND);
    const std::string lines = m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Starting Process using CreateProcess")) << lines;
    EXPECT_TRUE(m_Log.Has("ERROR", "Failed to launch C:\\Tools\\missing.exe 0 C:\\seen.txt /__PW=******** "
                                   "/t=******** using ShellEcecute."))
        << lines;
    for (const char* secret : {"Lm3 direct", "Lm3-expanded-token"})
        EXPECT_EQ(lines.find(secret), std::string::npos) << secret << "\n" << lines;
}
