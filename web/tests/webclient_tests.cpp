// The update-server web client against a loopback update server reached through the machine's DNS
// server and host names.
#include <gtest/gtest.h>

#include "jxbase/reg.h"
#include "jxtest/log_capture.h"
#include "jxweb/JxWebClient.h"
#include "jxweb/UpdateServerHostPool.h"
#include "upupdate.pb.h"
#include "updatemachine.h"
#include "web_test_support.h"

using namespace jxwebtest;
using JxSetup::Data::JxWebClient;
namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace {

const std::pair<std::string, std::string> kProtobuf{"Content-Type", "application/x-protobuf"};

std::string RegionAnswer(int code, const std::string& region) {
    pb::RegionResult answer;
    answer.set_resultcode(code);
    if (!region.empty())
        answer.set_region(region);
    return Answer(200, answer.SerializeAsString(), {kProtobuf});
}

std::u16string W(const std::string& text) {
    return Wide(text);
}

class WebClient : public ::testing::Test {
protected:
    UpdateMachine machine;
    jxtest::CLogCapture log;
    JxWebClient client{{}, 65536};
};

} // namespace

TEST_F(WebClient, AGivenOrConfiguredHostIsTakenWithoutAsking) {
    EXPECT_EQ(client.GetUpdateServerHost(u"asjap", u"given.host"), u"given.host");
    ASSERT_EQ(CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE\\Pellory", u"server",
                                        u"configured.host", CRegStringType::Sz, 0),
              0);
    EXPECT_EQ(client.GetUpdateServerHost(u"asjap", u""), u"configured.host");
    EXPECT_EQ(machine.Dns().TotalQueries(), 0);
    EXPECT_TRUE(machine.Server().Requests().empty());
}

// The region's pool offers a server that cannot be reached (a refused connection, an unknown
// name) before the one that answers: the next one is tried. (Of two, the first is handed out
// first.)
TEST_F(WebClient, FailsOverToTheNextServerOfThePool) {
    machine.Dns().Set(PoolName("asjap", 1), {DnsAnswer::Records, {"127.0.0.2", "127.0.0.1"}});
    machine.Dns().Set(PoolName("norda", 1), {DnsAnswer::Records, {"10.0.0.7", "127.0.0.1"}});
    machine.Serve("/api/update/region", [](const Request&) { return Answer(404, ""); });
    for (const char16_t* region : {u"asjap", u"norda"})
        EXPECT_EQ(client.GetUpdateServerHost(region, u""), W(ServerName("127.0.0.1")));
    EXPECT_EQ(log.Count("WARNING", "Host " + ServerName("127.0.0.2") + " not found. ErrorCode 12029"), 1u)
        << log.Dump();
    EXPECT_EQ(log.Count("WARNING", "Host " + ServerName("10.0.0.7") + " not found. ErrorCode 12007"), 1u);
    EXPECT_EQ(log.Count("LP_INFO", "Region not empty: " + ServerName("127.0.0.1")), 2u);
    // A 404 is an answer: the server is there.
    EXPECT_EQ(machine.Hits("/api/update/region"), 2);
}

TEST_F(WebClient, TheGeoIpRegionOfTheEuropHostChoosesThePool) {
    machine.Dns().Set(PoolName("europ", 1), {DnsAnswer::Records, {"127.0.0.1"}});
    machine.Dns().Set(PoolName("asjap", 1), {DnsAnswer::Records, {"127.0.0.2", "10.0.0.1", "127.0.0.1"}});
    machine.Serve("/api/update/region", [](const Request&) { return RegionAnswer(0, "asjap"); });
    EXPECT_EQ(client.GetUpdateServerHost(u"", u""), W(ServerName("127.0.0.1")));
    EXPECT_EQ(machine.Dns().Queries(PoolName("asjap", 1)), 1);
    EXPECT_EQ(log.Count("LP_INFO", "GeoIP Region: asjap"), 1u);

    // A region outside the list: the pools of "europ" again.
    machine.Serve("/api/update/region", [](const Request&) { return RegionAnswer(0, "mars|europ"); });
    EXPECT_EQ(client.GetUpdateServerHost(u"", u""), W(ServerName("127.0.0.1")));
    EXPECT_EQ(machine.Dns().Queries(PoolName("europ", 1)), 3);
}

