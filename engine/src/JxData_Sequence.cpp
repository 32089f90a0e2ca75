// The install-action sequence of one run: its entry and the preparation of its run state.
#include "jxplat/text.h"
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// BEGIN and END entries around one operation of the sequence.
class CLogBracket {
public:
    CLogBracket(JxData& data, const WCHAR* context) : m_Log(data.GetLog()), m_Context(context) {
        m_Log->Log(LOG_BEGIN, kModule, m_Context, u"");
    }
    ~CLogBracket() { m_Log->Log(LOG_END, kModule, m_Context, u""); }
    CLogBracket(const CLogBracket&) = delete;
    CLogBracket& operator=(const CLogBracket&) = delete;

private:
    JxLog* m_Log;
    const WCHAR* m_Context;
};

} // namespace

void JxData::Sequence_Execute() {
    CJxDataLock lock(*this);
    CLogBracket bracket(*this, u"JxSetup::Data::JxData::Sequence_Execute");
    _Sequence_Initialize();
    _Sequence_Run_CountProcessSteps();
    _Sequence_Run();
}

void JxData::_Sequence_Initialize() {
    CJxDataLock lock(*this);
    CLogBracket bracket(*this, u"JxSetup::Data::JxData::_Sequence_Initialize");
    _Sequence_Initialize_GetInstallMode();
    _Sequence_Initialize_UseUI();
    if (m_SequenceData.m_bUseUI)
        _Sequence_Initialize_UI_DefaultTexts();
    _Sequence_Initialize_Actions();
    _Sequence_ContinueAfterReboot();
}

void JxData::_Sequence_Initialize_GetInstallMode() {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_Initialize_GetInstallMode";
    CJxDataLock lock(*this);
    CLogBracket bracket(*this, context);
    JxSequenceData& state = m_SequenceData;
    const std::u16string mode = GetPropertyValue(u"InstallMode");
    state.m_bInstallModeInstall = false;
    state.m_bInstallModeMaintenance = false;
    state.m_bInstallModeUninstall = false;
    state.m_bUpdate = false;
    state.m_bUpgrade = false;
    if (jxtext::EqualsNoCase(mode, u"Install")) {
        state.m_bInstallModeInstall = true;
    } else if (jxtext::EqualsNoCase(mode, u"Maintenance")) {
        state.m_bInstallModeMaintenance = true;
        state.m_bUpdate = m_UpdateMode == 1;
        state.m_bUpgrade = m_UpdateMode == 2;
    } else if (jxtext::EqualsNoCase(mode, u"Uninstall")) {
        state.m_bInstallModeUninstall = true;
    } else {
        state.m_bInstallModeInstall = true;
        GetLog()->Log(LP_WARNING, kModule, context, u"Can't get InstallMode - Set to install");
    }
    if (state.m_bInstallModeUninstall)
        return;

    SetDefaultEnabledFeatures();
    SetDeactivatedFeatures();
    state.m_bEnableFeatureMode = IsFeatureListValid(GetPropertyValue(u"_EnableFeatures"));
    state.m_bDisableFeatureMode = IsFeatureListValid(GetPropertyValue(u"_DisableFeatures"));
    // The activation as it stands now: later decisions leave alone what is already so.
    state.m_EnableList.clear();
    state.m_DisableList.clear();
    std::vector<std::u16string> names;
    GetActivatableFeatures(names);
    for (const std::u16string& name : names) {
        std::u16string& list = IsFeatureActivated(name) ? state.m_EnableList : state.m_DisableList;
        if (!list.empty())
            list += u",";
        list += u"$" + name + u"$";
    }
}

void JxData::_Sequence_Initialize_UseUI() {
    CJxDataLock lock(*this);
    CLogBracket bracket(*this, u"JxSetup::Data::JxData::_Sequence_Initialize_UseUI");
    m_SequenceData.m_bUseUI = (HasGui() && !IsQuiet()) || HasProgressCallback();
}

void JxData::_Sequence_Initialize_UI_DefaultTexts() {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_Initialize_UI_DefaultTexts";
    CJxDataLock lock(*this);
    CLogBracket bracket(*this, context);
    JxSequenceData& state = m_SequenceData;
    // Stored as a reference that the page texts expand.
    const WCHAR* installState = u"[IS_CONFIG]";
    if (state.m_bInstallModeInstall)
        installState = u"[IS_INSTALL]";
    else if (state.m_bInstallModeMaintenance)
        installState = state.m_bUpdate || state.m_bUpgrade ? u"[IS_UPDATE]" : u"[IS_MODIFY]";
    else if (state.m_bInstallModeUninstall)
        installState = u"[IS_UNINSTALL]";
    SetProperty(u"_INSTALLSTATE", installState, 1);
    state.m_DefaultPrepareText = GetPropertyValue(u"AT_DEFAULT_PREPARE");
    state.m_DefaultActionText = GetPropertyValue(u"AT_DEFAULT_ACTION");
    state.m_DefaultDownloadText = GetPropertyValue(u"AT_DEFAULT_DOWNLOAD");
    if (m_Gui)
        m_Gui->SetProgress(-1, state.m_DefaultPrepareText);
}

void JxData::_Sequence_ContinueAfterReboot() {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_ContinueAfterReboot";
    CJxDataLock lock(*this);
    CLogBracket bracket(*this, context);
    JxSequenceData& state = m_SequenceData;
    state.m_LastState = GetPropertyValue(u"_SeqLastState");
    if (state.m_LastState.empty())
        return;
    // The name compares exactly; an unknown name makes this a normal run.
    for (const JxSequenceAction& action : state.m_Actions) {
        if (action.m_Name == state.m_LastState) {
            GetLog()->Log(MP_INFO, kModule, context, u"Relaunch after reboot. Continuing at action %s",
                          action.m_Name.c_str());
            state.m_bResuming = true;
            return;
        }
    }
}

} // namespace JxSetup::Data
