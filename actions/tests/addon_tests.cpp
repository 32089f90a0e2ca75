// Add-on functions and custom actions: the test add-on module (addon.dll) beside the setup program.
#include <filesystem>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

const std::u16string kAppDir = u"C:\\SetupSource\\";

void PlaceProgram(const std::string& name) {
    const std::string target = jxplat::WindowsToHostPath(kAppDir + jxtext::W(name));
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::filesystem::copy_file(jxtest::BuildDir() + "/tests/programs/" + name, target);
}

class AddOn : public ::testing::Test {
protected:
    AddOn() {
        PlaceProgram("addon.dll");
        PlaceProgram("hello.dll");
        m_Data.SetAppDir(kAppDir);
        m_Data.SetProperty(u"VersionNT", u"1000", 1);
        m_Data.SetProperty(u"PRODUCTNAME", u"Jx Test", 1);
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
};

TEST_F(AddOn, TheAnswerSetsPropertiesAndLogsTheMessage) {
    EXPECT_TRUE(m_Data.ExecuteAddOn(u"addon.dll", u"SetValues", u"for [PRODUCTNAME]"));
    EXPECT_EQ(m_Data.GetPropertyValue(u"ADDON_RESULT"), u"done");
    EXPECT_EQ(m_Data.GetPropertyValue(u"ADDON_ARGUMENT"), u"for Jx Test");
    EXPECT_EQ(m_Data.GetPropertyValue(u"DANGLING"), u"");
    EXPECT_TRUE(m_Log.Has("BEGIN", "Module: addon.dll Function: SetValues Argument: for [PRODUCTNAME]"));
    EXPECT_TRUE(
        m_Log.Has("LP_INFO", "Executing AddOn Module=addon.dll Function=SetValues Argument=for Jx Test"));
    EXPECT_TRUE(m_Log.Has("HP_INFO", "SetValues answered."));
    EXPECT_TRUE(m_Log.Has("END", "true"));
}

TEST_F(AddOn, AFalseAnswerStillSetsItsPropertiesAndEmptyAnswersAreAccepted) {
    EXPECT_FALSE(m_Data.ExecuteAddOn(u"addon.dll", u"Fails", u""));
    EXPECT_EQ(m_Data.GetPropertyValue(u"ADDON_FAILED"), u"yes");
    EXPECT_TRUE(m_Log.Has("HP_INFO", "Fails answered false."));
    EXPECT_TRUE(m_Log.Has("END", "false"));

    m_Log.Clear();
    EXPECT_TRUE(m_Data.ExecuteAddOn(u"addon.dll", u"Silent", u""));
    EXPECT_FALSE(m_Log.Has("HP_INFO", ""));
}

// A module or an export that is not there, and an add-on that throws: each call ends with false
// and its own line; the properties of the thrown answer are not set and its text is freed.
TEST_F(AddOn, FailuresEndTheCallWithTheirLine) {
    struct Case {
        const char16_t* module;
        const char16_t* function;
        const char* level;
        const char* line;
    };
    for (const Case& c :
         {Case{u"nosuch.dll", u"SetValues", "END", "Couldn't initialize Module nosuch.dll."},
          Case{u"hello.dll", u"SetValues", "ERROR", "Error while initializing function SetValues"},
          Case{u"addon.dll", u"Throws", "ERROR", "Error while executing addon addon.dll, Throws, arg"}}) {
        SCOPED_TRACE(jxtext::N(c.function));
        m_Log.Clear();
        EXPECT_FALSE(m_Data.ExecuteAddOn(c.module, c.function, u"arg"));
        EXPECT_TRUE(m_Log.Has(c.level, c.line)) << m_Log.Dump();
    }
    EXPECT_EQ(m_Data.GetPropertyValue(u"ADDON_THROWN"), u"");
    EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure);
}

TEST(SplitNameValuePairs, TabsSeparateNamesAndValues) {
    struct Case {
        const char16_t* text;
        std::vector<std::pair<std::u16string, std::u16string>> pairs;
    };
    for (const Case& c :
         {Case{u"A\t1\tB", {{u"A", u"1"}}}, Case{u"A\t\t1\tB\t2", {{u"A", u"1"}, {u"B", u"2"}}},
          Case{u"\tA\t1\t", {{u"A", u"1"}}}, Case{u"", {}}, Case{u"\t\t", {}}}) {
        const std::vector<JxPropertyRow> rows = JxData::SplitNameValuePairs(c.text);
        ASSERT_EQ(rows.size(), c.pairs.size()) << jxtext::N(c.text);
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].name, c.pairs[i].first);
            EXPECT_EQ(rows[i].value, c.pairs[i].second);
            EXPECT_EQ(rows[i].localizable, u"false");
            EXPECT_FALSE(rows[i].locked);
            EXPECT_FALSE(rows[i].numeric);
        }
    }
}

class CustomAction : public AddOn {
protected:
    CustomAction() {
        JxFeature feature;
        feature.name = u"Core";
        JxComponent component;
        component.id = u"{C1}";
        component.destinationdir = u"C:\\Program Files\\Jx\\";
        component.installmode = u"custom";
        feature.components.push_back(component);
        m_Data.m_Features.push_back(feature);
        m_Data.m_SequenceData.m_bInstallModeInstall = true;
        m_Data.SetProperty(u"InstallMode", u"Install", 1);
        m_Data.SetProperty(u"FeatureStateAbsent", u"$Core$", 1);
        m_Data.SetProperty(u"FeatureActionInstall", u"$Core$", 1);
    }
    void Run(uint32_t flags) {
        m_Data.ExecuteCustomAction(u"addon.dll", u"SetValues", u"x", u"Install", u"{C1}", u"Core",
                                   JxSequenceAction(u"ExecuteCustomAction", u"", flags));
    }
};

TEST_F(CustomAction, ACustomActionOfAProcessedComponentCallsItsAddOn) {
    Run(0x07b);
    EXPECT_EQ(m_Data.GetPropertyValue(u"ADDON_RESULT"), u"done");
}

TEST_F(CustomAction, AnActionThatDoesNotProcessTheComponentCallsNothing) {
    Run(0x07e); // an uninstall action in an installation
    EXPECT_EQ(m_Data.GetPropertyValue(u"ADDON_RESULT"), u"");
    m_Data.m_Features[0].components[0].extractaswpk = u"TRUE";
    Run(0x07b);
    EXPECT_EQ(m_Data.GetPropertyValue(u"ADDON_RESULT"), u"");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Skip action of component: {C1}"));
    EXPECT_FALSE(m_Log.Has("LP_INFO", "Executing AddOn"));
}

} // namespace
