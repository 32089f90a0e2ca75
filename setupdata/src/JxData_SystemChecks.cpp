// The system requirements of the definition, checked before anything is changed: install
// conditions (the first failing one stops the run), the system-configuration overview of the
// pages and the optional recommendations.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// A progress message that carries the text of a failed condition.
constexpr int kProgressConditionText = static_cast<int>(0x80000002u);

} // namespace

void JxData::CheckInstallConditions() {
    const WCHAR* context = u"JxSetup::Data::JxData::CheckInstallConditions";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const std::u16string mode = GetInstallMode();
    if (jxtext::EqualsNoCase(mode, u"Uninstall")) {
        log->Log(LOG_END, kModule, context, u"");
        return;
    }
    const bool install = jxtext::EqualsNoCase(mode, u"Install");

    for (const JxCondition& row : m_InstallConditions) {
        // Overview rows are shown, not enforced; a maintenance run enforces only "showonupdate" rows.
        if (row.showinoverview || !(install || row.showonupdate) || GetConditionResult(row.condition))
            continue;
        if (jxtext::EqualsNoCase(GetPropertyValue(u"_SkipInstallCondition"), u"true"))
            break;
        JxErrorInfo& error = m_SequenceData.m_Error;
        m_SequenceData.m_bFailure = true;
        error.m_ActionName = u"CheckInstallConditions";
        error.m_Keyword = u"SystemRequirements";
        error.m_Message = u"SystemRequirements";
        error.m_Description = u"System requirements not met.";
        error.m_nCode = -101;
        error.m_nSubCode = -1001;
        SetProperty(u"_InstallConditionFailure", row.text, 1);
        if (row.showonupdate && GetPropertyValue(u"ShowConditionError") == u"true") {
            const std::u16string text = ExpandProperties(row.text);
            if (!text.empty()) {
                if (HasProgressCallback() && m_ProgressCallback.m_Context)
                    m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, kProgressConditionText, 0,
                                                  text.c_str());
                error.m_Message = text;
            }
        }
        break; // only the first failure counts
    }

    CheckSystemConfiguration();

    log->Log(LP_INFO, kModule, context, u"Checking optional system recommendations.");
    const bool upgrade = jxtext::EqualsNoCase(mode, u"Maintenance") && m_UpdateMode == 2;
    for (const JxCondition& row : m_SystemRecommendations) {
        const bool applies = (install && !row.showonupdate) || (upgrade && row.showonupdate);
        if (applies && GetConditionResult(row.condition)) {
            SetProperty(u"_SystemRecommendationFail", row.text, 1);
            break;
        }
    }
    log->Log(LOG_END, kModule, context, u"");
}

bool JxData::CheckInstallConditionFailure() {
    if (!jxtext::EqualsNoCase(GetPropertyValue(u"InstallMode"), u"Maintenance") ||
        !jxtext::EqualsNoCase(GetPropertyValue(u"_IsDLLMode"), u"true"))
        return true;
    // A value that is the property's own name is no failure either.
    const std::u16string failure = GetPropertyValue(u"_InstallConditionFailure");
    if (failure.empty() || failure == u"_InstallConditionFailure")
        return true;
    m_SequenceData.m_Error.m_Message = failure;
    return false;
}

void JxData::CheckSystemConfiguration() {
    const WCHAR* context = u"JxSetup::Data::JxData::CheckSystemConfiguration";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    std::u16string list;
    bool failed = false;
    for (const JxCondition& row : m_InstallConditions) {
        if (!row.showinoverview)
            continue;
        const bool ok = GetConditionResult(row.condition);
        failed = failed || !ok;
        if (!list.empty())
            list += u"\t";
        list += ok ? u"ok.svgz" : u"error.svgz";
        list += u"\t" + ExpandProperties(row.text);
    }
    // Without overview rows the properties keep what they hold.
    if (!list.empty()) {
        SetProperty(u"_SysConfigValues", list, 1);
        SetProperty(u"_SysConfigFailed", failed ? u"true" : u"false", 1);
    }
    GetLog()->Log(LOG_END, kModule, context, u"");
}

} // namespace JxSetup::Data
