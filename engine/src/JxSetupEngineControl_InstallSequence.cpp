// The install sequence of a run: configuration pages, common update, the install actions, the
// management server, the application launch and the final pages.
#include "jxengine/JxSetupEngineControl.h"

#include "JxSetupEngineControl_Steps.h"

#include "jxactions/JxEmptyFolders.h"
#include "jxbase/reg.h"
#include "jxengine/JxWebCommonUpdate.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

using EngineSteps::Context;
using EngineSteps::IsTrue;

bool FileExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::u16string> SplitList(const std::u16string& text) {
    std::vector<std::u16string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(u',', start);
        const std::u16string item = jxtext::Trim(
            text.substr(start, comma == std::u16string::npos ? std::u16string::npos : comma - start));
        if (!item.empty())
            items.push_back(item);
        if (comma == std::u16string::npos)
            break;
        start = comma + 1;
    }
    return items;
}

} // namespace

bool JxSetupEngineControl::Execute_InstallSequence() {
    const std::u16string context = Context(u"Execute_InstallSequence");
    JxData& data = *m_pData;
    Instance()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    data.InitSxsShareCounter();
    data.BlackListSystemFolders();
    bool result = _prepare_InstallSequence();
    bool goOn = true;
    if (m_bGuiActive) {
        result = _execute_Prepare_UI_Sequence();
        goOn = result;
    }
    if (goOn) {
        result = _executeCommonUpdate(false);
        goOn = result;
    }
    if (goOn) {
        if (IsTrue(data, u"_IsDLLMode"))
            Instance()->Log(LP_INFO, kModule, context.c_str(), u"Skip mount check.");
        data.DeleteMMSDB();
        result = _execute_Install_Sequence();
        goOn = result;
    }
    if (goOn) {
        const bool configure = IsTrue(data, u"_ConfigureMMS") && data.GetInstallMode() != u"Uninstall";
        if ((data.IsQuiet() || IsTrue(data, u"_IsDLLMode")) && configure)
            data.ConfigureManamgementServer();
        if (configure)
            data.SetAccessKey();
        data.AuthorizeClient();
    }
    _run_Application();
    // A paged run empties the component folders at its last page; without pages an uninstall that
    // ran to its end does it here, or the emptied folders would keep the installation folder.
    const JxSequenceData& sequence = data.m_SequenceData;
    if (!m_bGuiActive && jxtext::EqualsNoCase(data.GetInstallMode(), u"Uninstall") &&
        sequence.m_bSequenceStarted && !sequence.m_bFailure && !data.m_UserCancelled) {
        Instance()->Log(LP_INFO, kModule, context.c_str(), u"Removing the emptied folders of the product.");
        data.DeleteAllEmptyFolder();
    }
    data.DeleteEmptyInstallDir();
    JxEmptyFolders(data.GetCleanEmptyFolder()).CleanFolder();
    if (m_bGuiActive || data.HasProgressCallback())
        result = _execute_Finish_UI_Sequence();
    Instance()->Log(LOG_END, kModule, context.c_str(), u"%s", result ? u"true" : u"false");
    return result;
}

bool JxSetupEngineControl::_prepare_InstallSequence() {
    JxData& data = *m_pData;
    data.SetShareCounterUpdateMode(data.m_UpdateMode == 1 || data.m_UpdateMode == 2);
    data.UpdateFeatureVisibility();
    return true;
}

