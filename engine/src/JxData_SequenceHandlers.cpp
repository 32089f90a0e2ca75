// Handlers of the install actions. The workers behind most of them come with the installation
// actions; until then each handler fails the run when there is work of its kind and passes when
// there is none. While the sequence counts its steps a handler does no work.
#include "jxplat/text.h"
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

bool IsDeleteOnUpdate(const JxFile& file) {
    return jxtext::EqualsNoCase(file.copymode, u"deleteonupdate");
}

template <typename Row, typename Test> bool AnyRow(const std::vector<Row>& rows, Test test) {
    for (const Row& row : rows)
        if (test(row))
            return true;
    return false;
}

template <typename Test> bool AnyFile(const std::vector<JxFile>& files, Test test) {
    return AnyRow(files, test);
}

template <typename Test> bool AnyFeature(JxData& data, Test test) {
    return AnyRow(data.m_Features, test);
}

template <typename Test> bool AnyComponent(JxData& data, Test test) {
    for (const JxFeature& feature : data.m_Features)
        if (AnyRow(feature.components, test))
            return true;
    return false;
}

// The work of a handler that is not there yet: with work of its kind the run fails, naming the action.
void HandlerNotBuilt(JxData& data, const WCHAR* handler, const JxSequenceAction& action, bool hasWork) {
    CJxDataLock lock(data);
    if (data.IsCountingProcessSteps() || !hasWork)
        return;
    data.GetLog()->Log(LP_ERROR, kModule, (std::u16string(u"JxSetup::Data::JxData::") + handler).c_str(),
                       u"%s is not built yet", handler);
    JxSequenceData& state = data.m_SequenceData;
    if (state.m_bFailure)
        return;
    state.m_bFailure = true;
    state.m_Error = JxErrorInfo();
    state.m_Error.m_ActionName = action.m_Name;
    state.m_Error.m_Description = std::u16string(handler) + u" is not built yet";
}

// BEGIN and END entries of a handler with the BEGIN text.
void LogHandler(JxData& data, const WCHAR* handler, const WCHAR* text) {
    const std::u16string context = std::u16string(u"JxSetup::Data::JxData::") + handler;
    data.GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", text);
    data.GetLog()->Log(LOG_END, kModule, context.c_str(), u"");
}

} // namespace

void JxData::action_SystemRestore(const JxSequenceAction& action) {
    // JX_NOT_BUILT: restore points come with the installation actions.
    HandlerNotBuilt(*this, u"action_SystemRestore", action, IsTrue(*this, u"_CreateSysRestorePoint"));
}

void JxData::action_RebootOnFeatureCondition(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the reboot conditions of features come with the action handlers.
    HandlerNotBuilt(*this, u"action_RebootOnFeatureCondition", action,
                    AnyFeature(*this, [](const JxFeature& f) { return !f.rebootcondition.empty(); }));
}

void JxData::action_PrepareUninstallActions(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the uninstall preparation of the feature lists comes with the action handlers.
    HandlerNotBuilt(*this, u"action_PrepareUninstallActions", action, !m_Features.empty());
}

void JxData::action_SearchRestoreRegValues(const JxSequenceAction& action) {
    // JX_NOT_BUILT: searching registry values to restore comes with the registry actions.
    HandlerNotBuilt(*this, u"action_SearchRestoreRegValues", action, !m_RegValuesRestore.empty());
}

void JxData::action_StopProcesses(const JxSequenceAction& action) {
    // JX_NOT_BUILT: stopping processes comes with the installation actions.
    HandlerNotBuilt(*this, u"action_StopProcesses", action,
                    AnyFile(m_Files, [](const JxFile& f) { return IsTrueText(f.stopprocess); }));
}

void JxData::action_UninstallSetupSVC(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the setup service comes with the installation actions.
    HandlerNotBuilt(*this, u"action_UninstallSetupSVC", action, m_SetupSvc.IsComplete());
}

void JxData::action_SelfUnregOnUpdate(const JxSequenceAction& action) {
    // JX_NOT_BUILT: self-unregistration on update comes with the installation actions.
    HandlerNotBuilt(
        *this, u"action_SelfUnregOnUpdate", action,
        AnyRow(m_SelfRegFiles, [](const JxSelfRegFile& f) { return IsTrueText(f.unregonupdate); }));
}

void JxData::action_InstallSetupSVC(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the setup service comes with the installation actions.
    HandlerNotBuilt(*this, u"action_InstallSetupSVC", action, m_SetupSvc.IsComplete());
}

