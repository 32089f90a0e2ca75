// One request/response exchange over libcurl's multi interface, driven from the caller's thread:
// the loop checks the cancel event and the client's time-outs between short waits on the network,
// so neither a silent nor a trickling server holds the request past its time-outs. Redirects and
// authentication repeats are decided by the client (httpsend.cpp), one exchange each.
#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <curl/curl.h>
#include <netinet/in.h>

#include "httpinternal.h"
#include "jxbase/textconv.h"
#include "jxplat/machine.h"

namespace {

// Header texts arrive as bytes; each byte is one character (ISO-8859-1), as the system reads them.
std::u16string _exchange_Widen(const std::string& bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes)
        text.push_back(c);
    return text;
}

std::string _exchange_Lower(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Connections go to loopback addresses only, whatever a name or a redirect asked for.
curl_socket_t _exchange_OpenSocket(void*, curlsocktype, curl_sockaddr* address) {
    bool loopback = false;
    if (address->family == AF_INET)
        loopback =
            (ntohl(reinterpret_cast<const sockaddr_in*>(&address->addr)->sin_addr.s_addr) >> 24) == 127;
    else if (address->family == AF_INET6)
        loopback = IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(&address->addr)->sin6_addr);
    if (!loopback)
        return CURL_SOCKET_BAD;
    // A test server on a free port may stand for the well-known one (the machine's loopbackPorts).
    auto& port = reinterpret_cast<sockaddr_in&>(address->addr).sin_port;
    port = htons(jxplat::ForwardedLoopbackPort(ntohs(port)));
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

DWORD _exchange_MapCurlError(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_WINHTTP_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_WINHTTP_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_WINHTTP_TIMEOUT;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return ERROR_WINHTTP_SECURE_FAILURE;
    case CURLE_URL_MALFORMAT:
        return ERROR_WINHTTP_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    // libcurl reports a header line past its limit (100 KB) as out of memory.
    case CURLE_OUT_OF_MEMORY:
        return ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return ERROR_WINHTTP_CONNECTION_ERROR;
    default:
        return ERROR_WINHTTP_INTERNAL_ERROR;
    }
}

} // namespace

// The state of one exchange, shared with libcurl's callbacks.
struct CExchangeState {
    const CHttpExchange* exchange;
    CHttpExchangeOutcome* outcome;
    CURL* easy = nullptr;
    DWORD ownError = 0;
    bool proxied = false;
    bool tunnelPending = false;
    bool tunnelRefused = false;
    bool headersDone = false;
    size_t uploadOffset = 0;
    bool uploadDone = false;
    bool requestSent = false;
    ULONGLONG requestSentAt = 0, lastUploadAt = 0, lastBodyAt = 0;
    // Taken from the client by the runner.
    HANDLE cancelEvent = nullptr;
    const BYTE* body = nullptr;
    DWORD bodyLength = 0;
    const std::function<void(DWORD)>* pieceObserver = nullptr;
};

