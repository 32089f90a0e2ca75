#include "jxengine/entry.h"

#include <exception>

#include <winsock.h>

#include "jxengine/JxSetupEngineControl.h"
#include "jxengine/resources.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"

using JxSetup::Data::JxSetupEngineControl;

namespace {

// Relaunch elevated when needed, initialise COM, mount the program's own packages, show the start dialog.
const DWORD kInitOptions = 0x87;

int RunEngine() {
    JxSetupEngineControl engine;
    // The exception boundary lies inside the engine's lifetime, so that its line reaches the run's
    // log before the engine closes it.
    return JxSetup::Data::RunGuarded([&engine] {
        if (engine.Initialize(kInitOptions, u"") && engine.RunSupportModes() &&
            engine.AcquireSingleInstance() && engine.PrepareGui() && engine.Prepare_SystemEnvironment() &&
            engine.Set_FeatureActivationStatesForUpdate() && engine.Execute_InstallSequence())
            engine.SetActivationStateOfAllFeatures();
        engine.ReportResult();
        engine.Shutdown_SetupEngine();
        return engine.GetExitCode();
    });
}

} // namespace

namespace JxSetup::Data {

int RunGuarded(const std::function<int()>& run) {
    std::u16string what;
    try {
        return run();
    } catch (const std::exception& e) {
        what = jxtext::W(e.what());
    } catch (...) {
        what = u"unknown exception";
    }
    Instance()->Log(LP_ERROR, u"lib", u"JxSetup::Data::RunGuarded", u"The run ended with an exception: %s",
                    what.c_str());
    return 1;
}

} // namespace JxSetup::Data

int JxSetupEntry(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // The framework's application state is the program's string table here.
    JxSetup::Data::RegisterProgramResources();
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0)
        return 1; // nothing is built, logged or shown
    const int code = JxSetup::Data::RunGuarded(RunEngine);
    // Whatever ended the run, its log is written out and closed.
    JxSetup::Data::Instance()->Release();
    return code;
}
