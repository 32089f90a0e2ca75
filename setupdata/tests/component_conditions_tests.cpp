// Whether an install action processes a component in this run.
#include <gtest/gtest.h>

#include <mutex>

#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

enum Mode { None, Install, Maintenance, Uninstall };
enum Request { InstallRequest, RemoveRequest, KeepInstalled };

constexpr uint32_t kAllModes =
    JX_SEQ_INSTALL | JX_SEQ_MAINTENANCE | JX_SEQ_UNINSTALL | JX_SEQ_UPDATE | JX_SEQ_UPGRADE;

struct DecisionCase {
    const char* name;
    bool expected;
    Mode mode = Install;
    int updateMode = 0; // 1 update, 2 upgrade (Maintenance)
    uint32_t actionFlags = kAllModes;
    Request request = InstallRequest;
    const char16_t* installmode = u"custom";
    const char16_t* condition = u"";
    bool componentForced = false;
    bool featureForced = false;
    bool activatable = false;
    bool activated = false;
    bool enableMode = false;
    bool disableMode = false;
    const char16_t* enableFeatures = u""; // the request of an activation run
    const char16_t* enableList = u"";     // activated when the sequence started
    const char16_t* disableList = u"";    // not activated then
    JxActivationPermissions permissions = {true, true};
    const char16_t* extractaswpk = u"";
    const char16_t* excludefromupdate = u"";
    const char16_t* installifexist = u"";
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const DecisionCase& c, std::ostream* os) {
    *os << c.name;
}

// The cases set what differs from an Install run of an install request for a custom component.
DecisionCase Case(const char* name, bool expected) {
    return DecisionCase{name, expected};
}

class ComponentDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(ComponentDecision, FollowsTheRunTheFeatureAndTheComponent) {
    const DecisionCase& c = GetParam();
    jxtest::TempMachineRoot root;
    JxData data;
    data.m_ProductInfo.productid = u"{PRODUCT}";

    JxFeature feature;
    feature.name = u"Backup";
    feature.m_Activatable = c.activatable;
    feature.forced = c.featureForced;
    JxComponent component;
    component.id = u"{C1}";
    component.installmode = c.installmode;
    component.condition = c.condition;
    component.forced = c.componentForced;
    component.extractaswpk = c.extractaswpk;
    component.excludefromupdate = c.excludefromupdate;
    component.installifexist = c.installifexist;
    feature.components.push_back(component);
    data.m_Features.push_back(feature);

    const bool installed = c.request != InstallRequest;
    data.SetProperty(installed ? u"FeatureStateInstalled" : u"FeatureStateAbsent", u"$Backup$", 1);
    data.SetProperty(c.request == RemoveRequest ? u"FeatureActionRemove" : u"FeatureActionInstall",
                     u"$Backup$", 1);
    data.SetProperty(u"_EnableFeatures", c.enableFeatures, 1);
    data.SetAllFeaturesActivated(c.activated);

    JxSequenceData& state = data.m_SequenceData;
    state.m_bInstallModeInstall = c.mode == Install;
    state.m_bInstallModeMaintenance = c.mode == Maintenance;
    state.m_bInstallModeUninstall = c.mode == Uninstall;
    const char16_t* modeNames[] = {u"", u"Install", u"Maintenance", u"Uninstall"};
    data.SetProperty(u"InstallMode", modeNames[c.mode], 1);
    state.m_bUpdate = c.updateMode == 1;
    state.m_bUpgrade = c.updateMode == 2;
    state.m_bEnableFeatureMode = c.enableMode;
    state.m_bDisableFeatureMode = c.disableMode;
    state.m_EnableList = c.enableList;
    state.m_DisableList = c.disableList;

    const JxSequenceAction action(u"CopyFiles", u"", c.actionFlags);
    EXPECT_EQ(data.IsComponentToBeProcessed(component, feature, action, c.permissions), c.expected);
    EXPECT_FALSE(state.m_bFailure);
}

