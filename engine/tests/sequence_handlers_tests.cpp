// The handlers of the install actions as the engine binds them: each action name reaches its own
// handler, and the logic of the handlers that decide by themselves.
#include "sequence_support.h"

#include <cstdlib>

#include "jxsetupdata/IJxExternalGUI.h"

namespace jxseqtest {
namespace {

// The handler each action name is bound to, written out apart from the engine's own table.
std::u16string ExpectedHandler(const std::u16string& action) {
    if (action == u"CreateSysRestore")
        return u"action_SystemRestore";
    return u"action_" + action;
}

// Every action of the list reaches its own handler: its BEGIN line is the first a handler writes.
// While the steps are counted the handlers change nothing on the machine.
TEST_F(SequenceTest, EveryActionNameReachesItsOwnHandler) {
    m_Data._Sequence_Initialize_Actions();
    const std::vector<JxSequenceAction> actions = m_Data.m_SequenceData.m_Actions;
    ASSERT_EQ(actions.size(), 43u);
    for (const JxSequenceAction& action : actions) {
        SCOPED_TRACE(jxtext::N(action.m_Name));
        m_Data.m_SequenceData = JxSequenceData();
        CLogLines lines;
        if (action.m_Name == u"InstallSetupSVC" || action.m_Name == u"UninstallSetupSVC") {
            // These two write no lines of their own: the worker they name tells them apart.
            m_Data.m_CountingProcessSteps = false;
            m_Data.m_SetupSvc.setupsvcdir = u"C:\\Svc";
            m_Data.m_SetupSvc.setupsvcfile = u"svc.exe";
            m_Data.m_SetupSvc.setupsvcname = u"JxSetupSvc";
            action.m_Handler();
            m_Data.m_SetupSvc = JxSetupSVCData();
            const std::string worker = action.m_Name == u"InstallSetupSVC"
                                           ? "JxSetup::Data::JxSetupSVC::installSetupSVC"
                                           : "JxSetup::Data::JxSetupSVC::uninstallSetupSVC";
            const std::vector<std::string> begins = lines.Contexts("BEGIN", "JxSetup::Data::JxSetupSVC::");
            ASSERT_FALSE(begins.empty());
            EXPECT_EQ(begins.front(), worker);
            EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure) << "the run does not depend on the setup service";
            continue;
        }
        m_Data.m_CountingProcessSteps = true;
        action.m_Handler();
        m_Data.m_CountingProcessSteps = false;
        const std::vector<std::string> begins = lines.Contexts("BEGIN", "JxSetup::Data::JxData::action_");
        ASSERT_FALSE(begins.empty());
        EXPECT_EQ(begins.front(), "JxSetup::Data::JxData::" + jxtext::N(ExpectedHandler(action.m_Name)));
    }
}

struct RebootCase {
    const char* name;
    const char16_t* actionProperty; // the feature list property that holds "$F$", or ""
    const char16_t* keywordProperty;
    bool activated;
    const char16_t* condition;
    bool restart;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const RebootCase& c, std::ostream* os) {
    *os << c.name;
}

class RebootOnFeature : public SequenceTest, public ::testing::WithParamInterface<RebootCase> {};

// A feature asks for the restart when its reboot condition holds and it has something to do: an
// install or remove action, or, with no action, an activation that changes its state.
TEST_P(RebootOnFeature, AsksForTheRestartWhenTheFeatureChanges) {
    const RebootCase& c = GetParam();
    JxFeature feature;
    feature.name = u"F";
    feature.rebootcondition = c.condition;
    m_Data.m_Features = {feature};
    for (const WCHAR* list : {u"FeatureActionInstall", u"FeatureActionRemove", u"FeatureActionNothing",
                              u"_EnableFeatures", u"_DisableFeatures"})
        Set(list, u"");
    if (*c.actionProperty)
        Set(c.actionProperty, u"$F$");
    if (*c.keywordProperty)
        Set(c.keywordProperty, u"$F$");
    m_Data.SetAllFeaturesActivated(c.activated);
    Set(u"R", u"1");
    Set(u"_RestartRequired", u"");

    m_Data.m_CountingProcessSteps = true;
    m_Data.action_RebootOnFeatureCondition(JxSequenceAction(u"RebootOnFeatureCondition", u"", 0));
    EXPECT_FALSE(m_Data.IsRestartRequired()) << "counting the steps asks for nothing";
    m_Data.m_CountingProcessSteps = false;
    m_Data.action_RebootOnFeatureCondition(JxSequenceAction(u"RebootOnFeatureCondition", u"", 0));
    EXPECT_EQ(m_Data.IsRestartRequired(), c.restart);
}

INSTANTIATE_TEST_SUITE_P(
    Features, RebootOnFeature,
    ::testing::Values(
        RebootCase{"Installed", u"FeatureActionInstall", u"", false, u"[R] == 1", true},
        RebootCase{"InstalledConditionFalse", u"FeatureActionInstall", u"", false, u"[R] == 2", false},
        RebootCase{"InstalledNoCondition", u"FeatureActionInstall", u"", false, u"", false},
        RebootCase{"Removed", u"FeatureActionRemove", u"", false, u"[R] == 1", true},
        RebootCase{"NothingToDo", u"", u"", false, u"[R] == 1", false},
        RebootCase{"EnabledWhileInactive", u"", u"_EnableFeatures", false, u"[R] == 1", true},
        RebootCase{"EnabledWhileActive", u"", u"_EnableFeatures", true, u"[R] == 1", false},
        RebootCase{"DisabledWhileActive", u"", u"_DisableFeatures", true, u"[R] == 1", true},
        RebootCase{"DisabledWhileInactive", u"", u"_DisableFeatures", false, u"[R] == 1", false}),
    [](const ::testing::TestParamInfo<RebootCase>& info) { return std::string(info.param.name); });

// An uninstall removes every feature, whatever the states and actions were before.
TEST_F(SequenceTest, PrepareUninstallActionsRemovesEveryFeature) {
    ASSERT_GE(m_Data.m_Features.size(), 2u);
    Set(u"FeatureStateAbsent", u"$" + m_Data.m_Features[0].name + u"$");
    Set(u"FeatureActionInstall", u"$" + m_Data.m_Features[1].name + u"$");
    Set(u"FeatureActionNothing", u"$" + m_Data.m_Features[0].name + u"$");
    m_Data.action_PrepareUninstallActions(JxSequenceAction(u"PrepareUninstallActions", u"", 0));
    for (const JxFeature& feature : m_Data.m_Features) {
        SCOPED_TRACE(jxtext::N(feature.name));
        EXPECT_EQ(m_Data.GetFeatureState(feature.name), u"FeatureStateInstalled");
        EXPECT_EQ(m_Data.GetFeatureAction(feature.name), u"FeatureActionRemove");
    }
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureStateAbsent"), u"");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureActionInstall"), u"");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureActionNothing"), u"");
}

