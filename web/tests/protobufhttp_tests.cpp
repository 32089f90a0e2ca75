// Protobuf messages over HTTP against the scripted loopback server.
#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxweb/ProtobufHttpClient.h"
#include "upcommon.pb.h"
#include "upupdate.pb.h"
#include "web_test_support.h"

using namespace jxwebtest;
namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace {

const std::pair<std::string, std::string> kProtobuf{"Content-Type", "application/x-protobuf"};

std::string RegionAnswer() {
    pb::RegionResult region;
    region.set_resultcode(0);
    region.set_region("asia");
    return region.SerializeAsString();
}

} // namespace

TEST(ProtobufHttp, PostSendsTheMessageAndParsesTheAnswer) {
    WebMachine machine;
    TestServer server([](const Request& q, Connection& c) {
        pb::CommonUpdateInfoResult answer;
        answer.set_serverresult(0);
        answer.set_uri("//%host%/cu/");
        answer.set_configfile(q.body.empty() ? "empty" : q.body.substr(2));
        c.Write(Answer(200, answer.SerializeAsString(), {kProtobuf}));
    });
    ProtobufHttpClient client({}, 65536, false, 0);
    pb::CommonUpdateInfo request;
    request.set_component("abc");
    pb::CommonUpdateInfoResult answer;
    HttpClient::Result r = client.Post(request, answer, server.Url("/commoninfo"));
    ASSERT_EQ(r.error, 0u);
    EXPECT_EQ(answer.configfile(), "abc");
    EXPECT_EQ(answer.uri(), "//%host%/cu/");
    // An empty message goes out as an empty body, still with its media type.
    r = client.Post(pb::CommonUpdateInfo(), answer, server.Url("/commoninfo"));
    EXPECT_EQ(answer.configfile(), "empty");
    // A Get after a Post carries neither the Post's Content-Type nor its body.
    pb::RegionResult region;
    client.Get(region, server.Url("/region"));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].body, std::string("\x0A\x03"
                                            "abc",
                                            5));
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-protobuf");
    EXPECT_EQ(requests[0].Header("Accept"), "application/x-protobuf");
    EXPECT_EQ(requests[1].Header("Content-Length"), "0");
    EXPECT_EQ(requests[1].Header("Content-Type"), "application/x-protobuf");
    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_FALSE(requests[2].HasHeader("Content-Type"));
    EXPECT_TRUE(requests[2].body.empty());
}

TEST(ProtobufHttp, GetParsesWhateverTheStatusAndReportsAnswersThatDoNotParse) {
    WebMachine machine;
    TestServer server([](const Request& q, Connection& c) {
        if (q.target == "/error")
            c.Write(Answer(500, RegionAnswer(), {kProtobuf}));
        else
            c.Write(Answer(200, "<html>not protobuf</html>", {{"Content-Type", "text/html"}}));
    });
    ProtobufHttpClient client({}, 65536, false, 0);
    pb::RegionResult region;
    HttpClient::Result r = client.Get(region, server.Url("/error"));
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.status, 500);
    EXPECT_EQ(region.region(), "asia");

    r = client.Get(region, server.Url("/html"));
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrProtobufDeserialize));
    EXPECT_EQ(r.status, 200);
    std::u16string name = u"?";
    ASSERT_TRUE(r.errorName);
    r.errorName(r.error, name);
    EXPECT_EQ(name, u"ErrProtobufDeserialize");
}

TEST(ProtobufHttp, GetAsFileTakesFilesAndProtobufErrorAnswers) {
    WebMachine machine;
    TestServer server([](const Request& q, Connection& c) {
        if (q.target == "/pb")
            c.Write(Answer(200, RegionAnswer(), {kProtobuf}));
        else if (q.target == "/html")
            c.Write(Answer(200, "<html/>", {{"Content-Type", "text/html"}}));
        else
            c.Write(Answer(200, "PK-zip-bytes", {{"Content-Type", "application/zip"}}));
    });
    jxtest::WriteMachineFile(u"C:\\dl\\keep.txt");
    ProtobufHttpClient client({}, 65536, false, 0);
    pb::ErrorResult error;
    HttpClient::Result r = client.GetAsFile(error, server.Url("/zip"), u"C:\\dl\\a.zip", u"application/zip");
    EXPECT_EQ(r.error, 0u);
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\dl\\a.zip"));

    // Another type than the one accepted: the file is there, the answer is refused.
    r = client.GetAsFile(error, server.Url("/html"), u"C:\\dl\\b.zip", u"application/zip");
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrProtobufInvalidContentType));
    // Without an accepted type, any file is a success.
    r = client.GetAsFile(error, server.Url("/html"), u"C:\\dl\\c.html");
    EXPECT_EQ(r.error, 0u);

    // A protobuf answer stays in memory, no file is made, and it is parsed as the error message.
    r = client.GetAsFile(error, server.Url("/pb"), u"C:\\dl\\d.zip", u"application/zip");
    EXPECT_EQ(r.error, 0u);
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\dl\\d.zip"));
    EXPECT_TRUE(error.has_resultcode());

    const auto requests = server.Requests();
    EXPECT_EQ(requests[0].Header("Accept"), "application/x-protobuf,application/zip");
    EXPECT_EQ(requests[2].Header("Accept"), "application/x-protobuf,*/*");
}