// Builders of the rows: each names what differs.
DecisionCase With(DecisionCase c, void (*change)(DecisionCase&)) {
    change(c);
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    ComponentDecisions, ComponentDecision,
    ::testing::Values(
        // Install
        Case("InstallRequest", true),
        With(Case("InstallFeatureAlreadyInstalled", false),
             [](DecisionCase& c) { c.request = KeepInstalled; }),
        With(Case("InstallActionNotOnInstall", false),
             [](DecisionCase& c) { c.actionFlags = JX_SEQ_MAINTENANCE; }),
        With(Case("InstallLeavesActivatableToEnableDecision", false),
             [](DecisionCase& c) {
                 c.activatable = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
             }),
        With(Case("InstallActivatableWithoutEnableFlag", true),
             [](DecisionCase& c) { c.activatable = true; }),
        With(Case("ConditionFails", false), [](DecisionCase& c) { c.condition = u"_[UNSET_PROPERTY]"; }),
        With(Case("ConditionHolds", true), [](DecisionCase& c) { c.condition = u"![UNSET_PROPERTY]"; }),
        With(Case("ForcedComponent", true),
             [](DecisionCase& c) {
                 c.componentForced = true;
                 c.condition = u"_[UNSET_PROPERTY]";
                 c.request = KeepInstalled;
             }),
        With(Case("ForcedFeature", true),
             [](DecisionCase& c) {
                 c.featureForced = true;
                 c.mode = None;
             }),
        With(Case("PermanentInstalled", true), [](DecisionCase& c) { c.installmode = u"Permanent"; }),
        With(Case("OtherInstallModeNever", false), [](DecisionCase& c) { c.installmode = u"sometimes"; }),
        With(Case("ExtractedAsPackageSkipsCounters", true),
             [](DecisionCase& c) {
                 c.installmode = u"";
                 c.extractaswpk = u"TRUE";
             }),
        // Maintenance
        With(Case("MaintenanceInstall", true), [](DecisionCase& c) { c.mode = Maintenance; }),
        With(Case("MaintenanceRemove", true),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = RemoveRequest;
             }),
        With(Case("MaintenanceRemoveActionNotOnUninstall", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = RemoveRequest;
                 c.actionFlags = JX_SEQ_INSTALL | JX_SEQ_MAINTENANCE;
             }),
        With(Case("MaintenanceActionNotOnMaintenance", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.actionFlags = JX_SEQ_INSTALL | JX_SEQ_UNINSTALL;
             }),
        With(Case("MaintenanceNothingToDo", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
             }),
        With(Case("PermanentNeverRemoved", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = RemoveRequest;
                 c.installmode = u"permanent";
             }),
        With(Case("Update", true),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.updateMode = 1;
             }),
        With(Case("UpdateActionNotOnUpdate", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.updateMode = 1;
                 c.actionFlags = kAllModes & ~JX_SEQ_UPDATE;
             }),
        With(Case("UpgradeActionOnUpdateOnly", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.updateMode = 2;
                 c.actionFlags = kAllModes & ~JX_SEQ_UPGRADE;
             }),
        With(Case("UpdateExcludedComponent", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.updateMode = 1;
                 c.excludefromupdate = u"True";
             }),
        With(Case("ModifyIgnoresExclusionFromUpdate", true),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.excludefromupdate = u"true";
             }),
        With(Case("MaintenanceActivatedFeature", true),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.activatable = true;
                 c.activated = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
             }),
        With(Case("MaintenanceInactiveFeature", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.activatable = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
             }),
        // Uninstall
        With(Case("UninstallRemove", true),
             [](DecisionCase& c) {
                 c.mode = Uninstall;
                 c.request = RemoveRequest;
             }),
        With(Case("UninstallWithoutRemoveRequest", false), [](DecisionCase& c) { c.mode = Uninstall; }),
        With(Case("NoMode", false), [](DecisionCase& c) { c.mode = None; }),
        // Enable-feature runs: the activation decision replaces the mode's.
        With(Case("EnableRequested", true),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.enableMode = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
                 c.enableFeatures = u"$Backup$";
             }),
        With(Case("EnableAlreadyActiveAtStart", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.enableMode = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
                 c.enableFeatures = u"$Backup$";
                 c.enableList = u"$BACKUP$";
             }),
        With(Case("EnableNotPermitted", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.enableMode = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
                 c.enableFeatures = u"$Backup$";
                 c.permissions = {false, true};
             }),
        With(Case("EnableAlreadyActivated", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.activated = true;
                 c.enableMode = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
                 c.enableFeatures = u"$Backup$";
             }),
        With(Case("EnableRequestWithCase", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.enableMode = true;
                 c.actionFlags |= JX_SEQ_ENABLE_FEATURE;
                 c.enableFeatures = u"$backup$";
             }),
        // Disable-feature runs.
        With(Case("DisableActivated", true),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.activated = true;
                 c.disableMode = true;
                 c.actionFlags |= JX_SEQ_DISABLE_FEATURE;
             }),
        With(Case("DisableAlreadyInactive", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.disableMode = true;
                 c.actionFlags |= JX_SEQ_DISABLE_FEATURE;
             }),
        With(Case("DisableOnUninstallEvenIfInactive", true),
             [](DecisionCase& c) {
                 c.mode = Uninstall;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.disableMode = true;
                 c.actionFlags |= JX_SEQ_DISABLE_FEATURE;
             }),
        With(Case("DisableKeepsRequestedFeature", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.activated = true;
                 c.disableMode = true;
                 c.actionFlags |= JX_SEQ_DISABLE_FEATURE;
                 c.enableFeatures = u"$Backup$";
             }),
        With(Case("DisableInactiveAtStart", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.activated = true;
                 c.disableMode = true;
                 c.actionFlags |= JX_SEQ_DISABLE_FEATURE;
                 c.disableList = u"$Backup$";
             }),
        With(Case("DisableNotPermitted", false),
             [](DecisionCase& c) {
                 c.mode = Maintenance;
                 c.request = KeepInstalled;
                 c.activatable = true;
                 c.activated = true;
                 c.disableMode = true;
                 c.actionFlags |= JX_SEQ_DISABLE_FEATURE;
                 c.permissions = {true, false};
             })),
    [](const ::testing::TestParamInfo<DecisionCase>& info) { return std::string(info.param.name); });

