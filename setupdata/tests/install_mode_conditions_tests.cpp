// The install state the pages show, and the system requirements of a definition checked against
// the machine's properties: install conditions, the overview and the recommendations.
#include <gtest/gtest.h>

#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"
#include "loader_support.h"

using namespace JxSetup::Data;

namespace {

struct StateCase {
    const char* name;
    const char16_t* installMode;
    int updateMode;
    const char16_t* expected;
};

void PrintTo(const StateCase& c, std::ostream* os) {
    *os << c.name;
}

struct ProgressCall {
    LPVOID context;
    int position;
    int maximum;
    std::u16string text;
    bool withText;
};

std::vector<ProgressCall> g_ProgressCalls;

void RecordProgress(LPVOID context, int position, int maximum, const WCHAR* text) {
    g_ProgressCalls.push_back({context, position, maximum, text ? text : u"", text != nullptr});
}

class InstallState : public ::testing::TestWithParam<StateCase> {};

TEST_P(InstallState, FollowsTheInstallAndUpdateMode) {
    const StateCase& c = GetParam();
    jxtest::TempMachineRoot root;
    JxData data;
    int context = 0;
    g_ProgressCalls.clear();
    data.m_ProgressCallback = {RecordProgress, &context};
    data.SetProperty(u"InstallMode", c.installMode, 1);
    data.m_UpdateMode = c.updateMode;
    data.SetInstallState();
    // Stored as a reference for the page texts to expand.
    data.SetProperty(u"IS_INSTALL", u"installing", 1);
    EXPECT_EQ(data.ExpandProperties(u"[_INSTALLSTATE]") == u"installing",
              std::u16string(c.expected) == u"[IS_INSTALL]");
    JxPropertyMap all = data.GetAllProperties();
    EXPECT_EQ(all[u"_INSTALLSTATE"], c.expected);
    // Without a GUI object the callback gets the preparation step, without a text.
    ASSERT_EQ(g_ProgressCalls.size(), 1u);
    EXPECT_EQ(g_ProgressCalls[0].context, &context);
    EXPECT_EQ(g_ProgressCalls[0].position, -1);
    EXPECT_EQ(g_ProgressCalls[0].maximum, 0);
    EXPECT_FALSE(g_ProgressCalls[0].withText);
}

INSTANTIATE_TEST_SUITE_P(Modes, InstallState,
                         ::testing::Values(StateCase{"Empty", u"", 0, u"[IS_INSTALL]"},
                                           StateCase{"InstallAnyCase", u"INSTALL", 2, u"[IS_INSTALL]"},
                                           StateCase{"Update", u"maintenance", 1, u"[IS_UPDATE]"},
                                           StateCase{"Upgrade", u"Maintenance", 2, u"[IS_UPDATE]"},
                                           StateCase{"Modify", u"Maintenance", 0, u"[IS_MODIFY]"},
                                           StateCase{"ExitSetup", u"Maintenance", 3, u"[IS_MODIFY]"},
                                           StateCase{"Uninstall", u"uninstall", 0, u"[IS_UNINSTALL]"},
                                           StateCase{"Other", u"Repair", 0, u"[IS_CONFIG]"}),
                         [](const ::testing::TestParamInfo<StateCase>& info) {
                             return std::string(info.param.name);
                         });

// A definition with install conditions on the Windows version and the user, an overview row, and
// recommendations for installs and upgrades. The system properties are set by each test.
const char* const kDefinition = R"(<?xml version="1.0" encoding="UTF-16"?>
<Setup productid="{PRODUCT}" productname="Suite" version="1.0.0.1">
  <InstallConditions>
    <InstallCondition condition="[VersionNT] &gt;= 601" text="[MSG_OS]" showonupdate="true"/>
    <InstallCondition condition="[AdminUser] == 1" text="[MSG_ADMIN]"/>
    <InstallCondition condition="[PhysicalMemory] &gt;= 1024" text="Memory [PhysicalMemory] MB" showinoverview="true"/>
    <InstallCondition condition="" text="Always met" showinoverview="true"/>
  </InstallConditions>
  <SystemRecommendations>
    <SystemRecommendation condition="[PhysicalMemory] &lt; 4096" text="[MSG_MEMORY]" optional="true"/>
    <SystemRecommendation condition="[PhysicalMemory] &lt; 8192" text="[MSG_UPGRADE]" showonupdate="true"/>
  </SystemRecommendations>
</Setup>
)";

