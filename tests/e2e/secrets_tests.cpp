// Protected values given on the command line or expanded into a program's arguments reach the
// programs that need them and never the run logs or the trace, through the hand-over to the
// trusted engine, the install and a prerequisite.
#include <gtest/gtest.h>

#include <filesystem>

#include <windows.h>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

// The sample with a prerequisite that is given protected values in its arguments and notes the
// command line it saw.
jxe2e::ProductVariant WithPrerequisiteGivenSecrets() {
    jxe2e::ProductVariant variant;
    jxe2e::AddPrerequisite(variant, "prerequisitearg=\"/quiet /key=[__PASSWORD] /pin=[__PIN]\"",
                           "#!/bin/sh\n"
                           "echo \"$JX_COMMAND_LINE\" >> \"$JX_MACHINE_ROOT/prereq.runs\"\n"
                           "echo 0 > \"$JX_EXIT_CODE_FILE\"\n");
    return variant;
}

// Waits for every process started on the machine, also those started while it waits.
void WaitForAllProcesses() {
    for (int round = 0; round < 100; ++round) {
        bool running = false;
        for (const jxplat::ProcessTableEntry& entry : jxplat::ReadProcessTable()) {
            if (!entry.running)
                continue;
            running = true;
            if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.processId)) {
                WaitForSingleObject(process, 120000);
                CloseHandle(process);
            }
        }
        if (!running)
            return;
    }
}

TEST(Secrets, NeverInTheLogsOrTheTraceOfAHandedOverInstall) {
    // The machine trusts the built program, which the setup carries as its trusted engine, but not
    // the setup itself: the setup hands its command line over to the engine it extracts.
    jxtest::TempMachineRoot root(jxe2e::TrustingMachine());
    const std::string setup =
        jxe2e::PackProduct(WithPrerequisiteGivenSecrets(), fs::path(root.Path()) / "pack");
    ASSERT_FALSE(setup.empty());
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"DebugLevel", 10, 0);

    const auto run = jxtest::RunProgram(setup, {"/_QuietInstallation=true", "/__PASSWORD=Wq8-pass",
                                                "/\u00A7__PIN=Wq8-pin", "/NOTE=1",
                                                // quoted whole by the caller: read into NOTE's value
                                                "/@__TOKEN= Wq8-token words"});
    ASSERT_TRUE(run.started);
    WaitForAllProcesses();

    const auto table = jxplat::ReadProcessTable();
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table[0].path, u"C:\\ProgramData\\Tolvane\\Setups\\tmp\\setup.exe") << "handed over";
    const std::string notes = jxtest::ReadHostFile(root.Path() + "/prereq.runs");
    EXPECT_NE(notes.find("/quiet /key=Wq8-pass /pin=Wq8-pin"), std::string::npos) << notes;
    EXPECT_TRUE(fs::exists(
        jxplat::WindowsToHostPath(u"C:\\Program Files (x86)\\Tolvane\\Quillmere Notes\\notes.txt")));

    const auto logs = jxe2e::RunLogs(root);
    ASSERT_EQ(logs.size(), 2u);
    const std::string trace = jxe2e::Trace(root);
    ASSERT_NE(trace.find("Starting prerequisite"), std::string::npos) << "the trace holds the run";
    for (const std::string& text : {logs[0], logs[1], trace}) {
        for (const char* secret : {"Wq8-pass", "Wq8-pin", "Wq8-token"})
            EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in\n" << text;
    }
    const std::string all = logs[0] + logs[1];
    EXPECT_NE(all.find("/__PASSWORD=********"), std::string::npos);
    EXPECT_NE(all.find("/key=******** /pin=********"), std::string::npos);
}

} // namespace
