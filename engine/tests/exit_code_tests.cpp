// The end of a run: the result decision of the shutdown and the process exit code.
#include <gtest/gtest.h>

#include <stdexcept>

#include "jxengine/JxSetupEngineControl.h"
#include "jxengine/entry.h"
#include "jxengine/resources.h"
#include "jxplat/text.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

class TestEngine : public JxSetupEngineControl {
public:
    using JxSetupEngineControl::m_bHandedOver;
    using JxSetupEngineControl::m_bShowErrorBox;
    using JxSetupEngineControl::m_nErrorStringId;
    using JxSetupEngineControl::m_nExitCode;
    using JxSetupEngineControl::m_pData;
};

struct Row {
    const char* name;
    int errorStringId = 0;
    bool failure = false;
    bool handedOver = false;
    bool cancelled = false;
    bool restartConfirmed = false;
    bool restartRequired = false; // "_RestartRequired": something waits for the restart
    bool rebootRequired = false;
    bool prerequisiteReboot = false;
    bool skipFinish = false;
    bool closeSecondInstance = false;
    int expected = 0;
};

class ExitCode : public ::testing::TestWithParam<Row> {};

TEST_P(ExitCode, FollowsTheRunState) {
    jxtest::TempMachineRoot root;
    const Row& row = GetParam();
    TestEngine engine;
    JxData& data = *engine.m_pData;
    engine.m_nErrorStringId = row.errorStringId;
    engine.m_bHandedOver = row.handedOver;
    data.m_SequenceData.m_bFailure = row.failure;
    data.m_UserCancelled = row.cancelled;
    data.m_SequenceData.m_bRebootRequired = row.rebootRequired;
    data.m_SequenceData.m_bSkipFinish = row.skipFinish;
    data.SetProperty(u"_QuietInstallation", u"true", 1); // a quiet run never restarts the machine itself
    if (row.restartConfirmed)
        data.SetProperty(u"_PerformRestartConfirmed", u"TRUE", 1);
    if (row.restartRequired)
        data.SetRestart(true);
    if (row.prerequisiteReboot)
        data.m_SequenceData.m_RestartRequest.m_Reason = u"prerequisite needs REBOOT";
    if (row.closeSecondInstance)
        data.SetProperty(u"_CloseSecondInstance", u"true", 1);
    engine.Shutdown_SetupEngine();
    EXPECT_EQ(engine.GetExitCode(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExitCode,
    ::testing::Values(
        Row{.name = "NormalEnd", .expected = 0},
        Row{.name = "DefinitionNotLoaded", .errorStringId = 10003, .expected = 1},
        Row{.name = "GuiNotInitialised", .errorStringId = 10005, .expected = 1},
        Row{.name = "SequenceFailed", .failure = true, .expected = 1},
        Row{.name = "FailedButHandedOver", .failure = true, .handedOver = true, .expected = 0},
        Row{.name = "CancelledNoRestart", .cancelled = true, .expected = 1},
        Row{.name = "CancelledRestartConfirmed", .cancelled = true, .restartConfirmed = true, .expected = 3},
        Row{.name = "CancelledThenRebootRequired", .cancelled = true, .rebootRequired = true, .expected = 3},
        Row{.name = "NormalEndRestartConfirmed", .restartConfirmed = true, .expected = 3},
        // A restart nobody confirmed (a quiet run asks nobody) still ends with 3; a failed or
        // cancelled run stays a failure.
        Row{.name = "NormalEndRestartRequired", .restartRequired = true, .expected = 3},
        Row{.name = "FailedRestartRequired", .failure = true, .restartRequired = true, .expected = 1},
        Row{.name = "CancelledRestartRequired", .cancelled = true, .restartRequired = true, .expected = 1},
        Row{.name = "FailedButRebootRequired", .failure = true, .rebootRequired = true, .expected = 3},
        Row{.name = "PrerequisiteReboot", .prerequisiteReboot = true, .expected = 4},
        Row{.name = "PrerequisiteRebootBeatsCancel",
            .cancelled = true,
            .prerequisiteReboot = true,
            .expected = 4},
        Row{.name = "SupportModeRan", .skipFinish = true, .expected = 0},
        Row{.name = "SupportModeRebootRequired", .rebootRequired = true, .skipFinish = true, .expected = 3},
        Row{.name = "SupportModePrerequisiteReboot",
            .prerequisiteReboot = true,
            .skipFinish = true,
            .expected = 4},
        Row{.name = "SecondInstanceClosed", .closeSecondInstance = true, .expected = 0}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// Lines the result decision wrote, captured from the log.
class LogLines {
public:
    LogLines() {
        JxLog::SetCaptureForTesting([this](int, std::u16string_view, std::u16string_view,
                                           std::u16string_view m) { m_lines.push_back(std::u16string(m)); });
    }
    ~LogLines() { JxLog::SetCaptureForTesting(nullptr); }
    bool Has(std::u16string_view line) const {
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }

private:
    std::vector<std::u16string> m_lines;
};

TEST(ResultDecision, UninstallRemovesTheSetupOnlyAfterItRanToItsEnd) {
    jxtest::TempMachineRoot root;
    struct Case {
        bool started;
        bool failure;
        bool deletes;
    } cases[] = {{false, false, false}, {true, true, false}, {true, false, true}};
    for (const Case& c : cases) {
        jxtest::CLogCapture lines(true);
        TestEngine engine;
        engine.m_pData->SetProperty(u"InstallMode", u"Uninstall", 1);
        engine.m_pData->m_SequenceData.m_bSequenceStarted = c.started;
        engine.m_pData->m_SequenceData.m_bFailure = c.failure;
        engine.Shutdown_SetupEngine();
        EXPECT_EQ(lines.Has("LP_INFO", "|Delete myself."), c.deletes) << c.started << c.failure;
        EXPECT_EQ(lines.Has("BEGIN", "|JxSetup::Data::JxData::DeleteUpdateFolder|"), c.deletes);
    }
}

TEST(ResultDecision, SummaryNamesTheFailedAction) {
    jxtest::TempMachineRoot root;
    LogLines lines;
    TestEngine engine;
    engine.m_pData->m_SequenceData.m_bFailure = true;
    engine.m_pData->m_SequenceData.m_Error.m_ActionName = u"CopyFiles";
    engine.m_pData->m_SequenceData.m_Error.m_FeatureName = u"Core";
    engine.m_pData->m_SequenceData.m_Error.m_Description = u"Disk full";
    engine.ReportResult();
    EXPECT_TRUE(lines.Has(u"Action: CopyFiles - Feature: Core - Message: Disk full"));
}

TEST(ReportResult, ShowsTheErrorBoxWithItsCaption) {
    jxtest::TempMachineRoot root;
    RegisterProgramResources();
    TestEngine engine;
    engine.m_nErrorStringId = 10005;
    engine.m_bShowErrorBox = true;
    engine.ReportResult();
    auto boxes = jxplat::ReadRecordedMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Setup error");
    EXPECT_EQ(boxes[0].text.rfind(u"Error while initializing the setup user interface.", 0), 0u);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
}

// The outermost boundary: a run's own code passes; whatever it throws ends it with 1 and a reason.
TEST(RunGuarded, AnExceptionEndsTheRunWithOneAndAnErrorLine) {
    jxtest::TempMachineRoot root;
    jxtest::CLogCapture lines;
    EXPECT_EQ(RunGuarded([] { return 3; }), 3);
    EXPECT_EQ(RunGuarded([]() -> int { throw std::runtime_error("disk gone"); }), 1);
    EXPECT_TRUE(lines.Has("ERROR", "The run ended with an exception: disk gone")) << lines.Dump();
    EXPECT_EQ(RunGuarded([]() -> int { throw 42; }), 1);
    EXPECT_TRUE(lines.Has("ERROR", "The run ended with an exception: unknown exception")) << lines.Dump();
}

} // namespace
