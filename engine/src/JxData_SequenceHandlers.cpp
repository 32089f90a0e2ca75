// Handlers of the install actions: each brackets the work of its action with BEGIN and END lines
// and passes the action on to the worker, which counts its steps and records its failures.
// Workers that are not there yet fail the run when there is work of their kind and pass when
// there is none.
#include "jxactions/JxSetupSVC.h"
#include "jxplat/text.h"
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

bool IsTrueText(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

bool IsTrue(JxData& data, const WCHAR* property) {
    return IsTrueText(data.GetPropertyValue(property));
}

template <typename Row, typename Test> bool AnyRow(const std::vector<Row>& rows, Test test) {
    for (const Row& row : rows)
        if (test(row))
            return true;
    return false;
}

// The BEGIN and END lines of one handler run.
class CHandlerScope {
public:
    CHandlerScope(JxData& data, const WCHAR* handler, const WCHAR* beginText = u"")
        : m_Data(data), m_Lock(data), m_Context(std::u16string(u"JxSetup::Data::JxData::") + handler) {
        m_Data.GetLog()->Log(LOG_BEGIN, kModule, m_Context.c_str(), u"%s", beginText);
    }
    ~CHandlerScope() { m_Data.GetLog()->Log(LOG_END, kModule, m_Context.c_str(), u""); }
    CHandlerScope(const CHandlerScope&) = delete;
    CHandlerScope& operator=(const CHandlerScope&) = delete;
    const WCHAR* Context() const { return m_Context.c_str(); }

private:
    JxData& m_Data;
    CJxDataLock m_Lock;
    std::u16string m_Context;
};

// The users' registry hives, loaded around a registry worker. While the sequence counts its steps
// nothing is loaded: counting leaves the machine as it is.
class CUserProfilesScope {
public:
    explicit CUserProfilesScope(JxData& data) : m_Data(data), m_bLoaded(!data.IsCountingProcessSteps()) {
        if (m_bLoaded)
            m_Data.LoadUserProfiles();
    }
    ~CUserProfilesScope() {
        if (m_bLoaded)
            m_Data.UnloadUserProfiles();
    }
    CUserProfilesScope(const CUserProfilesScope&) = delete;
    CUserProfilesScope& operator=(const CUserProfilesScope&) = delete;

private:
    JxData& m_Data;
    bool m_bLoaded;
};

} // namespace

void JxData::action_SystemRestore(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SystemRestore");
    if (IsCountingProcessSteps() || !IsTrue(*this, u"_CreateSysRestorePoint"))
        return;
    JxLog* log = GetLog();
    m_RestorePoint = std::make_unique<JxSystemRestorePoint>();
    const std::u16string description =
        ExpandProperties(u"[PRODUCTNAME]") + u" (" + GetProductVersion() + u")";
    log->Log(LP_INFO, kModule, scope.Context(), u"Creating system restore point.");
    if (m_RestorePoint->BeginSystemRestorePoint(description) == 1)
        log->Log(LP_INFO, kModule, scope.Context(), u"BeginSystemRestorePoint succeeded.");
    else
        log->Log(LP_WARNING, kModule, scope.Context(), u"BeginSystemRestorePoint failed.");
}

void JxData::action_RebootOnFeatureCondition(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_RebootOnFeatureCondition");
    if (IsCountingProcessSteps())
        return; // a restart request is work, not a step
    JxLog* log = GetLog();
    for (const JxFeature& feature : m_Features) {
        const bool nothing = jxtext::EqualsNoCase(GetFeatureAction(feature.name), u"FeatureActionNothing");
        bool valid = !nothing;
        if (nothing) {
            std::u16string keyword;
            GetFeatureEnableKeyword(keyword, feature.name);
            if (!keyword.empty()) {
                log->Log(MP_INFO, kModule, scope.Context(), u"Feature: %s - Activation mode: %s",
                         feature.name.c_str(), keyword.c_str());
                if (IsFeatureActivated(feature.name)) {
                    log->Log(MP_INFO, kModule, scope.Context(), u"Feature is activated.");
                    valid = jxtext::EqualsNoCase(keyword, u"disablefeature");
                } else {
                    log->Log(MP_INFO, kModule, scope.Context(), u"Feature is deactivated.");
                    valid = jxtext::EqualsNoCase(keyword, u"enablefeature");
                }
            }
        }
        if (!valid)
            continue;
        log->Log(MP_INFO, kModule, scope.Context(), u"Feature %s has valid install action.",
                 feature.name.c_str());
        if (feature.rebootcondition.empty())
            continue;
        log->Log(MP_INFO, kModule, scope.Context(), u"Feature %s has reboot condition %s.",
                 feature.name.c_str(), feature.rebootcondition.c_str());
        if (GetConditionResult(feature.rebootcondition))
            SetRestart(true);
    }
}

