// Requests of the HTTP client against the scripted loopback server: methods, headers, bodies,
// answers in memory and in files, redirects.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "web_test_support.h"

using namespace jxwebtest;

namespace {

Script Echo() {
    return [](const Request& q, Connection& c) {
        c.Write(Answer(200, q.method + " " + q.target + " " + q.body,
                       {{"Content-Type", "text/plain"},
                        {"X-Padded", " \t value \t "},
                        {"X-Twice", "first"},
                        {"X-Twice", "second"}}));
    };
}

std::string ReadWindowsFile(const std::u16string& windowsPath) {
    std::ifstream in(jxplat::WindowsToHostPath(windowsPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(HttpClientRequests, EveryMethodSendsItsHeadersAndBody) {
    WebMachine machine;
    TestServer server(Echo());
    auto client = NewClient();
    client->SetRequestHeader(u"X-Jx", u"yes");
    client->SetRequestHeader(u"X-Suppressed", u"");
    const std::string payload = "payload-bytes";
    struct Case {
        int method;
        const char* verb;
        bool body;
    };
    for (const Case& c : {Case{HttpClient::Get, "GET", false}, Case{HttpClient::Post, "POST", true},
                          Case{HttpClient::Put, "PUT", true}, Case{HttpClient::Delete, "DELETE", false}}) {
        if (c.body)
            client->SetRequestBody(payload.data(), static_cast<DWORD>(payload.size()), true);
        else
            client->ClearRequestBody();
        const HttpClient::Result r = client->Send(c.method, server.Url("/m?x=1"), false, u"", true);
        ASSERT_EQ(r.error, 0u) << c.verb;
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(BodyText(r), std::string(c.verb) + " /m?x=1 " + (c.body ? payload : ""));
        EXPECT_EQ(r.GetHeader(u"X-Padded"), u"value");
        EXPECT_EQ(r.GetHeader(u"X-Twice"), u"second");
        EXPECT_EQ(r.GetHeader(u"content-type"), u""); // names compare exactly
        EXPECT_TRUE(r.HasHeaderWithPrefix(u"Content-Type", u"text/"));
        EXPECT_TRUE(r.downloadPath.empty());
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (const auto& q : requests) {
        EXPECT_EQ(q.Header("X-Jx"), "yes");
        EXPECT_FALSE(q.HasHeader("X-Suppressed"));
        EXPECT_FALSE(q.HasHeader("Accept")); // no default headers of the library
        EXPECT_FALSE(q.HasHeader("Accept-Encoding"));
        EXPECT_FALSE(q.HasHeader("Expect"));
        EXPECT_EQ(q.Header("User-Agent"), Narrow(client->UserAgent()));
    }
    EXPECT_EQ(requests[1].Header("Content-Length"), std::to_string(payload.size()));
    EXPECT_EQ(Narrow(client->UserAgent()), "TOLVANE Agent/1.0 (Windows NT 10.0; x64)");
}

TEST(HttpClientRequests, BadRequestsFailWithoutTraffic) {
    WebMachine machine;
    auto client = NewClient();
    EXPECT_EQ(client->Send(HttpClient::Get, u"", false, u"", true).error,
              static_cast<DWORD>(HttpClient::ErrEmptyUrl));
    EXPECT_EQ(client->Send(5, u"http://127.0.0.1/", false, u"", true).error,
              static_cast<DWORD>(HttpClient::ErrInvalidMethod));
    EXPECT_EQ(client->Send(HttpClient::Get, u"ftp://127.0.0.1/x", false, u"", true).error, 12006u);
    // Names outside the machine never resolve; nothing leaves the host.
    EXPECT_EQ(client->Send(HttpClient::Get, u"http://example.com/", false, u"", true).error, 12007u);
    EXPECT_EQ(client->Send(HttpClient::Get, u"http://10.1.2.3/", false, u"", true).error, 12007u);
}

TEST(HttpClientRequests, MappedNamesReachTheLoopbackServer) {
    WebMachine machine;
    TestServer server(Echo());
    auto client = NewClient();
    const auto r =
        client->Send(HttpClient::Get, Wide("http://updates.jx.test:" + std::to_string(server.Port()) + "/x"),
                     false, u"", true);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(server.Requests().at(0).Header("Host"), "updates.jx.test:" + std::to_string(server.Port()));
}

TEST(HttpClientRequests, DownloadsGoToTheFileOnlyWhenComplete) {
    WebMachine machine;
    const std::string content(300000, 'd');
    TestServer server([&](const Request& q, Connection& c) {
        if (q.target == "/whole")
            c.Write(Answer(200, content));
        else { // announced whole, cut after half
            c.Write(Answer(200, content).substr(0, content.size() / 2));
            c.Abort();
        }
    });
    auto client = NewClient();
    const std::u16string target = u"C:\\Downloads\\file.bin";
    jxtest::WriteMachineFile(u"C:\\Downloads\\keep.txt");

    HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/whole"), true, target, true);
    ASSERT_EQ(r.error, 0u);
    EXPECT_EQ(r.downloadPath, target);
    EXPECT_EQ(r.bodyLength, content.size());
    EXPECT_FALSE(r.body);
    EXPECT_EQ(ReadWindowsFile(target), content);
    EXPECT_FALSE(jxtest::MachinePathExists(target + u".jxpart"));

    // A cut connection is an error, and no part of the body lies under the name asked for.
    r = client->Send(HttpClient::Get, server.Url("/cut"), true, u"C:\\Downloads\\cut.bin", true);
    EXPECT_EQ(r.error, 12030u);
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\Downloads\\cut.bin"));
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\Downloads\\cut.bin.jxpart"));
    r = client->Send(HttpClient::Get, server.Url("/cut"), false, u"", true);
    EXPECT_EQ(r.error, 12030u);

    // No path: a "Jx{GUID}" file in the temporary folder.
    r = client->Send(HttpClient::Get, server.Url("/whole"), true, u"", true);
    ASSERT_EQ(r.error, 0u);
    const std::string name = Narrow(r.downloadPath.substr(r.downloadPath.rfind(u'\\') + 1));
    EXPECT_EQ(name.size(), 2u + 38u);
    EXPECT_EQ(name.substr(0, 3), "Jx{");
    EXPECT_EQ(ReadWindowsFile(r.downloadPath), content);

    // A file-target callback that says no keeps the body in memory.
    client->m_FileTargetCallback = [](const HttpClient::Result&) { return false; };
    r = client->Send(HttpClient::Get, server.Url("/whole"), true, u"C:\\Downloads\\memory.bin", true);
    ASSERT_EQ(r.error, 0u);
    EXPECT_EQ(BodyText(r), content);
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\Downloads\\memory.bin"));
}

TEST(HttpClientRequests, RedirectsAreFollowedBoundedAndOnlyWhenAllowed) {
    WebMachine machine;
    TestServer server([](const Request& q, Connection& c) {
        if (q.target == "/moved")
            c.Write(Answer(302, "", {{"Location", "/final"}}));
        else if (q.target == "/post")
            c.Write(Answer(303, "", {{"Location", "/final"}}));
        else if (q.target == "/loop")
            c.Write(Answer(301, "", {{"Location", "/loop"}}));
        else
            c.Write(Answer(200, q.method + " " + q.target + " " + q.body));
    });
    auto client = NewClient();
    HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/moved"), false, u"", true);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(BodyText(r), "GET /final ");

    client->SetRequestBody("abc", 3, true);
    r = client->Send(HttpClient::Post, server.Url("/post"), false, u"", true);
    EXPECT_EQ(BodyText(r), "GET /final "); // a 303 goes on as GET without body
    client->ClearRequestBody();

    const size_t before = server.Requests().size();
    r = client->Send(HttpClient::Get, server.Url("/loop"), false, u"", true);
    EXPECT_EQ(r.error, 12156u);
    EXPECT_EQ(server.Requests().size() - before, 11u);

    client->m_DisableRedirects = true;
    r = client->Send(HttpClient::Get, server.Url("/moved"), false, u"", true);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.status, 302);
    EXPECT_EQ(r.GetHeader(u"Location"), u"/final");
}