namespace {

void _exchange_BlockComplete(CExchangeState& s) {
    CHttpHeaderBlock& block = s.outcome->block;
    if (block.status >= 100 && block.status < 200) {
        block = CHttpHeaderBlock(); // an interim answer; the real one follows
        return;
    }
    if (s.tunnelPending) {
        // The proxy's answer to CONNECT: a 2xx opens the tunnel and the server's answer follows;
        // anything else (a 407 challenge) is the answer of the request.
        if (block.status >= 200 && block.status < 300) {
            s.tunnelPending = false;
            block = CHttpHeaderBlock();
            return;
        }
        s.tunnelPending = false;
        s.tunnelRefused = true;
    }
    s.headersDone = true;
    s.lastBodyAt = GetTickCount64();
    if (s.exchange->isIntermediate && s.exchange->isIntermediate(block)) {
        s.outcome->intermediate = true;
        return;
    }
    s.outcome->final = true;
    char* localIp = nullptr;
    char* remoteIp = nullptr;
    long localPort = 0, remotePort = 0;
    curl_easy_getinfo(s.easy, CURLINFO_LOCAL_IP, &localIp);
    curl_easy_getinfo(s.easy, CURLINFO_LOCAL_PORT, &localPort);
    curl_easy_getinfo(s.easy, CURLINFO_PRIMARY_IP, &remoteIp);
    curl_easy_getinfo(s.easy, CURLINFO_PRIMARY_PORT, &remotePort);
    s.ownError = s.exchange->onFinalHeaders(block, localIp ? localIp : "", localPort,
                                            remoteIp ? remoteIp : "", remotePort);
}

size_t _exchange_Header(char* buffer, size_t size, size_t count, void* user) {
    auto& s = *static_cast<CExchangeState*>(user);
    const size_t n = size * count;
    std::string line(buffer, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    CHttpHeaderBlock& block = s.outcome->block;
    if (line.compare(0, 5, "HTTP/") == 0) {
        block = CHttpHeaderBlock();
        const size_t blank = line.find(' ');
        block.status = blank == std::string::npos ? 0 : std::atoi(line.c_str() + blank + 1);
        s.outcome->intermediate = s.outcome->final = false;
        s.headersDone = false;
        return n;
    }
    if (line.empty()) {
        _exchange_BlockComplete(s);
        return s.ownError ? 0 : n;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
        return n;
    std::u16string name = _exchange_Widen(line.substr(0, colon));
    std::u16string value = _exchange_Widen(line.substr(colon + 1));
    TrimString(name, u" \r\n\t");
    TrimString(value, u" \r\n\t");
    const std::string lowerName = _exchange_Lower(WideToUtf8(name));
    if (lowerName == "www-authenticate" || lowerName == "proxy-authenticate") {
        const std::string scheme = _exchange_Lower(WideToUtf8(value.substr(0, value.find(u' '))));
        if (!scheme.empty())
            block.offeredSchemes.push_back(scheme);
    }
    block.headers[name] = value; // a repeated name keeps its last value
    return n;
}

size_t _exchange_Body(char* data, size_t size, size_t count, void* user) {
    auto& s = *static_cast<CExchangeState*>(user);
    const size_t n = size * count;
    if (!s.outcome->final)
        return n; // the body of a redirect or of a challenge that is answered
    s.lastBodyAt = GetTickCount64();
    s.ownError = s.exchange->onBody(reinterpret_cast<const BYTE*>(data), n);
    return s.ownError ? 0 : n;
}

// The request body in pieces of at most 65536 bytes; a cancel stops it.
size_t _exchange_Upload(char* buffer, size_t size, size_t count, void* user) {
    auto& s = *static_cast<CExchangeState*>(user);
    s.lastUploadAt = GetTickCount64();
    if (!s.cancelEvent || WaitForSingleObject(s.cancelEvent, 0) == WAIT_OBJECT_0)
        return CURL_READFUNC_ABORT;
    const size_t left = s.bodyLength - s.uploadOffset;
    const size_t piece = std::min({size * count, left, static_cast<size_t>(HttpClient::kRequestPiece)});
    std::memcpy(buffer, s.body + s.uploadOffset, piece);
    s.uploadOffset += piece;
    if (piece > 0 && s.pieceObserver && *s.pieceObserver)
        (*s.pieceObserver)(static_cast<DWORD>(piece));
    if (piece == 0 && !s.uploadDone) {
        s.uploadDone = true;
        s.requestSent = true;
        s.requestSentAt = GetTickCount64();
    }
    return piece;
}

int _exchange_Prereq(void* user, char*, char*, int, int) {
    auto& s = *static_cast<CExchangeState*>(user);
    const ULONGLONG now = GetTickCount64();
    s.lastUploadAt = now;
    if (!s.exchange->sendBody) {
        s.requestSent = true;
        s.requestSentAt = now;
    }
    return CURL_PREREQFUNC_OK;
}

} // namespace

namespace {

std::string _exchange_Utf8(const std::u16string& text) {
    return WideToUtf8(text);
}

// "host:port:address,address" for libcurl's own cache, so it never asks a name server.
curl_slist* _exchange_Resolve(curl_slist* list, const std::string& host, long port, DWORD& error) {
    const std::vector<std::string> addresses = jxplat::ResolveConfinedHost(host);
    if (addresses.empty()) {
        error = ERROR_WINHTTP_NAME_NOT_RESOLVED;
        return list;
    }
    std::string entry = host + ":" + std::to_string(port) + ":";
    for (size_t i = 0; i < addresses.size(); ++i)
        entry += (i ? "," : "") +
                 (addresses[i].find(':') != std::string::npos ? "[" + addresses[i] + "]" : addresses[i]);
    return curl_slist_append(list, entry.c_str());
}

long _exchange_AuthBit(const std::string& scheme) {
    if (scheme == "negotiate")
        return CURLAUTH_NEGOTIATE;
    if (scheme == "ntlm")
        return CURLAUTH_NTLM;
    if (scheme == "digest")
        return CURLAUTH_DIGEST;
    return CURLAUTH_BASIC;
}

} // namespace

DWORD CHttpExchangeRunner::Run(HttpClient& c, const CHttpExchange& x, CHttpExchangeOutcome& outcome) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised)
        return ERROR_WINHTTP_INTERNAL_ERROR;
    outcome = CHttpExchangeOutcome();
    CExchangeState s{&x, &outcome};
    s.cancelEvent = c.m_CancelEvent;
    s.body = c.m_RequestBody;
    s.bodyLength = c.m_RequestBodyLength;
    s.pieceObserver = &c.m_RequestPieceObserver;

