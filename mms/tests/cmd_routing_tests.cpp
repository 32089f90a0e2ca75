// Hosts and routing against the tests' command servers: the order of a selector, fallback after a
// transport failure and its delay, redirects, tokens per host, the configuration, idle sessions.
#include <thread>

#include "cmd_fixture.h"
#include "mmsauth.pb.h"

using namespace cmdtest;

namespace {

class Routing : public CmdChannelTest {
protected:
    void TearDown() override {
        MmsCmdHostRegistry::Instance().SetHosts({});
        CmdChannelTest::TearDown();
    }
    static void Configure(std::vector<MmsHostConfig::Entry> hosts, int transport = 0) {
        MmsHostConfig config;
        config.hosts = std::move(hosts);
        config.transport = transport;
        ASSERT_TRUE(MmsCmdHostRegistry::Instance().SetHosts(config));
    }
    static int Route(int selector, const std::string& path, pb::MmsCmdResp& answer) {
        pb::MmsCmdReq request;
        request.set_path(path);
        MmsCmdHostRegistry::Instance().Execute(selector, request, answer, 5);
        return answer.status();
    }
    static std::shared_ptr<MmsCmdHost> HostOf(const std::string& address) {
        for (const auto& host : MmsCmdHostRegistry::Instance().Hosts())
            if (host->Address() == address)
                return host;
        return nullptr;
    }
};

Reply Named(const std::string& name) {
    return Answer(200, name);
}

} // namespace

TEST_F(Routing, AnyMainTriesSubHostsFirstAndPrefersAConnectedHost) {
    CommandServer main(2), sub(3);
    main.SetHandler([](const pb::MmsCmdReq&) { return Named("main"); });
    sub.SetHandler([](const pb::MmsCmdReq&) { return Named("sub"); });
    Configure({{MmsHostMain, main.Address()}, {MmsHostSub, sub.Address()}});
    pb::MmsCmdResp answer;
    ASSERT_EQ(Route(MmsHostAnyMain, "a", answer), 200);
    EXPECT_EQ(answer.body(), "sub");
    // Selector 0 reaches the main host; then the main host has a connected idle session and is
    // preferred by every selector that matches it.
    ASSERT_EQ(Route(MmsHostMain, "b", answer), 200);
    EXPECT_EQ(answer.body(), "main");
    ASSERT_EQ(Route(MmsHostAnyMain, "c", answer), 200);
    EXPECT_EQ(answer.body(), "main");
    EXPECT_EQ(Route(MmsHostPeer, "d", answer), 9);
    EXPECT_EQ(Route(7, "e", answer), 9);
}

TEST_F(Routing, AHostThatWorkedHoldsRoutingUntilItsFallbackDelayHasPassed) {
    struct Case {
        int role;
        DWORD configured;
        LONGLONG delay;
    };
    for (const Case& c :
         {Case{MmsHostMain, 0, 3600}, Case{MmsHostSub, 0, 900}, Case{MmsHostMain, 120, 120}}) {
        SCOPED_TRACE(c.delay);
        MmsCmdHostRegistry::Instance().SetHosts({});
        SetMachineDword(u"SOFTWARE\\TOLVANE\\QrvClient", u"ServerFallBackSeconds", c.configured);
        auto first = std::make_unique<CommandServer>(2);
        CommandServer second(3);
        first->SetHandler([](const pb::MmsCmdReq&) { return Named("first"); });
        second.SetHandler([](const pb::MmsCmdReq&) { return Named("second"); });
        Configure({{c.role, first->Address()}, {c.role, second.Address()}});
        pb::MmsCmdResp answer;
        ASSERT_EQ(Route(c.role, "a", answer), 200);
        EXPECT_EQ(answer.body(), "first");
        const std::string address = first->Address();
        first.reset();               // the first server goes away
        MmsCmdClockAdvance(2000000); // the idle session is closed
        HostOf(address)->ReapIdleSessions();
        EXPECT_EQ(Route(c.role, "b", answer), 23);
        MmsCmdClockAdvance((c.delay - 1) * 1000000);
        EXPECT_EQ(Route(c.role, "c", answer), 23);
        MmsCmdClockAdvance(1000000);
        ASSERT_EQ(Route(c.role, "d", answer), 200);
        EXPECT_EQ(answer.body(), "second");
    }
}

TEST_F(Routing, AHostThatNeverWorkedIsPassedAtOnce) {
    CommandServer second(3);
    second.SetHandler([](const pb::MmsCmdReq&) { return Named("second"); });
    const std::string dead = second.Address().substr(0, second.Address().rfind('.')) + ".250";
    Configure({{MmsHostMain, dead}, {MmsHostMain, second.Address()}});
    pb::MmsCmdResp answer;
    ASSERT_EQ(Route(MmsHostMain, "a", answer), 200);
    EXPECT_EQ(answer.body(), "second");
}