class SystemChecks : public jxloadertest::LoaderTest {
protected:
    void SetUp() override {
        jxloadertest::WriteDefinition(kDefinition);
        ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
        ASSERT_EQ(m_Data.m_InstallConditions.size(), 4u);
        Set(u"MSG_OS", u"Windows 7 or later is needed.");
        Set(u"MSG_ADMIN", u"Administrator rights are needed.");
        // A machine that meets everything.
        Set(u"VersionNT", u"1000");
        Set(u"AdminUser", u"1");
        Set(u"PhysicalMemory", u"16384");
    }
    void Set(const std::u16string& name, const std::u16string& value) { m_Data.SetProperty(name, value, 1); }
    std::u16string Get(const std::u16string& name) { return m_Data.GetPropertyValue(name); }
    const JxSequenceData& State() { return m_Data.m_SequenceData; }
};

TEST_F(SystemChecks, AMachineThatMeetsEverythingPasses) {
    m_Data.CheckInstallConditions();
    EXPECT_FALSE(State().m_bFailure);
    EXPECT_EQ(Get(u"_InstallConditionFailure"), u"");
    EXPECT_EQ(Get(u"_SysConfigValues"), u"ok.svgz\tMemory 16384 MB\tok.svgz\tAlways met");
    EXPECT_EQ(Get(u"_SysConfigFailed"), u"false");
    EXPECT_EQ(Get(u"_SystemRecommendationFail"), u"");
    EXPECT_TRUE(m_Data.CheckInstallConditionFailure());
}

TEST_F(SystemChecks, TheFirstFailedConditionIsRecorded) {
    Set(u"VersionNT", u"600");
    Set(u"AdminUser", u"0");
    m_Data.CheckInstallConditions();
    ASSERT_TRUE(State().m_bFailure);
    const JxErrorInfo& error = State().m_Error;
    EXPECT_EQ(error.m_ActionName, u"CheckInstallConditions");
    EXPECT_EQ(error.m_Keyword, u"SystemRequirements");
    EXPECT_EQ(error.m_Message, u"SystemRequirements");
    EXPECT_EQ(error.m_Description, u"System requirements not met.");
    EXPECT_EQ(error.m_nCode, -101);
    EXPECT_EQ(error.m_nSubCode, -1001);
    // The text as written, not expanded.
    EXPECT_EQ(m_Data.GetAllProperties()[u"_InstallConditionFailure"], u"[MSG_OS]");
    // The overview is built all the same.
    EXPECT_EQ(Get(u"_SysConfigFailed"), u"false");
}

TEST_F(SystemChecks, AnExpandedMessageIsShownWhenAsked) {
    Set(u"VersionNT", u"600");
    Set(u"ShowConditionError", u"true");
    int context = 0;
    g_ProgressCalls.clear();
    m_Data.m_ProgressCallback = {RecordProgress, &context};
    m_Data.CheckInstallConditions();
    EXPECT_EQ(State().m_Error.m_Message, u"Windows 7 or later is needed.");
    ASSERT_EQ(g_ProgressCalls.size(), 1u);
    EXPECT_EQ(static_cast<unsigned>(g_ProgressCalls[0].position), 0x80000002u);
    EXPECT_EQ(g_ProgressCalls[0].text, u"Windows 7 or later is needed.");
}

TEST_F(SystemChecks, AMaintenanceRunEnforcesOnlyConditionsShownOnUpdate) {
    Set(u"InstallMode", u"Maintenance");
    Set(u"AdminUser", u"0");
    m_Data.CheckInstallConditions();
    EXPECT_FALSE(State().m_bFailure);
    Set(u"VersionNT", u"600");
    m_Data.CheckInstallConditions();
    EXPECT_TRUE(State().m_bFailure);
    // In DLL mode the recorded failure ends the run, with the condition's text as message.
    EXPECT_TRUE(m_Data.CheckInstallConditionFailure());
    Set(u"_IsDLLMode", u"TRUE");
    EXPECT_FALSE(m_Data.CheckInstallConditionFailure());
    EXPECT_EQ(State().m_Error.m_Message, u"Windows 7 or later is needed.");
}