bool JxSetupEngineControl::_execute_Prepare_UI_Sequence() {
    const std::u16string context = Context(u"_execute_Prepare_UI_Sequence");
    JxData& data = *m_pData;
    JxLog* log = Instance();
    log->Log(LP_INFO, kModule, context.c_str(), u"Initialize GUI...\n");
    if (!m_pGui || !m_pGui->InitializeUi()) {
        log->Log(LP_ERROR, kModule, context.c_str(), u"The user interface did not initialize.\n");
        m_bShowErrorBox = true;
        m_nErrorStringId = IDS_GUI_INIT_ERROR;
        return false;
    }
    log->Log(LP_INFO, kModule, context.c_str(), u"GUI initialization done. Doing configure.\n");
    if (m_pGui->DoConfiguration()) {
        log->Log(LP_INFO, kModule, context.c_str(), u"Configuration ok. Executing install.\n");
        m_pGui->PropagateToInstallProgressPage();
        if (data.GetInstallMode() == u"Uninstall")
            m_pGui->SetCancelDisabled(true);
        if (data.m_UpdateMode == 3)
            return false;
        data.SetInstallState();
        data.SetProperty(u"_ExecuteSequenceLaunched", u"true", 1);
        return true;
    }
    log->Log(LP_INFO, kModule, context.c_str(), u"Configuration failed or aborted.\n");
    data.m_UserCancelled = true;
    m_pGui->Finish(kGuiFinishError);
    _gui_Unload();
    if (IsTrue(data, u"_PerformRestartConfirmed")) {
        data.PerformRestart();
    } else {
        data.m_SkipRebootQuery = true;
        data.SetProperty(u"_IgnoreReboot", u"true", 1);
    }
    return false;
}

bool JxSetupEngineControl::_executeCommonUpdate(bool retry) {
    // The retry after a failed update in a mini setup is a loop, not a recursion.
    for (;;) {
        JxData& data = *m_pData;
        const std::u16string context = Context(u"_executeCommonUpdate");
        const bool updateOrUpgrade = data.m_UpdateMode == 1 || data.m_UpdateMode == 2;
        const bool miniSetup = !_areAllComponentsMounted();
        const bool firstInstall = data.GetInstallMode() == u"Install";
        bool run = _canRunCommonUpdate(updateOrUpgrade, miniSetup, firstInstall);
        if (retry) {
            Instance()->Log(LP_INFO, kModule, context.c_str(),
                            u"User decided to retry the prior failed CommonUpdate.");
            run = true;
        }
        if (!run)
            return true;
        bool result = true;
        const std::u16string component = data.ExpandProperties(u"[ServerComponent]");
        if (miniSetup)
            data.SetProperty(u"_forceDownloadCommonUpdate", u"true", 1);
        JxWebCommonUpdate update(&data);
        bool ok = update.ExecuteCommonUpdate(component, true);
        const std::vector<std::u16string> folders = update.GetSignatureFolders();
        if (ok)
            ok = update.CheckDownloadedFiles();
        if (data.m_UserCancelled) {
            if (m_bGuiActive)
                _gui_Unload();
            result = false;
            ok = false;
        }
        if (ok && data.m_SkipCommonUpdate) {
            _restartEngineAfterCommonUpdate();
            return false;
        }
        if (ok)
            ok = _mountOutsourcedWPKS(folders);
        if (!ok) {
            const CommonUpdateErrorAnswer answer = _showCommonUpdateError(miniSetup);
            if (answer == CommonUpdateErrorAnswer::Retry) {
                retry = true;
                continue;
            }
            result = answer == CommonUpdateErrorAnswer::GoOn;
            if (!result) {
                JxSequenceData& state = data.m_SequenceData;
                state.m_bFailure = true;
                state.m_Error.m_ActionName = u"CommonUpdate";
                state.m_Error.m_Keyword = u"CommonUpdate";
                state.m_Error.m_Message = u"Failed to load common update";
                state.m_Error.m_Description = u"Failed to load common update";
            }
        }
        return result;
    }
}

