#include "jxengine/JxSetupEngineControl.h"

#include "jxbase/trace.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
} // namespace

JxSetupEngineControl::JxSetupEngineControl() : m_pData(std::make_unique<JxData>()) {
    ReadDebugLevel();
}

JxSetupEngineControl::~JxSetupEngineControl() {
    // The data object goes first; the pool and the GUI holder follow as members.
    std::unique_ptr<JxData> data = std::move(m_pData);
    data.reset();
}

bool JxSetupEngineControl::RunSupportModes() {
    if (!m_pData->ExecuteSupportFunctions())
        return true;
    // A support run does no installation and skips the finish, so its exit code is decided here:
    // work that failed is never reported as success.
    if (m_pData->m_bSupportModeFailed) {
        Instance()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxSetupEngineControl::RunSupportModes",
                        u"A support mode failed.");
        m_nExitCode = 1;
    }
    return false;
}

bool JxSetupEngineControl::AcquireSingleInstance() {
    return m_pData && m_pData->OpenGlobalMutex();
}

bool JxSetupEngineControl::PrepareGui() {
    m_bGuiActive = false;
    // A quiet run, or one as LocalSystem, has no GUI module.
    if (m_pData->IsQuiet() || IsLocalSystem())
        return true;
    std::unique_ptr<JxSetupGUI> previous = std::move(m_pGui);
    m_pGui = std::make_unique<JxSetupGUI>(this, false);
    previous.reset();
    m_pData->SetGui(m_pGui->GetGuiObject());
    if (!m_pGui->Initialize(m_pData.get())) {
        Instance()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxSetupEngineControl::PrepareGui",
                        u"The user interface could not be initialized.");
        m_bShowErrorBox = true;
        m_nErrorStringId = IDS_GUI_INIT_ERROR;
        // The module is not left loaded behind a run that ends here.
        _gui_Unload();
        return false;
    }
    m_bGuiActive = true;
    if (std::u16string(GetCommandLineW()).find(u"/Selftest") != std::u16string::npos) {
        Instance()->Log(LP_INFO, kModule, u"JxSetup::Data::JxSetupEngineControl::PrepareGui",
                        u"Running the self-test of the user interface.");
        m_pGui->RunSelftest(1);
        m_pData->m_SequenceData.m_bSkipFinish = true;
        _gui_Unload();
        return false;
    }
    m_pGui->Show();
    return true;
}

void JxSetupEngineControl::_gui_Unload() {
    if (m_pGui)
        m_pGui->Unload();
    m_pData->UnbindGui();
    m_bGuiActive = false;
}

// Prepare_SystemEnvironment, Set_FeatureActivationStatesForUpdate and SetActivationStateOfAllFeatures
// are in JxSetupEngineControl_Prepare.cpp; Execute_InstallSequence in
// JxSetupEngineControl_InstallSequence.cpp.

} // namespace JxSetup::Data
