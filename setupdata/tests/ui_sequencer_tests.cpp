// The page sequencer: reading the UISequence element, starting sequences, walking stages and the
// special destinations.
#include <gtest/gtest.h>

#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxUiSequencer.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

class UiSequencer : public ::testing::Test {
protected:
    // Reads the children given as the UISequence element; false when ProcessXml refuses them.
    bool Load(const std::string& children) {
        EXPECT_TRUE(m_Document.Create());
        m_Root = m_Document.LoadXml(jxtext::W("<UISequence>" + children + "</UISequence>").c_str());
        EXPECT_FALSE(m_Root.IsEmpty()) << children;
        return m_Sequencer.ProcessXml(&m_Data, m_Root);
    }
    std::u16string Property(const std::u16string& name) { return m_Data.GetPropertyValue(name); }
    std::string MessageBoxes() { return jxtest::ReadHostFile(m_Machine.Path() + "/messageboxes.jsonl"); }

    jxtest::TempMachineRoot m_Machine;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
    CXMLDOMDocument m_Document;
    CXMLDOMElement m_Root;
    JxUiSequencer m_Sequencer;
};

const std::string kWelcomeThenFinish = R"(
    <sequence name="Main" stage="W"/>
    <stage name="W"><execute page="P"/><next stage="F"/></stage>
    <stage name="F"><execute page="Finish"/><next stage="#start"/></stage>)";

