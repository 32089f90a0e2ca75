#include "jxengine/JxSetupEngineControl.h"

#include "jxbase/trace.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";

// A step of the chain that a later part of the engine builds: it says so and ends the chain.
bool StepNotBuilt(const WCHAR* context, const WCHAR* step) {
    Instance()->Log(LP_ERROR, kModule, context, u"%s is not built yet", step);
    return false;
}
} // namespace

JxSetupEngineControl::JxSetupEngineControl() : m_pData(std::make_unique<JxData>()) {
    ReadDebugLevel();
}

JxSetupEngineControl::~JxSetupEngineControl() {
    // The data object goes first; the pool and the GUI holder follow as members.
    std::unique_ptr<JxData> data = std::move(m_pData);
    data.reset();
}

bool JxSetupEngineControl::Initialize(DWORD options, const std::u16string& applicationFolder) {
    // JX_NOT_BUILT: initialization (command line, elevation, packages, loading the setup
    // definition) comes with the engine's initialization. Without it the definition cannot be
    // loaded, and the run ends as it does when the definition is missing.
    StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::Initialize", u"Initialize");
    m_nErrorStringId = IDS_INIT_ERROR;
    m_bShowErrorBox = true;
    return false;
}

bool JxSetupEngineControl::RunSupportModes() {
    // JX_NOT_BUILT: support modes.
    return StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::RunSupportModes", u"RunSupportModes");
}

bool JxSetupEngineControl::AcquireSingleInstance() {
    return m_pData && m_pData->OpenGlobalMutex();
}

bool JxSetupEngineControl::PrepareGui() {
    // JX_NOT_BUILT: the GUI module bridge.
    return StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::PrepareGui", u"PrepareGui");
}

bool JxSetupEngineControl::Prepare_SystemEnvironment() {
    // JX_NOT_BUILT: system preparation and the update-mode decision.
    return StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::Prepare_SystemEnvironment",
                        u"Prepare_SystemEnvironment");
}

bool JxSetupEngineControl::Set_FeatureActivationStatesForUpdate() {
    // JX_NOT_BUILT: feature activation states of an update.
    return StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::Set_FeatureActivationStatesForUpdate",
                        u"Set_FeatureActivationStatesForUpdate");
}

bool JxSetupEngineControl::Execute_InstallSequence() {
    // JX_NOT_BUILT: the install sequence driver.
    return StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::Execute_InstallSequence",
                        u"Execute_InstallSequence");
}

void JxSetupEngineControl::SetActivationStateOfAllFeatures() {
    // JX_NOT_BUILT: feature activation.
    StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::SetActivationStateOfAllFeatures",
                 u"SetActivationStateOfAllFeatures");
}

} // namespace JxSetup::Data
