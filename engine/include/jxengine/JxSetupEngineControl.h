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
    bool _finish_Cleanup();
    void _finish_CleanupSteps();
    void _finish_DecideResult();
    bool _IsPrerequisiteRebootRequested() const;

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
    JxThreadPool m_ThreadPool;
};

} // namespace JxSetup::Data