bool JxSetupEngineControl::_canRunCommonUpdate(bool updateOrUpgrade, bool miniSetup, bool firstInstall) {
    const std::u16string context = Context(u"_canRunCommonUpdate");
    JxData& data = *m_pData;
    JxLog* log = Instance();
    if (firstInstall && !updateOrUpgrade) {
        log->Log(LP_INFO, kModule, context.c_str(), u"First install. Run common update.");
    } else if (!updateOrUpgrade) {
        std::u16string mode;
        data.GetUpdateModeName(mode);
        log->Log(LP_INFO, kModule, context.c_str(),
                 u"Don't run CommonUpdate. InstallMode: %s UpdateMode: %s MiniSetup: %s",
                 data.GetInstallMode().c_str(), mode.c_str(), data.ExpandProperties(u"[_MiniSetup]").c_str());
        return false;
    } else if (!miniSetup) {
        log->Log(LP_INFO, kModule, context.c_str(),
                 u"(Upgrade OR Update) AND NOT MiniSetup. Run common update.");
    } else if (data.ExpandProperties(u"[_RunMiniSetupCommonUpdate]").empty()) {
        // A mini setup runs the update only while the property is empty.
        log->Log(LP_INFO, kModule, context.c_str(),
                 u"(Upgrade OR Update) AND MiniSetup AND RunMiniSetupCommonUpdate. Run common update.");
    } else {
        return false;
    }
    bool result = true;
    const std::u16string lastState = data.ExpandProperties(u"[_SeqLastState]");
    if (!lastState.empty()) {
        log->Log(LP_INFO, kModule, context.c_str(),
                 u"Setup has executed installing actions before. Skipping CommonUpdate. LastState: %s",
                 lastState.c_str());
        result = false;
    }
    if (IsTrue(data, u"_SkipCommonUpdate")) {
        log->Log(LP_INFO, kModule, context.c_str(), u"CommonUpdate skipped.");
        result = false;
    }
    if (IsTrue(data, u"_IsDLLMode")) {
        log->Log(LP_INFO, kModule, context.c_str(), u"DLL Mode detected. Skip CommonUpdate");
        result = false;
    }
    if (data.IsFeatureActivationMode()) {
        log->Log(LP_INFO, kModule, context.c_str(), u"FeatureActivationMode detected. Skip CommonUpdate");
        result = false;
    }
    return result;
}

bool JxSetupEngineControl::_areAllComponentsMounted() {
    JxData& data = *m_pData;
    for (const JxFeature& feature : data.GetFeatures()) {
        for (const JxComponent& component : feature.components) {
            if (!data.IsComponentIncludedEx(component.id)) {
                Instance()->Log(LP_WARNING, kModule, Context(u"_areAllComponentsMounted").c_str(),
                                u"Missing component: %s", component.id.c_str());
                return false;
            }
        }
    }
    return true;
}

