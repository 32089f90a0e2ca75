// Preparing the run before its install sequence: the uninstall component of a first install, the
// product information, the update mode (with the hand-over to a stored setup), the install
// conditions; the activation states of an installed product's features carried into an update,
// and the activation states stored after the sequence.
#include <iterator>

#include "jxengine/JxSetupEngineControl.h"

#include "JxSetupEngineControl_Steps.h"

#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxengine/JxWebCommonUpdate.h"
#include "jxbase/files.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

using EngineSteps::Context;
using EngineSteps::IsTrue;

// Components of older product generations and the activatable features they stand for.
struct CLegacyFeature {
    const WCHAR* component;
    bool isService;
    const WCHAR* feature;
};
const CLegacyFeature kLegacyFeatures[] = {
    {u"JxOfficeAddin.AddinBase", false, u"B_Client_Outlook"},
    {u"JxASpam.AntiSpam", false, u"B_Client_AntiSpam"},
    {u"JxBackupSvc", true, u"B_Client_Backup"},
    {u"JxFwSvc", true, u"B_Client_Firewall"},
    {u"jxdcd", true, u"B_Client_DeviceControl"},
};

std::u16string RunningModuleFolder() {
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::u16string folder(path, length);
    const size_t separator = folder.find_last_of(u"\\/");
    return separator == std::u16string::npos ? std::u16string() : folder.substr(0, separator);
}

} // namespace

bool IsClassesRootKeyPresent(const std::u16string& name) {
    return CReg::IsValidPath(HKEY_CLASSES_ROOT, name.c_str(), 0);
}

bool IsSelfRegServiceInstalled(const std::u16string& name) {
    const std::u16string context = u"IsSelfRegServiceInstalled";
    const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (!CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"ImagePath", 0)) {
        Instance()->Log(LP_INFO, kModule, context.c_str(),
                        u"Service is not installed. Could not find ImagePath of service %s", name.c_str());
        return false;
    }
    if (!ServiceController::IsRegistered(name.c_str(), nullptr)) {
        Instance()->Log(LP_INFO, kModule, context.c_str(),
                        u"Service is not installed. SCM could not find service %s.", name.c_str());
        return false;
    }
    if (CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"DeleteFlag", 0)) {
        // The service is flagged for deletion; the text is the historical one, nothing is removed.
        Instance()->Log(LP_INFO, kModule, context.c_str(), u"Remove DeleteFlag of service %s", name.c_str());
        return false;
    }
    return true;
}

bool JxSetupEngineControl::Prepare_SystemEnvironment() {
    const std::u16string context = Context(u"Prepare_SystemEnvironment");
    Instance()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    _prepare_UninstallServerComponent();
    _prepare_ProductInformation();
    if (!_set_UpgradeMode()) {
        if (m_bGuiActive)
            _hide_GUI();
        Instance()->Log(LOG_END, kModule, context.c_str(), u"%s", u"false");
        return false;
    }
    const bool result = _prepare_CheckInstallConditions();
    if (result)
        _prepare_LogInstallMode();
    Instance()->Log(LOG_END, kModule, context.c_str(), u"%s", result ? u"true" : u"false");
    return result;
}

bool JxSetupEngineControl::_prepare_UninstallServerComponent() {
    JxData& data = *m_pData;
    if (IsTrue(data, u"_SkipInitSequence"))
        return true;
    if (data.GetInstallMode() != u"Install")
        return true;
    if (IsTrue(data, u"_MiniSetup"))
        data.SetProperty(u"_NetworkPolicy", u"Compulsory", 1);
    // The uninstall component is fetched for later; whether that worked does not matter now.
    JxWebCommonUpdate update(&data);
    update.ExecuteCommonUpdate(data.ExpandProperties(u"[UninstallServerComponent]"), false);
    return true;
}

