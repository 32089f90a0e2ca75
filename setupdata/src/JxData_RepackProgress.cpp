// Defined beside the data object: the object's table of virtual operations is emitted with it.
// Progress while the package manager repacks: only the copying phase moves the position, by at
// most ten steps, reported at most every 100 ms to a user interface.
#include <algorithm>
#include <atomic>

#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

constexpr DWORD kRepackCopyPhase = 2;
constexpr DWORD kRepackReportIntervalMs = 100;

// The tick count of the last report to a user interface, shared by every repack of the process.
std::atomic<DWORD> g_LastRepackReportTick{0};

} // namespace

int JxData::OnRepackProgress(DWORD phase, DWORD done, DWORD total, DWORD_PTR) {
    if (phase != kRepackCopyPhase)
        return 1;
    // Without a total the copy shows no progress of its own: the current step stays.
    double position = static_cast<double>(m_StepsCurrent);
    if (total != 0)
        position += static_cast<double>(done) * 100.0 / static_cast<double>(total) / 10.0;
    if (m_StepsMax != 0)
        position = std::min(position, static_cast<double>(m_StepsMax));
    const int step = static_cast<int>(position);
    if (!HasGui()) {
        if (HasProgressCallback())
            m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, step, static_cast<int>(m_StepsMax),
                                          nullptr);
        return 1;
    }
    const DWORD now = GetTickCount();
    const DWORD last = g_LastRepackReportTick.load();
    if (last != 0 && now - last <= kRepackReportIntervalMs)
        return 1;
    g_LastRepackReportTick.store(now == 0 ? 1 : now);
    m_Gui->SetProgress(step, ExpandProperties(u"[JX_STOREWPK]"));
    return 1;
}

} // namespace JxSetup::Data
