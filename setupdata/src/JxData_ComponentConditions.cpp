// Whether an install action processes a component in this run: conditions, forced rows, step
// counting and the activation decisions of enable- and disable-feature runs.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// "$name$" occurs in the value of "_EnableFeatures", case-sensitive.
bool IsRequestedForEnable(JxData& data, const std::u16string& featureName) {
    return data.GetPropertyValue(u"_EnableFeatures").find(u"$" + featureName + u"$") != std::u16string::npos;
}

} // namespace

bool JxData::GetConditionResult(const std::u16string& condition) {
    const WCHAR* context = u"JxSetup::Data::JxData::GetConditionResult";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    if (condition.empty()) {
        log->Log(LOG_END, kModule, context, u"true");
        return true;
    }
    CJxDataLock lock(*this);
    std::u16string display = u"result = " + condition;
    for (char16_t& c : display)
        if (c == u'\'')
            c = u'"';
    bool result = false;
    try {
        result = ParseExpression(condition);
    } catch (...) {
        log->Log(LP_ERROR, kModule, context, u"Exception during evaluating expression %s\n", display.c_str());
        result = false;
    }
    log->Log(LOG_END, kModule, context, u"Result of %s is %s", display.c_str(), result ? u"true" : u"false");
    return result;
}

bool JxData::IsComponentConditionMet(const JxComponent& component, const JxFeature& feature) {
    CJxDataLock lock(*this);
    // The mode text compares exactly: "NoAction" does not stop a component.
    return GetConditionResult(component.condition) && feature.mode != u"noaction";
}

bool JxData::IsComponentToBeProcessed(const JxComponent& component, const JxFeature& feature,
                                      const JxSequenceAction& action, JxActivationPermissions permissions) {
    CJxDataLock lock(*this);
    const bool result =
        component.forced || feature.forced ? true : _actionExecute(component, feature, action, permissions);
    CheckUserCancel();
    if (IsCountingProcessSteps()) {
        // Counting never processes anything; every question about a component is one step.
        if (action.m_bCountsOwnSteps) {
            ++m_StepsMax;
            LOGProgressMax(action);
        }
        return false;
    }
    if (action.m_bCountsOwnSteps)
        StepProgress(action);
    return result;
}

bool JxData::_actionExecute(const JxComponent& component, const JxFeature& feature,
                            const JxSequenceAction& action, JxActivationPermissions permissions) {
    CJxDataLock lock(*this);
    if (!GetConditionResult(component.condition))
        return false;
    const bool enable = _actionExecute_EnableFeature(component, feature, action, permissions);
    const bool disable = _actionExecute_DisableFeature(component, feature, action, permissions);
    if (!enable && !disable) {
        bool byMode = false;
        if (m_SequenceData.m_bInstallModeInstall)
            byMode = _actionExecute_OnInstall(component, feature, action);
        else if (m_SequenceData.m_bInstallModeMaintenance)
            byMode = _actionExecute_OnMaintenance(component, feature, action);
        else if (m_SequenceData.m_bInstallModeUninstall)
            byMode = _actionExecute_OnUninstall(component, feature, action);
        if (!byMode)
            return false;
    }
    // A feature that was already active (or inactive) when the sequence started is left alone.
    bool value = true;
    if (enable)
        value = !m_SequenceData.IsInEnableList(feature.name);
    if (value && disable)
        value = !m_SequenceData.IsInDisableList(feature.name);
    return value;
}

bool JxData::_actionExecute_EnableFeature(const JxComponent& component, const JxFeature& feature,
                                          const JxSequenceAction& action,
                                          JxActivationPermissions permissions) {
    CJxDataLock lock(*this);
    if (!m_SequenceData.m_bEnableFeatureMode || !action.m_bEnableFeature || !feature.m_Activatable ||
        !permissions.m_bEnableFeature)
        return false;
    const WCHAR* context = u"JxSetup::Data::JxData::_actionExecute_EnableFeature";
    if (IsFeatureActivated(feature.name)) {
        GetLog()->Log(LP_INFO, kModule, context, u"Feature %s is already enabled", feature.name.c_str());
        return false;
    }
    if (!IsRequestedForEnable(*this, feature.name))
        return false;
    GetLog()->Log(LP_INFO, kModule, context, u"EnableFeature: %s", feature.name.c_str());
    return true;
}

bool JxData::_actionExecute_DisableFeature(const JxComponent& component, const JxFeature& feature,
                                           const JxSequenceAction& action,
                                           JxActivationPermissions permissions) {
    CJxDataLock lock(*this);
    if (!m_SequenceData.m_bDisableFeatureMode || !action.m_bDisableFeature || !feature.m_Activatable ||
        !permissions.m_bDisableFeature)
        return false;
    const WCHAR* context = u"JxSetup::Data::JxData::_actionExecute_DisableFeature";
    if (!IsFeatureActivated(feature.name) && !jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall")) {
        GetLog()->Log(LP_INFO, kModule, context, u"Feature %s is already disabled", feature.name.c_str());
        return false;
    }
    // "_EnableFeatures" names the features that stay active, in a disable-feature run too.
    if (IsRequestedForEnable(*this, feature.name))
        return false;
    GetLog()->Log(LP_INFO, kModule, context, u"DisableFeature: %s", feature.name.c_str());
    return true;
}

} // namespace JxSetup::Data