bool JxSetupEngineControl::_prepare_ProductInformation() {
    JxData& data = *m_pData;
    data.LoadRequirements();
    data.Configure_Customized_UpgradeProducts();
    data.GetCurrentProductType();
    data.GetAllUserProfiles();
    m_bUnprotectProduct = IsTrue(data, u"UnprotectProduct");
    m_bStartAtExecution = IsTrue(data, u"_StartAtExecution");
    if (IsTrue(data, u"_SkipInitSequence"))
        m_bStartAtExecution = true;
    return true;
}

bool JxSetupEngineControl::_set_UpgradeMode() {
    const std::u16string context = Context(u"_set_UpgradeMode");
    JxData& data = *m_pData;
    bool result = true;
    data.EvaluateUpdateMode();
    if (!m_bStartAtExecution && data.GetInstallMode() != u"Uninstall") {
        if (!IsTrue(data, u"_IsDLLMode"))
            data.Configure_Customized_UpdateProduct();
        std::u16string mode;
        data.GetUpdateModeName(mode);
        data.SetProperty(u"_UPUpdateMode", mode, 1);
        data.DetectPendingRestartRequest();
        Instance()->Log(LP_INFO, kModule, context.c_str(), u"Restarting setup? Current value is: %s",
                        mode.c_str());
        if (data.m_UpdateMode == 4)
            result = _set_RestartStoredSetup();
    }
    if (data.IsQuiet() && data.GetInstallMode() == u"Install" &&
        data.ExpandProperties(u"[_UPUpdateMode]") == u"EXITSETUP" &&
        IsTrue(data, u"_AbortSilentSetupOnIncompatibleProduct")) {
        Instance()->Log(LP_INFO, kModule, context.c_str(), u"Cancel setup. incompatible product found!");
        data.m_SequenceData.m_bFailure = true;
        return false;
    }
    return result;
}

// Update mode RELOADCONFIG: the setup stored in the maintenance folder takes the run over, unless
// this run is that setup or there is none.
bool JxSetupEngineControl::_set_RestartStoredSetup() {
    const std::u16string context = Context(u"_set_UpgradeMode");
    JxData& data = *m_pData;
    std::u16string folder;
    data.GetMaintenanceDir(folder);
    auto noUpdate = [&data]() { data.SetUpdateMode(u"NOUPDATE"); };
    if (IsSameFileSystemObject(folder, RunningModuleFolder())) {
        noUpdate();
        return true;
    }
    const std::u16string program = JxFile::CombinePath(folder, u"setup.exe");
    const DWORD attributes = GetFileAttributesW(program.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        data.SetProperty(u"_SupressSplashScreen", u"true", 1);
        data.SetProperty(u"_AllowSecondInstance", u"true", 1);
        data.WriteAllTemporaryStoredProperties();
        data.m_SkipRebootQuery = true;
        // The program path is quoted: a maintenance folder may hold blanks.
        data.ExecAppWait(u"", u"\"" + program + u"\"", false, false, false, false, JxData::kExecNoTimeLimit);
        data.m_SequenceData.m_bSkipFinish = true;
        m_bHandedOver = true;
        return false;
    }
    Instance()->Log(LP_WARNING, kModule, context.c_str(), u"Temporary stored setup not found in: %s",
                    folder.c_str());
    noUpdate();
    if (IsTrue(data, u"_WebSetup")) {
        Instance()->Log(LP_INFO, kModule, context.c_str(),
                        u"Current setup is of type WebSetup. Adevertise uninstall mode only.");
        data.SetInstallMode(u"Uninstall");
        data.SetProperty(u"_DoNotShowChange", u"true", 1);
    }
    return true;
}

bool JxSetupEngineControl::_prepare_CheckInstallConditions() {
    JxData& data = *m_pData;
    if (data.GetInstallMode() == u"Uninstall")
        return true;
    data.CheckInstallConditions();
    return data.CheckInstallConditionFailure();
}

