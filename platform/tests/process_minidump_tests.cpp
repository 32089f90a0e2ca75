// MiniDumpWriteDump writes the minidump container of a process of the machine (read back by an
// independent reader) and refuses anything else; structured exceptions and suspended threads.
#include <algorithm>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <dbghelp.h>
#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/minidump_reader.h"
#include "jxtest/waiting_process.h"
#include "kernel_test_threads.h"

namespace {

HANDLE CreateDumpFile(const std::u16string& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

} // namespace

TEST(MiniDump, DumpOfAMachineProcessReadsBackWithItsThreadsAndModules) {
    jxtest::TempMachineRoot root;
    jxtest::CWaitingProcess child(u"C:\\Tools\\agent.exe");
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(CreateDirectoryW(u"C:\\dumps", nullptr));
    HANDLE file = CreateDumpFile(u"C:\\dumps\\agent.dmp");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const auto type = static_cast<MINIDUMP_TYPE>(MiniDumpWithFullMemory | MiniDumpWithHandleData);
    EXPECT_TRUE(MiniDumpWriteDump(child.m_info.hProcess, child.m_info.dwProcessId, file, type, nullptr,
                                  nullptr, nullptr));
    CloseHandle(file);

    const jxtest::MinidumpView view =
        jxtest::ReadMinidump(jxplat::WindowsToHostPath(u"C:\\dumps\\agent.dmp"));
    ASSERT_EQ(view.error, "");
    EXPECT_EQ(view.streams, 3u);
    EXPECT_EQ(view.flags, 6u);
    EXPECT_EQ(view.architecture, 9u); // a 64-bit machine
    EXPECT_EQ(view.major, 10u);
    EXPECT_EQ(view.build, 19045u);
    ASSERT_FALSE(view.threads.empty());
    EXPECT_EQ(view.threads[0], child.m_info.dwProcessId); // the main thread has the process's id
    EXPECT_FALSE(view.modules.empty());
    for (const std::string& module : view.modules)
        EXPECT_EQ(module.rfind("Z:\\", 0), 0u) << module; // host files as the engine names them
    EXPECT_FALSE(view.hasException);
}

TEST(MiniDump, OwnProcessWithTheExceptionOfTheDumpingThread) {
    jxtest::TempMachineRoot root;
    HANDLE file = CreateDumpFile(u"C:\\self.dmp");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const bool handled = jxplat::TryExcept(
        [] { RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr); },
        [&](PEXCEPTION_POINTERS pointers) -> LONG {
            MINIDUMP_EXCEPTION_INFORMATION exception = {GetCurrentThreadId(), pointers, FALSE};
            EXPECT_TRUE(MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                          &exception, nullptr, nullptr));
            return EXCEPTION_EXECUTE_HANDLER;
        });
    EXPECT_TRUE(handled);
    CloseHandle(file);
    const jxtest::MinidumpView view = jxtest::ReadMinidump(jxplat::WindowsToHostPath(u"C:\\self.dmp"));
    ASSERT_EQ(view.error, "");
    EXPECT_EQ(view.streams, 4u);
    ASSERT_TRUE(view.hasException);
    EXPECT_EQ(view.exceptionThread, GetCurrentThreadId());
    EXPECT_EQ(view.exceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_NE(std::find(view.threads.begin(), view.threads.end(), GetCurrentThreadId()), view.threads.end());
}

TEST(MiniDump, RefusesWhatIsNoRunningProcessOfTheMachine) {
    jxtest::TempMachineRoot root;
    jxtest::CWaitingProcess child(u"C:\\Tools\\short.exe");
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE file = CreateDumpFile(u"C:\\refused.dmp");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const struct {
        HANDLE process;
        DWORD id;
        DWORD error;
    } rows[] = {
        {event, child.m_info.dwProcessId, ERROR_INVALID_HANDLE},
        {child.m_info.hProcess, child.m_info.dwProcessId + 1, ERROR_INVALID_PARAMETER},
        {GetCurrentProcess(), 1, ERROR_INVALID_PARAMETER}, // the pseudo-handle is this process only
    };
    for (const auto& row : rows) {
        SetLastError(0);
        EXPECT_FALSE(MiniDumpWriteDump(row.process, row.id, file, MiniDumpNormal, nullptr, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), row.error);
    }
    child.Release();
    EXPECT_FALSE(MiniDumpWriteDump(child.m_info.hProcess, child.m_info.dwProcessId, file, MiniDumpNormal,
                                   nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(file);
    CloseHandle(event);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(u"C:\\refused.dmp", GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 0u); // nothing was written
}

TEST(StructuredException, FilterDecidesBetweenHandlerAndTheNextBlock) {
    const ULONG_PTR arguments[] = {7, 9};
    DWORD seenCode = 0, seenCount = 0;
    // The outer block sees what the inner filter passes on.
    const bool outer = jxplat::TryExcept(
        [&] {
            jxplat::TryExcept([&] { RaiseException(0xE0001234u, 0, 2, arguments); },
                              [&](PEXCEPTION_POINTERS pointers) -> LONG {
                                  seenCount = pointers->ExceptionRecord->NumberParameters;
                                  return EXCEPTION_CONTINUE_SEARCH;
                              });
            ADD_FAILURE() << "the inner block went on";
        },
        [&](PEXCEPTION_POINTERS pointers) -> LONG {
            seenCode = pointers->ExceptionRecord->ExceptionCode;
            return EXCEPTION_EXECUTE_HANDLER;
        });
    EXPECT_TRUE(outer);
    EXPECT_EQ(seenCode, 0xE0001234u);
    EXPECT_EQ(seenCount, 2u);
    // A C++ exception shows as the C++ runtime's code; a body that ends normally is no exception.
    EXPECT_TRUE(jxplat::TryExcept([] { throw std::runtime_error("x"); },
                                  [&](PEXCEPTION_POINTERS pointers) -> LONG {
                                      seenCode = pointers->ExceptionRecord->ExceptionCode;
                                      return EXCEPTION_EXECUTE_HANDLER;
                                  }));
    EXPECT_EQ(seenCode, EXCEPTION_CPP_EXCEPTION);
    EXPECT_FALSE(
        jxplat::TryExcept([] {}, [](PEXCEPTION_POINTERS) -> LONG { return EXCEPTION_EXECUTE_HANDLER; }));
}

TEST(StructuredException, UnhandledInAThreadEndsTheProcessWithItsCode) {
    EXPECT_EXIT(
        {
            HANDLE thread = kerneltest::StartThread(
                []() -> DWORD { RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr); });
            WaitForSingleObject(thread, kerneltest::kLong);
            std::_Exit(0);
        },
        testing::ExitedWithCode(EXCEPTION_ACCESS_VIOLATION & 0xFF), "Unhandled exception 0xc0000005");
}

TEST(SuspendThread, HoldsTheThreadWhenItsWaitReturnsUntilResumed) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE passed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = kerneltest::StartThread([&]() -> DWORD {
        WaitForSingleObject(go, INFINITE);
        SetEvent(passed);
        return 0;
    });
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(SuspendThread(thread), 0u);
    SetEvent(go);
    for (int turn = 0; turn < 100; ++turn)
        SwitchToThread();
    EXPECT_EQ(WaitForSingleObject(passed, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(passed, kerneltest::kLong), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, kerneltest::kLong), WAIT_OBJECT_0);
    EXPECT_EQ(SuspendThread(thread), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    for (HANDLE handle : {go, passed, thread})
        CloseHandle(handle);
}
