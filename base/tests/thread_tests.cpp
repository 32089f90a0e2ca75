// Worker threads: the order of their hooks, suspended and failing starts, and what a crash does
// under each "QAFlags" (a dump read back by an independent reader, a quiet end, or the process's end).
#include <atomic>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/CThread.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/minidump_reader.h"

namespace {

constexpr DWORD kLong = 30000; // a bound for waits that must succeed

// The debugger output of the test, from any thread.
class CDebugOutput {
public:
    CDebugOutput() {
        jxplat::SetDebugOutputCapture([this](std::u16string_view text) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_text += jxtext::N(text);
        });
    }
    ~CDebugOutput() { jxplat::SetDebugOutputCapture(nullptr); }
    std::string Text() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_text;
    }

private:
    std::mutex m_lock;
    std::string m_text;
};

// Records its hooks; `crashIn` names the hook that raises an access violation.
class CTestThread : public CThread {
public:
    using CThread::CThread;
    ~CTestThread() override {
        if (GetThreadHandle())
            WaitForSingleObject(GetThreadHandle(), kLong);
    }
    bool Init() override {
        m_Calls += "I";
        _Crash("Init");
        CThread::Init();
        return m_InitResult;
    }
    DWORD Run() override {
        m_Calls += "R";
        _Crash("Run");
        return 7;
    }
    DWORD Exit() override {
        m_Calls += "E";
        return 9;
    }
    std::string Calls() const { return m_Calls; }

    bool m_InitResult = true;
    std::string m_CrashIn;

private:
    void _Crash(const std::string& hook) {
        if (m_CrashIn == hook)
            RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    }
    std::string m_Calls; // written by the worker, read once it has ended
};

DWORD ExitCodeAfterEnd(const CThread& thread) {
    EXPECT_EQ(WaitForSingleObject(thread.GetThreadHandle(), kLong), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread.GetThreadHandle(), &code);
    return code;
}

void SetQaFlags(DWORD flags) {
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane", u"QAFlags", flags, 0);
    CThread::ReloadQaFlags();
}

class ThreadCrash : public testing::Test {
protected:
    void SetUp() override { SetQaFlags(0); }
    void TearDown() override { SetQaFlags(0); }
    jxtest::TempMachineRoot m_Root;
};

} // namespace

TEST(Thread, RunsItsHooksOnItsOwnThreadInOrder) {
    jxtest::TempMachineRoot root;
    const struct {
        bool syncInit, returnInit, initResult;
        bool created;
        const char* calls;
        DWORD exitCode;
    } rows[] = {
        {false, false, true, true, "IRE", 7},
        {true, true, true, true, "IRE", 7},
        {false, false, false, true, "IE", 9}, // a failed Init: Exit's result is the exit code
        {true, false, false, true, "IE", 9},
        {true, true, false, false, "IE", 9}, // Create answers Init's result; Run never runs
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.calls);
        CTestThread thread(CThread::NoCom, row.syncInit, row.returnInit);
        thread.m_InitResult = row.initResult;
        EXPECT_EQ(thread.Create("worker"), row.created);
        EXPECT_EQ(thread.GetName(), "worker");
        EXPECT_EQ(ExitCodeAfterEnd(thread), row.exitCode);
        EXPECT_EQ(thread.Calls(), row.calls);
        EXPECT_FALSE(thread.Create()); // one thread per object
    }
}

