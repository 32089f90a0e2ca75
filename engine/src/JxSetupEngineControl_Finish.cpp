// The closing steps of a run: the summary, the shutdown with its result decision, the exit code.
#include "jxengine/JxSetupEngineControl.h"

#include "jxbase/CJxTools.h"
#include "jxbase/reg.h"
#include "jxbase/secretmask.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
const WCHAR* const kCleanup = u"JxSetup::Data::JxSetupEngineControl::_finish_Cleanup";
const int kErrorTextMax = 1024;
const int kCaptionMax = 160;
} // namespace

void JxSetupEngineControl::LogSummaryMessages() {
    if (!m_pData)
        return;
    const JxSequenceData state = m_pData->GetSequenceData();
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::LogSummaryMessages";
    const WCHAR* format = u"Action: %s - Feature: %s - Message: %s";
    if (state.m_bFailure)
        Instance()->Log(LP_ERROR, kModule, context, format, state.m_Error.m_ActionName.c_str(),
                        state.m_Error.m_FeatureName.c_str(), state.m_Error.m_Description.c_str());
    if (state.m_bWarning)
        Instance()->Log(LP_WARNING, kModule, context, format, state.m_Warning.m_ActionName.c_str(),
                        state.m_Warning.m_FeatureName.c_str(), state.m_Warning.m_Description.c_str());
}

void JxSetupEngineControl::ReportResult() {
    LogSummaryMessages();
    if (!m_bShowErrorBox || m_nErrorStringId == 0)
        return;
    WCHAR text[kErrorTextMax] = {};
    WCHAR caption[kCaptionMax] = {};
    LoadStringW(nullptr, static_cast<UINT>(m_nErrorStringId), text, kErrorTextMax);
    LoadStringW(nullptr, IDS_SETUP_ERROR_CAPTION, caption, kCaptionMax);
    // No one answers a box in a quiet run: an unattended run would hang on it. Its text goes to
    // the log instead.
    if (m_pData && m_pData->IsQuiet()) {
        Instance()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxSetupEngineControl::ReportResult", u"%s: %s",
                        caption, text);
        return;
    }
    MessageBoxW(nullptr, text, caption, MB_ICONERROR);
}

bool JxSetupEngineControl::Shutdown_SetupEngine() {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::Shutdown_SetupEngine";
    Instance()->Log(LOG_BEGIN, kModule, context, u"");
    bool result = _finish_Cleanup();
    Instance()->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return true;
}

bool JxSetupEngineControl::_finish_Cleanup() {
    Instance()->Log(LOG_BEGIN, kModule, kCleanup, u"");
    // A support mode or another setup process took the run over: nothing to finish here.
    if (m_pData && m_pData->m_SequenceData.m_bSkipFinish)
        return true;
    _finish_CleanupSteps();
    _finish_DecideResult();
    CoUninitialize();
    Instance()->Log(LOG_END, kModule, kCleanup, u"%s", u"true");
    return true;
}

void JxSetupEngineControl::_finish_CleanupSteps() {
    if (!m_pData)
        return;
    JxData& data = *m_pData;
    const std::u16string productId = data.ExpandProperties(u"[_PRODUCTID]");
    if (!productId.empty())
        CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE,
                                      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                      (productId + u"_FixSvc").c_str(), 0);
    data.MoveTempWks();
    const std::u16string finishTag = data.ExpandProperties(u"[_SetFinishTag]");
    if (!finishTag.empty())
        CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"FinishTag", finishTag, CRegStringType::Sz,
                                  0);
    _finish_WriteEventLog();
    if (jxtext::EqualsNoCase(data.GetPropertyValue(u"_IsDLLMode"), u"true") &&
        (data.m_UpdateMode == 1 || data.m_UpdateMode == 2)) {
        const std::u16string text = data.ExpandProperties(u"[_SkipSetupSvcFixes]");
        // A text that is not a decimal number is ignored.
        const std::optional<long long> value = jxtext::TryParseInt(text);
        if (value && *value != 0) {
            Instance()->Log(LP_INFO, kModule, kCleanup, u"Set SkipSetupSvcFixes: %d",
                            static_cast<int>(*value));
            CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"SkipSetupSvcFixes",
                                   static_cast<DWORD>(*value), 0);
        }
    }
}

void JxSetupEngineControl::_finish_WriteEventLog() {
    JxData& data = *m_pData;
    if (data.GetDoNotLog() || data.GetInstallMode() == u"Maintenance")
        return;
    CJxTools::WriteToEventLog(
        u"productname: %s, installMode: %s, isDLLMode: %s, user: %s, Commandline: %s",
        data.ExpandProperties(u"[PRODUCTNAME]").c_str(), data.ExpandProperties(u"[_LogInstallMode]").c_str(),
        data.ExpandProperties(u"[_IsDLLMode]").c_str(), data.ExpandProperties(u"[AppDataFolder]").c_str(),
        MaskProtectedArguments(GetCommandLineW()).c_str());
}

