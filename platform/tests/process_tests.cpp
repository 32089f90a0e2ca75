#include <cstdlib>

#include <gtest/gtest.h>

#include <windows.h>
#include <winsock.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using jxtext::W;

TEST(CommandLine, QuotingRoundTripsThroughTheWindowsSplitter) {
    const char* args[] = {"plain",      "",
                          "with blank", "quote\"inside",
                          "trailing\\", "C:\\Program Files\\",
                          "a\\\\\"b",   "/Prop=\"x y\"",
                          "ünïcode"};
    std::u16string line = u"C:\\setup.exe";
    for (const char* a : args)
        line += u" " + jxplat::QuoteArgument(W(a));
    std::vector<std::u16string> split = jxplat::SplitCommandLine(line);
    ASSERT_EQ(split.size(), std::size(args) + 1);
    EXPECT_EQ(split[0], u"C:\\setup.exe");
    for (size_t i = 0; i < std::size(args); ++i)
        EXPECT_EQ(split[i + 1], W(args[i])) << args[i];
}

TEST(CommandLine, SplitterFollowsTheWindowsRules) {
    struct Row {
        const char* line;
        std::vector<std::string> args;
    } rows[] = {
        {"\"C:\\Program Files\\setup.exe\" /a=1", {"C:\\Program Files\\setup.exe", "/a=1"}},
        {"setup.exe a\\\\b \"c d\"e", {"setup.exe", "a\\\\b", "c de"}},
        {"setup.exe \\\"x\\\" \"in\"\"side\"", {"setup.exe", "\"x\"", "in\"side"}},
        {"setup.exe   ", {"setup.exe"}},
    };
    for (const Row& row : rows) {
        std::vector<std::u16string> expected;
        for (const auto& a : row.args)
            expected.push_back(W(a));
        EXPECT_EQ(jxplat::SplitCommandLine(W(row.line)), expected) << row.line;
    }
}

TEST(Process, ModuleFileNameIsAWindowsPathAndCutsToTheBuffer) {
    jxtest::TempMachineRoot root;
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(n, 3u);
    EXPECT_EQ(std::u16string(path, 2), u"Z:");
    WCHAR small[4];
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 4), 4u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small[3], 0);
}

TEST(Winsock, StartsUnlessTheMachineSwitchesItOff) {
    jxtest::TempMachineRoot root;
    WSADATA data;
    EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
    EXPECT_EQ(WSACleanup(), 0);

    jxplat::MachineDescription broken;
    broken.faultWsaStartup = true;
    root.Describe(broken);
    EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data), WSASYSNOTREADY);
}

TEST(Com, InitialisationIsCountedPerThread) {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(jxplat::ComInitCount(), 2);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(jxplat::ComInitCount(), 0);
}