TEST_F(Routing, RedirectsGoToTheNamedHostWithThatHostsTokenOnly) {
    CommandServer a(2), b(3);
    b.SetHandler([](const pb::MmsCmdReq& r) {
        return Answer(200,
                      std::to_string(HeaderCount(r, "Authorization")) + ":" + HeaderOf(r, "Authorization"));
    });
    Configure({{MmsHostMain, a.Address()}, {MmsHostPeer, b.Address()}});
    // Tokens as a refresh leaves them: host a has one, host b none.
    a.SetHandler([&](const pb::MmsCmdReq& r) {
        if (r.path() == "api/auth/token") {
            pb::MmsTokenResp token;
            token.set_token("token-of-a");
            return Answer(200, token.SerializeAsString());
        }
        Reply reply = Answer(302);
        auto* header = reply.answer.add_headers();
        header->set_name(r.path() == "lower" ? "location" : "Location");
        header->set_value(b.Address());
        return reply;
    });
    MmsCmdImpl impl(MmsHostMain, nullptr);
    ASSERT_EQ(HostOf(a.Address())->UpdateToken(impl), 200);
    EXPECT_EQ(HostOf(a.Address())->Authorization(), "Bearer token-of-a");

    // The redirect is followed from the walk of the selector's hosts: a has no idle session left.
    MmsCmdClockAdvance(2000000);
    HostOf(a.Address())->ReapIdleSessions();
    pb::MmsCmdResp answer;
    ASSERT_EQ(Route(MmsHostMain, "upper", answer), 200);
    EXPECT_EQ(answer.body(), "0:"); // b never sees a's token
    EXPECT_EQ(HeaderOf(a.Requests().back(), "Authorization"), "Bearer token-of-a");
    // A lower-case "location" is no redirect: the answer of the last attempt stands.
    MmsCmdClockAdvance(2000000);
    HostOf(a.Address())->ReapIdleSessions();
    EXPECT_EQ(Route(MmsHostMain, "lower", answer), 302);
}

TEST_F(Routing, TheConfigurationKeepsKnownHostsAndRefusesUnknownTransports) {
    Configure({{MmsHostMain, "127.0.0.2"}, {MmsHostSub, "127.0.0.3"}});
    const auto kept = HostOf("127.0.0.2");
    Configure({{MmsHostSecondary, "127.0.0.2"}, {MmsHostMain, "127.0.0.4"}});
    EXPECT_EQ(HostOf("127.0.0.2"), kept);
    EXPECT_EQ(kept->Role(), MmsHostMain); // the old role stays
    EXPECT_EQ(HostOf("127.0.0.3"), nullptr);
    MmsHostConfig bad;
    bad.hosts = {{MmsHostMain, "127.0.0.9"}};
    bad.transport = 2;
    EXPECT_FALSE(MmsCmdHostRegistry::Instance().SetHosts(bad));
    EXPECT_EQ(MmsCmdHostRegistry::Instance().Hosts().size(), 2u);
}

TEST_F(Routing, LegacyNamesAreRewrittenOnceForConnectingOnly) {
    MmsLegacyHostSuffixes::s_Current = ".new.example";
    MmsLegacyHostSuffixes::s_Legacy = {".old.example"};
    Configure({{MmsHostMain, "srv.OLD.example"}});
    const auto host = HostOf("srv.OLD.example");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->ConnectAddress(), "srv.new.example");
    Configure({{MmsHostMain, "srv.OLD.example"}});
    EXPECT_EQ(HostOf("srv.OLD.example"), host); // its identity is the configured name
}

TEST_F(Routing, IdleSessionsCloseASecondAfterTheLastRequest) {
    CommandServer server(2);
    server.SetHandler([](const pb::MmsCmdReq&) { return Named("x"); });
    Configure({{MmsHostMain, server.Address()}});
    pb::MmsCmdResp answer;
    ASSERT_EQ(Route(MmsHostMain, "a", answer), 200);
    const auto host = HostOf(server.Address());
    EXPECT_EQ(host->IdleSessionCount(), 1u);
    host->ReapIdleSessions();
    EXPECT_EQ(host->IdleSessionCount(), 1u);
    MmsCmdClockAdvance(1000001);
    host->ReapIdleSessions();
    EXPECT_EQ(host->IdleSessionCount(), 0u);
    ASSERT_EQ(Route(MmsHostMain, "b", answer), 200);
    EXPECT_EQ(server.Connections(), 2);
}
