// The setup-data check whether a management server on a host answers the command channel.
#include "jxmms/MmsCmd.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "mmssetup.pb.h"

namespace JxSetup::Data {

bool JxData::CheckRemoteConnectionToMMS(const std::u16string& server) {
    const WCHAR* context = u"JxSetup::Data::JxData::CheckRemoteConnectionToMMS";
    GetLog()->Log(LOG_BEGIN, u"lib", context, u"");
    bool result = false;
    if (server.empty()) {
        GetLog()->Log(LP_WARNING, u"lib", context, u"Hostname empty");
    } else {
        const std::u16string kind =
            jxtext::EqualsNoCase(ExpandProperties(u"[_MMS_SETUP]"), u"true") ? u"mms" : u"";
        Tolvane::Corvata::Business::Server::Service::Protobuf::ServerInfoRespMsg answer;
        const int status = MmsClient::GetServerInfo(server, answer, kind, GetLog());
        GetLog()->Log(LP_INFO, u"lib", context, u"GetServerInfo: %d", status);
        result = status == 200 && !answer.servertext().empty();
    }
    GetLog()->Log(LOG_END, u"lib", context, u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data
