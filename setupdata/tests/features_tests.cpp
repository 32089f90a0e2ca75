// Feature states, actions and lists held in list properties, and the activation of features.
#include <gtest/gtest.h>

#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

class FeatureTest : public ::testing::Test {
protected:
    FeatureTest() {
        m_Data.m_ProductInfo.productid = u"{PRODUCT}";
        for (const char16_t* name : {u"A", u"B", u"Backup", u"Firewall"}) {
            JxFeature feature;
            feature.name = name;
            feature.m_Activatable = name == std::u16string(u"Backup") || name == std::u16string(u"Firewall");
            m_Data.m_Features.push_back(feature);
        }
    }
    void Set(const std::u16string& name, const std::u16string& value) { m_Data.SetProperty(name, value, 1); }
    std::u16string Get(const std::u16string& name) { return m_Data.GetPropertyValue(name); }
    void StoreActivation(const char16_t* name, DWORD value) {
        ASSERT_EQ(CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, u"JxSetup\\{PRODUCT}\\ActivatedFeatures", name,
                                         value, 0),
                  0);
    }

    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
};

struct StateCase {
    const char* name;
    const char16_t* absent;
    const char16_t* installed;
    const char16_t* feature;
    const char16_t* expected;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const StateCase& c, std::ostream* os) {
    *os << c.name;
}