void JxSetupEngineControl::_finish_DecideResult() {
    JxLog* log = Instance();
    if (m_nErrorStringId == IDS_INIT_ERROR) {
        log->Log(LP_ERROR, kModule, kCleanup, u"Setup is not ok.");
        m_nExitCode = 1;
        return;
    }
    log->Log(LP_INFO, kModule, kCleanup, u"Setup is ok.");
    m_nExitCode = 0;
    if (!m_pData) {
        log->Log(LP_INFO, kModule, kCleanup, u"Data object already deleted.");
        return;
    }
    log->Log(LP_INFO, kModule, kCleanup, u"Data object is ok.");
    JxData& data = *m_pData;
    if (_IsPrerequisiteRebootRequested()) {
        log->Log(LP_INFO, kModule, kCleanup, u"Reboot requested by a prerequisite.");
        m_nExitCode = 4;
        // A user who was asked has decided already (and a "yes" has restarted the machine).
        if (data.m_SkipRebootQuery)
            log->Log(LP_INFO, kModule, kCleanup, u"The restart question was answered. No restart from here.");
        else
            data.PerformRestart();
    } else {
        log->Log(LP_INFO, kModule, kCleanup, u"Checking if a second instance was launched.");
        if (jxtext::EqualsNoCase(data.GetPropertyValue(u"_CloseSecondInstance"), u"true")) {
            log->Log(LP_INFO, kModule, kCleanup, u"Second instance was prohibited. Shutdown engine anyway.");
        } else {
            log->Log(LP_INFO, kModule, kCleanup, u"No second instance launched.");
            if (data.m_UserCancelled) {
                log->Log(LP_INFO, kModule, kCleanup, u"Setup was canceled.");
                if (data.IsRestartConfirmed()) {
                    log->Log(LP_INFO, kModule, kCleanup, u"Restart required and confirmed.");
                    m_nExitCode = 3;
                    data.PerformRestart();
                } else {
                    log->Log(LP_INFO, kModule, kCleanup, u"Setup canceled.");
                    m_nExitCode = 1;
                }
            } else {
                const JxSequenceData& state = data.m_SequenceData;
                const bool uninstall = jxtext::EqualsNoCase(data.GetInstallMode(), u"Uninstall");
                // The maintenance folder and the setup itself are removed only after an uninstall
                // that ran to its end: after a failed or never-started one they stay for a retry.
                const bool uninstallCompleted = state.m_bSequenceStarted && !state.m_bFailure;
                if (!uninstall || uninstallCompleted)
                    data.DeleteUpdateFolder();
                if (uninstall) {
                    if (uninstallCompleted) {
                        log->Log(LP_INFO, kModule, kCleanup, u"Delete myself.");
                        data.SelfDelete();
                    } else {
                        log->Log(
                            LP_WARNING, kModule, kCleanup,
                            u"Uninstall did not complete. The setup and its maintenance files are kept.");
                    }
                }
                if (data.m_SkipRebootQuery) {
                    log->Log(LP_INFO, kModule, kCleanup, u"Ignore reboot request.");
                } else {
                    log->Log(LP_INFO, kModule, kCleanup, u"Query reboot reuest.");
                    if (data.IsRestartConfirmed()) {
                        m_nExitCode = 3;
                        data.PerformRestart();
                    } else if (data.IsRestartRequired() && !state.m_bFailure) {
                        // Files left to the restart (a locked or read-only target) are not in place
                        // yet: the caller learns that the machine must restart, even when nobody
                        // confirmed it here (a quiet run asks nobody).
                        log->Log(LP_INFO, kModule, kCleanup, u"Restart required, not confirmed.");
                        m_nExitCode = 3;
                    }
                }
            }
        }
    }
    // A failure is never reported to a calling script as success: an error box that was decided,
    // or a failed sequence, ends with 1 unless a restart code was chosen above.
    if (m_nExitCode == 0 && !m_bHandedOver &&
        (m_nErrorStringId != 0 || m_bInitFailed || data.m_SequenceData.m_bFailure)) {
        log->Log(LP_ERROR, kModule, kCleanup, u"Setup failed.");
        m_nExitCode = 1;
    }
}

bool JxSetupEngineControl::_IsPrerequisiteRebootRequested() const {
    return m_pData && jxtext::EqualsNoCase(m_pData->m_SequenceData.m_RestartRequest.m_Reason,
                                           u"Prerequisite needs reboot");
}

int JxSetupEngineControl::GetExitCode() {
    if (_IsPrerequisiteRebootRequested())
        return 4;
    if (m_pData && m_pData->m_SequenceData.m_bRebootRequired) {
        m_nExitCode = 3;
        return 3;
    }
    return m_nExitCode;
}

} // namespace JxSetup::Data
