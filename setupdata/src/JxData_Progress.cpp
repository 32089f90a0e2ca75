// Progress steps of the install sequence: the counters, their log lines, the GUI and the callback.
#include "jxsetupdata/IJxExternalGUI.h"
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
    if (!IsQuiet() && m_Gui) {
        std::u16string text = ExpandProperties(action.m_DisplayText);
        if (text.empty())
            text = ExpandProperties(m_SequenceData.m_DefaultActionText);
        m_Gui->SetProgressRange(static_cast<int>(m_StepsMax));
        m_Gui->SetProgress(static_cast<int>(m_StepsCurrent), text);
    }
    if (HasProgressCallback()) {
        // Nothing was counted: the steps done so far are the whole.
        if (m_StepsMax == 0)
            m_StepsMax = m_StepsCurrent != 0 ? m_StepsCurrent : 1;
        const int percent = static_cast<int>(m_StepsCurrent * 100.0 / m_StepsMax);
        m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, percent, 100, nullptr);
    }
}

// The GUI object and the progress callback both hear of the progress when both are there.
void JxData::SetProgressText(const std::u16string& text) {
    if (m_Gui)
        m_Gui->SetProgress(-1, text);
    if (HasProgressCallback())
        m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, -1, 0, nullptr);
}

void JxData::SetProgressRange(int maximum) {
    if (m_Gui)
        m_Gui->SetProgressRange(maximum);
    if (HasProgressCallback())
        m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, 0, maximum, nullptr);
}

void JxData::SetProgress(int position, int maximum, const std::u16string& text) {
    if (m_Gui)
        m_Gui->SetProgress(position, text);
    if (HasProgressCallback())
        m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, position, maximum, nullptr);
}

} // namespace JxSetup::Data
