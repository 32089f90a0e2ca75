// The HTTPS transport against the tests' HTTPS server: the request's form (headers, gzip above
// 1 KiB, methods), the answer's status, headers and gzip body, self-signed certificates, and
// transport failures.
#include <cstdio>

#include "cmd/CMmsGzip.h"
#include "cmd_fixture.h"
#include "mmsauth.pb.h"
#include "jxtest/tcp_server.h"
#include "jxweb/HttpClient.h"
#include "jxtest/run_program.h"
#include "testserver.h"

using namespace cmdtest;
using jxwebtest::Connection;
using jxwebtest::TestPki;
using jxwebtest::TestServer;

namespace {

std::string HostCommand(const std::string& command, const std::string& input) {
    char path[] = "/tmp/jxmmshttps-XXXXXX";
    FILE* f = fdopen(mkstemp(path), "wb");
    fwrite(input.data(), 1, input.size(), f);
    fclose(f);
    const std::string out = jxtest::CommandOutput(command + " < " + path);
    std::remove(path);
    return out;
}

class HttpsSession : public CmdChannelTest {
protected:
    HttpsSession() : m_Pki(m_Root.Path()) {}
    TestPki m_Pki;
};

pb::MmsCmdReq Request(int method, const std::string& path, const std::string& body = {}) {
    pb::MmsCmdReq request;
    request.set_method(static_cast<pb::MmsCmdReq::HttpMethod>(method));
    request.set_path(path);
    if (!body.empty())
        request.set_body(body);
    return request;
}

// A Post through the command client, routed to the one HTTPS host on the port; the host list is
// emptied again afterwards.
int PostThroughOneHttpsHost(int port) {
    MmsHostConfig config;
    config.hosts = {{MmsHostMain, "127.0.0.1:" + std::to_string(port)}};
    config.transport = 1;
    if (!MmsCmdHostRegistry::Instance().SetHosts(config))
        return -1;
    MmsCmdImpl impl(MmsHostMain, nullptr);
    MmsCmd cmd(&impl, false);
    pb::MmsCmdReq inner;
    pb::MmsCmdResp outer;
    const int result =
        cmd.Send(false, "api/x", inner, outer, pb::MmsCmdReq::Post, nullptr, nullptr, 5, nullptr, nullptr);
    MmsCmdHostRegistry::Instance().SetHosts({});
    return result;
}

} // namespace

TEST_F(HttpsSession, RequestsAndAnswersTakeTheirHttpForm) {
    const std::string gzipped = HostCommand("gzip -c", "answer body");
    TestServer server(
        [&](const jxwebtest::Request& r, Connection& c) {
            if (r.target.find("/gz") != std::string::npos)
                c.Write(jxwebtest::Answer(200, gzipped, {{"Content-Encoding", "gzip"}, {"X-Answer", "1"}}));
            else
                c.Write(
                    jxwebtest::Answer(r.target.find("/missing") != std::string::npos ? 404 : 200, "plain"));
        },
        &m_Pki.selfSigned);
    MmsCmdHost host(MmsHostMain, 1, "127.0.0.1:" + std::to_string(server.Port()));
    MmsCmdHttpSession session(host);
    EXPECT_FALSE(session.IsConnected());

    struct Case {
        int method;
        std::string path;
        size_t body;
        std::string httpMethod;
        int status;
        std::string answer;
    };
    for (const Case& c : {Case{pb::MmsCmdReq::Post, "api/big", 1025, "POST", 200, "plain"},
                          Case{pb::MmsCmdReq::Post, "api/small", 1024, "POST", 200, "plain"},
                          Case{pb::MmsCmdReq::Get, "api/gz", 0, "GET", 200, "answer body"},
                          Case{pb::MmsCmdReq::Head, "api/head", 0, "GET", 200, ""},
                          Case{pb::MmsCmdReq::Put, "api/put", 10, "PUT", 200, ""},
                          Case{pb::MmsCmdReq::Delete, "api/missing", 0, "DELETE", 404, ""}}) {
        SCOPED_TRACE(c.path);
        const std::string body(c.body, 'b');
        pb::MmsCmdReq request = Request(c.method, c.path, body);
        pb::MmsCmdResp answer;
        session.Send(request, answer, 5);
        EXPECT_EQ(answer.status(), c.status);
        EXPECT_EQ(answer.body(), c.answer);
        EXPECT_TRUE(session.IsConnected());
        const jxwebtest::Request seen = server.Requests().back();
        EXPECT_EQ(seen.method, c.httpMethod);
        EXPECT_EQ(seen.target, "/tolvane/mms/" + c.path);
        EXPECT_EQ(seen.Header("Accept"), "application/x-protobuf");
        EXPECT_EQ(seen.Header("Content-Type"), "application/x-protobuf");
        EXPECT_EQ(seen.Header("Accept-Encoding"), "gzip");
        // Only a body above 1 KiB is compressed; nothing of a compressed request stays for the next.
        EXPECT_EQ(seen.HasHeader("Content-Encoding"), c.body > 1024);
        EXPECT_EQ(c.body > 1024 ? HostCommand("gzip -dc", seen.body) : seen.body, body);
    }
    pb::MmsCmdReq request = Request(pb::MmsCmdReq::Get, "api/gz");
    auto* accept = request.add_headers();
    accept->set_name("Accept");
    accept->set_value("text/plain");
    pb::MmsCmdResp answer;
    session.Send(request, answer, 0);
    EXPECT_EQ(server.Requests().back().Header("Accept"), "text/plain");
    bool sawHeader = false;
    for (const auto& header : answer.headers())
        sawHeader = sawHeader || (header.name() == "X-Answer" && header.value() == "1");
    EXPECT_TRUE(sawHeader);
    EXPECT_EQ(request.sequence(), 7);
}

