// The engine-control object of one run: the virtual file system of the run, owner of the data
// object; its public steps form the run, from initialization to the exit code.
#pragma once

#include <memory>
#include <string>

#include "jxengine/JxThreadPool.h"
#include "jxsetupdata/JxData.h"
#include "jxvfs/CJxSetupWrap.h"

#include "jxengine/JxSetupGUI.h"

namespace JxSetup::Data {

// String resources of the program.
enum : int {
    IDS_INIT_ERROR = 10003,
    IDS_SETUP_ERROR_CAPTION = 10004,
    IDS_GUI_INIT_ERROR = 10005,
};

class JxSetupEngineControl : public CJxSetupWrap {
public:
    JxSetupEngineControl();
    ~JxSetupEngineControl() override;

    // The chain of the run; each step returns true to let the chain go on.
    bool Initialize(DWORD options, const std::u16string& applicationFolder);
    bool RunSupportModes();
    bool AcquireSingleInstance();
    bool PrepareGui();
    bool Prepare_SystemEnvironment();
    bool Set_FeatureActivationStatesForUpdate();
    bool Execute_InstallSequence();
    void SetActivationStateOfAllFeatures();

    // The closing steps, run whatever the chain did.
    void ReportResult();
    bool Shutdown_SetupEngine();
    int GetExitCode();

    void LogSummaryMessages();

protected:
    // Steps of Initialize.
    bool _init_CommandLineProperties();
    bool _init_ShowStartDialog();
    bool _init_IsCurrentProcessSigned();
    bool _run_ElevatedProcess(const std::u16string& program, const std::u16string& arguments, bool elevate,
                              bool launch);
    bool _init_OpenLogFile();
    bool _init_COM();
    bool _init_ConnectPropertyBag();
    bool _init_SetAppDir(const std::u16string& folder, DWORD options);
    bool _init_MountVFS(DWORD options);
    bool _init_VFS();
    bool _run_TrustedPackage();
    // The run was handed over to another engine process, which ended with the code (negative: it
    // could not be started): this run ends with that code.
    void _run_HandedOver(const std::u16string& program, int32_t childCode);
    bool _mount_ExternalSetupEXE();
    bool _init_LoadConfiguration(DWORD options);

    bool _finish_Cleanup();
    void _finish_CleanupSteps();
    void _finish_DecideResult();
    bool _IsPrerequisiteRebootRequested() const;
    void _finish_WriteEventLog();

    // System preparation and the feature states of an update.
    bool _prepare_UninstallServerComponent();
    bool _prepare_ProductInformation();
    bool _set_UpgradeMode();
    bool _set_RestartStoredSetup();
    bool _prepare_CheckInstallConditions();
    bool _prepare_LogInstallMode();
    bool _hide_GUI();
    void _set_LegacyFeatureActivationStates();

    // The install sequence: pages, common update, install actions, applications, final pages.
    enum class CommonUpdateErrorAnswer { GoOn, Abort, Retry };
    bool _prepare_InstallSequence();
    bool _execute_Prepare_UI_Sequence();
    bool _executeCommonUpdate(bool retry);
    bool _canRunCommonUpdate(bool updateOrUpgrade, bool miniSetup, bool firstInstall);
    bool _areAllComponentsMounted();
    bool _mountOutsourcedWPKS(const std::vector<std::u16string>& folders);
    void _restartEngineAfterCommonUpdate();
    CommonUpdateErrorAnswer _showCommonUpdateError(bool miniSetup);
    bool _execute_Install_Sequence();
    bool _run_Application();
    bool _execute_Finish_UI_Sequence();
    // Releases the GUI object, frees its module and unbinds it from the data object.
    void _gui_Unload();
    // The message box of a warning or error record of the sequence at the end of a paged run.
    void _finish_ShowRecord(const JxErrorInfo& record, int level, UINT type, int value);

    std::unique_ptr<JxData> m_pData;
    std::unique_ptr<JxSetupGUI> m_pGui;
    bool m_bGuiActive = false;
    bool m_bUnprotectProduct = false;
    bool m_bStartAtExecution = false;
    int32_t m_nErrorStringId = 0;
    bool m_bShowErrorBox = false;
    int32_t m_nExitCode = 0;
    bool m_bTrustedSigner = false;
    // The run deliberately handed over to another process (elevated relaunch, trusted engine,
    // relaunch of a stored setup): its end is not a failure.
    bool m_bHandedOver = false;
    // Initialization stopped the run without handing it over: the run failed.
    bool m_bInitFailed = false;
    JxThreadPool m_ThreadPool;
};

// Whether a legacy component is present: a service that is registered and not flagged for
// deletion, or a key under HKEY_CLASSES_ROOT.
bool IsSelfRegServiceInstalled(const std::u16string& name);
bool IsClassesRootKeyPresent(const std::u16string& name);

} // namespace JxSetup::Data