void JxData::action_PrepareUninstallActions(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_PrepareUninstallActions");
    std::u16string all;
    for (const JxFeature& feature : m_Features)
        AddTokenToList(u"$" + feature.name + u"$", all);
    SetProperty(u"FeatureStateAbsent", u"", 1);
    SetProperty(u"FeatureActionInstall", u"", 1);
    SetProperty(u"FeatureActionNothing", u"", 1);
    SetProperty(u"FeatureStateInstalled", all, 1);
    SetProperty(u"FeatureActionRemove", all, 1);
}

void JxData::action_SearchRestoreRegValues(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SearchRestoreRegValues");
    CUserProfilesScope profiles(*this);
    SearchRestoreRegValues(action);
}

void JxData::action_StopProcesses(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_StopProcesses");
    int mode = 0;
    if (HasGui()) {
        JxLog* log = GetLog();
        for (size_t index = 0; index < m_Files.size(); ++index) {
            const JxFile& row = m_Files[index];
            if (!IsTrueText(row.stopprocess))
                continue;
            JxFeature feature;
            GetFeature(feature, row.featurename);
            const JxComponent component = GetComponentOfFeature(row.componentid, feature);
            bool add = true;
            if (IsTrueText(component.extractaswpk)) {
                log->Log(MP_INFO, kModule, scope.Context(), u"Skip action of component: %s",
                         component.id.c_str());
                add = false;
            }
            if (!GetConditionResult(component.condition)) {
                log->Log(MP_INFO, kModule, scope.Context(), u"Don't add file to watch process list. %s",
                         row.name.c_str());
                add = false;
            }
            const bool listed = AnyRow(m_WatchProcessFiles, [&](size_t at) {
                return jxtext::EqualsNoCase(m_Files[at].name, row.name);
            });
            if (add && !listed) {
                log->Log(MP_INFO, kModule, scope.Context(), u"Added file to watch process list. %s",
                         row.name.c_str());
                m_WatchProcessFiles.push_back(index);
            }
        }
        std::vector<const JxFile*> watched;
        for (size_t at : m_WatchProcessFiles)
            watched.push_back(&m_Files[at]);
        m_Gui->SetWatchProcessList(watched);
        mode = m_Gui->RunProcessWatch();
    }
    StopProcesses(mode);
}

void JxData::action_UninstallSetupSVC(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    // The result does not matter to the run: a setup service that cannot be removed is logged.
    JxSetupSVC service(m_SetupSvc, this);
    service.initSetupSVCPaths();
    service.uninstallSetupSVC();
}

void JxData::action_SelfUnregOnUpdate(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SelfUnregOnUpdate");
    SelfUnRegOnUpdate();
}

void JxData::action_InstallSetupSVC(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxSetupSVC service(m_SetupSvc, this);
    service.initSetupSVCPaths();
    service.installSetupSVC();
}

void JxData::action_InstallPrerequisite(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_InstallPrerequisite");
    if (m_Gui) {
        m_Gui->SetCancelDisabled(1);
        m_Gui->SetControlFlags(kGuiControlCancel, 0);
    }
    if (!m_Prerequisites.empty()) {
        GetLog()->Log(MP_INFO, kModule, scope.Context(), u"Execute order prq sequence.");
        ExecutePrerequisites(action, m_Prerequisites);
    } else {
        GetLog()->Log(MP_INFO, kModule, scope.Context(),
                      u"Execute unorderd prq sequence (compatibility mode).");
        ExecutePrerequisites(action, m_Files);
    }
    if (m_Gui) {
        m_Gui->SetCancelDisabled(0);
        m_Gui->SetControlFlags(0, kGuiControlCancel);
    }
}

void JxData::action_CopyFiles(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_CopyFiles");
    FileActions_Initialize(action);
    CopyFilesTemporary();
}

void JxData::action_DisableCancelButton(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DisableCancelButton");
    m_CancelAllowed = false;
    if (m_Gui) {
        m_Gui->SetCancelDisabled(1);
        m_Gui->SetControlFlags(kGuiControlCancel, 0);
    }
}

void JxData::action_ExtractAsWPK(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_ExtractAsWPK");
    ExtractComponentsAsWPK(action);
}

void JxData::action_CleanUp(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_CleanUp");
    if (m_UserCancelled)
        return;
    FileActions_Initialize(action);
    CommitCopiedFiles();
}

void JxData::action_DeleteUnneededResourceFiles(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DeleteUnneededResourceFiles");
    if (m_UserCancelled)
        return;
    DeleteUnneededResourceFiles();
}

void JxData::action_SelfUnRegServiceOnUpdate(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SelfUnRegServiceOnUpdate");
    SelfUnRegServicesOnUpdate(action);
}

