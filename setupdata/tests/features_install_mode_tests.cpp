// The install mode, the update mode's name and the restart request of a run.
#include <gtest/gtest.h>

#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

TEST(FeatureInstallMode, SetAndNameTheModes) {
    jxtest::TempMachineRoot root;
    JxData data;
    EXPECT_TRUE(data.SetInstallMode(u"Maintenance"));
    EXPECT_EQ(data.GetPropertyValue(u"InstallMode"), u"Maintenance");

    std::u16string name;
    const char16_t* const expected[] = {u"NOUPDATE",  u"UPDATE",       u"UPGRADE",
                                        u"EXITSETUP", u"RELOADCONFIG", u""};
    for (int mode = 0; mode <= 5; ++mode) {
        data.m_UpdateMode = mode;
        data.GetUpdateModeName(name);
        EXPECT_EQ(name, expected[mode]);
    }
    data.m_UpdateMode = -1;
    data.GetUpdateModeName(name);
    EXPECT_EQ(name, u"");
}

struct RestartCase {
    const char* name;
    const char16_t* before; // "_RestartRequired" before the call
    bool required;
    const char16_t* restartOnUpgrade;
    const char16_t* installMode;
    int updateMode;
    bool result;
    const char16_t* after;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const RestartCase& c, std::ostream* os) {
    *os << c.name;
}

class FeatureRestart : public ::testing::TestWithParam<RestartCase> {};

TEST_P(FeatureRestart, ReportsTheEarlierRequestAndStoresTheNewOne) {
    const RestartCase& c = GetParam();
    jxtest::TempMachineRoot root;
    JxData data;
    data.SetProperty(u"_RestartRequired", c.before, 1);
    data.SetProperty(u"RESTARTONUPGRADE", c.restartOnUpgrade, 1);
    data.SetProperty(u"InstallMode", c.installMode, 1);
    data.m_UpdateMode = c.updateMode;
    EXPECT_EQ(data.SetRestart(c.required), c.result);
    EXPECT_EQ(data.GetPropertyValue(u"_RestartRequired"), c.after);
    EXPECT_EQ(data.IsRestartRequired(), std::u16string(c.after) == u"1");
}

INSTANTIATE_TEST_SUITE_P(
    FeatureRequests, FeatureRestart,
    ::testing::Values(RestartCase{"FirstRequest", u"", true, u"", u"Install", 0, false, u"1"},
                      RestartCase{"SecondRequest", u"1", true, u"", u"Install", 0, true, u"1"},
                      // A call with false clears an earlier request.
                      RestartCase{"Cleared", u"1", false, u"", u"Install", 0, true, u""},
                      RestartCase{"ForcedOnInstall", u"", false, u"TRUE", u"Install", 0, true, u""},
                      RestartCase{"ForcedOnEmptyMode", u"", false, u"true", u"", 0, true, u""},
                      RestartCase{"ForcedOnUpgrade", u"", false, u"true", u"Maintenance", 2, true, u""},
                      RestartCase{"NotForcedOnUpdate", u"", false, u"true", u"Maintenance", 1, false, u""},
                      RestartCase{"NotForcedOnUninstall", u"", true, u"true", u"Uninstall", 0, false, u"1"}),
    [](const ::testing::TestParamInfo<RestartCase>& info) { return std::string(info.param.name); });

} // namespace
