// The machine's process table: snapshots list only processes started on this machine root,
// OpenProcess reaches nothing else, TerminateProcess ends a started child with its code, and
// jxmachine prints the table.
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using jxtext::N;
using jxtext::W;

namespace {

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

// A child that runs until the test opens its gate (a FIFO it reads).
class CGatedChild {
public:
    CGatedChild(const std::u16string& program, const std::string& gateName, const std::string& exit) {
        m_gate = jxplat::MachinePath(gateName);
        EXPECT_EQ(::mkfifo(m_gate.c_str(), 0600), 0);
        WriteScript(program, "read line < \"$1\"; " + exit);
        std::u16string line = jxplat::QuoteArgument(program) + u" " + W(m_gate);
        STARTUPINFOW startup = {sizeof(STARTUPINFOW)};
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &m_info));
    }
    ~CGatedChild() {
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }
    void Open() {
        const int gate = ::open(m_gate.c_str(), O_WRONLY);
        ASSERT_GE(gate, 0);
        ASSERT_EQ(::write(gate, "go\n", 3), 3);
        ::close(gate);
    }
    PROCESS_INFORMATION m_info = {};

private:
    std::string m_gate;
};

struct SnapRow {
    DWORD id;
    std::u16string name;
};

std::vector<SnapRow> Snapshot() {
    std::vector<SnapRow> rows;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        rows.push_back({entry.th32ProcessID, entry.szExeFile});
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    CloseHandle(snapshot);
    return rows;
}

} // namespace

TEST(ProcessTable, SnapshotListsTheMachinesRunningProcessesInStartOrder) {
    jxtest::TempMachineRoot root;
    EXPECT_TRUE(Snapshot().empty()); // the test program itself and the host's processes are not there
    CGatedChild first(u"C:\\Tools\\Agent.exe", "gate1", "exit 0");
    CGatedChild second(u"C:\\Program Files\\Tool\\helper.exe", "gate2", "exit 4");
    auto rows = Snapshot();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, first.m_info.dwProcessId);
    EXPECT_EQ(rows[0].name, u"Agent.exe");
    EXPECT_EQ(rows[1].id, second.m_info.dwProcessId);
    EXPECT_EQ(rows[1].name, u"helper.exe");

    first.Open();
    EXPECT_EQ(WaitForSingleObject(first.m_info.hProcess, INFINITE), WAIT_OBJECT_0);
    rows = Snapshot();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, u"helper.exe");

    // A wrong entry size is refused.
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = 12;
    EXPECT_FALSE(Process32FirstW(snapshot, &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    CloseHandle(snapshot);
    second.Open();
    EXPECT_EQ(WaitForSingleObject(second.m_info.hProcess, INFINITE), WAIT_OBJECT_0);
}

TEST(ProcessTable, TerminateEndsAStartedChildWithItsCodeAndNothingElse) {
    jxtest::TempMachineRoot root;
    CGatedChild child(u"C:\\Tools\\stuck.exe", "gate", "exit 0");
    // The host's processes, this test program too, are out of reach.
    for (DWORD id : {static_cast<DWORD>(::getpid()), DWORD{1}}) {
        SetLastError(0);
        EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, FALSE, id), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    HANDLE opened = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child.m_info.dwProcessId);
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(TerminateProcess(opened, 1641));
    EXPECT_EQ(WaitForSingleObject(opened, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(child.m_info.hProcess, &code));
    EXPECT_EQ(code, 1641u);
    EXPECT_TRUE(Snapshot().empty());
    // An ended process can be neither ended again nor opened.
    EXPECT_FALSE(TerminateProcess(opened, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, FALSE, child.m_info.dwProcessId), nullptr);
    CloseHandle(opened);
    EXPECT_FALSE(TerminateProcess(nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ProcessTable, JxMachinePrintsEveryStartedProcess) {
    jxtest::TempMachineRoot root;
    CGatedChild ended(u"C:\\Tools\\crash.exe", "gate1", "echo 3221225477 > \"$JX_EXIT_CODE_FILE\"");
    ended.Open();
    ASSERT_EQ(WaitForSingleObject(ended.m_info.hProcess, INFINITE), WAIT_OBJECT_0);
    CGatedChild running(u"C:\\Tools\\waits.exe", "gate2", "exit 0");

    const std::string command =
        jxtest::BuildDir() + "/tools/jxmachine --root '" + root.Path() + "' processes";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof(buffer), pipe))
        output.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    const std::string gate1 = jxplat::MachinePath("gate1");
    const std::string gate2 = jxplat::MachinePath("gate2");
    EXPECT_EQ(output, "crash.exe\t" + std::to_string(ended.m_info.dwProcessId) + "\tended\t3221225477\t" +
                          "C:\\Tools\\crash.exe " + gate1 + "\n" + "waits.exe\t" +
                          std::to_string(running.m_info.dwProcessId) + "\trunning\t-\t" +
                          "C:\\Tools\\waits.exe " + gate2 + "\n");
    running.Open();
    EXPECT_EQ(WaitForSingleObject(running.m_info.hProcess, INFINITE), WAIT_OBJECT_0);
}
