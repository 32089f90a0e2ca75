#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using jxtext::W;

TEST(MachineDescription, DefaultsDescribeAWindows10X64MachineAndRoundTrip) {
    jxtest::TempMachineRoot root;
    const jxplat::MachineDescription& d = jxplat::Machine();
    EXPECT_EQ(d.windowsMajor, 10u);
    EXPECT_TRUE(d.is64Bit);
    EXPECT_TRUE(d.user.administrator && d.user.elevated);

    jxplat::MachineDescription changed;
    changed.user.elevated = false;
    changed.computerName = "OTHER";
    changed.messageBoxAnswers.push_back({"Retry", "", 4});
    root.Describe(changed);
    EXPECT_FALSE(jxplat::Machine().user.elevated);
    EXPECT_EQ(jxplat::Machine().computerName, "OTHER");
    ASSERT_EQ(jxplat::Machine().messageBoxAnswers.size(), 1u);
    EXPECT_EQ(jxplat::Machine().messageBoxAnswers[0].answer, 4);
}

TEST(MachineDescription, BrokenJsonFallsBackToDefaults) {
    jxtest::TempMachineRoot root;
    std::ofstream(root.Path() + "/machine.json") << "{ not json";
    jxplat::SetMachineRoot(root.Path());
    EXPECT_EQ(jxplat::Machine().windowsMajor, 10u);
}

TEST(MachinePaths, WindowsPathsMapBelowTheRootIgnoringCase) {
    jxtest::TempMachineRoot root;
    std::filesystem::create_directories(root.Path() + "/drive_c/Program Files (x86)/Tolvane");
    struct Row {
        const char* windows;
        std::string host;
    } rows[] = {
        {"C:\\program files (x86)\\TOLVANE\\a.txt",
         root.Path() + "/drive_c/Program Files (x86)/Tolvane/a.txt"},
        {"c:/Program Files (x86)/new", root.Path() + "/drive_c/Program Files (x86)/new"},
        {"C:\\", root.Path() + "/drive_c"},
        {"C:\\..\\..\\x", root.Path() + "/drive_c/x"},
        {"\\Windows\\System32", root.Path() + "/drive_c/Windows/System32"},
        {"D:\\data", root.Path() + "/drive_d/data"},
        {"Z:\\tmp\\w\\setup.exe", "/tmp/w/setup.exe"},
        {"\\\\?\\C:\\x", root.Path() + "/drive_c/x"},
        {"\\\\.\\JxDevice", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(jxplat::WindowsToHostPath(W(row.windows)), row.host) << row.windows;
}

// A missing name is looked up ignoring case in a remembered folder; changes made meanwhile by
// this process or another one (a forked child here) are seen at the next lookup.
TEST(MachinePaths, MissingNamesFollowChangesOfTheFolder) {
    jxtest::TempMachineRoot root;
    const std::string folder = root.Path() + "/drive_c/Data";
    std::filesystem::create_directories(folder);
    auto map = [](const char* name) { return jxplat::WindowsToHostPath(W(name)); };
    EXPECT_EQ(map("C:\\data\\report.TXT"), folder + "/report.TXT"); // remembered: nothing there

    const pid_t child = fork();
    if (child == 0) {
        std::ofstream(folder + "/Report.txt") << "x";
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(map("C:\\data\\report.TXT"), folder + "/Report.txt");

    std::filesystem::rename(folder + "/Report.txt", folder + "/Moved.txt");
    EXPECT_EQ(map("C:\\data\\REPORT.txt"), folder + "/REPORT.txt");
    EXPECT_EQ(map("C:\\data\\moved.TXT"), folder + "/Moved.txt");

    // The folder replaced under the same path: the new folder's names count.
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/NEW.bin") << "y";
    EXPECT_EQ(map("C:\\data\\moved.TXT"), folder + "/moved.TXT");
    EXPECT_EQ(map("C:\\data\\new.BIN"), folder + "/NEW.bin");

    // Two names that differ only in case: the exact one is taken when it is asked for.
    std::ofstream(folder + "/new.bin") << "z";
    EXPECT_EQ(map("C:\\data\\new.bin"), folder + "/new.bin");
    EXPECT_EQ(map("C:\\data\\NEW.bin"), folder + "/NEW.bin");
}

TEST(MachinePaths, HostPathsAreWindowsPaths) {
    jxtest::TempMachineRoot root;
    EXPECT_EQ(jxplat::HostToWindowsPath(root.Path() + "/drive_c/Program Files/x.exe"),
              u"C:\\Program Files\\x.exe");
    EXPECT_EQ(jxplat::HostToWindowsPath("/tmp/w/setup.exe"), u"Z:\\tmp\\w\\setup.exe");
    // A folder that only looks like a drive is a host path.
    EXPECT_EQ(jxplat::HostToWindowsPath(root.Path() + "/drive_cx/y").substr(0, 2), u"Z:");
}
