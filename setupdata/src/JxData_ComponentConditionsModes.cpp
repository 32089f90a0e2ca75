// The per-mode decisions whether an action processes a component (Install, Maintenance with or
// without update, Uninstall) and the last test of every one: the component's install mode.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

const WCHAR* YesNo(bool flag) {
    return flag ? u"true" : u"false";
}

// The feature is absent and to be installed.
bool IsInstallRequest(const std::u16string& state, const std::u16string& action) {
    return jxtext::EqualsNoCase(state, u"FeatureStateAbsent") &&
           jxtext::EqualsNoCase(action, u"FeatureActionInstall");
}

// The feature is installed and to be removed.
bool IsRemoveRequest(const std::u16string& state, const std::u16string& action) {
    return jxtext::EqualsNoCase(state, u"FeatureStateInstalled") &&
           jxtext::EqualsNoCase(action, u"FeatureActionRemove");
}

// The BEGIN line of a per-mode decision and its feature state and action.
void LogDecisionStart(JxData& data, const WCHAR* context, const JxComponent& component,
                      const JxFeature& feature, const std::u16string& state, const std::u16string& action) {
    JxLog* log = data.GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"Component: %s, Feature: %s", component.id.c_str(),
             feature.name.c_str());
    log->Log(LP_INFO, kModule, context, u"FeatureState: %s, FeatureAction: %s", state.c_str(),
             action.c_str());
}

bool LogDecisionEnd(JxData& data, const WCHAR* context, bool result) {
    data.GetLog()->Log(LOG_END, kModule, context, u"%s", YesNo(result));
    return result;
}

} // namespace

bool JxData::_actionExecute_OnInstall(const JxComponent& component, const JxFeature& feature,
                                      const JxSequenceAction& action) {
    const WCHAR* context = u"JxSetup::Data::JxData::_actionExecute_OnInstall";
    CJxDataLock lock(*this);
    const std::u16string state = GetFeatureState(feature.name);
    const std::u16string featureAction = GetFeatureAction(feature.name);
    LogDecisionStart(*this, context, component, feature, state, featureAction);
    // Activatable features are installed by the enable-feature decision, not here.
    bool result = m_SequenceData.m_bInstallModeInstall && action.m_bExecuteOnInstall &&
                  (!feature.m_Activatable || !action.m_bEnableFeature) &&
                  IsInstallRequest(state, featureAction);
    if (result)
        result = _actionExecute_checkSharecounter(component, feature, featureAction);
    return LogDecisionEnd(*this, context, result);
}

bool JxData::_actionExecute_OnMaintenance(const JxComponent& component, const JxFeature& feature,
                                          const JxSequenceAction& action) {
    const WCHAR* context = u"JxSetup::Data::JxData::_actionExecute_OnMaintenance";
    CJxDataLock lock(*this);
    const std::u16string state = GetFeatureState(feature.name);
    const std::u16string featureAction = GetFeatureAction(feature.name);
    const JxSequenceData& seq = m_SequenceData;
    const bool isFeatureActivatable =
        (action.m_bEnableFeature || action.m_bDisableFeature) && feature.m_Activatable;
    const bool bFeatureInstall = IsInstallRequest(state, featureAction);
    const bool bFeatureUninstall = IsRemoveRequest(state, featureAction);
    const bool activated = IsFeatureActivated(feature.name);
    const bool activateFeature = activated && action.m_bEnableFeature;
    const bool deactivateFeature = !activated && action.m_bDisableFeature;

    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"Component: %s, Feature: %s", component.id.c_str(),
             feature.name.c_str());
    log->Log(LP_INFO, kModule, context,
             u"FeatureState: %s, FeatureAction: %s, isFeatureActivatable: %s, "
             u"m_SequenceData.m_bInstallModeMaintenance: %s, sequenceAction.m_bExecuteOnMaintenance: %s, "
             u"feature.m_Activatable: %s, sequenceAction.m_bEnableFeature: %s, "
             u"sequenceAction.m_bDisableFeature: %s, "
             u"bFeatureInstall: %s, sequenceAction.m_bExecuteOnInstall: %s, bFeatureUninstall: %s, "
             u"sequenceAction.m_bExecuteOnUninstall: %s, m_SequenceData.m_bUpdate: %s, "
             u"sequenceAction.m_bExecuteOnUpdate: %s, m_SequenceData.m_bUpgrade: %s, "
             u"sequenceAction.m_bExecuteOnUpgrade: %s, activateFeature: %s, deactivateFeature: %s",
             state.c_str(), featureAction.c_str(), YesNo(isFeatureActivatable),
             YesNo(seq.m_bInstallModeMaintenance), YesNo(action.m_bExecuteOnMaintenance),
             YesNo(feature.m_Activatable), YesNo(action.m_bEnableFeature), YesNo(action.m_bDisableFeature),
             YesNo(bFeatureInstall), YesNo(action.m_bExecuteOnInstall), YesNo(bFeatureUninstall),
             YesNo(action.m_bExecuteOnUninstall), YesNo(seq.m_bUpdate), YesNo(action.m_bExecuteOnUpdate),
             YesNo(seq.m_bUpgrade), YesNo(action.m_bExecuteOnUpgrade), YesNo(activateFeature),
             YesNo(deactivateFeature));

    bool result = seq.m_bInstallModeMaintenance && action.m_bExecuteOnMaintenance &&
                  (!isFeatureActivatable || activateFeature || deactivateFeature) &&
                  ((bFeatureInstall && action.m_bExecuteOnInstall) ||
                   (bFeatureUninstall && action.m_bExecuteOnUninstall));
    if (result) {
        if ((seq.m_bUpdate && action.m_bExecuteOnUpdate) || (seq.m_bUpgrade && action.m_bExecuteOnUpgrade))
            result = _actionExecute_OnUpdateUpgrade(component, feature, action);
        else if (!seq.m_bUpdate && !seq.m_bUpgrade)
            result = _actionExecute_checkSharecounter(component, feature, featureAction);
        else
            result = false; // an update or upgrade run that this action takes no part in
    }
    return LogDecisionEnd(*this, context, result);
}

