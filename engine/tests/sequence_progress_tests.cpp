// Progress of the install sequence: the counting pass, the "%s;MAX;%d" and "%s;CUR;%d" lines and
// what the progress callback sees.
#include "sequence_support.h"

namespace jxseqtest {
namespace {

class SequenceProgress : public SequenceTest {
protected:
    // CopyFiles asks about both components of "Core", as the file copy does per component.
    void CopyFilesAsksPerComponent() {
        m_Hooks["CopyFiles"] = [this](const JxSequenceAction& action) {
            JxFeature core;
            m_Data.GetFeature(core, u"Core");
            for (const JxComponent& component : core.components)
                m_Data.IsComponentToBeProcessed(component, core, action, JxActivationPermissions{true, true});
        };
    }

    // The lines both passes should write: one per action the run loop counts, one per component
    // that CopyFiles asks about; numbered from 1.
    std::vector<std::string> ExpectedLines(const std::string& kind) {
        std::map<std::string, bool> countsOwn;
        for (const JxSequenceAction& action : m_Data.m_SequenceData.m_Actions)
            countsOwn[jxtext::N(action.m_Name)] = action.m_bCountsOwnSteps;
        std::vector<std::string> lines;
        for (std::string name : ReadGolden("install.golden")) {
            const size_t paren = name.find('(');
            if (paren != std::string::npos)
                name.erase(paren);
            const int steps = name == "CopyFiles" ? 2 : countsOwn[name] ? 0 : 1;
            for (int i = 0; i < steps; ++i)
                lines.push_back(name + ";" + kind + ";" + std::to_string(lines.size() + 1));
        }
        return lines;
    }
};

TEST_F(SequenceProgress, BothPassesWriteTheSameStepsAndTheRunEndsAtFullProgress) {
    Set(u"InstallMode", u"Install");
    UseProgressCallback();
    RecordHandlers();
    CopyFilesAsksPerComponent();

    m_Data.Sequence_Execute();

    const std::vector<std::string> max = ExpectedLines("MAX");
    EXPECT_EQ(m_Log.Messages("LP_INFO", "::LOGProgressMax"), max);
    EXPECT_EQ(m_Log.Messages("LP_INFO", "::LOGProgressCurrent"), ExpectedLines("CUR"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "MaxActions: " + std::to_string(max.size())));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Counting process steps for action CopyFiles"));
    EXPECT_EQ(m_Data.m_StepsMax, max.size());
    EXPECT_EQ(m_Data.m_StepsCurrent, max.size());

    // The range after counting, the two file steps, and the end.
    ASSERT_EQ(m_Progress.size(), 4u);
    EXPECT_EQ(m_Progress[0].position, 0);
    EXPECT_EQ(m_Progress[0].maximum, static_cast<int>(max.size()));
    EXPECT_EQ(m_Progress[1].maximum, 100);
    EXPECT_LT(m_Progress[1].position, m_Progress[2].position);
    EXPECT_EQ(m_Progress[3].position, 100);
    EXPECT_EQ(m_Progress[3].maximum, 100);
}

TEST_F(SequenceProgress, AQuietRunCountsNothingAndAsksNoComponent) {
    Set(u"InstallMode", u"Install");
    Set(u"_QuietInstallation", u"true");
    RecordHandlers();
    CopyFilesAsksPerComponent();
    m_Data.Sequence_Execute();
    EXPECT_TRUE(m_Log.Messages("LP_INFO", "::LOGProgressMax").empty());
    EXPECT_FALSE(m_Log.Has("LP_INFO", "Counting process steps"));
    EXPECT_EQ(m_Ran, ReadGolden("install.golden"));
}

// A run that stops early jumps to the end: the last step is the closing one, without a name.
TEST_F(SequenceProgress, AStoppedRunClosesAtFullProgress) {
    Set(u"InstallMode", u"Install");
    UseProgressCallback();
    RecordHandlers();
    m_Hooks["StopProcesses"] = [this](const JxSequenceAction&) { m_Data.m_SequenceData.m_bFailure = true; };
    m_Data.Sequence_Execute();
    const std::vector<std::string> current = m_Log.Messages("LP_INFO", "::LOGProgressCurrent");
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(current.back(), ";CUR;" + std::to_string(m_Data.m_StepsMax));
    ASSERT_FALSE(m_Progress.empty());
    EXPECT_EQ(m_Progress.back().position, 100);
}

// An activation run counts nothing; the closing step must not wind the counter below 0.
TEST_F(SequenceProgress, AnUncountedRunStillEndsAtFullProgress) {
    Set(u"InstallMode", u"Maintenance");
    Set(u"_EnableFeatures", u"$Backup$");
    MakeBackupActivatable();
    m_Data.SetFeatureActivationMode();
    UseProgressCallback();
    RecordHandlers();
    m_Data.Sequence_Execute();
    EXPECT_EQ(m_Ran, ReadGolden("enable_feature.golden"));
    ASSERT_FALSE(m_Progress.empty());
    EXPECT_EQ(m_Progress.back().position, 100);
    EXPECT_EQ(m_Data.m_StepsCurrent, m_Data.m_StepsMax);
    EXPECT_GT(m_Data.m_StepsCurrent, 1u);
}

TEST_F(SequenceProgress, StepsOutsideAnActionAndTheCallbackWithoutACount) {
    UseProgressCallback();
    m_Data.AddProcessStep();
    m_Data.AddProcessStep();
    EXPECT_EQ(m_Log.Messages("LP_INFO", "::LOGProgressMax"),
              (std::vector<std::string>{"UNKNOWN;MAX;1", "UNKNOWN;MAX;2"}));

    // Nothing counted: the steps done are the whole.
    m_Data.m_StepsMax = 0;
    m_Data.m_StepsCurrent = 3;
    m_Data.StepProgress(JxSequenceAction(u"X", u"", 0));
    EXPECT_EQ(m_Data.m_StepsMax, 3u);
    ASSERT_EQ(m_Progress.size(), 1u);
    EXPECT_EQ(m_Progress[0].position, 100);

    // More steps done than counted.
    m_Data.StepProgress(JxSequenceAction(u"X", u"", JX_SEQ_COUNTS_OWN_STEPS));
    EXPECT_EQ(m_Progress.back().position, 133);
    EXPECT_EQ(m_Log.Messages("LP_INFO", "::LOGProgressCurrent"), (std::vector<std::string>{"X;CUR;4"}));
}

} // namespace
} // namespace jxseqtest
