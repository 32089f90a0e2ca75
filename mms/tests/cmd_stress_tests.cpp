// Several sessions at once through the host registry while the host list is replaced, tokens are
// refreshed and idle sessions are reaped; every thread ends. Also built under ThreadSanitizer.
#include <atomic>
#include <thread>

#include "cmd_fixture.h"
#include "mmsauth.pb.h"

using namespace cmdtest;

TEST_F(CmdChannelTest, RoutingTokensAndReconfigurationRunTogether) {
    CommandServer a(2), b(3);
    for (CommandServer* server : {&a, &b})
        server->SetHandler([](const pb::MmsCmdReq& r) {
            if (r.path() == "api/auth/token") {
                pb::MmsTokenResp token;
                token.set_token("t");
                return Answer(200, token.SerializeAsString());
            }
            return Answer(HeaderOf(r, "Authorization").empty() ? 401 : 200, r.path());
        });
    MmsHostConfig both, onlyB;
    both.hosts = {{MmsHostMain, a.Address()}, {MmsHostMain, b.Address()}};
    onlyB.hosts = {{MmsHostMain, b.Address()}};
    ASSERT_TRUE(MmsCmdHostRegistry::Instance().SetHosts(both));

    std::atomic<bool> stop{false};
    std::atomic<int> answered{0}, failed{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&, t] {
            MmsCmdImpl impl(MmsHostMain, nullptr);
            MmsCmd cmd(&impl, false);
            for (int i = 0; i < 15; ++i) {
                pb::MmsCmdReq inner;
                pb::MmsCmdResp outer;
                const int result = cmd.Send(false, "api/" + std::to_string(t), inner, outer,
                                            pb::MmsCmdReq::Put, nullptr, nullptr, 10, nullptr, nullptr);
                // 23: the configuration dropped the host that had just worked.
                (result == 200 ? answered : failed) += 1;
            }
        });
    std::thread configurer([&] {
        for (int i = 0; !stop; ++i) {
            MmsCmdHostRegistry::Instance().SetHosts(i % 2 ? both : onlyB);
            for (const auto& host : MmsCmdHostRegistry::Instance().Hosts())
                host->ReapIdleSessions();
            std::this_thread::yield();
        }
    });
    for (auto& t : senders)
        t.join();
    stop = true;
    configurer.join();
    EXPECT_EQ(answered + failed, 60);
    EXPECT_GT(answered, 0);
    MmsCmdHostRegistry::Instance().SetHosts({}); // the hosts' timers end with them
    EXPECT_TRUE(MmsCmdHostRegistry::Instance().Hosts().empty());
}