// The scripted GUI module of the tests, bound to the data object, so that the process watch runs.
class WatchList : public SequenceTest {
protected:
    void SetUp() override {
        SequenceTest::SetUp();
        m_Module = LoadLibraryW(jxplat::HostToWindowsPath(jxtest::BuildDir() + "/tests/gui/gui.dll").c_str());
        ASSERT_NE(m_Module, nullptr);
        const std::string script = m_Root.Path() + "/script.txt";
        std::ofstream(script) << "# every page is answered next\n";
        setenv("JX_GUI_SCRIPT", script.c_str(), 1);
        auto create =
            reinterpret_cast<CreateExternalGUIObjectFn>(GetProcAddress(m_Module, "CreateExternalGUIObject"));
        ASSERT_NE(create, nullptr);
        m_Gui = create();
        ASSERT_NE(m_Gui, nullptr);
        m_Gui->Initialize(&m_Data, nullptr, false);
        m_Data.SetGui(m_Gui);
    }
    void TearDown() override {
        m_Data.UnbindGui();
        if (m_Gui)
            m_Gui->Release();
        if (m_Module)
            FreeLibrary(m_Module);
        unsetenv("JX_GUI_SCRIPT");
    }
    static JxFile Row(const std::u16string& name, const std::u16string& component) {
        JxFile file;
        file.name = name;
        file.featurename = u"W";
        file.componentid = component;
        file.stopprocess = u"TRUE";
        return file;
    }
    HMODULE m_Module = nullptr;
    IJxExternalGUI* m_Gui = nullptr;
};

// A program that several rows name is watched once, also when the action runs again; a row whose
// component is extracted as a package or whose condition fails is not watched.
TEST_F(WatchList, HoldsEachProgramOnce) {
    JxFeature feature;
    feature.name = u"W";
    JxComponent plain;
    plain.id = u"{W1}";
    JxComponent second;
    second.id = u"{W2}";
    JxComponent packaged;
    packaged.id = u"{W3}";
    packaged.extractaswpk = u"true";
    JxComponent excluded;
    excluded.id = u"{W4}";
    excluded.condition = u"[NOPE] == 1";
    feature.components = {plain, second, packaged, excluded};
    m_Data.m_Features.push_back(feature);
    m_Data.m_Files = {Row(u"app.exe", u"{W1}"), Row(u"APP.EXE", u"{W2}"), Row(u"pack.exe", u"{W3}"),
                      Row(u"cond.exe", u"{W4}"), Row(u"tool.exe", u"{W2}")};
    m_Data.m_Files[4].stopprocess = u"false";
    m_Data.m_WatchProcessFiles.clear();
    for (int run = 0; run < 2; ++run)
        m_Data.action_StopProcesses(JxSequenceAction(u"StopProcesses", u"", 0));
    ASSERT_EQ(m_Data.m_WatchProcessFiles.size(), 1u);
    EXPECT_EQ(m_Data.m_Files[m_Data.m_WatchProcessFiles[0]].name, u"app.exe");
    EXPECT_EQ(m_Log.Messages("MP_INFO", "::action_StopProcesses").size(), 5u)
        << "one add, and twice each: the packaged component skipped, the failed condition";
    EXPECT_TRUE(m_Log.Has("MP_INFO", "Skip action of component: {W3}"));
    EXPECT_TRUE(m_Log.Has("MP_INFO", "Don't add file to watch process list. cond.exe"));
}

} // namespace
} // namespace jxseqtest