bool JxSetupEngineControl::_prepare_LogInstallMode() {
    JxData& data = *m_pData;
    std::u16string mode = data.GetInstallMode();
    if (mode == u"Maintenance") {
        std::u16string update;
        data.GetUpdateModeName(update);
        if (update == u"UPDATE" || update == u"UPGRADE") {
            mode = update;
            if (IsTrue(data, u"CollectFilesForUpdate"))
                mode = u"collect";
        }
    }
    data.SetProperty(u"_LogInstallMode", mode, 1);
    data.GetLog()->ChangeLogFile(data.ExpandProperties(u"[_logFilePrefix]").c_str());
    return true;
}

bool JxSetupEngineControl::_hide_GUI() {
    if (m_pGui)
        m_pGui->Hide();
    return true;
}

bool JxSetupEngineControl::Set_FeatureActivationStatesForUpdate() {
    const std::u16string context = Context(u"Set_FeatureActivationStatesForUpdate");
    JxData& data = *m_pData;
    Instance()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    if (data.GetInstallMode() == u"Uninstall") {
        Instance()->Log(LOG_END, kModule, context.c_str(), u"Uninstall mode detected.");
        return true;
    }
    if (data.m_UpdateMode != 1 && data.m_UpdateMode != 2) {
        Instance()->Log(LP_INFO, kModule, context.c_str(), u"No valid update mode detected.");
        Instance()->Log(LOG_END, kModule, context.c_str(), u"%s", u"true");
        return true;
    }
    Instance()->Log(LP_INFO, kModule, context.c_str(), u"Valid update mode detected. Set activation states.");
    std::vector<JxData::JxActivatedFeature> features;
    data.GetActivatedFeatures(features);
    if (features.empty()) {
        _set_LegacyFeatureActivationStates();
        data.GetActivatedFeatures(features);
    }
    if (features.empty()) {
        data.SetProperty(u"_EnableFeatures", u"", 1);
        data.SetAllFeaturesActivated(true);
    } else {
        std::u16string enabled;
        for (const auto& [active, feature] : features) {
            if (!active) {
                Instance()->Log(LP_INFO, kModule, context.c_str(), u"Feature %s is dectivated.",
                                feature.c_str());
                continue;
            }
            Instance()->Log(LP_INFO, kModule, context.c_str(), u"Feature %s is activated.", feature.c_str());
            if (!enabled.empty())
                enabled += u",";
            enabled += u"$" + feature + u"$";
        }
        data.SetProperty(u"_EnableFeatures", enabled, 1);
    }
    data.SetDeactivatedFeatures();
    Instance()->Log(LOG_END, kModule, context.c_str(), u"%s", u"true");
    return true;
}

void JxSetupEngineControl::_set_LegacyFeatureActivationStates() {
    bool present[std::size(kLegacyFeatures)] = {};
    bool any = false;
    for (size_t i = 0; i < std::size(kLegacyFeatures); ++i) {
        const CLegacyFeature& legacy = kLegacyFeatures[i];
        present[i] = legacy.isService ? IsSelfRegServiceInstalled(legacy.component)
                                      : IsClassesRootKeyPresent(legacy.component);
        any = any || present[i];
    }
    // Without any component of the older generation there is nothing to carry over: no state is
    // recorded, so that every feature counts as activated instead of every one as deactivated.
    if (!any) {
        Instance()->Log(LP_INFO, kModule, Context(u"_set_LegacyFeatureActivationStates").c_str(),
                        u"No legacy component found.");
        return;
    }
    for (size_t i = 0; i < std::size(kLegacyFeatures); ++i)
        m_pData->SetFeatureActivationState(kLegacyFeatures[i].feature, present[i]);
}

void JxSetupEngineControl::SetActivationStateOfAllFeatures() {
    const std::u16string context = Context(u"SetActivationStateOfAllFeatures");
    JxData& data = *m_pData;
    Instance()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    if (data.GetInstallMode() == u"Uninstall") {
        Instance()->Log(LOG_END, kModule, context.c_str(), u"Uninstall mode detected.");
        return;
    }
    if (data.m_SequenceData.m_bSequenceStarted)
        data.SetActivatedFeatures();
    Instance()->Log(LOG_END, kModule, context.c_str(), u"");
}

} // namespace JxSetup::Data
