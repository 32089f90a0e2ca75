#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
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

// machine.json is read strictly: what the reader cannot take as written is named by its key's path,
// so a typing slip never leaves the machine with a default its writer did not mean.
TEST(MachineDescription, ProblemsOfTheFileAreNamedByTheirKey) {
    jxtest::TempMachineRoot root;
    struct Row {
        const char* json;
        const char* problem; // "" for a sound file
    } rows[] = {
        {R"({"user": {"elevated": false}, "trustedFiles": [{"sha256": "ab", "signer": "S"}]})", ""},
        {R"({"user.elevated": false})", "unknown key \"user.elevated\" (a dotted name stands for nested "
                                        "objects: write {\"user\": {\"elevated\": ...}})"},
        {R"({"user": {"elevatd": false}})", "unknown key \"user.elevatd\""},
        {R"({"trustedFiles": [{"sha256": "ab"}, {"sigher": "S"}]})",
         "unknown key \"trustedFiles[1].sigher\""},
        {R"({"sessions": [{"id": 1, "state": "active", "colour": 1}]})",
         "unknown key \"sessions[0].colour\""},
        {R"({"faults": {"diskFull": {"afterBytes": 1, "size": 2}}})", "unknown key \"faults.diskFull.size\""},
        {R"({"faults": {"killAt": "copy"}})",
         "faults.killAt: expected \"start\", \"filecopy\" or \"maintenancecopy\""},
        {R"({"user": {"elevated": "no"}})", "user.elevated: expected true or false"},
        {R"({"windows": {"major": "10"}})", "windows.major: expected a whole number from 0 to 4294967295"},
        {R"({"windows": {"major": -1}})", "windows.major: expected a whole number from 0 to 4294967295"},
        {R"({"user": true})", "user: expected an object"},
        {R"({"trustedFiles": {"sha256": "ab"}})", "trustedFiles: expected a list"},
        {R"({"refusedServiceChanges": ["a", 1]})", "refusedServiceChanges: expected a list of texts"},
        {R"({"hostNames": [{"name": "mms", "addresses": ["::1", "192.168.1.4"]}]})",
         "hostNames[0].addresses: \"192.168.1.4\" is no loopback address"},
        {R"({"networkAdapters": [{"name": "a", "speed": 1}]})", "unknown key \"networkAdapters[0].speed\""},
        {R"([1, 2])", "the file is not a JSON object"},
        {"{ not json", "the file is not valid JSON"},
    };
    for (const Row& row : rows) {
        std::ofstream(root.Path() + "/machine.json", std::ios::trunc) << row.json;
        std::vector<std::string> problems;
        const jxplat::MachineDescription d = jxplat::LoadMachineDescription(root.Path(), &problems);
        if (*row.problem == 0) {
            EXPECT_TRUE(problems.empty()) << row.json << ": " << (problems.empty() ? "" : problems[0]);
            EXPECT_FALSE(d.user.elevated) << row.json;
            continue;
        }
        ASSERT_EQ(problems.size(), 1u) << row.json;
        EXPECT_EQ(problems[0], row.problem) << row.json;
    }
    // Every key the writer writes is one the reader knows.
    root.Describe(jxplat::MachineDescription{});
    std::vector<std::string> problems;
    jxplat::LoadMachineDescription(root.Path(), &problems);
    EXPECT_TRUE(problems.empty());
}

// A process that starts on a machine root while the root's description is being written must not
// put the default description (which trusts no program) in its place, and two writers must not mix
// their texts: either would send a trusted setup down the untrusted path now and then.
TEST(MachineDescription, ConcurrentWritersNeverLeaveTheDefaultOrAMixedFile) {
    jxtest::TempMachineRoot root;
    jxplat::MachineDescription trusted;
    trusted.trustedFiles.push_back({"ab", "Signer", true, ""});
    jxplat::MachineDescription other = trusted;
    other.computerName = "OTHER";
    for (int i = 0; i < 100; ++i) {
        const std::string folder = root.Path() + "/round" + std::to_string(i);
        std::thread starter([&] { jxplat::SetMachineRoot(folder); });
        std::thread writer([&] { jxplat::WriteMachineDescription(folder, trusted); });
        std::thread second([&] { jxplat::WriteMachineDescription(folder, other); });
        starter.join();
        writer.join();
        second.join();
        std::vector<std::string> problems;
        const jxplat::MachineDescription read = jxplat::LoadMachineDescription(folder, &problems);
        ASSERT_TRUE(problems.empty()) << problems[0];
        ASSERT_EQ(read.trustedFiles.size(), 1u) << "round " << i << ": the default description won";
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename().string().find("machine.json.tmp"), std::string::npos);
    }
    jxplat::SetMachineRoot(root.Path());
}

// A process on a machine whose description has a problem ends at once with exit code 1, the
// problem named on stderr and in the machine's trace.
TEST(MachineDescriptionDeathTest, AProcessOnABadDescriptionEndsWithOne) {
    jxtest::TempMachineRoot root;
    std::ofstream(root.Path() + "/machine.json", std::ios::trunc) << R"({"user": {"elevatd": false}})";
    jxplat::SetMachineRoot(root.Path());
    EXPECT_EXIT(jxplat::Machine(), testing::ExitedWithCode(1), "machine.json: unknown key \"user.elevatd\"");
    EXPECT_NE(jxtest::ReadHostFile(root.Path() + "/trace.log").find("unknown key \"user.elevatd\""),
              std::string::npos);
    root.Describe(jxplat::MachineDescription{});
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

TEST(MachineNetwork, NamesResolveOnlyToLoopback) {
    jxplat::MachineDescription d;
    d.hostNames = {{"Updates.Jx.Test", {"::1", "127.0.0.2"}}};
    jxtest::TempMachineRoot root(d);
    EXPECT_EQ(jxplat::ResolveConfinedHost("updates.jx.test"), (std::vector<std::string>{"::1", "127.0.0.2"}));
    EXPECT_EQ(jxplat::ResolveConfinedHost("LOCALHOST"), (std::vector<std::string>{"127.0.0.1", "::1"}));
    EXPECT_EQ(jxplat::ResolveConfinedHost("[::1]"), (std::vector<std::string>{"::1"}));
    EXPECT_EQ(jxplat::ResolveConfinedHost("127.8.9.10"), (std::vector<std::string>{"127.8.9.10"}));
    EXPECT_TRUE(jxplat::ResolveConfinedHost("example.com").empty());
    EXPECT_TRUE(jxplat::ResolveConfinedHost("10.0.0.1").empty());
    EXPECT_TRUE(jxplat::TrustedRootCertificatesPem().empty());
}