// The counting pass asks the same questions, processes nothing and counts one step per question.
TEST(ComponentCounting, CountsEveryQuestionAndProcessesNothing) {
    jxtest::TempMachineRoot root;
    JxData data;
    JxFeature feature;
    feature.name = u"Core";
    JxComponent component;
    component.installmode = u"custom";
    component.forced = true;
    data.SetProperty(u"FeatureStateAbsent", u"$Core$", 1);
    data.SetProperty(u"FeatureActionInstall", u"$Core$", 1);
    data.m_SequenceData.m_bInstallModeInstall = true;
    const JxSequenceAction counting(u"CopyFiles", u"", JX_SEQ_INSTALL | JX_SEQ_COUNTS_OWN_STEPS);
    const JxSequenceAction plain(u"AddRegValues", u"", JX_SEQ_INSTALL);

    data.m_CountingProcessSteps = true;
    EXPECT_FALSE(data.IsComponentToBeProcessed(component, feature, counting, {}));
    EXPECT_FALSE(data.IsComponentToBeProcessed(component, feature, plain, {}));
    EXPECT_EQ(data.m_StepsMax, 1u);

    data.m_CountingProcessSteps = false;
    EXPECT_TRUE(data.IsComponentToBeProcessed(component, feature, counting, {}));
    EXPECT_TRUE(data.IsComponentToBeProcessed(component, feature, plain, {}));
    EXPECT_EQ(data.m_StepsCurrent, 1u);
}

TEST(ComponentConditions, EmptyConditionsHoldAndNoActionFeaturesNeverMeetThem) {
    jxtest::TempMachineRoot root;
    std::mutex lock;
    std::vector<std::u16string> ends;
    JxLog::SetCaptureForTesting(
        [&](int level, std::u16string_view, std::u16string_view context, std::u16string_view message) {
            std::lock_guard<std::mutex> guard(lock);
            if (level == LOG_END && context == u"JxSetup::Data::JxData::GetConditionResult")
                ends.emplace_back(message);
        });
    JxData data;
    data.SetProperty(u"SET_PROPERTY", u"x", 1);
    EXPECT_TRUE(data.GetConditionResult(u""));
    EXPECT_TRUE(data.GetConditionResult(u"_[SET_PROPERTY]"));
    EXPECT_FALSE(data.GetConditionResult(u"[SET_PROPERTY] == 'y'"));
    JxLog::SetCaptureForTesting(nullptr);
    EXPECT_EQ(ends, (std::vector<std::u16string>{u"true", u"Result of result = _[SET_PROPERTY] is true",
                                                 u"Result of result = [SET_PROPERTY] == \"y\" is false"}));

    JxComponent component;
    JxFeature feature;
    feature.mode = u"noaction";
    EXPECT_FALSE(data.IsComponentConditionMet(component, feature));
    feature.mode = u"NoAction"; // compared exactly
    EXPECT_TRUE(data.IsComponentConditionMet(component, feature));
    component.condition = u"_[UNSET_PROPERTY]";
    EXPECT_FALSE(data.IsComponentConditionMet(component, feature));
}

} // namespace