void JxData::action_DeleteFilesOnUpdate(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DeleteFilesOnUpdate");
    if (m_UserCancelled)
        return;
    DeleteFilesOnUpdate(action);
}

void JxData::action_StoreLocalSetup(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_StoreLocalSetup");
    std::u16string folder;
    GetMaintenanceDir(folder);
    ExtractMaintenanceFiles(folder, action);
}

void JxData::action_StoreCustomizedConfig(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_StoreCustomizedConfig");
    if (IsCountingProcessSteps())
        return;
    Store_Customied_Configuration();
}

void JxData::action_DeleteRegValuesOnUpdate(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DeleteRegValuesOnUpdate");
    CUserProfilesScope profiles(*this);
    DeleteRegValuesOnUpdate();
}

void JxData::action_AddRegValues(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_AddRegValues");
    AddRegValues(action);
}

void JxData::action_ReconfigXml(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_ReconfigXml");
    reconfigXml(action);
}

void JxData::action_SelfRegFile(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SelfRegFile");
    SelfRegFile(action);
}

void JxData::action_SelfRegService(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SelfRegService");
    SelfRegService(action);
}

void JxData::action_ExecuteAppSequenceInst(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_ExecuteAppSequenceInst");
    ExecuteAppSequence(m_InstallApps, u"Install", action);
}

void JxData::action_ExecuteAppSequenceUninst(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_ExecuteAppSequenceUninst");
    ExecuteAppSequence(m_UninstallApps, u"Uninstall", action);
}

void JxData::action_SelfUnRegService(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SelfUnRegService");
    SelfUnRegServices(action);
}

void JxData::action_SelfUnRegFile(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SelfUnRegFile");
    SelfUnRegFiles(action);
}

void JxData::action_DeleteRegValues(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DeleteRegValues");
    DeleteRegValues(action);
}

void JxData::action_ExecuteCustomAction(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_ExecuteCustomAction");
    const JxSequenceEntry& entry = action.m_Entry;
    ExecuteCustomAction(entry.modulename, entry.functionname, entry.argument, entry.installmode,
                        entry.componentid, entry.featurename, action);
}

void JxData::action_InstallCustomization(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_InstallCustomization");
    if (IsCountingProcessSteps())
        return;
    // Each step does what it can; a failed row is logged where it fails and stops nothing.
    Install_Customized_Files();
    Install_Customized_Regkeys();
    Execute_Customized_Apps();
    Install_Customized_ThirdPartyApps();
    Delete_Customized_Temporary_Files();
}

// The service checks moved into the service registration; the action stays for old definitions.
void JxData::action_CheckServices(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_CheckServices", u"Deprecated...");
}

void JxData::action_RestoreRegValues(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_RestoreRegValues");
    CUserProfilesScope profiles(*this);
    RestoreRegValues(action);
}

void JxData::action_CreateShortcuts(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_CreateShortcuts");
    CreateShortcuts(action);
}

void JxData::action_DeleteServiceStates(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DeleteServiceStates", u"Deprecated...");
}

void JxData::action_DeleteFileOnUpdateFM(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DeleteFileOnUpdateFM");
    DeleteOnUpdateWithFileMask(action);
}

void JxData::action_DeleteFiles(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_DeleteFiles");
    DeleteFiles(action);
}

void JxData::action_SaveShareCounter(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SaveShareCounter");
    m_ShareCounters.SaveShareCounter(GetInstallMode());
}

void JxData::action_SaveSettings(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SaveSettings");
    if (!SaveSettingsToRegistry())
        m_SequenceData.FailAction(action.m_Name, u"The settings of the product could not be saved.");
}

void JxData::action_SetProductInstalled(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_SetProductInstalled");
    ControlPanelDeleteOldProduct();
    if (!ControlPanelAddProduct())
        m_SequenceData.FailAction(action.m_Name, u"The uninstall entry could not be written.");
}

void JxData::action_FinishSysRestore(const JxSequenceAction& action) {
    CHandlerScope scope(*this, u"action_FinishSysRestore");
    if (!IsTrue(*this, u"_CreateSysRestorePoint"))
        return;
    JxLog* log = GetLog();
    if (!m_RestorePoint) {
        log->Log(LP_WARNING, kModule, scope.Context(), u"JxSystemRestorePoint isn't initialized.");
        return;
    }
    log->Log(LP_INFO, kModule, scope.Context(), u"Finishing system restore point.");
    if (m_RestorePoint->EndSystemRestorePoint(true))
        log->Log(LP_INFO, kModule, scope.Context(), u"EndSystemRestorePoint succeeded.");
    else
        log->Log(LP_WARNING, kModule, scope.Context(), u"EndSystemRestorePoint failed.");
}

} // namespace JxSetup::Data