TEST_F(UiSequencer, RefusesAnElementWithoutSequencesOrStages) {
    const struct {
        const char* name;
        std::string children;
    } cases[] = {
        {"empty", ""},
        {"stages only", R"(<stage name="W"><execute page="P"/><next stage="#start"/></stage>)"},
        {"sequences only", R"(<sequence name="Main" stage="W"/>)"},
        {"unnamed ones", R"(<sequence stage="W"/><stage><execute page="P"/></stage>)"},
        {"a sequence without entry", R"(<sequence name="Main"/><stage name="W"/>)"},
        {"unknown elements", R"(<Page name="Welcome"/><!-- c -->)"},
    };
    for (const auto& c : cases) {
        JxUiSequencer sequencer;
        CXMLDOMDocument document;
        ASSERT_TRUE(document.Create());
        CXMLDOMElement root =
            document.LoadXml(jxtext::W("<UISequence>" + c.children + "</UISequence>").c_str());
        ASSERT_FALSE(root.IsEmpty()) << c.name;
        EXPECT_FALSE(sequencer.ProcessXml(&m_Data, root)) << c.name;
        EXPECT_FALSE(sequencer.IsOk()) << c.name;
        EXPECT_EQ(sequencer.StartSequence(u""), u"#fail") << c.name;
    }
}

TEST_F(UiSequencer, WalksFromTheEntryStageThroughItsJumps) {
    ASSERT_TRUE(Load(kWelcomeThenFinish));
    EXPECT_TRUE(m_Sequencer.IsOk());
    EXPECT_EQ(m_Sequencer.StartSequence(u""), u"P");
    EXPECT_EQ(m_Sequencer.GetCurrentPage(), u"P");
    EXPECT_EQ(m_Sequencer.GetNextPageInSequence(), u"F");
    EXPECT_EQ(m_Sequencer.ExecuteStage(u"F"), kStageEntered);
    EXPECT_EQ(m_Sequencer.GetCurrentPage(), u"Finish");
    EXPECT_EQ(m_Sequencer.GetNextPageInSequence(), u"#start");
    EXPECT_EQ(m_Sequencer.ExecuteStage(u"#START"), kStageStart);
    EXPECT_EQ(m_Sequencer.GetStageStack(), (std::vector<std::u16string>{u"W", u"F"}));
    m_Sequencer.Reset();
    EXPECT_EQ(m_Sequencer.GetCurrentPage(), u"");
    EXPECT_EQ(m_Sequencer.GetNextPageInSequence(), u"#fail");
}

TEST_F(UiSequencer, StagesWithoutPageSetPropertiesAndPassOn) {
    ASSERT_TRUE(Load(R"(
        <sequence name="Main" stage="A"><set name="FROMSEQ" value="1"/></sequence>
        <stage name="A">
          <set name="X" value="[FROMSEQ]"/>
          <set name="" property="Y" value="2"/>
          <set name="X" value="dropped"/>
          <set name="Z" value="3" condition="[Y] == 5"/>
          <set name="W" value="4" condition="[Y] == 2"/>
          <next stage="Missing" condition="[FROMSEQ] == 0"/>
          <next stage="b"/>
        </stage>
        <stage name="B"><execute page="PB"/><next stage="#start"/></stage>)"));
    EXPECT_EQ(m_Sequencer.StartSequence(u""), u"PB");
    EXPECT_EQ(m_Sequencer.GetStageStack(), std::vector<std::u16string>{u"B"}) << "A does not stay";
    EXPECT_EQ(Property(u"FROMSEQ"), u"1");
    EXPECT_EQ(Property(u"X"), u"1") << "the first set of a name wins; values expand when read";
    EXPECT_EQ(Property(u"Y"), u"2");
    EXPECT_EQ(Property(u"Z"), u"");
    EXPECT_EQ(Property(u"W"), u"4") << "sets apply in document order";
}

TEST_F(UiSequencer, BrokenWalksEndInFail) {
    ASSERT_TRUE(Load(R"(
        <sequence name="ToStart" stage="S"/>
        <sequence name="ToNowhere" stage="N"/>
        <sequence name="Cycle" stage="C1"/>
        <stage name="S"><next stage="#start"/></stage>
        <stage name="N"><next stage="Nowhere"/></stage>
        <stage name="C1"><next stage="C2"/></stage>
        <stage name="C2"><set name="HOPS" value="x"/><next stage="c1"/></stage>)"));
    for (const WCHAR* stage : {u"S", u"N", u"C1"}) {
        EXPECT_EQ(m_Sequencer.RunStage(m_Sequencer.FindStage(stage)), u"#fail") << jxtext::N(stage);
        EXPECT_TRUE(m_Sequencer.GetStageStack().empty());
    }
    EXPECT_EQ(m_Sequencer.ExecuteStage(u"N"), kStageEntered) << "the GUI then finds no page";
    EXPECT_EQ(m_Sequencer.GetCurrentPage(), u"");
    EXPECT_EQ(m_Sequencer.ExecuteStage(u"C2"), kStageFail) << "a cycle fails the sequence";
    EXPECT_EQ(m_Sequencer.RunStage(nullptr), u"#fail");
}

TEST_F(UiSequencer, ChoosesTheSequence) {
    ASSERT_TRUE(Load(R"(
        <sequence name="Gone" stage="Missing"/>
        <sequence name="Maint" stage="M" condition="[InstallMode] == 'Maintenance'"/>
        <sequence name="First" stage="W"/>
        <sequence name="Second" stage="M"/>
        <stage name="W"><execute page="Welcome"/><next stage="#start"/></stage>
        <stage name="w"><execute page="Shadowed"/><next stage="#start"/></stage>
        <stage name="M"><execute page="Maintenance"/><next stage="#start"/></stage>
        <stage name="#PostInstall"><execute page="Done"/><next stage="#exit"/></stage>)"));
    EXPECT_EQ(m_Sequencer.StartSequence(u""), u"Welcome")
        << "the first that holds, the missing one passed over";
    m_Data.SetProperty(u"InstallMode", u"Maintenance", 1);
    EXPECT_EQ(m_Sequencer.StartSequence(u""), u"Maintenance");
    // A named sequence answers its entry stage's name and enters nothing.
    m_Sequencer.Reset();
    EXPECT_EQ(m_Sequencer.StartSequence(u"first"), u"W");
    EXPECT_EQ(m_Sequencer.StartSequence(u"Gone"), u"#exit");
    EXPECT_EQ(m_Sequencer.StartSequence(u"Other"), u"#fail");
    EXPECT_TRUE(m_Sequencer.GetStageStack().empty());
    EXPECT_EQ(m_Sequencer.StartSequence(u"#postinstall"), u"Done");
}

TEST_F(UiSequencer, PostInstallWithoutItsStageExits) {
    ASSERT_TRUE(Load(kWelcomeThenFinish));
    EXPECT_EQ(m_Sequencer.StartSequence(u"#PostInstall"), u"#exit");
}

TEST_F(UiSequencer, WithoutDataObjectNothingStarts) {
    JxUiSequencer unbound;
    EXPECT_EQ(unbound.StartSequence(u""), u"#fail");
    EXPECT_EQ(unbound.GetNextPageInSequence(), u"#fail");
}

TEST_F(UiSequencer, SpecialDestinations) {
    ASSERT_TRUE(Load(kWelcomeThenFinish));
    const struct {
        const char16_t* destination;
        int code;
    } cases[] = {{u"#ABORT", kStageAbort},
                 {u"", kStageFail},
                 {u"#fail", kStageFail},
                 {u"#Exit", kStageExit},
                 {u"#start", kStageStart}};
    for (const auto& c : cases)
        EXPECT_EQ(m_Sequencer.ExecuteStage(c.destination), c.code) << jxtext::N(c.destination);
    EXPECT_EQ(MessageBoxes(), "") << "no box for a known destination";

    EXPECT_EQ(m_Sequencer.ExecuteStage(u"#bogus"), kStageExit);
    const std::string boxes = MessageBoxes();
    EXPECT_NE(boxes.find("Fatal Error"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find("Illegal Page #bogus"), std::string::npos) << boxes;

    m_Data.SetProperty(u"_ExitPremature", u"true", 1);
    EXPECT_EQ(m_Sequencer.ExecuteStage(u"#start"), kStageExit);
    EXPECT_EQ(m_Sequencer.ExecuteStage(u"W"), kStageEntered) << "a stage is still entered";
}

} // namespace
