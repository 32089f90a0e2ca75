// The side-by-side share counters of the data object. The counters themselves are not there yet:
// a definition that names side-by-side products fails the run; without any there is nothing to do.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::InitSxsShareCounter() {
    CJxDataLock lock(*this);
    if (m_SxsRequirements.m_ProductCodes.empty())
        return;
    // JX_NOT_BUILT: identifying side-by-side products comes with the shared-component counters.
    FailNotBuilt(u"JxSetup::Data::JxData::InitSxsShareCounter", u"JxShareCounterList::InitSxsShareCounter");
}

void JxData::SetShareCounterUpdateMode(bool update) {
    CJxDataLock lock(*this);
    m_ShareCounterUpdate = update;
}

} // namespace JxSetup::Data
