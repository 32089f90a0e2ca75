// The check of a remote management server through the command channel. The command channel is not
// there yet: a check fails the run.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

// JX_NOT_BUILT: the connection check comes with the command channel.
bool JxData::CheckRemoteConnectionToMMS(const std::u16string& server) {
    const WCHAR* context = u"JxSetup::Data::JxData::CheckRemoteConnectionToMMS";
    GetLog()->Log(LOG_BEGIN, u"lib", context, u"");
    FailNotBuilt(context, u"CheckRemoteConnectionToMMS");
    GetLog()->Log(LOG_END, u"lib", context, u"%s", u"false");
    return false;
}

} // namespace JxSetup::Data
