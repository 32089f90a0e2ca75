// The install sequence's two walks over the action list: counting the progress steps, then running
// the actions until the end, a failure, a reboot request or a cancel.
#include <exception>

#include "jxplat/text.h"
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

} // namespace

// Each handler is an exception boundary: what it throws is its action's failure, so the run leaves
// the sequence through its failure path (rollback, restore, error record).
void JxData::_Sequence_Run_CallHandler(const JxSequenceAction& action) {
    if (!action.m_Handler)
        return;
    std::u16string what;
    try {
        action.m_Handler();
        return;
    } catch (const std::exception& e) {
        what = jxtext::W(e.what());
    } catch (...) {
        what = u"unknown exception";
    }
    GetLog()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxData::_Sequence_Run_CallHandler",
                  u"Action %s ended with an exception: %s", action.m_Name.c_str(), what.c_str());
    m_SequenceData.FailAction(action.m_Name, u"Exception: " + what);
}

bool JxData::_Sequence_Run_SkipAction(const JxSequenceAction& action) {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_Run_SkipAction";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"Action: %s", action.m_Name.c_str());
    JxSequenceData& state = m_SequenceData;
    bool skip = false;
    if (!state.m_bResuming) {
        skip = false;
    } else if (action.m_Name == state.m_LastState) {
        // The resume action itself runs, and so does everything after it.
        state.m_bResuming = false;
        skip = false;
    } else if (action.m_bSkippableOnResume) {
        log->Log(LP_INFO, kModule, context, u"Skipping action %s", action.m_Name.c_str());
        skip = true;
    } else {
        log->Log(LP_INFO, kModule, context, u"Action %s is not allowed to be skipped.",
                 action.m_Name.c_str());
        skip = false;
    }
    log->Log(LOG_END, kModule, context, u"%d", skip ? 1 : 0);
    return skip;
}

bool JxData::_Sequence_Run_CheckReqirements(const JxSequenceAction& action) {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_Run_CheckReqirements";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"Action: %s", action.m_Name.c_str());
    const JxSequenceData& state = m_SequenceData;
    bool runs = false;
    const WCHAR* reason = nullptr;
    // The update and upgrade flags decide per component, not here.
    if (state.m_bEnableFeatureMode && action.m_bEnableFeature) {
        runs = true;
        reason = u"EnableFeature";
    } else if (state.m_bDisableFeatureMode && action.m_bDisableFeature) {
        runs = true;
        reason = u"DisableFeature";
    } else if (m_FeatureActivationMode) {
        runs = false; // a run that only switches activation runs nothing else
    } else if (state.m_bInstallModeInstall) {
        runs = action.m_bExecuteOnInstall;
        reason = u"Install";
    } else if (state.m_bInstallModeMaintenance) {
        runs = action.m_bExecuteOnMaintenance;
        reason = u"Maintenance";
    } else if (state.m_bInstallModeUninstall) {
        runs = action.m_bExecuteOnUninstall;
        reason = u"Uninstall";
    } else {
        log->Log(LP_WARNING, kModule, context, u"No valid install mode found.");
    }
    if (runs && reason)
        log->Log(LP_INFO, kModule, context, u"%s", reason);
    log->Log(LOG_END, kModule, context, u"%d", runs ? 1 : 0);
    return runs;
}

