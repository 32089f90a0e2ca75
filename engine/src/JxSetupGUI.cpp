// The GUI bridge: loading the GUI module, its pages and its end.
#include "jxengine/JxSetupGUI.h"

#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxvfs/VirtualFS.h"

using namespace JxSetup::Data;

CreateExternalGUIObjectFn g_pfnCreateExternalGUIObject = nullptr;

namespace {
const WCHAR* const kModule = u"ui-seqeuencer";

void Entry(const WCHAR* context, const WCHAR* format, const std::u16string& text = std::u16string()) {
    Instance()->Log(LP_INFO, kModule, context, format, text.c_str());
}
} // namespace

JxSetupGUI::JxSetupGUI(VirtualFS* owner, bool loadOverride) : m_pOwner(owner), m_bLoadOverride(loadOverride) {
    if (!m_pOwner)
        return;
    m_hModule = m_pOwner->LoadDll(kModulePath, 0, nullptr);
    m_bFromPackage = true;
    if (!m_hModule) {
        Instance()->Log(LP_ERROR, kModule, u"JxSetupGUI::JxSetupGUI", u"The GUI module %s did not load.",
                        kModulePath);
        return;
    }
    g_pfnCreateExternalGUIObject =
        reinterpret_cast<CreateExternalGUIObjectFn>(GetProcAddress(m_hModule, "CreateExternalGUIObject"));
    if (!g_pfnCreateExternalGUIObject) {
        Instance()->Log(LP_ERROR, kModule, u"JxSetupGUI::JxSetupGUI",
                        u"The GUI module has no export CreateExternalGUIObject.");
        return;
    }
    try {
        m_pGui = g_pfnCreateExternalGUIObject();
    } catch (...) {
        Instance()->Log(LP_ERROR, kModule, u"JxSetupGUI::JxSetupGUI", u"CreateExternalGUIObject threw.");
        m_pGui = nullptr;
    }
}

bool JxSetupGUI::Initialize(JxData* data) {
    const WCHAR* context = u"JxSetupGUI::Initialize";
    Entry(context, u"Entering GUI.dll\n");
    if (!m_pGui) {
        Entry(context, u"No gui objects bound!");
        return false;
    }
    m_pData = data;
    Instance()->Log(LP_INFO, kModule, context, u"Configuration object: %08X\n",
                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
    m_pSequencer = data ? data->GetUiSequencer() : nullptr;
    Instance()->Log(LP_INFO, kModule, context, u"Retrieving sequencer: %08X\n",
                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_pSequencer)));
    if (!m_pSequencer || !m_pSequencer->IsOk())
        return false;
    Entry(context, u"doing low level init.\n");
    return m_pGui->Initialize(data, m_pOwner, m_bLoadOverride) != 0;
}

bool JxSetupGUI::InitializeUi() {
    return m_pGui && m_pGui->InitializeUi() != 0;
}

bool JxSetupGUI::DoConfiguration() {
    const WCHAR* context = u"JxSetupGUI::DoConfiguration";
    Entry(context, u"==> DoConfiguration\n");
    if (m_pData) {
        const std::u16string value = m_pData->ExpandProperties(u"[_StartAtExecution]");
        Instance()->Log(LP_INFO, kModule, context, u"[_StartAtExecution] is set? %s (Value is: \"%s\")\n",
                        jxtext::EqualsNoCase(value, u"true") ? u"Yes" : u"No", value.c_str());
    }
    if (!m_pGui || !m_pSequencer)
        return false;
    m_pSequencer->StartSequence(u"");
    const int code = RunPageSequence(m_pSequencer->GetCurrentPage());
    bool result = false;
    if (code == kStageStart) {
        Entry(context, u"GUI config complete: starting installtion\n");
        m_pGui->SetCancelDisabled(0);
        result = true;
    } else {
        Entry(context, u"GUI config: Abort\n");
        m_pGui->SetCancelDisabled(1);
        m_pGui->Close(kGuiFinishError, kGuiRestartNotRequired);
    }
    Entry(context, u"<== DoConfiguration\n");
    return result;
}

int JxSetupGUI::RunPageSequence(const std::u16string& page) {
    return m_pGui ? m_pGui->RunPageSequence(page) : 0;
}

void JxSetupGUI::PropagateToInstallProgressPage() {
    Entry(u"JxSetupGUI::PropagateToInstallProgressPage", u"propagating to install progress.\n");
    if (m_pGui)
        m_pGui->ShowInstallProgressPage();
}

void JxSetupGUI::SetCancelDisabled(bool disabled) {
    if (m_pGui)
        m_pGui->SetCancelDisabled(disabled ? 1 : 0);
}

void JxSetupGUI::Finish(int code) {
    if (!m_pGui)
        return;
    if (code == kGuiFinishNormal) {
        const int state = m_pGui->GetState();
        if (state == 0 || state == 2)
            code = RunPostInstallSequence();
    }
    const bool restart = m_pData && m_pData->IsRestartRequired();
    m_pGui->Finish(code);
    m_pGui->Close(code, restart ? kGuiRestartRequired : kGuiRestartNotRequired);
}

int JxSetupGUI::RunPostInstallSequence() {
    if (!m_pGui || !m_pSequencer)
        return kGuiFinishNormal;
    m_pGui->PreparePostInstall();
    m_pSequencer->Reset();
    const int code = RunPageSequence(m_pSequencer->StartSequence(u"#PostInstall"));
    return code == kStageAbort ? kGuiFinishError : kGuiFinishNormal;
}

bool JxSetupGUI::IsCancelRequested() {
    return m_pGui && m_pGui->IsCancelRequested() != 0;
}

int JxSetupGUI::RunSelftest(int flag) {
    if (!m_pGui)
        return 0;
    m_pGui->InitializeUi();
    return m_pGui->RunSelftest(flag);
}

void JxSetupGUI::Show() {
    if (m_pGui)
        m_pGui->Show(1);
}

void JxSetupGUI::Hide() {
    if (m_pGui)
        m_pGui->Show(0);
}

HWND JxSetupGUI::GetWindowHandle() {
    return m_pGui ? m_pGui->GetWindowHandle() : nullptr;
}

void JxSetupGUI::Close() {
    if (m_pGui)
        m_pGui->CloseWindow();
}

void JxSetupGUI::Unload() {
    if (m_pGui) {
        if (m_pGui->GetBoolProperty(u"_PerformRestart")) {
            // The data object handed out is the engine's own.
            if (auto* data = static_cast<JxData*>(m_pGui->GetDataObject()))
                data->SetRestart(true);
        }
        m_pGui->Release();
        m_pGui = nullptr;
    }
    // A module without a usable GUI object is freed as well.
    if (m_hModule) {
        if (m_bFromPackage && m_pOwner)
            m_pOwner->FreeDll(m_hModule);
        else
            FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
}