class FeatureState : public FeatureTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(FeatureState, ComesFromTheStateLists) {
    const StateCase& c = GetParam();
    Set(u"FeatureStateAbsent", c.absent);
    Set(u"FeatureStateInstalled", c.installed);
    EXPECT_EQ(m_Data.GetFeatureState(c.feature), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FeatureLists, FeatureState,
    ::testing::Values(StateCase{"Installed", u"$A$", u"$A$,$B$", u"B", u"FeatureStateInstalled"},
                      StateCase{"InBothListsIsAbsent", u"$A$", u"$A$,$B$", u"A", u"FeatureStateAbsent"},
                      StateCase{"ListedNowhere", u"$A$", u"$A$,$B$", u"X", u"FeatureStateAbsent"},
                      StateCase{"TokensCompareWithCase", u"", u"$a$", u"A", u"FeatureStateAbsent"},
                      StateCase{"WholeTokensOnly", u"", u"$AB$", u"A", u"FeatureStateAbsent"}),
    [](const ::testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

struct ActionCase {
    const char* name;
    const char16_t* prohibited;
    const char16_t* install;
    const char16_t* remove;
    const char16_t* expected;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const ActionCase& c, std::ostream* os) {
    *os << c.name;
}

class FeatureAction : public FeatureTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(FeatureAction, ComesFromTheActionLists) {
    const ActionCase& c = GetParam();
    Set(u"FeatureActionProhibited", c.prohibited);
    Set(u"FeatureActionInstall", c.install);
    Set(u"FeatureActionRemove", c.remove);
    EXPECT_EQ(m_Data.GetFeatureAction(u"A"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FeatureLists, FeatureAction,
    ::testing::Values(ActionCase{"Install", u"", u"$B$,$A$", u"", u"FeatureActionInstall"},
                      ActionCase{"Remove", u"", u"", u"$A$", u"FeatureActionRemove"},
                      ActionCase{"InstallWinsOverRemove", u"", u"$A$", u"$A$", u"FeatureActionInstall"},
                      // The prohibited list ignores case; the others do not.
                      ActionCase{"ProhibitedIgnoringCase", u"$a$", u"$A$", u"", u"FeatureActionNothing"},
                      ActionCase{"InstallListWithCase", u"", u"$a$", u"", u"FeatureActionNothing"},
                      ActionCase{"ListedNowhere", u"", u"", u"", u"FeatureActionNothing"}),
    [](const ::testing::TestParamInfo<ActionCase>& info) { return std::string(info.param.name); });

TEST_F(FeatureTest, SetFeatureActionMovesTheFeatureBetweenTheActionLists) {
    Set(u"FeatureActionInstall", u"$A$,$B$");
    EXPECT_TRUE(m_Data.SetFeatureAction(u"A", u"FeatureActionRemove"));
    EXPECT_EQ(Get(u"FeatureActionInstall"), u"$B$");
    EXPECT_EQ(Get(u"FeatureActionRemove"), u"$A$");
    // The action it has already, and a text that is no keyword, change nothing.
    EXPECT_FALSE(m_Data.SetFeatureAction(u"A", u"FeatureActionRemove"));
    EXPECT_FALSE(m_Data.SetFeatureAction(u"A", u"Install"));
    EXPECT_EQ(Get(u"FeatureActionRemove"), u"$A$");
    EXPECT_TRUE(m_Data.SetFeatureAction(u"A", u"FeatureActionNothing"));
    EXPECT_EQ(Get(u"FeatureActionRemove"), u"");
    EXPECT_EQ(Get(u"FeatureActionInstall"), u"$B$");
    // A prohibited feature reads as "nothing" but can still be put into the install list.
    Set(u"FeatureActionProhibited", u"$A$");
    EXPECT_FALSE(m_Data.SetFeatureAction(u"A", u"FeatureActionNothing"));
    EXPECT_TRUE(m_Data.SetFeatureAction(u"A", u"FeatureActionInstall"));
    EXPECT_EQ(Get(u"FeatureActionInstall"), u"$B$,$A$");
}

TEST_F(FeatureTest, SwitchFeatureStateMovesTheFeatureBetweenTheStateLists) {
    Set(u"FeatureStateInstalled", u"$B$");
    EXPECT_TRUE(m_Data.SwitchFeatureState(u"A"));
    EXPECT_EQ(Get(u"FeatureStateInstalled"), u"$B$,$A$");
    EXPECT_EQ(Get(u"FeatureStateAbsent"), u"");
    EXPECT_TRUE(m_Data.SwitchFeatureState(u"A"));
    EXPECT_EQ(Get(u"FeatureStateInstalled"), u"$B$");
    EXPECT_EQ(Get(u"FeatureStateAbsent"), u"$A$");
}

TEST(FeatureLists, AddAndRemoveWholeTokens) {
    std::u16string list;
    JxData::AddTokenToList(u"$A$", list);
    EXPECT_EQ(list, u"$A$");
    JxData::AddTokenToList(u"$A$", list);
    EXPECT_EQ(list, u"$A$");
    JxData::AddTokenToList(u"$a$", list); // tokens compare with case
    EXPECT_EQ(list, u"$A$,$a$");

    list = u"$A$,$B$,$A$";
    JxData::RemoveTokenFromList(u"$A$", list);
    EXPECT_EQ(list, u"$B$");
    list = u"$AB$,,$B$";
    JxData::RemoveTokenFromList(u"$B$", list);
    EXPECT_EQ(list, u"$AB$,"); // empty tokens are kept
}

TEST_F(FeatureTest, ListValidityEnableKeywordAndInclusion) {
    EXPECT_FALSE(m_Data.IsFeatureListValid(u""));
    EXPECT_FALSE(m_Data.IsFeatureListValid(u"$X$"));
    EXPECT_TRUE(m_Data.IsFeatureListValid(u"x$a$x")); // contained, ignoring case

    std::u16string keyword;
    Set(u"_EnableFeatures", u"$A$,$B$");
    Set(u"_DisableFeatures", u"$b$");
    m_Data.GetFeatureEnableKeyword(keyword, u"A");
    EXPECT_EQ(keyword, u"enablefeature");
    m_Data.GetFeatureEnableKeyword(keyword, u"B");
    EXPECT_EQ(keyword, u"disablefeature"); // the disable list wins
    m_Data.GetFeatureEnableKeyword(keyword, u"X");
    EXPECT_EQ(keyword, u"");

    EXPECT_TRUE(m_Data.IsFeatureIncluded(u"backup"));
    EXPECT_FALSE(m_Data.IsFeatureIncluded(u"Back"));
    JxFeature feature;
    m_Data.GetFeature(feature, u"Backup");
    EXPECT_TRUE(feature.m_Activatable);
    m_Data.GetFeature(feature, u"backup");
    EXPECT_EQ(feature.name, u"");
}

struct DefaultCase {
    const char* name;
    bool install, maintenance, update, upgrade;
    const char16_t* enable;
    const char16_t* disable;
    const char16_t* defaults;
    const char16_t* expected; // "_EnableFeatures" afterwards
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const DefaultCase& c, std::ostream* os) {
    *os << c.name;
}

class FeatureDefaults : public FeatureTest, public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(FeatureDefaults, EnableTheDefaultListOnlyWhenNothingIsAsked) {
    const DefaultCase& c = GetParam();
    JxSequenceData& state = m_Data.m_SequenceData;
    state.m_bInstallModeInstall = c.install;
    state.m_bInstallModeMaintenance = c.maintenance;
    state.m_bUpdate = c.update;
    state.m_bUpgrade = c.upgrade;
    Set(u"_EnableFeatures", c.enable);
    Set(u"_DisableFeatures", c.disable);
    Set(u"_EnableFeaturesDefault", c.defaults);
    m_Data.SetDefaultEnabledFeatures();
    EXPECT_EQ(Get(u"_EnableFeatures"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FeatureRuns, FeatureDefaults,
    ::testing::Values(DefaultCase{"Install", true, false, false, false, u"", u"", u"$Backup$", u"$Backup$"},
                      DefaultCase{"Update", false, true, true, false, u"", u"", u"$Backup$", u"$Backup$"},
                      DefaultCase{"Upgrade", false, true, false, true, u"", u"", u"$Backup$", u"$Backup$"},
                      DefaultCase{"Modify", false, true, false, false, u"", u"", u"$Backup$", u""},
                      DefaultCase{"Uninstall", false, false, false, false, u"", u"", u"$Backup$", u""},
                      DefaultCase{"AskedToEnable", true, false, false, false, u"$A$", u"", u"$Backup$",
                                  u"$A$"},
                      DefaultCase{"AskedToDisable", true, false, false, false, u"", u"$A$", u"$Backup$", u""},
                      DefaultCase{"InvalidDefault", true, false, false, false, u"", u"", u"$Nope$", u""}),
    [](const ::testing::TestParamInfo<DefaultCase>& info) { return std::string(info.param.name); });

TEST_F(FeatureTest, ActivationIsReadFromTheProductsKey) {
    // No key: nothing is active.
    EXPECT_FALSE(m_Data.IsFeatureActivated(u"Backup"));
    StoreActivation(u"Backup", 1);
    StoreActivation(u"Firewall", 2); // any value but 0 is active
    StoreActivation(u"A", 0);
    EXPECT_TRUE(m_Data.IsFeatureActivated(u"Backup"));
    EXPECT_TRUE(m_Data.IsFeatureActivated(u"$Backup$"));
    EXPECT_TRUE(m_Data.IsFeatureActivated(u"Firewall"));
    EXPECT_FALSE(m_Data.IsFeatureActivated(u"A"));
    EXPECT_FALSE(m_Data.IsFeatureActivated(u"B"));
    m_Data.SetAllFeaturesActivated(true);
    EXPECT_TRUE(m_Data.IsFeatureActivated(u"B"));
}

TEST_F(FeatureTest, DeactivatedFeaturesAreTheActivatableOnesNotRequested) {
    std::vector<std::u16string> names;
    m_Data.GetActivatableFeatures(names);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Backup", u"Firewall"}));

    Set(u"_EnableFeatures", u"$backup$");
    m_Data.SetDeactivatedFeatures();
    EXPECT_EQ(Get(u"_DisableFeatures"), u"$Firewall$");
    Set(u"_EnableFeatures", u"$Backup$,$Firewall$");
    m_Data.SetDeactivatedFeatures();
    EXPECT_EQ(Get(u"_DisableFeatures"), u"");
    Set(u"_EnableFeatures", u"");
    m_Data.SetDeactivatedFeatures();
    EXPECT_EQ(Get(u"_DisableFeatures"), u"$Backup$,$Firewall$");
}

} // namespace
