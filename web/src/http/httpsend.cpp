// One synchronous request: checks, the passes of redirects and proxy authentication, the body
// target and the end of the body.
#include <functional>

#include "httpinternal.h"
#include "jxbase/textconv.h"

namespace {

bool _send_IsAuthStatus(LONG status) {
    return status == 401 || status == 407;
}

bool _send_IsRedirectStatus(LONG status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::u16string _send_FindIgnoringCase(const std::map<std::u16string, std::u16string>& headers,
                                      const std::u16string& name) {
    for (const auto& [key, value] : headers) {
        if (key.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < key.size() && same; ++i)
            same = std::towlower(key[i]) == std::towlower(name[i]);
        if (same)
            return value;
    }
    return {};
}

// The first scheme of Negotiate, NTLM, Passport, Digest, Basic that the answer offers and that can
// carry the proxy credentials here ("" when none).
std::string _send_ChooseScheme(const std::vector<std::string>& offered) {
    for (const char* scheme : {"negotiate", "ntlm", "digest", "basic"})
        for (const auto& o : offered)
            if (o == scheme)
                return scheme;
    return {};
}

ULONGLONG _send_ContentLength(const HttpClient::Result& result) {
    const std::u16string text = result.GetHeader(u"Content-Length");
    ULONGLONG value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c - u'0');
        if (value > 0xFFFFFFFFFull)
            break; // far beyond any 32-bit count already
    }
    return value;
}

// The bandwidth limit of the body loop: a pass starts at t0; after its chunk, t1. A chunk that came
// faster than the limit is followed by a wait of (chunk / limit - (t1 - t0) / frequency) seconds,
// in whole milliseconds (truncated). Nothing is measured when either counter time is 0.
class CSendThrottle {
public:
    CSendThrottle(LONG limit, std::function<LONGLONG()> ticks) : m_Limit(limit), m_Ticks(std::move(ticks)) {
        LARGE_INTEGER frequency{};
        if (m_Limit > 0 && QueryPerformanceFrequency(&frequency))
            m_Frequency = frequency.QuadPart;
    }
    void StartPass() { m_T0 = Now(); }
    DWORD WaitAfter(size_t chunk) const {
        if (m_Limit <= 0 || m_Frequency <= 0 || m_T0 == 0)
            return 0;
        const LONGLONG t1 = Now();
        if (t1 == 0 || t1 <= m_T0)
            return 0;
        const double seconds = static_cast<double>(t1 - m_T0) / static_cast<double>(m_Frequency);
        if (static_cast<double>(chunk) / seconds <= m_Limit)
            return 0;
        return static_cast<DWORD>((static_cast<double>(chunk) / m_Limit - seconds) * 1000);
    }

private:
    LONGLONG Now() const {
        if (m_Limit <= 0)
            return 0;
        if (m_Ticks)
            return m_Ticks();
        LARGE_INTEGER now{};
        return QueryPerformanceCounter(&now) ? now.QuadPart : 0;
    }

    LONG m_Limit;
    std::function<LONGLONG()> m_Ticks;
    LONGLONG m_Frequency = 0;
    LONGLONG m_T0 = 0;
};

} // namespace

