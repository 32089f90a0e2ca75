// The API port among the URL reservations of HTTP.sys: which reservations are candidates, the probe
// of several, the end of the enumeration and the process-wide cache.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "jxmms/MmsPort.h"
#include "jxplat/text.h"
#include "mmsmachine.h"

using jxmmstest::MmsMachine;

namespace {

std::u16string Prefix(const std::string& scheme, long port, const std::string& tail = "/tolvane/mms/") {
    return jxtext::W(scheme + "://+:" + std::to_string(port) + tail);
}

class MmsPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetMmsPortCacheForTesting();
        MmsMachine::RemoveReservations();
    }
    void TearDown() override { ResetMmsPortCacheForTesting(); }
    jxtest::TempMachineRoot m_Root;
};

TEST_F(MmsPortTest, OnlyWholeHttpsPrefixesOfTheApiAreCandidates) {
    EXPECT_EQ(GetMmsPort(u"https"), 0);
    for (const std::u16string& prefix :
         {Prefix("https", 7183), Prefix("HTTPS", 4431), Prefix("http", 4432),
          Prefix("https", 4433, "/tolvane/mms/x/"), Prefix("https", 4434, "/tolvane/"),
          jxtext::W("https://localhost:4435/tolvane/mms/"), Prefix("https", 123456)})
        MmsMachine::ReserveUrl(prefix);
    EXPECT_EQ(GetMmsPort(u"https"), 0);
    // Nothing was kept: a reservation made later is found, and then kept.
    MmsMachine::ReserveUrl(Prefix("https", 4436));
    EXPECT_EQ(GetMmsPort(u"https"), 4436);
    MmsMachine::RemoveReservations();
    EXPECT_EQ(GetMmsPort(u"https"), 4436);
    EXPECT_EQ(GetMmsPort(u"http"), 0);
}

TEST_F(MmsPortTest, OfSeveralTheFirstThatAnswersIsTaken) {
    jxwebtest::TestPki pki(m_Root.Path());
    jxmmstest::MmsServerSettings settings;
    settings.certificatePem = pki.selfSigned.certificatePem;
    settings.keyPem = pki.selfSigned.keyPem;
    jxmmstest::MmsTestServer server(settings);
    // Reservations are enumerated in name order: port 1, where nothing listens, comes first.
    MmsMachine::ReserveUrl(Prefix("https", 1));
    MmsMachine::ReserveUrl(Prefix("https", server.Port()));
    EXPECT_EQ(GetMmsPort(u"https"), server.Port());
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().path, "/common/serverinfo");
    EXPECT_EQ(requests.back().method, "GET");
}

TEST_F(MmsPortTest, APortAboveTheRangeEndsTheEnumeration) {
    jxwebtest::TestPki pki(m_Root.Path());
    jxmmstest::MmsServerSettings settings;
    settings.certificatePem = pki.selfSigned.certificatePem;
    settings.keyPem = pki.selfSigned.keyPem;
    // A server on a port whose text sorts after "70000" (8000 to 9999).
    std::unique_ptr<jxmmstest::MmsTestServer> server;
    for (uint16_t port = 9990; !server && port > 8000; --port) {
        settings.port = port;
        try {
            server = std::make_unique<jxmmstest::MmsTestServer>(settings);
        } catch (const std::exception&) {
        }
    }
    ASSERT_TRUE(server);
    const uint16_t silent = 10000 + MmsMachine::FreePort() % 50000; // sorts before "70000"
    MmsMachine::ReserveUrl(Prefix("https", silent));
    MmsMachine::ReserveUrl(Prefix("https", 70000));
    MmsMachine::ReserveUrl(Prefix("https", server->Port()));
    // Only the candidate before 70000 counts: taken as the one candidate, without a probe.
    EXPECT_EQ(GetMmsPort(u"https"), silent);
    EXPECT_TRUE(server->Requests().empty());
}

} // namespace
