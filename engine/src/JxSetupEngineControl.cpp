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

bool JxSetupEngineControl::RunSupportModes() {
    if (!m_pData->IsSupportModeRequested())
        return true;
    // JX_NOT_BUILT: the support modes; a run that asks for one does no installation.
    m_pData->m_SequenceData.m_bSkipFinish = true;
    return StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::RunSupportModes", u"RunSupportModes");
}

bool JxSetupEngineControl::AcquireSingleInstance() {
    return m_pData && m_pData->OpenGlobalMutex();
}

bool JxSetupEngineControl::PrepareGui() {
    // A quiet run, or one as LocalSystem, has no GUI module.
    if (m_pData->IsQuiet() || IsLocalSystem())
        return true;
    // JX_NOT_BUILT: the GUI module bridge.
    return StepNotBuilt(u"JxSetup::Data::JxSetupEngineControl::PrepareGui", u"PrepareGui");
}

// Prepare_SystemEnvironment, Set_FeatureActivationStatesForUpdate and SetActivationStateOfAllFeatures
// are in JxSetupEngineControl_Prepare.cpp; Execute_InstallSequence in
// JxSetupEngineControl_InstallSequence.cpp.

} // namespace JxSetup::Data