HttpClient::Result HttpClient::Send(int method, const std::u16string& url, bool toFile,
                                    const std::u16string& filePath, bool resetCancel) {
    Result result;
    if (resetCancel && (!m_CancelEvent || !ResetEvent(m_CancelEvent))) {
        result.error = ErrCanceled;
        return result;
    }
    if (url.empty()) {
        result.error = ErrEmptyUrl;
        return result;
    }
    if (method < Get || method > Delete) {
        result.error = ErrInvalidMethod;
        return result;
    }
    if (!OpenSession()) {
        result.error = GetLastError();
        return result;
    }
    CHttpExchange exchange;
    if (const DWORD error = _http_CrackUrl(WideToUtf8(url), exchange)) {
        result.error = error;
        return result;
    }
    exchange.method = method;
    exchange.sendBody = m_RequestBody && m_RequestBodyLength;

    CHttpBodyTarget target(result, m_InitialReceiveBufferSize, m_MaxMemoryBody);
    ULONGLONG expectedTotal = 0;
    LONG previousStatus = 0;
    DWORD redirects = 0;
    CSendThrottle throttle(m_BandwidthLimit, m_ThrottleTicks);

    exchange.isIntermediate = [&](const CHttpHeaderBlock& block) {
        if (_send_IsRedirectStatus(block.status) && !m_DisableRedirects &&
            !_send_FindIgnoringCase(block.headers, u"Location").empty())
            return true;
        return _send_IsAuthStatus(block.status) && !_send_IsAuthStatus(previousStatus) &&
               !_send_ChooseScheme(block.offeredSchemes).empty() && !m_ProxyUser.empty();
    };
    exchange.onFinalHeaders = [&](const CHttpHeaderBlock& block, const std::string& localIp, long localPort,
                                  const std::string& remoteIp, long remotePort) -> DWORD {
        result.status = block.status;
        result.headers = block.headers;
        if (IsCanceled(0))
            return ErrCanceled;
        if (m_ConnectionInfoCallback) {
            ConnectionInfo info;
            if (_http_MakeConnectionInfo(localIp, localPort, remoteIp, remotePort, info) &&
                !m_ConnectionInfoCallback(info))
                return ErrConnectionRefused;
        }
        expectedTotal = _send_ContentLength(result);
        if (expectedTotal > 0xFFFFFFFFull)
            return ERROR_ARITHMETIC_OVERFLOW; // refused rather than counted wrong
        if (toFile && (!m_FileTargetCallback || m_FileTargetCallback(result))) {
            if (const DWORD error = target.OpenFile(filePath))
                return error;
        } else {
            target.UseMemory();
        }
        throttle.StartPass();
        return IsCanceled(0) ? ErrCanceled : 0;
    };
    exchange.onBody = [&](const BYTE* data, size_t length) -> DWORD {
        if (expectedTotal > 0 && result.bodyLength >= expectedTotal)
            return 0; // the whole body is in
        if (const DWORD error = target.Append(data, length))
            return error;
        // A cancel during the wait ends the body at once, without the progress call.
        if (const DWORD wait = throttle.WaitAfter(length))
            if (m_ThrottleWait ? m_ThrottleWait(wait) : IsCanceled(wait))
                return ErrCanceled;
        if (!ReportProgress(static_cast<DWORD>(length), result.bodyLength, static_cast<DWORD>(expectedTotal)))
            return ErrCanceled;
        throttle.StartPass();
        return 0;
    };

    for (;;) {
        if (IsCanceled(0)) {
            result.error = ErrCanceled;
            return result;
        }
        CHttpExchangeOutcome outcome;
        const DWORD error = CHttpExchangeRunner::Run(*this, exchange, outcome);
        if (error || outcome.canceled) {
            result.error = error ? error : ErrCanceled;
            if (!outcome.final && outcome.block.status) {
                result.status = outcome.block.status;
                result.headers = outcome.block.headers;
            }
            return result;
        }
        if (!outcome.intermediate)
            break;
        const CHttpHeaderBlock& block = outcome.block;
        if (_send_IsRedirectStatus(block.status)) {
            const std::string next = _http_ResolveLocation(
                exchange.url, WideToUtf8(_send_FindIgnoringCase(block.headers, u"Location")));
            CHttpExchange parts;
            if (++redirects > 10 || next.empty() || _http_CrackUrl(next, parts) != 0 ||
                (exchange.https && !parts.https)) {
                result.error = ERROR_WINHTTP_REDIRECT_FAILED;
                result.status = block.status;
                result.headers = block.headers;
                return result;
            }
            exchange.url = parts.url;
            exchange.host = parts.host;
            exchange.port = parts.port;
            exchange.https = parts.https;
            // A POST answered by 301, 302 or 303 goes on as a GET without body.
            if (block.status == 303 ||
                ((block.status == 301 || block.status == 302) && exchange.method == Post)) {
                exchange.method = Get;
                exchange.sendBody = false;
            }
            continue;
        }
        // An authentication challenge: once more with the proxy's credentials.
        exchange.authScheme = _send_ChooseScheme(block.offeredSchemes);
        previousStatus = block.status;
    }

    // A body that ended before its announced length is an error, never a success.
    if (expectedTotal > 0 && result.bodyLength < expectedTotal) {
        result.error = ERROR_WINHTTP_CONNECTION_ERROR;
        return result;
    }
    if (IsCanceled(0) || !ReportProgress(kProgressEnd, kProgressEnd, kProgressEnd)) {
        result.error = ErrCanceled;
        return result;
    }
    result.error = target.Commit();
    return result;
}
