// The install sequence driver: when the common update runs, what stops the install actions before
// they start, and the clean-up at the end of every run.
#include <gtest/gtest.h>

#include <fstream>

#include "jxbase/reg.h"
#include "jxengine/JxSetupEngineControl.h"
#include "jxplat/text.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

class TestEngine : public JxSetupEngineControl {
public:
    using JxSetupEngineControl::_canRunCommonUpdate;
    using JxSetupEngineControl::_execute_Install_Sequence;
    using JxSetupEngineControl::_finish_CleanupSteps;
    using JxSetupEngineControl::m_bUnprotectProduct;
    using JxSetupEngineControl::m_pData;
};

struct CommonUpdateRow {
    const char* name;
    bool updateOrUpgrade;
    bool miniSetup;
    bool firstInstall;
    std::vector<std::pair<std::u16string, std::u16string>> properties;
    bool expected;
    const char* line; // a line the decision writes
};

class CommonUpdateDecision : public ::testing::TestWithParam<CommonUpdateRow> {};

TEST_P(CommonUpdateDecision, FollowsModesAndProperties) {
    jxtest::TempMachineRoot root;
    const CommonUpdateRow& row = GetParam();
    TestEngine engine;
    for (const auto& [name, value] : row.properties)
        engine.m_pData->SetProperty(name, value, 1);
    jxtest::CLogCapture log;
    EXPECT_EQ(engine._canRunCommonUpdate(row.updateOrUpgrade, row.miniSetup, row.firstInstall), row.expected);
    if (row.line)
        EXPECT_TRUE(log.Has("LP_INFO", row.line)) << log.Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommonUpdateDecision,
    ::testing::Values(
        CommonUpdateRow{"FirstInstall", false, false, true, {}, true, "First install. Run common update."},
        CommonUpdateRow{
            "Maintenance", false, false, false, {}, false, "Don't run CommonUpdate. InstallMode:"},
        CommonUpdateRow{"Update", true, false, false, {}, true, "AND NOT MiniSetup. Run common update."},
        CommonUpdateRow{
            "MiniSetupEmptyProperty", true, true, false, {}, true, "AND RunMiniSetupCommonUpdate"},
        CommonUpdateRow{"MiniSetupAnyValue",
                        true,
                        true,
                        false,
                        {{u"_RunMiniSetupCommonUpdate", u"false"}},
                        false,
                        nullptr},
        CommonUpdateRow{"ResumedRun",
                        false,
                        false,
                        true,
                        {{u"_SeqLastState", u"InstallPrerequisite"}},
                        false,
                        "Skipping CommonUpdate. LastState: InstallPrerequisite"},
        CommonUpdateRow{
            "Skipped", true, false, false, {{u"_SkipCommonUpdate", u"TRUE"}}, false, "CommonUpdate skipped."},
        CommonUpdateRow{"DllMode",
                        true,
                        false,
                        false,
                        {{u"_IsDLLMode", u"true"}},
                        false,
                        "DLL Mode detected. Skip CommonUpdate"}),
    [](const ::testing::TestParamInfo<CommonUpdateRow>& info) { return std::string(info.param.name); });

TEST(InstallSequence, TheActionsDoNotStartAfterAnExitOrAPendingReboot) {
    jxtest::TempMachineRoot root;
    {
        TestEngine engine;
        JxSequenceData& state = engine.m_pData->m_SequenceData;
        state.m_bFailure = true;
        state.m_Error.m_Message = u"ERR_SOMETHING";
        EXPECT_FALSE(engine._execute_Install_Sequence());
        EXPECT_FALSE(state.m_bSequenceStarted);
    }
    {
        TestEngine engine;
        engine.m_pData->m_SequenceData.m_bRebootRequired = true;
        EXPECT_FALSE(engine._execute_Install_Sequence());
        EXPECT_FALSE(engine.m_pData->m_SequenceData.m_bSequenceStarted);
    }
}

TEST(InstallSequence, ServicesThatCannotBeShutDownStopTheRun) {
    jxtest::TempMachineRoot root;
    TestEngine engine;
    JxData& data = *engine.m_pData;
    JxService service;
    service.name = u"JxProductSvc";
    data.m_InstallServices.push_back(service);
    // The engine's setting "CancelUpdate" makes the shutdown fail without touching a service.
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"CancelUpdate", 1, 0);
    engine.m_bUnprotectProduct = true;
    EXPECT_FALSE(engine._execute_Install_Sequence());
    const JxSequenceData& state = data.m_SequenceData;
    EXPECT_TRUE(state.m_bSequenceStarted);
    EXPECT_TRUE(state.m_bFailure);
    EXPECT_EQ(state.m_Error.m_Keyword, u"SERVICESHUTDOWN");
    EXPECT_EQ(state.m_Error.m_Message, u"ERR_SERVICESHUTDOWN");
    EXPECT_EQ(state.m_Error.m_nCode, -101);
    EXPECT_EQ(state.m_Error.m_nSubCode, -1003);
    EXPECT_EQ(data.ExpandProperties(u"[_uiNoEndMessage]"), u"true");
}

TEST(InstallSequence, TheCleanUpRemovesTheRepairEntryAndLeavesTheTags) {
    jxtest::TempMachineRoot root;
    TestEngine engine;
    JxData& data = *engine.m_pData;
    const WCHAR* runOnce = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    data.SetProperty(u"_PRODUCTID", u"{ABC}", 1);
    data.SetProperty(u"PRODUCTNAME", u"Tolvane Client", 1);
    data.SetProperty(u"_SetFinishTag", u"done-1", 1);
    data.SetProperty(u"_IsDLLMode", u"true", 1);
    data.SetProperty(u"_SkipSetupSvcFixes", u"12", 1);
    data.m_UpdateMode = 2;
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, runOnce, u"{ABC}_FixSvc", u"x", CRegStringType::Sz, 0);
    engine._finish_CleanupSteps();
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, runOnce, u"{ABC}_FixSvc", 0));
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"FinishTag", u"", 0), u"done-1");
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"SkipSetupSvcFixes", 0, 0), 12u);
    std::ifstream events(root.Path() + "/eventlog.jsonl");
    const std::string all((std::istreambuf_iterator<char>(events)), {});
    EXPECT_NE(all.find("productname: Tolvane Client, installMode:"), std::string::npos) << all;

    // A text that is no number leaves the value alone; a maintenance run writes no event.
    TestEngine second;
    second.m_pData->SetProperty(u"_IsDLLMode", u"true", 1);
    second.m_pData->SetProperty(u"_SkipSetupSvcFixes", u"many", 1);
    second.m_pData->SetProperty(u"InstallMode", u"Maintenance", 1);
    second.m_pData->m_UpdateMode = 1;
    CReg::DeleteValueFromRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"SkipSetupSvcFixes", 0);
    const size_t before = all.size();
    second._finish_CleanupSteps();
    EXPECT_FALSE(CReg::ValueExists(HKEY_CLASSES_ROOT, u"JxSetup", u"SkipSetupSvcFixes", 0));
    std::ifstream again(root.Path() + "/eventlog.jsonl");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}).size(), before);
}

} // namespace
