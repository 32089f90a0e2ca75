// The run loop: where it stops, when it rolls the copied files back, and where a run restarted after
// a reboot resumes.
#include "sequence_support.h"

#include <algorithm>
#include <stdexcept>

namespace jxseqtest {
namespace {

enum class Raise { Failure, FailureWithRollback, Reboot, Cancel, Exception };

struct StopCase {
    const char* name;
    Raise raise;
    bool useUI; // a progress callback: the run polls for a cancel and counts its steps
    bool stops; // the actions after CopyFiles do not run
    bool rolledBack;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class SequenceStop : public SequenceTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(SequenceStop, EndsBeforeTheNextAction) {
    const StopCase& c = GetParam();
    Set(u"InstallMode", u"Install");
    if (c.useUI)
        UseProgressCallback();
    else
        Set(u"_QuietInstallation", u"true");
    RecordHandlers();
    m_Hooks["CopyFiles"] = [this, &c](const JxSequenceAction&) {
        if (m_Data.IsCountingProcessSteps())
            return;
        JxSequenceData& state = m_Data.m_SequenceData;
        switch (c.raise) {
        case Raise::FailureWithRollback:
            state.m_bRollback = true;
            [[fallthrough]];
        case Raise::Failure:
            state.m_bFailure = true;
            break;
        case Raise::Reboot:
            state.m_bRebootRequired = true;
            break;
        case Raise::Cancel:
            m_Data.m_UserCancelled = true;
            break;
        case Raise::Exception:
            throw std::runtime_error("boom");
        }
    };

    m_Data.Sequence_Execute();

    std::vector<std::string> expected = ReadGolden("install.golden");
    if (c.stops)
        expected.erase(std::find(expected.begin(), expected.end(), "CopyFiles") + 1, expected.end());
    EXPECT_EQ(m_Ran, expected);
    EXPECT_EQ(m_Log.Has("LP_INFO", "Rolling back the copied files."), c.rolledBack);
    EXPECT_TRUE(m_Data.m_SequenceData.m_bSequenceStarted);
}

INSTANTIATE_TEST_SUITE_P(
    SequenceStops, SequenceStop,
    ::testing::Values(StopCase{"Failure", Raise::Failure, false, true, false},
                      // The rollback a failed copy asks for happens in a quiet run too.
                      StopCase{"FailureWithRollbackQuiet", Raise::FailureWithRollback, false, true, true},
                      StopCase{"FailureWithRollbackUI", Raise::FailureWithRollback, true, true, true},
                      StopCase{"Reboot", Raise::Reboot, false, true, false},
                      // A handler's exception is its action's failure.
                      StopCase{"ExceptionQuiet", Raise::Exception, false, true, false},
                      StopCase{"ExceptionUI", Raise::Exception, true, true, false},
                      StopCase{"CancelUI", Raise::Cancel, true, true, true},
                      // A quiet run never asks for a cancel: it goes on and rolls nothing back.
                      StopCase{"CancelQuiet", Raise::Cancel, false, false, false}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// What a handler throws is logged with its action and recorded as the run's failure; the first
// failure's record stays. Thrown while counting, it ends the run before the first action.
TEST_F(SequenceTest, AnExceptionOfAHandlerIsTheFailureOfItsAction) {
    for (const bool whileCounting : {false, true}) {
        SCOPED_TRACE(whileCounting ? "while counting" : "while running");
        m_Ran.clear();
        m_Data.m_SequenceData = JxSequenceData();
        Set(u"InstallMode", u"Install");
        UseProgressCallback();
        RecordHandlers();
        m_Hooks["CopyFiles"] = [this, whileCounting](const JxSequenceAction&) {
            if (m_Data.IsCountingProcessSteps() == whileCounting)
                throw 7; // not even a std::exception
        };
        m_Data.Sequence_Execute();
        const JxSequenceData& state = m_Data.m_SequenceData;
        EXPECT_TRUE(state.m_bFailure);
        EXPECT_EQ(state.m_Error.m_ActionName, u"CopyFiles");
        EXPECT_EQ(state.m_Error.m_Description, u"Exception: unknown exception");
        EXPECT_TRUE(m_Log.Has("ERROR", "Action CopyFiles ended with an exception: unknown exception"));
        EXPECT_TRUE(state.m_bSequenceStarted);
        if (whileCounting)
            EXPECT_TRUE(m_Ran.empty());
        else
            EXPECT_EQ(m_Ran.back(), "CopyFiles");
    }
}

// The last action's own failure still ends the run properly.
TEST_F(SequenceTest, FailureOfTheLastActionStillEndsTheRun) {
    Set(u"InstallMode", u"Install");
    UseProgressCallback();
    RecordHandlers();
    m_Hooks["FinishSysRestore"] = [this](const JxSequenceAction&) {
        if (!m_Data.IsCountingProcessSteps())
            m_Data.m_SequenceData.m_bFailure = true;
    };
    m_Data.Sequence_Execute();
    EXPECT_EQ(m_Ran, ReadGolden("install.golden"));
    EXPECT_TRUE(m_Data.m_SequenceData.m_bSequenceStarted);
    ASSERT_FALSE(m_Progress.empty());
    EXPECT_EQ(m_Progress.back().position, 100);
}

struct ResumeCase {
    const char* name;
    const char16_t* lastState;
    bool useUI;
    std::vector<std::string> skipped;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const ResumeCase& c, std::ostream* os) {
    *os << c.name;
}

class SequenceResume : public SequenceTest, public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(SequenceResume, SkipsTheSkippableActionsBeforeTheResumeAction) {
    const ResumeCase& c = GetParam();
    Set(u"InstallMode", u"Install");
    Set(u"_SeqLastState", c.lastState);
    if (c.useUI)
        UseProgressCallback();
    else
        Set(u"_QuietInstallation", u"true");
    RecordHandlers();

    m_Data.Sequence_Execute();

    std::vector<std::string> expected = ReadGolden("install.golden");
    for (const std::string& name : c.skipped)
        expected.erase(std::find(expected.begin(), expected.end(), name));
    EXPECT_EQ(m_Ran, expected);
    EXPECT_FALSE(m_Data.m_SequenceData.m_bResuming);
    EXPECT_EQ(m_Data.m_SequenceData.m_LastState, c.lastState);
}

INSTANTIATE_TEST_SUITE_P(
    SequenceResumes, SequenceResume,
    ::testing::Values(
        // The actions that are not skippable run again (the restore point too, which then wraps
        // the files the resumed run installs); from the resume action on all run.
        ResumeCase{
            "AtPrerequisites", u"InstallPrerequisite", false, {"SelfUnregOnUpdate", "InstallSetupSVC"}},
        // The counting pass walks the list too and must leave the resume point in place.
        ResumeCase{
            "AtPrerequisitesCounted", u"InstallPrerequisite", true, {"SelfUnregOnUpdate", "InstallSetupSVC"}},
        ResumeCase{"AtCopyFiles",
                   u"CopyFiles",
                   false,
                   {"SelfUnregOnUpdate", "InstallSetupSVC", "InstallPrerequisite"}},
        // Names compare with case: an unknown resume point makes a normal run.
        ResumeCase{"WrongCase", u"copyfiles", false, {}}, ResumeCase{"Unknown", u"NoSuchAction", true, {}}),
    [](const ::testing::TestParamInfo<ResumeCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace jxseqtest