void JxData::_Sequence_Run_CountProcessSteps() {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_Run_CountProcessSteps";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    JxSequenceData& state = m_SequenceData;
    m_StepsMax = 0;
    m_StepsCurrent = 0;
    const bool resuming = state.m_bResuming;
    m_CountingProcessSteps = true; // stays set until the run loop starts

    if (state.m_bUseUI && !m_FeatureActivationMode) {
        for (size_t i = 0; i < state.m_Actions.size(); ++i) {
            const JxSequenceAction action = state.m_Actions[i];
            CheckUserCancel();
            if (m_UserCancelled)
                break;
            if (state.m_bFailure) {
                log->Log(LP_INFO, kModule, context, u"A failure occoured. Leaving execute sequence...");
                break;
            }
            if (_Sequence_Run_SkipAction(action) || !_Sequence_Run_CheckReqirements(action))
                continue;
            if (!action.m_bCountsOwnSteps) {
                ++m_StepsMax;
                LOGProgressMax(action);
            } else if (action.m_Handler) {
                // While counting, a handler only adds steps.
                log->Log(LP_INFO, kModule, context, u"Counting process steps for action %s",
                         action.m_Name.c_str());
                _Sequence_Run_CallHandler(action);
            }
        }
        if (m_Gui && !m_UserCancelled)
            m_Gui->SetProgressRange(static_cast<int>(m_StepsMax));
        if (HasProgressCallback())
            m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, static_cast<int>(m_StepsCurrent),
                                          static_cast<int>(m_StepsMax), nullptr);
        log->Log(LP_INFO, kModule, context, u"MaxActions: %u", m_StepsMax);
    }

    // The counting may have touched the share counters, and the walk may have ended the resume.
    m_ShareCounters.Reload();
    state.m_bResuming = resuming;
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::_Sequence_Run() {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_Run";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    JxSequenceData& state = m_SequenceData;
    m_CountingProcessSteps = false;
    bool showEnd = true;

    // Each check comes before an action, so what an action raises stops the run before the next one.
    for (size_t i = 0; i < state.m_Actions.size(); ++i) {
        const JxSequenceAction action = state.m_Actions[i];
        if (state.m_bRebootRequired) {
            log->Log(LP_INFO, kModule, context, u"Reboot required. Leaving execute sequence...");
            showEnd = false;
            break;
        }
        if (state.m_bFailure) {
            log->Log(LP_INFO, kModule, context, u"A failure occoured. Leaving execute sequence...");
            showEnd = false;
            break;
        }
        if (state.m_bUseUI) {
            CheckUserCancel();
            if (m_UserCancelled) {
                showEnd = false;
                break;
            }
        }
        if (_Sequence_Run_SkipAction(action) || !_Sequence_Run_CheckReqirements(action))
            continue;
        _Sequence_Run_CallHandler(action);
        if (!action.m_bCountsOwnSteps) {
            ++m_StepsCurrent;
            LOGProgressCurrent(action);
        }
    }

    // A failed copy asks for the rollback in every kind of run; a cancel only where the user could
    // cancel. Temporary copies that were never committed go whatever ended the run early.
    if (state.m_bRollback || (state.m_bUseUI && m_UserCancelled) || HasUncommittedFileCopies()) {
        log->Log(LP_INFO, kModule, context, u"Rolling back the copied files.");
        // This run's temporary copies that were never committed, and the folders made for them;
        // committed files stay.
        RollbackCopiedFiles();
        // What the rolled-back pass recorded is not written.
        m_ShareCounters.Reload();
    }
    // Registry values saved before the update are written back when the run ended before their
    // restore action; no run deletes a value it meant to keep.
    RestoreSavedRegValuesIfPending();

    // The closing step brings the progress to its end. Nothing counted (a quiet run, an activation
    // run): the steps done are the whole, and the counter must not wrap below 0. When the run did
    // just what it counted, the GUI and the callback have not seen the run loop's last steps yet:
    // the end is shown without another step.
    if (m_StepsCurrent != m_StepsMax) {
        if (m_StepsMax > 0)
            m_StepsCurrent = m_StepsMax - 1;
        StepProgress(JxSequenceAction(u"", u"", JX_SEQ_COUNTS_OWN_STEPS));
    } else {
        StepProgress(JxSequenceAction(u"", u"", 0));
    }

    if (showEnd)
        _Sequence_ShowEndMessage();
    state.m_bSequenceStarted = true;
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::_Sequence_ShowEndMessage() {
    std::u16string text = ExpandProperties(u"[MSG_USER_ENDOFINSTALLATION]");
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall"))
        text = ExpandProperties(u"[MSG_USER_ENDOFUNINSTALLATION]");
    // No text, or a reference that did not resolve.
    if (text.empty() || text.find_first_of(u"[]") != std::u16string::npos)
        return;
    std::u16string message;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'n') {
            message += u'\n';
            ++i;
        } else {
            message += text[i];
        }
    }
    ShowMessage(ExpandProperties(u"[PRODUCTNAME]"), message, 0x40, 0);
}

} // namespace JxSetup::Data