bool JxSetupEngineControl::_mountOutsourcedWPKS(const std::vector<std::u16string>& folders) {
    JxData& data = *m_pData;
    bool result = true;
    for (const std::u16string& folder : folders) {
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(JxFile::CombinePath(folder, u"{*}.wpk").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            std::u16string name = found.cFileName;
            for (size_t at; (at = jxtext::FindNoCase(name, u".wpk")) != std::u16string::npos;)
                name.erase(at, 4);
            if (data.IsComponentIncluded(name))
                continue;
            const std::u16string path = JxFile::CombinePath(folder, found.cFileName);
            if (!data.MountExternalPackage(path, 1)) {
                Instance()->Log(LP_WARNING, kModule, Context(u"_mountOutsourcedWPKS").c_str(),
                                u"Failed to mound file %s", path.c_str());
                result = false;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return result;
}

void JxSetupEngineControl::_restartEngineAfterCommonUpdate() {
    const std::u16string context = Context(u"_restartEngineAfterCommonUpdate");
    JxData& data = *m_pData;
    JxLog* log = Instance();
    data.SetProgressText(data.ExpandProperties(u"[JXS_PREPARE_SETUPRESTART]"));
    const std::u16string folder = data.ExpandProperties(u"[_CU_SetupExecutionDir]");
    data.SetProperty(u"_StartAtExecution", u"true", 1);
    data.SetProperty(u"_AllowSecondInstance", u"true", 1);
    data.SetProperty(u"_SupressSplashScreen", u"true", 1);
    for (const WCHAR* package : {u"$UNINSTALL", u"$CUSTOMIZE"})
        if (!FileExists(JxFile::CombinePath(folder, std::u16string(package) + u".wpk")))
            data.ExtractWPK(package, folder);
    for (const JxFeature& feature : data.GetFeatures()) {
        for (const JxComponent& component : feature.components) {
            const std::vector<std::u16string> places = SplitList(component.componentoutsourcinglocation);
            const bool outsourced =
                jxtext::EqualsNoCase(component.allowcomponentoutsourcing, u"true") && !places.empty();
            bool found = false;
            if (outsourced) {
                for (const std::u16string& place : places) {
                    const std::u16string expanded = data.ExpandProperties(place);
                    if (FileExists(JxFile::CombinePath(expanded, component.id + u".wpk"))) {
                        log->Log(LP_INFO, kModule, context.c_str(), u"Outsourced file found in: %s",
                                 expanded.c_str());
                        log->Log(LP_INFO, kModule, context.c_str(), u"Outsourced file found: %s",
                                 component.id.c_str());
                        found = true;
                        break;
                    }
                }
            } else {
                found = FileExists(JxFile::CombinePath(folder, component.id + u".wpk"));
            }
            if (!found) {
                log->Log(LP_INFO, kModule, context.c_str(), u"Extracting missing component %s to %s",
                         component.id.c_str(), folder.c_str());
                data.ExtractWPK(component.id, folder);
            }
        }
    }
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"spl", 1, 0);
    if (m_bGuiActive)
        m_pGui->GetWindowHandle();
    data.WriteAllTemporaryStoredProperties();
    // The program path is quoted: the folder may hold blanks.
    const std::u16string program = JxFile::CombinePath(folder, u"setup.exe");
    data.ExecAppWait(u"", u"\"" + program + u"\" /_cuRestart=\"true\" /_noInitDlg=\"true\"", false, false,
                     false, false, JxData::kExecNoTimeLimit);
    data.m_SequenceData.m_bSkipFinish = true;
    m_bHandedOver = true;
    if (m_bGuiActive) {
        m_pGui->Close();
        _gui_Unload();
    }
}

JxSetupEngineControl::CommonUpdateErrorAnswer JxSetupEngineControl::_showCommonUpdateError(bool miniSetup) {
    const std::u16string context = Context(u"_showCommonUpdateError");
    JxData& data = *m_pData;
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    CommonUpdateErrorAnswer answer = CommonUpdateErrorAnswer::GoOn;
    if (miniSetup) {
        if (!data.m_UserCancelled && !_areAllComponentsMounted()) {
            log->Log(LP_INFO, kModule, context.c_str(),
                     u"Error while loading components. Setup will abort now.\n");
            answer = CommonUpdateErrorAnswer::Abort;
            if (m_bGuiActive &&
                data.ShowMessage(data.ExpandProperties(u"[ERR_DOWNLOAD_TITLE]"),
                                 data.ExpandProperties(u"[ERR_DOWNLOAD_DESCRIPTION]"), 17, 0) == 1)
                answer = CommonUpdateErrorAnswer::Retry;
        }
    } else {
        if (m_bGuiActive && data.m_SkipCommonUpdate && !IsTrue(data, u"_SkipCommonUpdateWarning"))
            data.ShowMessage(data.ExpandProperties(u"[WRN_DOWNLOAD_TITLE]"),
                             data.ExpandProperties(u"[WRN_DOWNLOAD_DESCRIPTION]"), 48, 0);
        log->Log(LP_INFO, kModule, context.c_str(),
                 u"Error while loading components. Setup will continue without updated components.\n");
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s",
             answer == CommonUpdateErrorAnswer::GoOn ? u"true" : u"false");
    return answer;
}

bool JxSetupEngineControl::_execute_Install_Sequence() {
    const std::u16string context = Context(u"_execute_Install_Sequence");
    JxData& data = *m_pData;
    JxSequenceData& state = data.m_SequenceData;
    if (state.m_bFailure && !state.m_Error.m_Message.empty()) {
        Instance()->Log(LOG_END, kModule, context.c_str(), u"Exit sequence was set.");
        return false;
    }
    if (state.m_bRebootRequired) {
        Instance()->Log(LOG_END, kModule, context.c_str(), u"Reboot required. Exit sequence.");
        return false;
    }
    state.m_bSequenceStarted = true;
    data.AcquireShutdownLocks();
    bool result = true;
    if (m_bUnprotectProduct) {
        result = data.ShutdownActions();
        if (!result) {
            data.SetProperty(u"_CloseSecondInstance", u"true", 1);
            data.SetProperty(u"_uiNoEndMessage", u"true", 1);
            state.m_bFailure = true;
            state.m_Error.m_ActionName = u"ShutdownActions";
            state.m_Error.m_Keyword = u"SERVICESHUTDOWN";
            state.m_Error.m_Message = u"ERR_SERVICESHUTDOWN";
            state.m_Error.m_nCode = -101;
            state.m_Error.m_nSubCode = -1003;
        }
        if (data.m_UserCancelled)
            result = false;
        if (!result)
            return false;
    }
    data.Sequence_Execute();
    return result;
}

bool JxSetupEngineControl::_run_Application() {
    const std::u16string context = Context(u"_run_Application");
    JxData& data = *m_pData;
    Instance()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    if (data.m_SequenceData.m_bSkipFinish) {
        Instance()->Log(LOG_END, kModule, context.c_str(), u"Skip");
        return true;
    }
    if (data.m_SequenceData.m_bSequenceStarted) {
        data.CheckAndActivateServices();
        if (data.GetInstallMode() != u"Uninstall")
            data.LaunchAppsAtEndOfSetup();
    }
    Instance()->Log(LOG_END, kModule, context.c_str(), u"%s", u"true");
    return true;
}

bool JxSetupEngineControl::_execute_Finish_UI_Sequence() {
    // Only a GUI run has final pages; a run with a progress callback alone has none.
    if (!m_bGuiActive || !m_pGui || !m_pGui->GetGuiObject())
        return true;
    const std::u16string context = Context(u"_execute_Finish_UI_Sequence");
    JxData& data = *m_pData;
    JxSequenceData& state = data.m_SequenceData;
    if (!IsTrue(data, u"_uiNoEndMessage")) {
        if (m_pGui->IsCancelRequested()) {
            m_pGui->Finish(kGuiFinishCancel);
        } else {
            data.DeleteAllEmptyFolder();
            const std::u16string uri = data.ExpandProperties(u"[ShowUriAfterSetup_URI]");
            if (data.GetInstallMode() == u"Install" && IsTrue(data, u"ShowURIAfterSetup") && !uri.empty())
                data.ExecAppWait(data.ExpandProperties(u"[SystemFolder]\\cmd.exe"), u"/k start " + uri, false,
                                 true, false, false, JxData::kExecNoTimeLimit);
            if (state.m_bWarning && !state.m_Warning.m_Message.empty())
                _finish_ShowRecord(state.m_Warning, LP_WARNING, 48, 0);
            if (state.m_bFailure && !state.m_Error.m_Message.empty()) {
                _finish_ShowRecord(state.m_Error, LP_ERROR, 16, 1);
                m_pGui->Finish(kGuiFinishError);
            } else if (state.m_bRebootRequired && !state.m_RestartRequest.m_Message.empty()) {
                const JxRestartRequest& request = state.m_RestartRequest;
                const std::u16string caption =
                    request.m_Caption.empty() ? u"[PRODUCTNAME]" : request.m_Caption;
                data.WriteAllTemporaryStoredProperties();
                data.RestartSetupAfterRebootXP(request.m_Arguments, true);
                if (data.ShowMessage(data.ExpandProperties(caption), data.ExpandProperties(request.m_Message),
                                     36, 0) == 1)
                    data.PerformRestart();
                // The user has answered the restart question: the end of the run asks nothing more
                // and restarts nothing on its own, so a "no" keeps the machine running.
                data.m_SkipRebootQuery = true;
                m_pGui->Finish(kGuiFinishError);
            } else {
                m_pGui->Finish(kGuiFinishNormal);
            }
        }
    }
    Instance()->Log(LP_INFO, kModule, context.c_str(), u"Unloading the user interface.");
    _gui_Unload();
    return true;
}

void JxSetupEngineControl::_finish_ShowRecord(const JxErrorInfo& record, int level, UINT type, int value) {
    JxData& data = *m_pData;
    const std::u16string caption = record.m_Title.empty() ? u"[PRODUCTNAME]" : record.m_Title;
    Instance()->Log(level, kModule, Context(u"_execute_Finish_UI_Sequence").c_str(),
                    u"Action: %s - Feature: %s - Message: %s", record.m_ActionName.c_str(),
                    record.m_FeatureName.c_str(), record.m_Description.c_str());
    data.ShowMessage(data.ExpandProperties(caption), data.ExpandProperties(record.m_Message), type, value);
}

} // namespace JxSetup::Data
