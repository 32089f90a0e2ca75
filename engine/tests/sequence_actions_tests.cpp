// The action list of the install sequence and which of its actions run in each kind of run.
#include "sequence_support.h"

namespace jxseqtest {
namespace {

struct ModeCase {
    const char* name;
    const char16_t* installMode;
    int updateMode = 0;
    bool activationMode = false; // a run that only switches feature activation
    const char16_t* enableFeatures = u"";
    bool backupActivatable = false; // the definition's "Backup" keeps its activatable flag
    const char* golden;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class SequenceModes : public SequenceTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(SequenceModes, RunTheActionsOfTheGoldenList) {
    const ModeCase& c = GetParam();
    // Without an activatable feature a run neither enables nor disables features.
    if (c.backupActivatable)
        MakeBackupActivatable();
    Set(u"InstallMode", c.installMode);
    Set(u"_EnableFeatures", c.enableFeatures);
    Set(u"_QuietInstallation", u"true");
    m_Data.m_UpdateMode = c.updateMode;
    if (c.activationMode)
        m_Data.SetFeatureActivationMode();
    RecordHandlers();

    m_Data.Sequence_Execute();

    EXPECT_EQ(m_Ran, ReadGolden(c.golden));
    EXPECT_TRUE(m_Data.m_SequenceData.m_bSequenceStarted);
}

INSTANTIATE_TEST_SUITE_P(
    SequenceRuns, SequenceModes,
    ::testing::Values(
        ModeCase{"Install", u"Install", 0, false, u"", false, "install.golden"},
        ModeCase{"InstallLowerCase", u"install", 0, false, u"", false, "install.golden"},
        // Any other mode runs as an installation.
        ModeCase{"UnknownMode", u"Repair", 0, false, u"", false, "install.golden"},
        ModeCase{"EmptyMode", u"", 0, false, u"", false, "install.golden"},
        ModeCase{"Maintenance", u"Maintenance", 0, false, u"", false, "maintenance.golden"},
        // Update and upgrade decide per component, not per action.
        ModeCase{"MaintenanceUpdate", u"Maintenance", 1, false, u"", false, "maintenance_update.golden"},
        ModeCase{"MaintenanceUpgrade", u"Maintenance", 2, false, u"", false, "maintenance_upgrade.golden"},
        ModeCase{"Uninstall", u"Uninstall", 0, false, u"", false, "uninstall.golden"},
        ModeCase{"EnableFeature", u"Maintenance", 0, true, u"$Backup$", true, "enable_feature.golden"},
        ModeCase{"DisableFeature", u"Maintenance", 0, true, u"", true, "disable_feature.golden"},
        // An activatable feature left out of "_EnableFeatures" is to be disabled.
        ModeCase{"InstallWithInactiveFeature", u"Install", 0, false, u"", true,
                 "install_feature_inactive.golden"},
        // Activation mode with no valid feature list runs nothing.
        ModeCase{"ActivationWithoutRequest", u"Maintenance", 0, true, u"", false, "nothing.golden"}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST_F(SequenceTest, ActionsCarryTheirDisplayTextsFlagsAndDefinitionRows) {
    m_Data._Sequence_Initialize_Actions();
    const std::vector<JxSequenceAction>& actions = m_Data.m_SequenceData.m_Actions;
    // 21 head actions, 11 from the definition (the unknown row adds nothing), 11 tail actions.
    ASSERT_EQ(actions.size(), 43u);
    EXPECT_EQ(actions.front().m_Name, u"CreateSysRestore");
    EXPECT_EQ(actions.back().m_Name, u"FinishSysRestore");

    std::map<std::u16string, const JxSequenceAction*> byName;
    for (const JxSequenceAction& action : actions) {
        byName.emplace(action.m_Name, &action);
        EXPECT_TRUE(action.m_Handler) << jxtext::N(action.m_Name);
    }
    // The display texts are the values of their keys, two of which are not formed from the name.
    EXPECT_EQ(byName[u"CopyFiles"]->m_DisplayText, u"Copying files");
    EXPECT_EQ(byName[u"StoreLocalSetup"]->m_DisplayText, u"Storing the setup");
    EXPECT_EQ(byName[u"DeleteFileOnUpdateFM"]->m_DisplayText, u"Deleting old files");
    EXPECT_EQ(byName[u"SaveSettings"]->m_DisplayText, u"");
    EXPECT_EQ(byName[u"CopyFiles"]->GetFlags(), 0x19bu);
    EXPECT_EQ(byName[u"DeleteFiles"]->GetFlags(), 0x19eu);

    // The custom actions: their flags from the row's install mode, and a copy of part of the row.
    std::vector<const JxSequenceAction*> custom;
    for (const JxSequenceAction& action : actions)
        if (action.m_Name == u"ExecuteCustomAction")
            custom.push_back(&action);
    ASSERT_EQ(custom.size(), 3u);
    EXPECT_EQ(custom[0]->GetFlags(), 0x07bu);
    EXPECT_EQ(custom[1]->GetFlags(), 0x07eu);
    EXPECT_EQ(custom[2]->GetFlags(), 0x07au);
    const JxSequenceEntry& entry = custom[0]->m_Entry;
    EXPECT_EQ(entry.modulename, u"ca.dll");
    EXPECT_EQ(entry.functionname, u"OnInstall");
    EXPECT_EQ(entry.argument, u"/a");
    EXPECT_EQ(entry.componentid, u"{C1}");
    EXPECT_EQ(entry.featurename, u"Core");
    EXPECT_EQ(entry.installmode, u"install");
    EXPECT_TRUE(entry.enablefeature);
    EXPECT_EQ(entry.name, u"");
    EXPECT_EQ(entry.condition, u"");
    EXPECT_EQ(entry.actiontext, u"");
}

TEST(SequenceAction, DecodesEveryBitOfItsFlagWordIntoItsOwnFlag) {
    for (uint32_t bit = 1; bit <= 0x100; bit <<= 1) {
        const JxSequenceAction action(u"A", u"text", bit);
        EXPECT_EQ(action.GetFlags(), bit);
        EXPECT_EQ(action.m_Name, u"A");
        EXPECT_EQ(action.m_DisplayText, u"text");
    }
    const JxSequenceAction action(u"A", u"", 0x101);
    EXPECT_TRUE(action.m_bExecuteOnInstall);
    EXPECT_TRUE(action.m_bSkippableOnResume);
    EXPECT_FALSE(action.m_bCountsOwnSteps);
}

} // namespace
} // namespace jxseqtest