// A body that does not decompress, or that would unfold past the limit of a body in memory, is a
// malformed answer: the caller sees a failure, never a 200 with an empty message.
TEST_F(HttpsSession, TransportFailuresAndBrokenBodiesAreNoAnswers) {
    TestServer server(
        [](const jxwebtest::Request&, Connection& c) {
            c.Write(jxwebtest::Answer(200, "not gzip", {{"Content-Encoding", "gzip"}}));
        },
        &m_Pki.selfSigned);
    EXPECT_EQ(PostThroughOneHttpsHost(server.Port()), 20);

    MmsCmdHost host(MmsHostMain, 1, "127.0.0.1:" + std::to_string(server.Port()));
    MmsCmdHttpSession session(host);
    pb::MmsCmdReq request = Request(pb::MmsCmdReq::Get, "api/x");
    pb::MmsCmdResp answer;
    session.Send(request, answer, 5);
    EXPECT_EQ(answer.status(), 20);
    EXPECT_EQ(answer.body(), "");
    EXPECT_TRUE(session.IsConnected()) << "the exchange itself worked";

    // Three million zero bytes in a few kilobytes.
    const std::string bomb = jxtest::CommandOutput("head -c 3000000 /dev/zero | gzip -c");
    ASSERT_LT(bomb.size(), 10000u);
    EXPECT_EQ(MmsGunzip(bomb, 3000000).size(), 3000000u);
    EXPECT_THROW(MmsGunzip(bomb, 2999999), std::runtime_error);
    EXPECT_THROW(MmsGunzip(bomb.substr(0, bomb.size() - 9), 3000000), std::runtime_error);

    MmsCmdHost gone(MmsHostMain, 1, "127.0.0.1:" + std::to_string(jxtest::RefusingLoopbackPort()));
    MmsCmdHttpSession refused(gone);
    refused.Send(request, answer, 5);
    EXPECT_EQ(answer.status(), 21);
    EXPECT_FALSE(refused.IsConnected());
}

TEST(HttpsSessionForm, MethodsAndUrls) {
    EXPECT_EQ(MmsCmdHttpSession::ToHttpClientMethod(1), HttpClient::Delete);
    EXPECT_EQ(MmsCmdHttpSession::ToHttpClientMethod(5), HttpClient::Post);
    EXPECT_EQ(MmsCmdHttpSession::ToHttpClientMethod(6), HttpClient::Put);
    for (int method : {2, 3, 4, 7})
        EXPECT_EQ(MmsCmdHttpSession::ToHttpClientMethod(method), HttpClient::Get);
    jxtest::TempMachineRoot root;
    MmsCmdHost host(MmsHostMain, 1, "mms.example");
    MmsCmdHttpSession session(host);
    EXPECT_EQ(session.BuildUrl("api/common/serverinfo"),
              "https://mms.example/tolvane/mms/api/common/serverinfo");
}

// The HTTPS transport serves routing and the token refresh as the socket transport does.
TEST_F(HttpsSession, ATokenIsFetchedOverHttpsAfterA401) {
    pb::MmsTokenResp token;
    token.set_token("https-token");
    const std::string tokenBody = token.SerializeAsString();
    TestServer server(
        [&](const jxwebtest::Request& r, Connection& c) {
            if (r.target == "/tolvane/mms/api/auth/token")
                c.Write(jxwebtest::Answer(200, tokenBody));
            else if (r.Header("Authorization") == "Bearer https-token")
                c.Write(jxwebtest::Answer(200, std::string()));
            else
                c.Write(jxwebtest::Answer(401, ""));
        },
        &m_Pki.selfSigned);
    EXPECT_EQ(PostThroughOneHttpsHost(server.Port()), 200);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].target, "/tolvane/mms/api/auth/token");
    pb::MmsTokenReq sent;
    ASSERT_TRUE(sent.ParseFromString(requests[1].body));
    EXPECT_EQ(sent.authsubject(), 3);
}
