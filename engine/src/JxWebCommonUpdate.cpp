// The common update. The download from update servers is not there yet: a component to fetch
// fails the run.
#include "jxengine/JxWebCommonUpdate.h"

#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxWebCommonUpdate::ExecuteCommonUpdate";
} // namespace

bool JxWebCommonUpdate::ExecuteCommonUpdate(const std::u16string& component, bool mainUpdate) {
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, kContext, u"%s", component.c_str());
    if (component.empty()) {
        log->Log(LOG_END, kModule, kContext, u"No Component set.");
        return true;
    }
    if (!m_pOwner) {
        log->Log(LOG_END, kModule, kContext, u"No owner defined.");
        return false;
    }
    // JX_NOT_BUILT: the update-server client (information, selection, download) comes with the
    // common update. A component to fetch is work: the run fails.
    m_pOwner->FailNotBuilt(kContext, u"JxWebCommonUpdate::ExecuteCommonUpdate (" + component + u")");
    log->Log(LOG_END, kModule, kContext, u"%s", u"false");
    return false;
}

bool JxWebCommonUpdate::CheckDownloadedFiles() {
    // Nothing was downloaded, so there is nothing to verify.
    return m_SignatureFolders.empty();
}

} // namespace JxSetup::Data
