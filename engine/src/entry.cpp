#include "jxengine/entry.h"

#include <winsock.h>

#include "jxengine/JxSetupEngineControl.h"
#include "jxengine/resources.h"

using JxSetup::Data::JxSetupEngineControl;

namespace {

// Relaunch elevated when needed, initialise COM, mount the program's own packages, show the start dialog.
const DWORD kInitOptions = 0x87;

int RunEngine() {
    JxSetupEngineControl engine;
    if (engine.Initialize(kInitOptions, u"") && engine.RunSupportModes() && engine.AcquireSingleInstance() &&
        engine.PrepareGui() && engine.Prepare_SystemEnvironment() &&
        engine.Set_FeatureActivationStatesForUpdate() && engine.Execute_InstallSequence())
        engine.SetActivationStateOfAllFeatures();
    engine.ReportResult();
    engine.Shutdown_SetupEngine();
    return engine.GetExitCode();
}

} // namespace

int JxSetupEntry(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // The framework's application state is the program's string table here.
    JxSetup::Data::RegisterProgramResources();
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0)
        return 1; // nothing is built, logged or shown
    return RunEngine();
}