TEST_F(WebClient, ARegionAnswerWithAnErrorKeepsTheEuropHost) {
    machine.Dns().Set(PoolName("europ", 1), {DnsAnswer::Records, {"127.0.0.1"}});
    machine.Serve("/api/update/region", [](const Request&) { return RegionAnswer(3, "asjap"); });
    EXPECT_EQ(client.GetUpdateServerHost(u"", u""), W(ServerName("127.0.0.1")));
    EXPECT_EQ(log.Count("ERROR", "ErrorCode: 3, HttpStatus: 200"), 1u) << log.Dump();
    EXPECT_EQ(machine.Dns().Queries(PoolName("asjap", 1)), 0);
}

// Nothing resolves and nothing answers: 25 candidates fail at once, the region query is not sent
// to a URL without a host, and the selection ends with no host.
TEST_F(WebClient, NoServerAtAllGivesNoHost) {
    EXPECT_EQ(client.GetUpdateServerHost(u"", u""), u"");
    EXPECT_EQ(log.Count("WARNING", "Host " + PoolName("europ", 1) + " not found"), 25u);
    EXPECT_EQ(log.Count("ERROR", "Failed to get hostname. HttpStatus: 0"), 1u) << log.Dump();
    EXPECT_TRUE(machine.Server().Requests().empty());
}

// A URL whose host part is empty never reaches the network.
TEST_F(WebClient, AUrlWithoutAHostIsRefused) {
    machine.Describe([](jxplat::MachineDescription& d) { d.hostNames.push_back({"api", {"127.0.0.1"}}); });
    pb::RegionResult answer;
    const HttpClient::Result r = client.Get(answer, client.GetServiceUrl(u"", 1));
    EXPECT_EQ(r.error, 12005u);
    EXPECT_TRUE(machine.Server().Requests().empty());
}

TEST_F(WebClient, TheConnectionTestNeedsAValidRegionAnswer) {
    const std::u16string host = W(ServerName("127.0.0.1"));
    EXPECT_FALSE(client.CheckConnectionToUpdateServer(u""));
    machine.ServeFixed("/api/update/region", 200, "", "application/x-protobuf");
    EXPECT_FALSE(client.CheckConnectionToUpdateServer(host));
    EXPECT_EQ(log.Count("ERROR", "HttpStatus: 200, ErrorCode: 0"), 1u);
    machine.Serve("/api/update/region", [](const Request&) { return RegionAnswer(7, ""); });
    EXPECT_TRUE(client.CheckConnectionToUpdateServer(host));
    EXPECT_FALSE(client.CheckConnectionToUpdateServer(W(ServerName("127.0.0.2"))));
    EXPECT_EQ(client.GetServiceUrl(host, 2), u"");
    EXPECT_EQ(client.GetServiceUrl(host, 0), u"https://" + host + u"/api/update/commoninfo");
}

TEST_F(WebClient, GetAsStringReadsUtf16LittleEndian) {
    const std::string base = "https://" + ServerName("127.0.0.1");
    machine.ServeFixed("/bom", 200, Utf16Le("<a/>"));
    machine.ServeFixed("/odd", 200, Utf16Le("ab", false) + "c");
    machine.ServeFixed("/nul", 200, Utf16Le("ab", false) + std::string("\0\0x\0", 4));
    machine.ServeFixed("/missing", 404, Utf16Le("error"));
    EXPECT_EQ(client.GetAsString(W(base + "/bom")), u"<a/>");
    EXPECT_EQ(client.GetAsString(W(base + "/odd")), u"ab");
    EXPECT_EQ(client.GetAsString(W(base + "/nul")), u"ab");
    EXPECT_EQ(client.GetAsString(W(base + "/missing")), u"");
    EXPECT_EQ(client.GetAsString(u""), u"");
}
