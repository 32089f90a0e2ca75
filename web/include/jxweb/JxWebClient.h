// The engine's web client for the update servers: the choice of the update-server host (given,
// configured in the registry, or picked from the DNS pools of a region), the URLs of the
// update-server calls, a plain-text GET and a connection test, on top of protobuf over HTTP.
#pragma once

#include <string>
#include <vector>

#include "jxsetupdata/JxCommonUpdateSettings.h"
#include "jxweb/ProtobufHttpClient.h"

class UpdateServerHostPool;

namespace JxSetup::Data {

class JxWebClient : public ProtobufHttpClient {
public:
    JxWebClient(HttpClient::ProgressCallback progress, DWORD initialReceiveBufferSize);
    ~JxWebClient() override = default;

    virtual std::u16string GetUpdateServerHost(const std::u16string& region,
                                               const std::u16string& parameterHost);
    // The body of a 200 answer as UTF-16LE text (a leading byte-order mark removed); else "".
    virtual std::u16string GetAsString(const std::u16string& url);
    // 0: the common-update information, 1: the region query; "" for any other kind.
    virtual std::u16string GetServiceUrl(const std::u16string& host, int kind);
    virtual bool CheckConnectionToUpdateServer(const std::u16string& host);

    // The first candidate of the pool that answers (at most 25 tried), else "".
    std::u16string getAvaliableServer(UpdateServerHostPool& pool);
};

} // namespace JxSetup::Data
