// CreateProcessW of the stand-in: host programs at mapped paths, the Windows command line handed
// over whole, 32-bit exit codes through the exit-code file, and a waitable process handle.
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using jxtext::N;
using jxtext::W;

namespace {

std::u16string TestProgram(const char* name) {
    return jxplat::HostToWindowsPath(jxtest::BuildDir() + "/tests/programs/" + name);
}

// Writes an executable shell script at a Windows path of the machine root.
void WriteScript(const std::u16string& path, const std::string& body) {
    const std::string host = jxplat::WindowsToHostPath(path);
    jxplat::EnsureHostDirectory(host.substr(0, host.find_last_of('/')));
    FILE* file = std::fopen(host.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::string text = "#!/bin/sh\n" + body + "\n";
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    ::chmod(host.c_str(), 0755);
}

// Starts the line (program taken from it), waits for the end and returns the exit code.
DWORD RunToEnd(const WCHAR* application, std::u16string line, const WCHAR* folder = nullptr) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    EXPECT_TRUE(CreateProcessW(application, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder,
                               &startup, &info))
        << N(line);
    if (!info.hProcess)
        return 0xDEADBEEF;
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(GetProcessId(info.hProcess), info.dwProcessId);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
}

} // namespace

TEST(CreateProcess, ProgramSeesItsWindowsCommandLineAndEndsWithAFull32BitCode) {
    jxtest::TempMachineRoot root;
    const std::u16string program = TestProgram("exitcode.exe");
    struct Row {
        DWORD code;
        std::u16string extra;
    } rows[] = {{0, u""}, {3, u" \"with blank\""}, {3010, u" /Prop=\"x y\""}, {0xC0000005u, u""}};
    for (const Row& row : rows) {
        const std::u16string seen = u"C:\\seen.txt";
        const std::u16string line =
            jxplat::QuoteArgument(program) + u" " + W(std::to_string(row.code)) + u" " + seen + row.extra;
        // With the application name given and without it (the first word names the program).
        EXPECT_EQ(RunToEnd(program.c_str(), line), row.code);
        EXPECT_EQ(W(jxtest::ReadHostFile(jxplat::WindowsToHostPath(seen))), line);
        EXPECT_EQ(RunToEnd(nullptr, line), row.code);
    }
}

TEST(CreateProcess, ScriptsWriteTheirCodeOrEndWithTheirHostStatus) {
    jxtest::TempMachineRoot root;
    struct Row {
        const char* body;
        DWORD code;
    } rows[] = {
        {"echo 3010 > \"$JX_EXIT_CODE_FILE\"; exit 0", 3010},
        {"exit 7", 7},
        {"pwd > /dev/null; test \"$(pwd)\" = \"$1\" || exit 9", 0},
    };
    const std::u16string folder = u"C:\\Work Folder";
    const std::string hostFolder = jxplat::WindowsToHostPath(folder);
    jxplat::EnsureHostDirectory(hostFolder);
    for (const Row& row : rows) {
        WriteScript(u"C:\\tools\\prereq.exe", row.body);
        const std::u16string line = u"C:\\tools\\prereq.exe " + jxplat::QuoteArgument(W(hostFolder));
        EXPECT_EQ(RunToEnd(nullptr, line, folder.c_str()), row.code) << row.body;
    }
}

TEST(CreateProcess, HandleIsStillActiveUntilTheProcessEnds) {
    jxtest::TempMachineRoot root;
    const std::string fifo = jxplat::MachinePath("gate");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteScript(u"C:\\tools\\waiter.exe", "read line < \"" + fifo + "\"; exit 5");
    std::u16string line = u"C:\\tools\\waiter.exe";
    STARTUPINFOW startup = {sizeof(STARTUPINFOW)};
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    // Opening the gate blocks until the script reads it; then the script ends.
    const int gate = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(gate, 0);
    ASSERT_EQ(::write(gate, "go\n", 3), 3);
    ::close(gate);
    EXPECT_EQ(WaitForSingleObject(info.hThread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 5u);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

TEST(CreateProcess, RefusesWhatItCannotStart) {
    jxtest::TempMachineRoot root;
    const std::string plain = jxplat::WindowsToHostPath(u"C:\\data\\plain.exe");
    jxplat::EnsureHostDirectory(plain.substr(0, plain.find_last_of('/')));
    FILE* file = std::fopen(plain.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file); // empty, and without the execute bit
    struct Row {
        const WCHAR* line;
        bool withInformation;
        DWORD error;
    } rows[] = {
        {u"C:\\missing\\nothing.exe /a", true, ERROR_FILE_NOT_FOUND},
        {u"C:\\data\\plain.exe", true, ERROR_BAD_EXE_FORMAT},
        {u"C:\\data", true, ERROR_FILE_NOT_FOUND},
        {u"", true, ERROR_INVALID_PARAMETER},
        {u"C:\\data\\plain.exe", false, ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        std::u16string line = row.line;
        STARTUPINFOW startup = {sizeof(STARTUPINFOW)};
        PROCESS_INFORMATION info = {};
        SetLastError(0);
        EXPECT_FALSE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, row.withInformation ? &info : nullptr))
            << N(line);
        EXPECT_EQ(GetLastError(), row.error) << N(line);
    }
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeProcess(nullptr, &code));
}