    DWORD error = 0;
    curl_slist* resolve = _exchange_Resolve(nullptr, x.host, x.port, error);
    std::string proxy;
    if (!error && !c.m_ProxyUrl.empty()) {
        if (c.m_ProxyUrl.size() > MAX_PATH - 1) {
            curl_slist_free_all(resolve);
            return ERROR_INVALID_PARAMETER; // longer than the proxy list the system takes
        }
        proxy = _exchange_Utf8(c.m_ProxyUrl);
        CHttpExchange proxyParts;
        const std::string proxyUrl = proxy.find("://") == std::string::npos ? "http://" + proxy : proxy;
        error = _http_CrackUrl(proxyUrl, proxyParts);
        if (!error)
            resolve = _exchange_Resolve(resolve, proxyParts.host, proxyParts.port, error);
        s.proxied = true;
        s.tunnelPending = x.https;
    }
    if (error) {
        curl_slist_free_all(resolve);
        return error;
    }

    CURL* e = curl_easy_init();
    CURLM* m = curl_multi_init();
    s.easy = e;
    curl_easy_setopt(e, CURLOPT_URL, x.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_RESOLVE, resolve);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, _exchange_OpenSocket);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(c.m_ConnectTimeout));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 65536L);
    curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, 65536L);
    const std::string userAgent = _exchange_Utf8(c.m_UserAgent);
    curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent.c_str());
    // The client's own proxy or none: the proxy variables of the environment are not asked.
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    const std::string proxyUser = _exchange_Utf8(c.m_ProxyUser),
                      proxyPassword = _exchange_Utf8(c.m_ProxyPassword);
    if (!x.authScheme.empty()) {
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, _exchange_AuthBit(x.authScheme));
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
        if (!proxyPassword.empty())
            curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
    }
    // Certificates: only the machine's trusted roots, never the host's store.
    const std::string roots = jxplat::TrustedRootCertificatesPem();
    curl_blob rootsBlob{const_cast<char*>(roots.data()), roots.size(), CURL_BLOB_COPY};
    curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    if (!roots.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO_BLOB, &rootsBlob);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, c.m_CheckCertificates ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, c.m_CheckCertificates ? 2L : 0L);

    // The method, and the body when there is one.
    static const char* const verbs[] = {"", "GET", "POST", "PUT", "DELETE"};
    if (x.sendBody || x.method == HttpClient::Post || x.method == HttpClient::Put) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(x.sendBody ? s.bodyLength : 0));
        curl_easy_setopt(e, CURLOPT_READFUNCTION, _exchange_Upload);
        curl_easy_setopt(e, CURLOPT_READDATA, &s);
        if (!x.sendBody) {
            s.bodyLength = 0;
            s.uploadDone = true;
        }
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    if (x.method != HttpClient::Get && x.method != HttpClient::Post)
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verbs[x.method]);

    // Request headers: the client's, in name order, none with an empty value; no default header of
    // libcurl's that the client did not ask for.
    curl_slist* headers = nullptr;
    bool hasAccept = false, hasContentType = false;
    for (const auto& [name, value] : c.m_RequestHeaders) {
        if (value.empty())
            continue;
        const std::string lower = _exchange_Lower(_exchange_Utf8(name));
        hasAccept |= lower == "accept";
        hasContentType |= lower == "content-type";
        headers = curl_slist_append(headers, (_exchange_Utf8(name) + ": " + _exchange_Utf8(value)).c_str());
    }
    if (!hasAccept)
        headers = curl_slist_append(headers, "Accept:");
    if (!hasContentType)
        headers = curl_slist_append(headers, "Content-Type:");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(e, CURLOPT_PROXYHEADER, nullptr);

    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, _exchange_Header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &s);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, _exchange_Body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &s);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, _exchange_Prereq);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &s);

    curl_multi_add_handle(m, e);
    EnterCriticalSection(&c.m_TransferLock);
    c.m_RunningTransfer = m;
    LeaveCriticalSection(&c.m_TransferLock);

    const ULONGLONG start = GetTickCount64();
    s.lastUploadAt = start;
    int running = 1;
    DWORD timeoutError = 0;
    while (running) {
        if (curl_multi_perform(m, &running) != CURLM_OK) {
            s.ownError = ERROR_WINHTTP_INTERNAL_ERROR;
            break;
        }
        if (!running || s.ownError)
            break;
        if (c.IsCanceled(0)) {
            outcome.canceled = true;
            break;
        }
        // The time-outs of the phases: sending the body, waiting for the whole header, then each
        // read of the body.
        const ULONGLONG now = GetTickCount64();
        if (!s.headersDone) {
            if (s.requestSent && now - s.requestSentAt > c.m_ReceiveResponseTimeout)
                timeoutError = ERROR_WINHTTP_TIMEOUT;
            else if (!s.requestSent && s.lastUploadAt != start && now - s.lastUploadAt > c.m_SendTimeout)
                timeoutError = ERROR_WINHTTP_TIMEOUT;
        } else if (now - s.lastBodyAt > c.m_ReceiveTimeout) {
            timeoutError = ERROR_WINHTTP_TIMEOUT;
        }
        if (timeoutError)
            break;
        curl_multi_poll(m, nullptr, 0, 20, nullptr);
    }
    CURLcode code = CURLE_OK;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m, &left))
        if (msg->msg == CURLMSG_DONE)
            code = msg->data.result;

    EnterCriticalSection(&c.m_TransferLock);
    c.m_RunningTransfer = nullptr;
    LeaveCriticalSection(&c.m_TransferLock);
    curl_multi_remove_handle(m, e);
    curl_easy_cleanup(e);
    curl_multi_cleanup(m);
    curl_slist_free_all(headers);
    curl_slist_free_all(resolve);

    if (s.ownError)
        return s.ownError;
    if (outcome.canceled)
        return 0;
    if (timeoutError)
        return timeoutError;
    if (running)
        return ERROR_WINHTTP_INTERNAL_ERROR;
    // A proxy that refused the tunnel answered the request itself (a 407 challenge, say).
    if (code != CURLE_OK && s.tunnelRefused)
        return 0;
    return _exchange_MapCurlError(code);
}

void HttpClient::Cancel() {
    if (m_CancelEvent)
        SetEvent(m_CancelEvent);
    EnterCriticalSection(&m_TransferLock);
    if (m_RunningTransfer)
        curl_multi_wakeup(static_cast<CURLM*>(m_RunningTransfer));
    LeaveCriticalSection(&m_TransferLock);
}
