// The restore point of a run: opened by CreateSysRestore and kept by FinishSysRestore on a machine
// with a restore service; a run that ends before FinishSysRestore leaves no point behind; without
// the service (or in an uninstall) both actions only log and the run goes on.
#include "jxplat/srrestoreptapi.h"
#include "sequence_support.h"

namespace jxseqtest {
namespace {

class SystemRestoreSequence : public SequenceTest {
protected:
    // The two restore actions run for real, every other action only records.
    void RunWithRestoreActions(const std::u16string& installMode) {
        Set(u"InstallMode", installMode);
        Set(u"_CreateSysRestorePoint", u"TRUE");
        Set(u"_QuietInstallation", u"true");
        m_Data.m_BindSequenceHandlerForTesting = [this](JxSequenceAction& action) {
            if (action.m_Name == u"CreateSysRestore" || action.m_Name == u"FinishSysRestore")
                return;
            action.m_Handler = [this, name = jxtext::N(action.m_Name)]() {
                m_Ran.push_back(name);
                auto hook = m_Hooks.find(name);
                if (hook != m_Hooks.end())
                    hook->second(JxSequenceAction(jxtext::W(name), u"", 0));
            };
        };
        m_Data.Sequence_Execute();
    }

    void WithRestoreService() {
        jxplat::MachineDescription machine;
        machine.systemRestore = true;
        m_Root.Describe(machine);
    }
};

TEST_F(SystemRestoreSequence, AnInstallIsWrappedInARestorePointThatIsKept) {
    WithRestoreService();
    Set(u"PRODUCTNAME", u"Brellwick Suite");
    RunWithRestoreActions(u"Install");
    EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure);
    const auto points = jxplat::ReadRestorePoints();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].description, u"Brellwick Suite (5.2.0.118)");
    EXPECT_EQ(points[0].state, "kept");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Creating system restore point."));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "BeginSystemRestorePoint succeeded."));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Finishing system restore point."));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "EndSystemRestorePoint succeeded."));
}

TEST_F(SystemRestoreSequence, ARunThatFailsLeavesNoRestorePointBehind) {
    WithRestoreService();
    m_Hooks["CopyFiles"] = [this](const JxSequenceAction& action) {
        m_Data.m_SequenceData.FailAction(action.m_Name, u"copy failed");
    };
    RunWithRestoreActions(u"Install");
    EXPECT_TRUE(m_Data.m_SequenceData.m_bFailure);
    ASSERT_EQ(jxplat::ReadRestorePoints().size(), 1u);
    EXPECT_EQ(jxplat::ReadRestorePoints()[0].state, "open");
    // The data object goes at the end of the run and takes the open point with it.
    m_Data.m_RestorePoint.reset();
    EXPECT_EQ(jxplat::ReadRestorePoints()[0].state, "cancelled");
}

TEST_F(SystemRestoreSequence, TheDataObjectCancelsAPointStillOpen) {
    WithRestoreService();
    {
        JxData data;
        data.SetProperty(u"_CreateSysRestorePoint", u"true", 1);
        data.action_SystemRestore(JxSequenceAction(u"CreateSysRestore", u"", 0x01b));
        ASSERT_EQ(jxplat::ReadRestorePoints().size(), 1u);
    }
    EXPECT_EQ(jxplat::ReadRestorePoints()[0].state, "cancelled");
}

TEST_F(SystemRestoreSequence, WithoutTheServiceBothActionsLogTheirFailureAndTheRunGoesOn) {
    RunWithRestoreActions(u"Install");
    EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure);
    EXPECT_TRUE(m_Log.Has("WARNING", "BeginSystemRestorePoint failed."));
    EXPECT_TRUE(m_Log.Has("WARNING", "EndSystemRestorePoint failed."));
    EXPECT_TRUE(jxplat::ReadRestorePoints().empty());
}

TEST_F(SystemRestoreSequence, AnUninstallOpensNoPoint) {
    WithRestoreService();
    RunWithRestoreActions(u"Uninstall");
    EXPECT_FALSE(m_Log.Has("LP_INFO", "Creating system restore point."));
    EXPECT_TRUE(m_Log.Has("WARNING", "JxSystemRestorePoint isn't initialized."));
    EXPECT_TRUE(jxplat::ReadRestorePoints().empty());
}

} // namespace
} // namespace jxseqtest
