// What a prerequisite installer's result code means for the run: a reboot request that ends the
// install sequence and resumes it at InstallPrerequisite afterwards, or a recorded failure.
#include "JxData_Prerequisites.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr DWORD kQaEveryReboot = 1;
constexpr DWORD kQaEveryFailure = 2;

bool _prq_NeedsReboot(JxData& data, const JxFile& row, int32_t code, DWORD qaMode) {
    if (_prq_IsTrue(row.prqrequiresreboot) || qaMode == kQaEveryReboot)
        return true;
    return !row.prqrebootcode.empty() && _prq_ListHasCode(data.ExpandProperties(row.prqrebootcode), code);
}

void _prq_RecordReboot(JxSequenceData& state, const JxSequenceAction& action, const JxFile& row) {
    state.m_bPrerequisiteReboot = true;
    state.m_bRebootRequired = true;
    JxRestartRequest& request = state.m_RestartRequest;
    request.m_Context = action.m_Name;
    request.m_PrerequisiteName = row.featurename;
    request.m_Reason = u"Prerequisite needs reboot";
    request.m_Message = u"[PRQ_NEEDS_REBOOT_MSG]";
    // The run after the reboot skips the elevation relaunch and resumes at this action.
    request.m_Arguments = u"/_noUAC=\"true\" /_SeqLastState=\"InstallPrerequisite\"";
}

} // namespace

void _prq_RecordError(JxSequenceData& state, const JxSequenceAction& action, const JxFile& row) {
    state.m_bFailure = true;
    state.m_Error.m_Message = row.prqerrormessage;
    state.m_Error.m_ActionName = action.m_Name;
    state.m_Error.m_FeatureName = row.featurename;
    state.m_Error.m_Description = u"Failed to install prerequisite";
}

void _prq_EvaluateResult(JxData& data, const JxSequenceAction& action, const JxFile& row, int32_t code) {
    JxLog* log = data.GetLog();
    JxSequenceData& state = data.m_SequenceData;
    const DWORD qaMode = _prq_ReadQaMode();
    const bool reboot = _prq_NeedsReboot(data, row, code, qaMode);

    if (qaMode == kQaEveryFailure) {
        log->Log(LP_WARNING, kPrqModule, kPrqItemContext, u"QaPrqMode 2: the prerequisite counts as failed.");
        state.m_bFailure = true;
        state.m_Error.m_Message = u"QA_PRQ_ERROR";
        state.m_Error.m_ActionName = action.m_Name;
        state.m_Error.m_FeatureName = u"QA_PRQ_ERROR_FEATURE";
        state.m_Error.m_Description = u"QA_PRQ_ERROR: Failed to install prerequisite";
    }

    // Without a message for the user an error code is not checked.
    if (_prq_IsTrue(row.prqcancelonfail) && !row.prqerrorcode.empty() && !row.prqerrormessage.empty() &&
        _prq_ListHasCode(data.ExpandProperties(row.prqerrorcode), code)) {
        log->Log(LP_ERROR, kPrqModule, kPrqItemContext, u"Prerequisite %s returned the error code %d.",
                 row.name.c_str(), static_cast<int>(code));
        _prq_RecordError(state, action, row);
    }

    if (reboot) {
        log->Log(LP_INFO, kPrqModule, kPrqItemContext, u"Prerequisite %s needs a reboot (result %d).",
                 row.name.c_str(), static_cast<int>(code));
        _prq_RecordReboot(state, action, row);
    }
}

} // namespace JxSetup::Data
