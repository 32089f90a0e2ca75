// Discovery of the management server's API port from the URL reservations of HTTP.sys.
#include "jxmms/MmsPort.h"

#include <http.h>
#include <map>
#include <mutex>
#include <regex>
#include <vector>

#include "jxbase/textconv.h"
#include "jxplat/text.h"
#include "jxweb/HttpClient.h"

namespace {

// The port of a reservation that the API never uses.
constexpr int kPassedOverPort = 7183;

std::mutex& _port_Lock() {
    static std::mutex lock;
    return lock;
}

std::map<std::u16string, int>& _port_Cache() {
    static std::map<std::u16string, int> cache;
    return cache;
}

// The candidates of the reservations, in enumeration order (duplicates kept).
std::vector<int> _port_Candidates(const std::regex& expression) {
    std::vector<int> candidates;
    for (DWORD token = 0;; ++token) {
        HTTP_SERVICE_CONFIG_URLACL_QUERY query{};
        query.QueryDesc = HttpServiceConfigQueryNext;
        query.dwToken = token;
        ULONG size = 0;
        if (HttpQueryServiceConfiguration(nullptr, HttpServiceConfigUrlAclInfo, &query, sizeof(query),
                                          nullptr, 0, &size, nullptr) != ERROR_INSUFFICIENT_BUFFER)
            break;
        std::vector<BYTE> buffer(size);
        if (HttpQueryServiceConfiguration(nullptr, HttpServiceConfigUrlAclInfo, &query, sizeof(query),
                                          buffer.data(), size, &size, nullptr) != NO_ERROR)
            break;
        const auto* set = reinterpret_cast<const HTTP_SERVICE_CONFIG_URLACL_SET*>(buffer.data());
        const std::string prefix = WideToUtf8(set->KeyDesc.pUrlPrefix ? set->KeyDesc.pUrlPrefix : u"");
        std::smatch match;
        if (!std::regex_match(prefix, match, expression))
            continue;
        const long port = std::stol(match[1].str());
        if (port == kPassedOverPort)
            continue;
        if (port > 65535)
            break; // ends the enumeration; the candidates found so far count
        candidates.push_back(static_cast<int>(port));
    }
    return candidates;
}

// The first candidate whose server answers the server-information call with 200.
int _port_Probe(const std::vector<int>& candidates) {
    HttpClient client({}, 65536);
    client.SetRequestHeader(u"Accept", u"application/x-protobuf");
    client.SetRequestHeader(u"Content-Type", u"application/x-protobuf");
    client.SetRequestHeader(u"Accept-Encoding", u"gzip");
    // The local server's certificate is its own, as for the API client itself.
    client.m_CheckCertificates = false;
    for (int port : candidates) {
        const std::u16string url =
            u"https://localhost:" + jxtext::ToText(port) + u"/tolvane/mms/api/common/serverinfo";
        const HttpClient::Result result = client.Send(HttpClient::Get, url, false, u"", true);
        if (result.error == 0 && result.status == 200)
            return port;
    }
    return 0;
}

} // namespace

int GetMmsPort(const std::u16string& scheme) {
    std::lock_guard<std::mutex> hold(_port_Lock());
    if (auto it = _port_Cache().find(scheme); it != _port_Cache().end())
        return it->second;
    const HTTPAPI_VERSION version = HTTPAPI_VERSION_1;
    if (HttpInitialize(version, HTTP_INITIALIZE_CONFIG, nullptr) != NO_ERROR)
        return 0;
    std::vector<int> candidates;
    try {
        const std::regex expression(WideToUtf8(scheme) + "://\\+:([1-9][0-9]{0,4})/tolvane/mms/",
                                    std::regex::ECMAScript);
        candidates = _port_Candidates(expression);
    } catch (const std::exception&) {
        HttpTerminate(HTTP_INITIALIZE_CONFIG, nullptr);
        return 0;
    }
    HttpTerminate(HTTP_INITIALIZE_CONFIG, nullptr);
    int port = 0;
    if (candidates.size() == 1)
        port = candidates.front();
    else if (candidates.size() > 1)
        port = _port_Probe(candidates);
    if (port != 0)
        _port_Cache()[scheme] = port;
    return port;
}

void ResetMmsPortCacheForTesting() {
    std::lock_guard<std::mutex> hold(_port_Lock());
    _port_Cache().clear();
}
