// JX_NOT_BUILT: the common update comes with the update-server client.
// The common update run on its own (a caller that wants only the update, and the pages that show
// its version and billboards). The update-server client is not there yet: each fails.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

bool JxData::InitCommonUpdateMode(const std::u16string& settings, JxProgressCallbackFn callback,
                                  LPVOID context) {
    return _pending_NotBuilt(u"InitCommonUpdateMode");
}

std::u16string JxData::GetCommonUpdateVersion() {
    _pending_NotBuilt(u"GetCommonUpdateVersion");
    return std::u16string();
}

bool JxData::ExecuteCommonUpdate() {
    return _pending_NotBuilt(u"ExecuteCommonUpdate");
}

bool JxData::CheckInternetConnection() {
    return _pending_NotBuilt(u"CheckInternetConnection");
}

std::vector<std::u16string> JxData::DownloadBillboards() {
    _pending_NotBuilt(u"DownloadBillboards");
    return {};
}

// There is no billboard list yet, so there is nothing to empty.
void JxData::ClearBillboards() {}

} // namespace JxSetup::Data
