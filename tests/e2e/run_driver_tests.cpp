// Runs of the real program against a fresh machine root.
#include <filesystem>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxplat/winuser.h"
#include "jxtest/machine_root.h"
#include "jxtest/run_program.h"

#include "e2e_support.h"

namespace {

using jxe2e::Program;

TEST(ProgramRun, WinsockFailureEndsWithOneAndNothingLoggedOrShown) {
    jxplat::MachineDescription d;
    d.faultWsaStartup = true;
    jxtest::TempMachineRoot root(d);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"DebugLevel", 9, 0);
    auto run = jxtest::RunProgram(Program(), {"/_QuietInstallation=true"});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(jxplat::ReadRecordedMessageBoxes().empty());
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/trace.log"));
}

TEST(ProgramRun, MissingDefinitionShowsTheInitErrorBoxAndEndsWithOne) {
    jxtest::TempMachineRoot root(jxe2e::TrustingMachine());
    auto run = jxtest::RunProgram(Program(), {});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1);
    auto boxes = jxplat::ReadRecordedMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Setup error");
    EXPECT_EQ(boxes[0].text.rfind(u"Error while initializing the setup.\n", 0), 0u);
    // No DebugLevel value: the engine writes no trace.
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/trace.log"));
}

// An unattended run has no one to answer a box: the same failure ends it with 1, its text in the
// log as an ERROR, and no box.
TEST(ProgramRun, AQuietRunWithoutADefinitionShowsNoBoxAndLogsTheError) {
    jxtest::TempMachineRoot root(jxe2e::TrustingMachine());
    auto run = jxtest::RunProgram(Program(), {"/_QuietInstallation=true"});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(jxplat::ReadRecordedMessageBoxes().empty());
    const std::string log = jxe2e::AllLogs(root);
    EXPECT_NE(log.find("Setup error: Error while initializing the setup."), std::string::npos) << log;
}

TEST(ProgramRun, DebugLevelTurnsTheEngineTraceOn) {
    jxtest::TempMachineRoot root(jxe2e::TrustingMachine());
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"DebugLevel", 5, 0);
    auto run = jxtest::RunProgram(Program(), {});
    EXPECT_EQ(run.exitCode, 1);
    std::string trace = jxtest::ReadHostFile(root.Path() + "/trace.log");
    size_t found = trace.find("Setup is not ok.");
    ASSERT_NE(found, std::string::npos) << trace;
    size_t begin = trace.rfind('\n', found);
    std::string line = trace.substr(begin == std::string::npos ? 0 : begin, found - begin);
    EXPECT_NE(line.find("JxSetup::Data::JxSetupEngineControl::_finish_Cleanup"), std::string::npos) << trace;
}

// The self-check of the program's own packages reports its steps to the window named by "/dig".
TEST(ProgramRun, TheSelfCheckReportsItsStepsToTheProgressWindow) {
    jxtest::TempMachineRoot root;
    auto run = jxtest::RunProgram(jxtest::BuildDir() + "/samples/setup.exe", {"/md5", "/dig1234"});
    ASSERT_TRUE(run.started);
    const std::vector<jxplat::RecordedWindowMessage> messages = jxplat::ReadRecordedWindowMessages();
    ASSERT_EQ(messages.size(), 2u);
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].window, 1234u);
        EXPECT_EQ(messages[i].message, 1677u);
        EXPECT_EQ(messages[i].lParam, static_cast<LPARAM>(i + 2)) << "the steps in order, without errors";
    }
}

} // namespace
