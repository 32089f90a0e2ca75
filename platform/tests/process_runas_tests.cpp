// "runas" through the shell: a user who is not elevated meets the elevation prompt (a message box
// answered from the machine's answers); a program let through runs as the machine's elevated
// administrator and its row in the process table says so.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

const WCHAR kTool[] = u"C:\\Program Files\\Tool\\setup.exe";

// The tool writes what it was given as elevation to a file below the machine root.
void WriteTool() {
    const std::string host = jxplat::WindowsToHostPath(kTool);
    jxplat::EnsureHostDirectory(host.substr(0, host.find_last_of('/')));
    FILE* file = std::fopen(host.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::string script = "#!/bin/sh\necho \"elevated=$JX_ELEVATED\" > \"$JX_MACHINE_ROOT/seen.txt\"\n"
                               "echo 7 > \"$JX_EXIT_CODE_FILE\"\n";
    std::fwrite(script.data(), 1, script.size(), file);
    std::fclose(file);
    ::chmod(host.c_str(), 0755);
}

struct CRunAsResult {
    BOOL started = FALSE;
    DWORD error = 0;
    intptr_t shellCode = 0;
    DWORD exitCode = 0;
};

CRunAsResult RunAs() {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = u"runas";
    info.lpFile = kTool;
    info.lpParameters = u"/elevated";
    info.nShow = SW_SHOW;
    CRunAsResult result;
    SetLastError(0);
    result.started = ShellExecuteExW(&info);
    result.error = GetLastError();
    result.shellCode = reinterpret_cast<intptr_t>(info.hInstApp);
    if (info.hProcess) {
        WaitForSingleObject(info.hProcess, INFINITE);
        GetExitCodeProcess(info.hProcess, &result.exitCode);
        CloseHandle(info.hProcess);
    }
    return result;
}

} // namespace

TEST(ShellRunAs, ThePromptDecidesWhetherTheProgramRunsElevated) {
    const jxplat::MessageBoxAnswer refuse{"", "User Account Control", IDNO};
    struct Row {
        const char* name;
        bool administrator;
        bool elevated;
        bool uac;
        bool refused;
        const char* prompt; // "" when no prompt is shown
        DWORD error;        // 0 when the program starts
        const char* childSees;
    } rows[] = {
        {"filtered administrator", true, false, true, false, "Do you want to allow this app", 0,
         "elevated=1\n"},
        {"standard user", false, false, true, false, "enter an admin user name and password", 0,
         "elevated=1\n"},
        {"refused prompt", true, false, true, true, "Do you want to allow this app", ERROR_CANCELLED, ""},
        {"no UAC", false, false, false, false, "", ERROR_ACCESS_DENIED, ""},
        {"elevated administrator", true, true, true, false, "", 0, "elevated=\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        jxplat::MachineDescription machine;
        machine.user.administrator = row.administrator;
        machine.user.elevated = row.elevated;
        machine.user.uac = row.uac;
        if (row.refused)
            machine.messageBoxAnswers.push_back(refuse);
        jxtest::TempMachineRoot root(machine);
        WriteTool();

        const CRunAsResult result = RunAs();
        EXPECT_EQ(result.started != FALSE, row.error == 0);
        EXPECT_EQ(result.error, row.error);
        if (row.error == 0) {
            EXPECT_GT(result.shellCode, 32);
            EXPECT_EQ(result.exitCode, 7u);
        } else {
            EXPECT_EQ(result.shellCode, SE_ERR_ACCESSDENIED);
        }
        EXPECT_EQ(jxtest::ReadHostFile(jxplat::MachinePath("seen.txt")), row.childSees);

        const auto boxes = jxplat::ReadRecordedMessageBoxes();
        if (*row.prompt == 0) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].caption, u"User Account Control");
            EXPECT_NE(jxtext::Utf16ToUtf8(boxes[0].text).find(row.prompt), std::string::npos);
            EXPECT_NE(boxes[0].text.find(kTool), std::u16string::npos);
        }

        const auto table = jxplat::ReadProcessTable();
        ASSERT_EQ(table.size(), row.error == 0 ? 1u : 0u);
        if (!table.empty()) {
            EXPECT_TRUE(table[0].elevated);
            EXPECT_EQ(table[0].commandLine, std::u16string(u"\"") + kTool + u"\" /elevated");
        }
    }
}

TEST(ShellRunAs, AProgramLetThroughSeesAnElevatedAdministrator) {
    jxplat::MachineDescription standard;
    standard.user.administrator = false;
    standard.user.elevated = false;
    jxtest::TempMachineRoot root(standard);
    ASSERT_FALSE(jxplat::Machine().user.elevated);

    // What the started program finds in its environment, re-read as it would on its first call.
    ::setenv("JX_ELEVATED", "1", 1);
    root.Describe(standard);
    const jxplat::MachineUser user = jxplat::Machine().user;
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size));
    CloseHandle(token);
    // A registry write below HKLM needs that elevation.
    HKEY key = nullptr;
    const LSTATUS created = RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxRunAs", 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (key)
        RegCloseKey(key);
    ::unsetenv("JX_ELEVATED");
    root.Describe(standard);

    EXPECT_TRUE(user.administrator && user.elevated);
    EXPECT_EQ(elevation.TokenIsElevated, 1u);
    EXPECT_EQ(created, ERROR_SUCCESS);
    EXPECT_FALSE(jxplat::Machine().user.elevated);
}