TEST_F(SystemChecks, UninstallingOrSkippingRecordsNothing) {
    Set(u"VersionNT", u"600");
    Set(u"PhysicalMemory", u"512");
    Set(u"InstallMode", u"uninstall");
    m_Data.CheckInstallConditions();
    EXPECT_FALSE(State().m_bFailure);
    EXPECT_EQ(Get(u"_SysConfigValues"), u""); // not even the overview
    EXPECT_EQ(Get(u"_SystemRecommendationFail"), u"");

    Set(u"InstallMode", u"Install");
    Set(u"_SkipInstallCondition", u"True");
    m_Data.CheckInstallConditions();
    EXPECT_FALSE(State().m_bFailure);
    EXPECT_EQ(Get(u"_InstallConditionFailure"), u"");
    EXPECT_EQ(Get(u"_SysConfigFailed"), u"true"); // the rest of the checks still run
}

TEST_F(SystemChecks, AFailedOverviewRowIsListedNotEnforced) {
    Set(u"PhysicalMemory", u"512");
    m_Data.CheckInstallConditions();
    EXPECT_FALSE(State().m_bFailure);
    EXPECT_EQ(Get(u"_SysConfigValues"), u"error.svgz\tMemory 512 MB\tok.svgz\tAlways met");
    EXPECT_EQ(Get(u"_SysConfigFailed"), u"true");
    // Without overview rows the properties keep their values.
    m_Data.m_InstallConditions.resize(2);
    Set(u"PhysicalMemory", u"16384");
    m_Data.CheckSystemConfiguration();
    EXPECT_EQ(Get(u"_SysConfigFailed"), u"true");
}

struct RecommendationCase {
    const char* name;
    const char16_t* installMode;
    int updateMode;
    const char16_t* memory;
    const char16_t* expected;
};

void PrintTo(const RecommendationCase& c, std::ostream* os) {
    *os << c.name;
}

class Recommendations : public SystemChecks, public ::testing::WithParamInterface<RecommendationCase> {};

TEST_P(Recommendations, TheFirstThatAppliesIsKeptUnexpanded) {
    const RecommendationCase& c = GetParam();
    Set(u"InstallMode", c.installMode);
    m_Data.m_UpdateMode = c.updateMode;
    Set(u"PhysicalMemory", c.memory);
    m_Data.CheckInstallConditions();
    EXPECT_EQ(m_Data.GetAllProperties()[u"_SystemRecommendationFail"], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Recommendations,
    ::testing::Values(RecommendationCase{"InstallLowMemory", u"Install", 0, u"2048", u"[MSG_MEMORY]"},
                      RecommendationCase{"InstallSkipsUpgradeRows", u"Install", 0, u"6144", u""},
                      RecommendationCase{"Upgrade", u"Maintenance", 2, u"2048", u"[MSG_UPGRADE]"},
                      RecommendationCase{"Update", u"Maintenance", 1, u"2048", u""},
                      RecommendationCase{"EnoughMemory", u"Install", 0, u"16384", u""}),
    [](const ::testing::TestParamInfo<RecommendationCase>& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    const char16_t* installMode;
    const char16_t* dllMode;
    const char16_t* failure;
    bool result;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class ConditionFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ConditionFailure, EndsOnlyAMaintenanceRunInDllMode) {
    const FailureCase& c = GetParam();
    jxtest::TempMachineRoot root;
    JxData data;
    data.SetProperty(u"InstallMode", c.installMode, 1);
    data.SetProperty(u"_IsDLLMode", c.dllMode, 1);
    data.SetProperty(u"_InstallConditionFailure", c.failure, 1);
    EXPECT_EQ(data.CheckInstallConditionFailure(), c.result);
    EXPECT_EQ(data.m_SequenceData.m_Error.m_Message, c.result ? u"" : c.failure);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ConditionFailure,
    ::testing::Values(FailureCase{"MaintenanceDll", u"MAINTENANCE", u"true", u"No OS", false},
                      FailureCase{"Install", u"Install", u"true", u"No OS", true},
                      FailureCase{"NotDll", u"Maintenance", u"false", u"No OS", true},
                      FailureCase{"NoFailure", u"Maintenance", u"true", u"", true},
                      FailureCase{"OwnName", u"Maintenance", u"true", u"_InstallConditionFailure", true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

} // namespace