void JxData::action_InstallPrerequisite(const JxSequenceAction& action) {
    // JX_NOT_BUILT: prerequisites come with the installation actions.
    HandlerNotBuilt(*this, u"action_InstallPrerequisite", action,
                    !m_Prerequisites.empty() ||
                        AnyFile(m_Files, [](const JxFile& f) { return IsTrueText(f.isprerequisite); }));
}

void JxData::action_CopyFiles(const JxSequenceAction& action) {
    // JX_NOT_BUILT: copying files comes with the file actions.
    HandlerNotBuilt(*this, u"action_CopyFiles", action, !m_Files.empty());
}

void JxData::action_ExtractAsWPK(const JxSequenceAction& action) {
    // JX_NOT_BUILT: extracting components as packages comes with the file actions.
    HandlerNotBuilt(*this, u"action_ExtractAsWPK", action,
                    AnyComponent(*this, [](const JxComponent& c) { return IsTrueText(c.extractaswpk); }));
}

void JxData::action_CleanUp(const JxSequenceAction& action) {
    // JX_NOT_BUILT: committing the copied files comes with the file actions.
    HandlerNotBuilt(*this, u"action_CleanUp", action, !m_UserCancelled && !m_Files.empty());
}

void JxData::action_DeleteUnneededResourceFiles(const JxSequenceAction& action) {
    // JX_NOT_BUILT: deleting resource files comes with the file actions.
    HandlerNotBuilt(*this, u"action_DeleteUnneededResourceFiles", action,
                    !m_UserCancelled &&
                        AnyFile(m_Files, [](const JxFile& f) { return IsTrueText(f.resource); }));
}

void JxData::action_SelfUnRegServiceOnUpdate(const JxSequenceAction& action) {
    // JX_NOT_BUILT: unregistering services on update comes with the installation actions.
    HandlerNotBuilt(
        *this, u"action_SelfUnRegServiceOnUpdate", action,
        AnyRow(m_InstallServices, [](const JxService& s) { return IsTrueText(s.deleteserviceonupdate); }));
}

void JxData::action_DeleteFilesOnUpdate(const JxSequenceAction& action) {
    // JX_NOT_BUILT: deleting files on update comes with the file actions.
    HandlerNotBuilt(*this, u"action_DeleteFilesOnUpdate", action,
                    !m_UserCancelled &&
                        AnyFile(m_Files, [](const JxFile& f) { return IsDeleteOnUpdate(f); }));
}

void JxData::action_StoreLocalSetup(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the maintenance copies come with the package store.
    HandlerNotBuilt(*this, u"action_StoreLocalSetup", action, m_Vfs != nullptr);
}

void JxData::action_StoreCustomizedConfig(const JxSequenceAction& action) {
    // JX_NOT_BUILT: customized setups come with the engine's customization.
    HandlerNotBuilt(*this, u"action_StoreCustomizedConfig", action, m_Vfs != nullptr);
}

void JxData::action_DeleteRegValuesOnUpdate(const JxSequenceAction& action) {
    // JX_NOT_BUILT: deleting registry values on update comes with the registry actions.
    HandlerNotBuilt(*this, u"action_DeleteRegValuesOnUpdate", action, !m_RegValuesDeleteOnUpdate.empty());
}

void JxData::action_AddRegValues(const JxSequenceAction& action) {
    // JX_NOT_BUILT: writing registry values comes with the registry actions.
    HandlerNotBuilt(*this, u"action_AddRegValues", action, !m_RegValuesInstall.empty());
}

void JxData::action_ReconfigXml(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the reconfiguration of XML files comes with the installation actions.
    HandlerNotBuilt(*this, u"action_ReconfigXml", action,
                    AnyFile(m_Files, [](const JxFile& f) { return !f.reconfigxml.empty(); }));
}

void JxData::action_SelfRegFile(const JxSequenceAction& action) {
    // JX_NOT_BUILT: self-registration comes with the installation actions.
    HandlerNotBuilt(*this, u"action_SelfRegFile", action, !m_SelfRegFiles.empty());
}

void JxData::action_SelfRegService(const JxSequenceAction& action) {
    // JX_NOT_BUILT: service registration comes with the installation actions.
    HandlerNotBuilt(*this, u"action_SelfRegService", action, !m_InstallServices.empty());
}

void JxData::action_ExecuteAppSequenceInst(const JxSequenceAction& action) {
    // JX_NOT_BUILT: running applications comes with the installation actions.
    HandlerNotBuilt(*this, u"action_ExecuteAppSequenceInst", action, !m_InstallApps.empty());
}

