// URL parts of a request and redirect targets, by libcurl's URL parser.
#include <curl/curl.h>
#include <memory>

#include "httpinternal.h"

namespace {

using CUrlHandle = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

std::string _url_Part(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text)
        return {};
    std::string result = text;
    curl_free(text);
    return result;
}

} // namespace

DWORD _http_CrackUrl(const std::string& url, CHttpExchange& into) {
    // An empty host ("https:///path") is refused as the system refuses it; libcurl's parser would
    // take the first path segment for the host.
    const size_t authority = url.find("://");
    if (authority != std::string::npos &&
        (authority + 3 >= url.size() || url[authority + 3] == '/' || url[authority + 3] == '\\'))
        return ERROR_WINHTTP_INVALID_URL;
    CUrlHandle handle(curl_url(), curl_url_cleanup);
    const CURLUcode rc = curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME);
    if (rc != CURLUE_OK)
        return ERROR_WINHTTP_INVALID_URL;
    const std::string scheme = _url_Part(handle.get(), CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https")
        return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    const std::string host = _url_Part(handle.get(), CURLUPART_HOST);
    std::string path = _url_Part(handle.get(), CURLUPART_PATH);
    const std::string query = _url_Part(handle.get(), CURLUPART_QUERY);
    if (!query.empty())
        path += "?" + query;
    // The host and the path (with its query) have fixed room: 259 and 1299 characters.
    if (host.empty())
        return ERROR_WINHTTP_INVALID_URL;
    if (host.size() > 259 || path.size() > 1299)
        return ERROR_INSUFFICIENT_BUFFER;
    into.url = url;
    into.host = host;
    into.https = scheme == "https";
    into.port = std::strtol(_url_Part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str(), nullptr, 10);
    return 0;
}

std::string _http_ResolveLocation(const std::string& base, const std::string& location) {
    CUrlHandle handle(curl_url(), curl_url_cleanup);
    if (curl_url_set(handle.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(handle.get(), CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return {};
    return _url_Part(handle.get(), CURLUPART_URL);
}