TEST(Thread, SuspendedCreateRunsNothingUntilResumed) {
    jxtest::TempMachineRoot root;
    CTestThread thread;
    ASSERT_TRUE(thread.Create(nullptr, CREATE_SUSPENDED));
    EXPECT_EQ(thread.GetName(), "CThread");
    EXPECT_EQ(WaitForSingleObject(thread.GetThreadHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ResumeThread(thread.GetThreadHandle()), 1u);
    EXPECT_EQ(ExitCodeAfterEnd(thread), 7u);
    EXPECT_EQ(thread.Calls(), "IRE");
}

TEST(Thread, DefaultRunEndsOnceStopped) {
    jxtest::TempMachineRoot root;
    CThread thread;
    ASSERT_TRUE(thread.Create());
    thread.Stop();
    EXPECT_EQ(ExitCodeAfterEnd(thread), 0u);
}

TEST_F(ThreadCrash, WithoutFlagsTheThreadEndsQuietlyAndNoDumpIsWritten) {
    CDebugOutput output;
    CTestThread thread;
    thread.m_CrashIn = "Run";
    ASSERT_TRUE(thread.Create("quiet"));
    EXPECT_EQ(ExitCodeAfterEnd(thread), 0u);
    EXPECT_EQ(thread.Calls(), "IR"); // Exit does not run after a crash
    const std::string text = output.Text();
    EXPECT_NE(text.find("Silent thread crash\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nquiet\nc0000005\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Created Minidump"), std::string::npos) << text;
}

TEST_F(ThreadCrash, ACrashInSynchronousInitFailsCreateInsteadOfHanging) {
    CTestThread thread(CThread::NoCom, true, true);
    thread.m_CrashIn = "Init";
    EXPECT_FALSE(thread.Create("early"));
    EXPECT_EQ(thread.GetThreadHandle(), nullptr);
    EXPECT_EQ(thread.Calls(), "I");
}

TEST_F(ThreadCrash, DumpFlagWritesADumpOfTheCrashInTheLogFolder) {
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Brellwick", u"LogPath",
                              u"C:\\Logs\\Product", CRegStringType::Sz, 0);
    SetQaFlags(1);
    CDebugOutput output;
    CTestThread thread;
    thread.m_CrashIn = "Run";
    ASSERT_TRUE(thread.Create("Scan:job/1"));
    EXPECT_EQ(ExitCodeAfterEnd(thread), 0u);

    char name[64];
    std::snprintf(name, sizeof name, "Scan_job_1_%x_mini.dmp", static_cast<unsigned>(thread.GetThreadId()));
    const std::string path = "C:\\Logs\\Product\\" + std::string(name);
    const jxtest::MinidumpView view = jxtest::ReadMinidump(jxplat::WindowsToHostPath(jxtext::W(path)));
    ASSERT_EQ(view.error, "");
    EXPECT_EQ(view.flags, 6u);
    ASSERT_TRUE(view.hasException);
    EXPECT_EQ(view.exceptionThread, thread.GetThreadId());
    EXPECT_EQ(view.exceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_NE(output.Text().find("Created Minidump here:\n" + path + "\nc0000005\n"), std::string::npos)
        << output.Text();
}

TEST_F(ThreadCrash, NoDumpOnceTheFolderHoldsHalfAGigabyteOfDumps) {
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Brellwick", u"LogPath", u"C:\\Logs",
                              CRegStringType::Sz, 0);
    SetQaFlags(1);
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Logs", nullptr));
    for (const char16_t* old : {u"C:\\Logs\\a_mini.dmp", u"C:\\Logs\\b_mini.dmp"}) {
        HANDLE file = CreateFileW(old, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size = {};
        size.QuadPart = 0x10000000;
        EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
        EXPECT_TRUE(SetEndOfFile(file)); // a sparse file: the size counts, not the disk it takes
        CloseHandle(file);
    }
    CDebugOutput output;
    CTestThread thread;
    thread.m_CrashIn = "Run";
    ASSERT_TRUE(thread.Create("full"));
    ExitCodeAfterEnd(thread);
    EXPECT_NE(output.Text().find("Dump file *not* created - too many dump files existing!\n"),
              std::string::npos);
    EXPECT_NE(output.Text().find("\nfull\nc0000005\n"), std::string::npos) << output.Text();
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(u"C:\\Logs\\full_*", &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
}

TEST_F(ThreadCrash, PassOnFlagEndsTheProcess) {
    SetQaFlags(2);
    EXPECT_EXIT(
        {
            CTestThread thread;
            thread.m_CrashIn = "Run";
            thread.Create("fatal");
            WaitForSingleObject(thread.GetThreadHandle(), kLong);
            std::_Exit(0);
        },
        testing::ExitedWithCode(EXCEPTION_ACCESS_VIOLATION & 0xFF), "Unhandled exception 0xc0000005");
}

TEST(MiniDumpPath, FolderFallsBackFromLogPathToTheClientLogToTheTempFolder) {
    jxtest::TempMachineRoot root;
    char id[16];
    std::snprintf(id, sizeof id, "%x", static_cast<unsigned>(GetCurrentThreadId()));
    const std::string temp = "C:\\Users\\Tester\\AppData\\Local\\Temp\\";
    EXPECT_EQ(GetMiniDumpPath(nullptr), temp + "thread_" + id + "_mini.dmp");
    EXPECT_EQ(GetMiniDumpPath("a<b>\"c\xa7(1)"), temp + "a_b__c\xa7(1)_" + id + "_mini.dmp");

    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\QrvClient", u"settings", u"C:\\Client",
                              CRegStringType::Sz, 0);
    EXPECT_EQ(GetMiniDumpPath("w"), "C:\\Client\\log\\w_" + std::string(id) + "_mini.dmp");
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\Client\\log"));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Brellwick", u"LogPath", u"C:\\Logs\\",
                              CRegStringType::Sz, 0);
    EXPECT_EQ(GetMiniDumpPath("w"), "C:\\Logs\\w_" + std::string(id) + "_mini.dmp");
}
