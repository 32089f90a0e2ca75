// The data object's side of the shared-component counters: the side-by-side products of the
// requirements and the update flag, handed to its counter list before the install sequence.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::InitSxsShareCounter() {
    CJxDataLock lock(*this);
    m_ShareCounters.InitSxsShareCounter(m_SxsRequirements.m_ProductCodes, GetProductId());
}

void JxData::SetShareCounterUpdateMode(bool update) {
    CJxDataLock lock(*this);
    m_ShareCounters.SetUpdate(update);
}

} // namespace JxSetup::Data
