// The update-server web client: host selection over the DNS pools, service URLs, plain-text GET and
// the connection test.
#include "jxweb/JxWebClient.h"

#include <exception>

#include "jxbase/reg.h"
#include "jxbase/textconv.h"
#include "jxbase/trace.h"
#include "jxsetupdata/JxLog.h"
#include "jxweb/UpdateServerHostPool.h"
#include "upupdate.pb.h"

namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kHostContext = u"JxSetup::Data::JxWebClient::GetUpdateServerHost";
const WCHAR* const kProbeContext = u"JxSetup::Data::JxWebClient::getAvaliableServer";
const WCHAR* const kCheckContext = u"JxSetup::Data::JxWebClient::CheckConnectionToUpdateServer";
constexpr int kMaxCandidates = 25;
constexpr DWORD kInvalidUrl = 12005; // ERROR_WINHTTP_INVALID_URL

} // namespace

JxWebClient::JxWebClient(HttpClient::ProgressCallback progress, DWORD initialReceiveBufferSize)
    : ProtobufHttpClient(std::move(progress), initialReceiveBufferSize, false, 0) {}

std::u16string JxWebClient::GetUpdateServerHost(const std::u16string& region,
                                                const std::u16string& parameterHost) {
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, kHostContext, u"Region: %s", region.c_str());
    log->Log(LOG_BEGIN, kModule, kHostContext, u"%s", region.c_str());
    UpdateServerHostPool pool;
    if (!parameterHost.empty()) {
        log->Log(LOG_END, kModule, kHostContext, u"Parameter host: %s", parameterHost.c_str());
        return parameterHost;
    }
    const std::u16string configured =
        CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE\\Pellory", u"server", u"", 0);
    if (!configured.empty()) {
        log->Log(LOG_END, kModule, kHostContext, u"Configured host: %s", configured.c_str());
        return configured;
    }
    if (!region.empty()) {
        pool.Init(region, false);
        const std::u16string host = getAvaliableServer(pool);
        log->Log(LP_INFO, kModule, kHostContext, u"Region not empty: %s", host.c_str());
        if (!host.empty())
            return host;
    }
    log->Log(LP_INFO, kModule, kHostContext, u"Region empty.");
    pool.Init(DefaultServerRegion, false);
    const std::u16string europHost = getAvaliableServer(pool);
    log->Log(LP_INFO, kModule, kHostContext, u"Europ host: %s", europHost.c_str());

    std::u16string host = europHost;
    pb::RegionResult answer;
    HttpClient::Result result;
    // No europ host: nothing is asked (a URL without a host must never reach the network).
    if (!europHost.empty())
        result = Get(answer, GetServiceUrl(europHost, 1));
    else
        result.error = kInvalidUrl;
    if (result.error != 0 || result.status != 200 || !answer.has_resultcode()) {
        log->Log(LP_ERROR, kModule, kHostContext,
                 u"Failed to get hostname. HttpStatus: %d, ErrorCode: %d, RegionErrorCode: %d",
                 static_cast<int>(result.status), static_cast<int>(result.error),
                 static_cast<int>(answer.resultcode()));
    } else if (answer.resultcode() != 0) {
        log->Log(LP_ERROR, kModule, kHostContext, u"ErrorCode: %d, HttpStatus: %d",
                 static_cast<int>(answer.resultcode()), static_cast<int>(result.status));
    } else {
        const std::u16string geoRegion = Utf8ToWide(answer.region());
        log->Log(LP_INFO, kModule, kHostContext, u"GeoIP Region: %s", geoRegion.c_str());
        pool.Init(geoRegion, false);
        host = getAvaliableServer(pool);
    }
    log->Log(LOG_END, kModule, kHostContext, u"Host: %s", host.c_str());
    return host;
}

std::u16string JxWebClient::getAvaliableServer(UpdateServerHostPool& pool) {
    JxLog* log = Instance();
    for (int attempt = 0; attempt < kMaxCandidates; ++attempt) {
        const std::u16string candidate = pool.GetNextHost();
        log->Log(LP_INFO, kModule, kProbeContext, u"Host available? %s", candidate.c_str());
        pb::RegionResult answer;
        const HttpClient::Result result = Get(answer, GetServiceUrl(candidate, 1));
        if (result.error == 0 || result.status == 200) {
            log->Log(LP_INFO, kModule, kProbeContext, u"OK");
            return candidate;
        }
        log->Log(LP_WARNING, kModule, kProbeContext, u"Host %s not found. ErrorCode %d, HttpStatus: %d",
                 candidate.c_str(), static_cast<int>(result.error), static_cast<int>(result.status));
    }
    return {};
}

bool JxWebClient::CheckConnectionToUpdateServer(const std::u16string& host) {
    if (host.empty())
        return false;
    const std::u16string url = GetServiceUrl(host, 1);
    JxLog* log = Instance();
    log->Log(LP_INFO, kModule, kCheckContext, u"Uri: %s", url.c_str());
    pb::RegionResult answer;
    const HttpClient::Result result = Get(answer, url);
    if (result.error == 0 && result.status == 200 && answer.has_resultcode())
        return true;
    log->Log(LP_ERROR, kModule, kCheckContext, u"HttpStatus: %d, ErrorCode: %d",
             static_cast<int>(result.status), static_cast<int>(answer.resultcode()));
    return false;
}

std::u16string JxWebClient::GetServiceUrl(const std::u16string& host, int kind) {
    if (kind == 0)
        return UpdateServerHostPool::MakeCommonInfoUrl(host);
    if (kind == 1)
        return UpdateServerHostPool::MakeRegionUrl(host);
    return {};
}

std::u16string JxWebClient::GetAsString(const std::u16string& url) {
    if (url.empty())
        return {};
    try {
        SetRequestHeader(u"Accept", kMediaType);
        SetRequestHeader(u"Content-Type", u"");
        ClearRequestBody();
        const HttpClient::Result result = Send(HttpClient::Get, url, false, u"");
        OnResponse(result, u"JxSetup::Data::JxWebClient::GetAsString");
        if (result.error != 0 || result.status != 200 || !result.body)
            return {};
        // The servers send their XML and text files as UTF-16LE.
        const size_t characters = result.bodyLength / 2;
        std::u16string text;
        text.reserve(characters);
        const BYTE* bytes = result.body->data();
        for (size_t i = 0; i < characters; ++i) {
            const char16_t c = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            if (c == 0)
                break;
            text.push_back(c);
        }
        if (!text.empty() && text.front() == u'\xFEFF')
            text.erase(0, 1);
        return text;
    } catch (const std::exception& e) {
        if (g_JxSetupEngineLibDebugLevel >= 5)
            DebugTrace(u"(%u) JxSetupEngineLib: JxSetup::Data::JxWebClient::GetAsString(): Exception: %s",
                       GetCurrentThreadId(), Utf8ToWide(e.what()).c_str());
        return {};
    }
}

} // namespace JxSetup::Data
