// Progress steps of the install sequence: the counters, their log lines, the GUI and the callback.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
} // namespace

void JxData::LOGProgressMax(const JxSequenceAction& action) {
    GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::LOGProgressMax", u"%s;MAX;%u",
                  action.m_Name.c_str(), m_StepsMax);
}

void JxData::LOGProgressCurrent(const JxSequenceAction& action) {
    GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::LOGProgressCurrent", u"%s;CUR;%u",
                  action.m_Name.c_str(), m_StepsCurrent);
}

void JxData::AddProcessStep() {
    ++m_StepsMax;
    LOGProgressMax(JxSequenceAction(u"UNKNOWN", u"", 0));
}

void JxData::StepProgress(const JxSequenceAction& action) {
    if (action.m_bCountsOwnSteps) {
        ++m_StepsCurrent;
        LOGProgressCurrent(action);
    }
    if (!IsQuiet() && HasGui()) {
        // JX_NOT_BUILT: the progress range and position of the GUI object come with the GUI bridge.
        GetLog()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxData::StepProgress",
                      u"IJxExternalGUI::SetProgress is not built yet");
    }
    if (HasProgressCallback()) {
        // Nothing was counted: the steps done so far are the whole.
        if (m_StepsMax == 0)
            m_StepsMax = m_StepsCurrent != 0 ? m_StepsCurrent : 1;
        const int percent = static_cast<int>(m_StepsCurrent * 100.0 / m_StepsMax);
        m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, percent, 100, nullptr);
    }
}

} // namespace JxSetup::Data
