// The HTTPS transport: an MmsCmdReq becomes an HTTPS request to "/tolvane/mms/<path>" of the server
// and the HTTP answer becomes the MmsCmdResp; bodies above 1 KiB travel gzip-compressed. Servers use
// self-signed certificates, so certificates are accepted unverified: the link is encrypted but the
// peer is not authenticated.
#include <exception>

#include "CMmsGzip.h"
#include "jxbase/textconv.h"
#include "jxbase/trace.h"
#include "jxmms/MmsCmdHost.h"
#include "jxmms/MmsCmdSession.h"
#include "jxmms/MmsPort.h"
#include "jxweb/HttpClient.h"

namespace {

constexpr size_t kCompressAbove = 1024;

} // namespace

class MmsCmdHttpSession::Client : public HttpClient {
public:
    explicit Client(MmsCmdHttpSession& session) : HttpClient(nullptr, 65536), m_Session(session) {
        m_CheckCertificates = false;
        SetConnectionInfoCallback([](const ConnectionInfo&) { return true; });
    }

    void Send(const MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout);
    void SetTimeout(int timeout);

    bool m_Connected = false;

private:
    MmsCmdHttpSession& m_Session;
};

MmsCmdHttpSession::MmsCmdHttpSession(MmsCmdHost& host)
    : MmsCmdSession(host), m_Client(std::make_shared<Client>(*this)) {}

MmsCmdHttpSession::~MmsCmdHttpSession() = default;

bool MmsCmdHttpSession::IsConnected() const {
    return m_Client->m_Connected;
}

void MmsCmdHttpSession::Send(MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) {
    request.set_sequence(_SessionNextSequence());
    m_Client->Send(request, answer, timeout);
}

std::string MmsCmdHttpSession::BuildUrl(const std::string& path) const {
    const int port = GetMmsPort(u"https");
    if (port >= 1)
        return "https://" + m_Host.Address() + ":" + std::to_string(port) + "/tolvane/mms/" + path;
    return "https://" + m_Host.Address() + "/tolvane/mms/" + path;
}

int MmsCmdHttpSession::ToHttpClientMethod(int method) {
    switch (method) {
    case MmsPb::MmsCmdReq::Delete:
        return HttpClient::Delete;
    case MmsPb::MmsCmdReq::Post:
        return HttpClient::Post;
    case MmsPb::MmsCmdReq::Put:
        return HttpClient::Put;
    default:
        return HttpClient::Get;
    }
}

void MmsCmdHttpSession::Client::SetTimeout(int timeout) {
    if (timeout < 1)
        SetTimeouts(static_cast<DWORD>(-1), 60000, 60000, 60000, 120000);
    else
        SetTimeouts(5000, static_cast<DWORD>(timeout) * 1000, static_cast<DWORD>(timeout) * 1000,
                    static_cast<DWORD>(timeout) * 1000, 120000);
}

void MmsCmdHttpSession::Client::Send(const MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer,
                                     int timeout) {
    m_Session.m_Host.TraceSend(m_Session);
    // An exchange that breaks off never leaves the answer at its default status 200: before the
    // request went out it could not be made (14), after it the answer was malformed (20).
    bool sent = false;
    try {
        // Nothing of the previous request stays: a "Content-Encoding" of a large body would
        // otherwise label the next small one.
        ClearRequestHeaders();
        ClearRequestBody();
        bool hasAccept = false;
        for (const MmsPb::MmsCmdHeader& header : request.headers()) {
            SetRequestHeader(Utf8ToWide(header.name()), Utf8ToWide(header.value()));
            hasAccept = hasAccept || header.name() == "Accept";
        }
        std::string compressed;
        if (!request.body().empty()) {
            if (request.body().size() <= kCompressAbove) {
                SetRequestBody(request.body().data(), static_cast<DWORD>(request.body().size()), false);
            } else {
                compressed = MmsGzip(request.body());
                SetRequestBody(compressed.data(), static_cast<DWORD>(compressed.size()), true);
                SetRequestHeader(u"Content-Encoding", u"gzip");
            }
        }
        if (!hasAccept)
            SetRequestHeader(u"Accept", u"application/x-protobuf");
        SetRequestHeader(u"Content-Type", u"application/x-protobuf");
        SetRequestHeader(u"Accept-Encoding", u"gzip");
        SetTimeout(timeout);

        const HttpClient::Result result =
            HttpClient::Send(ToHttpClientMethod(request.method()),
                             Utf8ToWide(m_Session.BuildUrl(request.path())), false, u"", true);
        sent = true;
        answer.Clear();
        if (result.error != 0) {
            m_Connected = false;
            answer.set_status(21);
            return;
        }
        m_Connected = true;
        answer.set_status(result.status);
        bool gzipped = false;
        for (const auto& [name, value] : result.headers) {
            MmsPb::MmsCmdHeader* header = answer.add_headers();
            header->set_name(WideToUtf8(name));
            header->set_value(WideToUtf8(value));
            gzipped = gzipped || (name == u"Content-Encoding" && value == u"gzip");
        }
        const int method = request.method();
        if ((method == MmsPb::MmsCmdReq::Get || method == MmsPb::MmsCmdReq::Post) && result.body &&
            result.bodyLength > 0) {
            std::string body(reinterpret_cast<const char*>(result.body->data()), result.bodyLength);
            answer.set_body(gzipped ? MmsGunzip(body, static_cast<size_t>(m_MaxMemoryBody)) : body);
        }
    } catch (const std::exception& e) {
        JX_ENGINE_TRACE(4, u"MmsCmdHttpSession::Client::Send", u"Exception: %hs", e.what());
        answer.clear_body();
        answer.set_status(sent ? 20 : 14);
    }
}
