// ShellExecuteExW of the stand-in: programs run through CreateProcessW, addresses and documents are
// recorded below the machine root, and failures carry the Windows error and shell code.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using jxtext::N;

namespace {

void WriteFile(const std::u16string& path, const std::string& text, bool runnable) {
    const std::string host = jxplat::WindowsToHostPath(path);
    jxplat::EnsureHostDirectory(host.substr(0, host.find_last_of('/')));
    FILE* file = std::fopen(host.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    if (runnable)
        ::chmod(host.c_str(), 0755);
}

SHELLEXECUTEINFOW Info(const WCHAR* verb, const WCHAR* file, const WCHAR* parameters) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_SHOW;
    return info;
}

} // namespace

TEST(ShellExecute, RunsAProgramWithItsParametersAndHandsOutItsProcess) {
    jxtest::TempMachineRoot root;
    WriteFile(u"C:\\Program Files\\Tool\\setup.exe",
              "#!/bin/sh\necho \"$JX_COMMAND_LINE\" > \"$1\"\necho 3010 > \"$JX_EXIT_CODE_FILE\"\n", true);
    const std::string seen = jxplat::MachinePath("seen.txt");
    const std::u16string parameters = jxtext::W(seen) + u" /quiet";
    for (const WCHAR* verb : {static_cast<const WCHAR*>(nullptr), u"open", u"runas"}) {
        SHELLEXECUTEINFOW info = Info(verb, u"C:\\Program Files\\Tool\\setup.exe", parameters.c_str());
        ASSERT_TRUE(ShellExecuteExW(&info));
        ASSERT_NE(info.hProcess, nullptr);
        EXPECT_GT(reinterpret_cast<intptr_t>(info.hInstApp), 32);
        EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
        EXPECT_EQ(code, 3010u);
        CloseHandle(info.hProcess);
        EXPECT_EQ(jxtest::ReadHostFile(seen), "\"C:\\Program Files\\Tool\\setup.exe\" " + seen + " /quiet\n");
    }
}

TEST(ShellExecute, RecordsAddressesAndDocumentsInsteadOfOpeningThem) {
    jxtest::TempMachineRoot root;
    WriteFile(u"C:\\Docs\\readme.txt", "text", false);
    SHELLEXECUTEINFOW info = Info(u"open", u"https://example.test/welcome?x=1", nullptr);
    ASSERT_TRUE(ShellExecuteExW(&info));
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_GT(reinterpret_cast<intptr_t>(
                  ShellExecuteW(nullptr, u"open", u"C:\\Docs\\readme.txt", nullptr, nullptr, SW_SHOWNORMAL)),
              32);
    EXPECT_EQ(
        jxtest::ReadHostFile(jxplat::MachinePath("shellexecute.jsonl")),
        "{\"directory\":\"\",\"file\":\"https://example.test/welcome?x=1\",\"parameters\":\"\",\"show\":5,"
        "\"verb\":\"open\"}\n"
        "{\"directory\":\"\",\"file\":\"C:\\\\Docs\\\\readme.txt\",\"parameters\":\"\",\"show\":1,"
        "\"verb\":\"open\"}\n");
}

TEST(ShellExecute, FailuresCarryTheWindowsErrorAndShellCode) {
    jxplat::MachineDescription notElevated;
    notElevated.user.elevated = false;
    jxtest::TempMachineRoot root(notElevated);
    WriteFile(u"C:\\Tools\\tool.exe", "#!/bin/sh\nexit 0\n", true);
    struct Row {
        const WCHAR* verb;
        const WCHAR* file;
        DWORD error;
        intptr_t shellCode;
    } rows[] = {
        {u"open", u"C:\\Tools\\missing.exe", ERROR_FILE_NOT_FOUND, SE_ERR_FNF},
        {u"print", u"C:\\Tools\\tool.exe", ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC},
    };
    for (const Row& row : rows) {
        SHELLEXECUTEINFOW info = Info(row.verb, row.file, nullptr);
        SetLastError(0);
        EXPECT_FALSE(ShellExecuteExW(&info)) << N(row.file);
        EXPECT_EQ(GetLastError(), row.error) << N(row.file);
        EXPECT_EQ(reinterpret_cast<intptr_t>(info.hInstApp), row.shellCode);
        EXPECT_EQ(info.hProcess, nullptr);
    }
    SHELLEXECUTEINFOW bad = Info(u"open", u"C:\\Tools\\tool.exe", nullptr);
    bad.cbSize = 8;
    EXPECT_FALSE(ShellExecuteExW(&bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
