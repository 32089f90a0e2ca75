// HTTPS against the machine's trusted roots, and a CONNECT proxy with authentication.
#include <cstring>

#include <gtest/gtest.h>

#include "web_test_support.h"

using namespace jxwebtest;

namespace {

Script Hello() {
    return [](const Request&, Connection& c) {
        c.Write(Answer(200, "hello", {{"Content-Type", "text/plain"}}));
    };
}

} // namespace

TEST(HttpClientSecurity, CertificatesThatFailTheCheckAreRefusedUnlessTheCheckIsOff) {
    WebMachine machine;
    const TestPki& pki = machine.Pki();
    struct Case {
        const char* name;
        const TlsFiles* files;
        bool passes;
    };
    for (const Case& c :
         {Case{"valid", &pki.valid, true}, Case{"expired", &pki.expired, false},
          Case{"wrong name", &pki.wrongName, false}, Case{"self-signed", &pki.selfSigned, false},
          Case{"unknown CA", &pki.unknownCa, false}}) {
        TestServer server(Hello(), c.files);
        auto client = NewClient();
        HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/"), false, u"", true);
        EXPECT_EQ(r.error, c.passes ? 0u : 12175u) << c.name;
        EXPECT_EQ(r.status, c.passes ? 200 : 0) << c.name;
        client->m_CheckCertificates = false;
        r = client->Send(HttpClient::Get, server.Url("/"), false, u"", true);
        EXPECT_EQ(r.error, 0u) << c.name;
        EXPECT_EQ(BodyText(r), "hello") << c.name;
    }
}

TEST(HttpClientSecurity, AProxyChallengeIsAnsweredWithTheProxyCredentials) {
    WebMachine machine;
    TestServer server(Hello(), &machine.Pki().valid);
    ConnectProxy proxy("proxyuser", "s3cret");
    const std::u16string proxyUrl = Wide("127.0.0.1:" + std::to_string(proxy.Port()));

    auto client = NewClient();
    client->SetProxy(proxyUrl, u"proxyuser", u"s3cret");
    HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/"), false, u"", true);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(BodyText(r), "hello");
    auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u); // the challenge, then the credentials
    EXPECT_FALSE(requests[0].HasHeader("Proxy-Authorization"));
    EXPECT_EQ(requests[1].target, "127.0.0.1:" + std::to_string(server.Port()));

    // Without a proxy user there is no second try: the 407 is the answer, and no error.
    auto anonymous = NewClient();
    anonymous->SetProxy(proxyUrl, u"", u"");
    r = anonymous->Send(HttpClient::Get, server.Url("/"), false, u"", true);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.status, 407);
    EXPECT_EQ(proxy.Requests().size(), 3u);

    // Wrong credentials: one repetition, then the second 407 stands.
    auto wrong = NewClient();
    wrong->SetProxy(proxyUrl, u"proxyuser", u"wrong");
    r = wrong->Send(HttpClient::Get, server.Url("/"), false, u"", true);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.status, 407);
    EXPECT_EQ(proxy.Requests().size(), 5u);
}

TEST(HttpClientSecurity, AServer401IsRepeatedOnceWithProxyCredentialsThenStands) {
    WebMachine machine;
    TestServer server([](const Request&, Connection& c) {
        c.Write(Answer(401, "", {{"WWW-Authenticate", "Basic realm=\"jx\""}}));
    });
    auto client = NewClient();
    client->SetProxy(u"", u"someone", u"pw"); // a user without a proxy of its own
    HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/"), false, u"", true);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpClientSecurity, TheConnectionInfoCallbackSeesBothEndsAndCanRefuse) {
    WebMachine machine;
    TestServer server(Hello());
    auto client = NewClient();
    USHORT seenPort = 0;
    client->SetConnectionInfoCallback([&](const HttpClient::ConnectionInfo& info) {
        EXPECT_EQ(info.cbSize, 260u);
        USHORT port;
        std::memcpy(&port, info.RemoteAddress + 2, sizeof port);
        seenPort = static_cast<USHORT>((port >> 8) | (port << 8));
        return false;
    });
    const HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/"), false, u"", true);
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrConnectionRefused));
    EXPECT_EQ(seenPort, server.Port());
}