bool JxData::_actionExecute_OnUpdateUpgrade(const JxComponent& component, const JxFeature& feature,
                                            const JxSequenceAction& action) {
    const WCHAR* context = u"JxSetup::Data::JxData::_actionExecute_OnUpdateUpgrade";
    CJxDataLock lock(*this);
    const std::u16string state = GetFeatureState(feature.name);
    const std::u16string featureAction = GetFeatureAction(feature.name);
    LogDecisionStart(*this, context, component, feature, state, featureAction);
    bool result = false;
    if (jxtext::EqualsNoCase(component.excludefromupdate, u"true")) {
        // Left out of updates unless it is to be installed where it exists.
        result = jxtext::EqualsNoCase(component.installifexist, u"true") &&
                 IsComponentIncluded(component.id) &&
                 _actionExecute_checkSharecounter(component, feature, featureAction);
    } else {
        result = _actionExecute_checkSharecounter(component, feature, featureAction);
    }
    return LogDecisionEnd(*this, context, result);
}

bool JxData::_actionExecute_OnUninstall(const JxComponent& component, const JxFeature& feature,
                                        const JxSequenceAction& action) {
    const WCHAR* context = u"JxSetup::Data::JxData::_actionExecute_OnUninstall";
    CJxDataLock lock(*this);
    const std::u16string state = GetFeatureState(feature.name);
    const std::u16string featureAction = GetFeatureAction(feature.name);
    LogDecisionStart(*this, context, component, feature, state, featureAction);
    bool result = m_SequenceData.m_bInstallModeUninstall && action.m_bExecuteOnUninstall &&
                  IsRemoveRequest(state, featureAction);
    if (result)
        result = _actionExecute_checkSharecounter(component, feature, featureAction);
    return LogDecisionEnd(*this, context, result);
}

bool JxData::_actionExecute_checkSharecounter(const JxComponent& component, const JxFeature& feature,
                                              const std::u16string& featureAction) {
    const WCHAR* context = u"JxSetup::Data::JxData::_actionExecute_checkSharecounter";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"Component: %s, Feature: %s", component.id.c_str(),
             feature.name.c_str());
    bool result = false;
    if (jxtext::EqualsNoCase(component.extractaswpk, u"true")) {
        log->Log(LP_INFO, kModule, context, u"Skipping sharecounter check, component is extracted as wpk.");
        result = true;
    } else if (jxtext::EqualsNoCase(component.installmode, u"shared")) {
        result = m_ShareCounters.GetShareCountResult(component.id, feature.name, component.destinationdir,
                                                     featureAction);
    } else if (jxtext::EqualsNoCase(component.installmode, u"permanent")) {
        // A permanent component is installed, never removed.
        result = jxtext::EqualsNoCase(featureAction, u"FeatureActionInstall");
    } else if (jxtext::EqualsNoCase(component.installmode, u"custom")) {
        if (component.sxssharecountername.empty())
            result = true;
        else
            result = m_ShareCounters.GetSxsShareCountResult(component.sxssharecountername, GetInstallMode());
    }
    return LogDecisionEnd(*this, context, result);
}

} // namespace JxSetup::Data