void JxData::action_ExecuteAppSequenceUninst(const JxSequenceAction& action) {
    // JX_NOT_BUILT: running applications comes with the installation actions.
    HandlerNotBuilt(*this, u"action_ExecuteAppSequenceUninst", action, !m_UninstallApps.empty());
}

void JxData::action_SelfUnRegService(const JxSequenceAction& action) {
    // JX_NOT_BUILT: unregistering services comes with the installation actions.
    HandlerNotBuilt(*this, u"action_SelfUnRegService", action, !m_UninstallServices.empty());
}

void JxData::action_SelfUnRegFile(const JxSequenceAction& action) {
    // JX_NOT_BUILT: self-unregistration comes with the installation actions.
    HandlerNotBuilt(*this, u"action_SelfUnRegFile", action, !m_SelfUnregFiles.empty());
}

void JxData::action_DeleteRegValues(const JxSequenceAction& action) {
    // JX_NOT_BUILT: deleting registry values comes with the registry actions.
    HandlerNotBuilt(*this, u"action_DeleteRegValues", action, !m_RegValuesUninstall.empty());
}

void JxData::action_ExecuteCustomAction(const JxSequenceAction& action) {
    // JX_NOT_BUILT: custom actions come with the installation actions.
    HandlerNotBuilt(*this, u"action_ExecuteCustomAction", action, true);
}

void JxData::action_InstallCustomization(const JxSequenceAction& action) {
    // JX_NOT_BUILT: customized setups come with the engine's customization.
    HandlerNotBuilt(*this, u"action_InstallCustomization", action, m_Vfs != nullptr);
}

void JxData::action_RestoreRegValues(const JxSequenceAction& action) {
    // JX_NOT_BUILT: restoring registry values comes with the registry actions.
    HandlerNotBuilt(*this, u"action_RestoreRegValues", action, !m_RegValuesRestore.empty());
}

void JxData::action_CreateShortcuts(const JxSequenceAction& action) {
    // JX_NOT_BUILT: shortcuts come with the installation actions.
    HandlerNotBuilt(*this, u"action_CreateShortcuts", action,
                    AnyFile(m_Files, [](const JxFile& f) { return !f.scname.empty(); }));
}

void JxData::action_DeleteFileOnUpdateFM(const JxSequenceAction& action) {
    // JX_NOT_BUILT: deleting files by mask on update comes with the file actions.
    HandlerNotBuilt(*this, u"action_DeleteFileOnUpdateFM", action,
                    AnyFile(m_Files, [](const JxFile& f) { return IsDeleteOnUpdate(f); }));
}

void JxData::action_DeleteFiles(const JxSequenceAction& action) {
    // JX_NOT_BUILT: removing files comes with the file actions.
    HandlerNotBuilt(*this, u"action_DeleteFiles", action, !m_SetupFiles.empty());
}

void JxData::action_SaveShareCounter(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the shared-component counters come with the installation actions.
    HandlerNotBuilt(*this, u"action_SaveShareCounter", action, AnyComponent(*this, [](const JxComponent& c) {
        return jxtext::EqualsNoCase(c.installmode, u"shared");
    }));
}

void JxData::action_SaveSettings(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the stored settings come with the data model's settings.
    HandlerNotBuilt(*this, u"action_SaveSettings", action, !m_ProductInfo.productid.empty());
}

void JxData::action_SetProductInstalled(const JxSequenceAction& action) {
    // JX_NOT_BUILT: the uninstall entry comes with the installation actions.
    HandlerNotBuilt(*this, u"action_SetProductInstalled", action, !m_ProductInfo.productid.empty());
}

void JxData::action_FinishSysRestore(const JxSequenceAction& action) {
    // JX_NOT_BUILT: restore points come with the installation actions.
    HandlerNotBuilt(*this, u"action_FinishSysRestore", action, IsTrue(*this, u"_CreateSysRestorePoint"));
}

void JxData::action_DisableCancelButton(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    if (IsCountingProcessSteps())
        return;
    m_CancelAllowed = false;
    if (HasGui()) {
        // JX_NOT_BUILT: SetCancelDisabled and SetControlFlags of the GUI object come with the GUI bridge.
        GetLog()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxData::action_DisableCancelButton",
                      u"IJxExternalGUI::SetCancelDisabled is not built yet");
    }
}

// The service checks moved into the service registration; the actions stay for old definitions.
void JxData::action_CheckServices(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    LogHandler(*this, u"action_CheckServices", u"Deprecated...");
}

void JxData::action_DeleteServiceStates(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    LogHandler(*this, u"action_DeleteServiceStates", u"Deprecated...");
}

} // namespace JxSetup::Data
