// The scripted GUI module, built apart from the engine, loaded into the process and driven by the
// bridge's calls: it walks the pages through the data object and the page sequencer by position.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

const char* const kPages = R"(<UISequence>
    <sequence name="Main" stage="Welcome"/>
    <stage name="Welcome"><execute page="Welcome"/><next stage="Licence"/></stage>
    <stage name="Licence"><execute page="Licence"/>
      <next stage="Done" condition="[ACCEPTED] == 1"/><next stage="#abort"/></stage>
    <stage name="Done"><execute page="Done"/><next stage="#start"/></stage>
  </UISequence>)";

class GuiModule : public ::testing::Test {
protected:
    GuiModule() {
        CXMLDOMDocument document;
        EXPECT_TRUE(document.Create());
        EXPECT_TRUE(m_Data.m_UiSequencer.ProcessXml(&m_Data, document.LoadXml(jxtext::W(kPages).c_str())));
        m_Module = LoadLibraryW(jxplat::HostToWindowsPath(jxtest::BuildDir() + "/tests/gui/gui.dll").c_str());
        EXPECT_NE(m_Module, nullptr);
    }
    ~GuiModule() override {
        m_Data.UnbindGui();
        if (m_Gui)
            m_Gui->Release();
        if (m_Module)
            FreeLibrary(m_Module);
        unsetenv("JX_GUI_SCRIPT");
    }
    // A GUI object answering the script, bound to the data object.
    IJxExternalGUI* Create(const std::string& script) {
        const std::string path = m_Root.Path() + "/script.txt";
        std::ofstream(path) << script;
        setenv("JX_GUI_SCRIPT", path.c_str(), 1);
        auto create =
            reinterpret_cast<CreateExternalGUIObjectFn>(GetProcAddress(m_Module, "CreateExternalGUIObject"));
        EXPECT_NE(create, nullptr);
        m_Gui = create ? create() : nullptr;
        if (m_Gui) {
            EXPECT_EQ(m_Gui->Initialize(&m_Data, nullptr, false),
                      script.find("initialize fail") == std::string::npos);
            m_Data.SetGui(m_Gui);
        }
        return m_Gui;
    }
    std::string Journal() const { return jxtest::ReadHostFile(m_Root.Path() + "/gui-journal.txt"); }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
    HMODULE m_Module = nullptr;
    IJxExternalGUI* m_Gui = nullptr;
};

TEST_F(GuiModule, WalksThePagesThroughTheEngineByPosition) {
    IJxExternalGUI* gui = Create("page Licence next set ACCEPTED=1\n");
    ASSERT_NE(gui, nullptr);
    EXPECT_EQ(m_Data.m_UiSequencer.StartSequence(u""), u"Welcome");
    EXPECT_EQ(gui->RunPageSequence(u"Welcome"), kStageStart);
    EXPECT_EQ(m_Data.GetPropertyValue(u"ACCEPTED"), u"1") << "set through the data object's table";
    EXPECT_NE(Journal().find("page Welcome\npage Licence\nset ACCEPTED=1\npage Done\nend 5\n"),
              std::string::npos)
        << Journal();
    EXPECT_EQ(gui->GetDataObject(), static_cast<IJxSetupData*>(&m_Data));
}

TEST_F(GuiModule, WithoutTheLicenceTheWalkAborts) {
    IJxExternalGUI* gui = Create("");
    ASSERT_NE(gui, nullptr);
    EXPECT_EQ(gui->RunPageSequence(m_Data.m_UiSequencer.StartSequence(u"")), kStageAbort);
}

TEST_F(GuiModule, MessageBoxesProgressAndCancelGoThroughTheModule) {
    ASSERT_NE(Create("box locked 5\ncancel progress 3\n"), nullptr);
    EXPECT_EQ(m_Data.ShowMessage(u"Setup", u"The file is locked.", 0x32, 7), 5);
    EXPECT_EQ(m_Data.ShowMessage(u"Setup", u"Anything else", 0x40, 0), 1);
    m_Data.SetProgressRange(10);
    m_Data.SetProgress(2, 10, u"Copying");
    EXPECT_EQ(m_Data.CheckUserCancel(), 0);
    EXPECT_FALSE(m_Data.m_UserCancelled);
    m_Data.SetProgress(3, 10, u"Copying");
    EXPECT_EQ(m_Data.CheckUserCancel(), 1);
    EXPECT_TRUE(m_Data.m_UserCancelled);
    const std::string journal = Journal();
    for (const char* line : {"PrepareMessageBox 7\nMessageBox 50 Setup | The file is locked. -> 5\n",
                             "SetProgressRange 10\n", "SetProgress 2 Copying\n", "IsCancelRequested 1\n"})
        EXPECT_NE(journal.find(line), std::string::npos) << line << "\n" << journal;
}

} // namespace
