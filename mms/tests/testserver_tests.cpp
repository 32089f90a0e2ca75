// The test management server run as the service "jxmms": started by the Service Control Manager,
// listening once its start returns, recording what it was asked; stopped, it answers no more.
#include <gtest/gtest.h>

#include "jxplat/text.h"
#include "jxweb/HttpClient.h"
#include "mmsmachine.h"

namespace {

TEST(MmsTestService, RunsAsTheServiceAndRecordsRequests) {
    jxmmstest::MmsMachine machine;
    machine.RegisterService();
    ASSERT_TRUE(machine.StartService());
    ASSERT_TRUE(machine.ServiceRunning());
    HttpClient client({}, 4096);
    client.m_CheckCertificates = false;
    const std::u16string url = u"https://localhost:" + jxtext::ToText(static_cast<int>(machine.Port())) +
                               u"/tolvane/mms/api/common/serverinfo";
    const HttpClient::Result answer = client.Send(HttpClient::Get, url, false, u"", true);
    EXPECT_EQ(answer.error, 0u);
    EXPECT_EQ(answer.status, 200);
    ASSERT_EQ(machine.Requests().size(), 1u);
    EXPECT_EQ(machine.Requests()[0].path, "/common/serverinfo");

    ASSERT_TRUE(machine.StopService());
    EXPECT_FALSE(machine.ServiceRunning());
    EXPECT_NE(client.Send(HttpClient::Get, url, false, u"", true).error, 0u);
}

} // namespace
