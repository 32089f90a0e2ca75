// The envelope and the token refresh against the tests' command server: a 401 refreshes the token
// once, the token request carries this machine's identity, answers are stored as they should be.
#include <atomic>
#include <condition_variable>
#include <thread>

#include "cmd_fixture.h"
#include "mmsauth.pb.h"

using namespace cmdtest;

namespace {

// A server whose API needs "Bearer <current token>"; "api/auth/token" hands out the next token.
class TokenServer {
public:
    explicit TokenServer(int n) : m_server(n) {
        m_server.SetHandler([this](const pb::MmsCmdReq& r) { return _Handle(r); });
    }
    CommandServer& Server() { return m_server; }
    int TokenRequests() const { return m_tokenRequests; }
    std::vector<pb::MmsTokenReq> TokenBodies() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_bodies;
    }
    // Answers to the token request: 0 hands out a token.
    std::atomic<int> m_tokenStatus{0};
    std::atomic<bool> m_expire{false};
    std::string m_accessKey, m_machineGuid;
    // While set, the token request waits for Release.
    std::atomic<bool> m_hold{false};
    std::atomic<bool> m_holding{false};
    void Release() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_hold = false;
        m_wake.notify_all();
    }

private:
    Reply _Handle(const pb::MmsCmdReq& r) {
        if (r.path() == "api/auth/token") {
            ++m_tokenRequests;
            pb::MmsTokenReq body;
            body.ParseFromString(r.body());
            std::unique_lock<std::mutex> lock(m_lock);
            m_bodies.push_back(body);
            m_holding = true;
            m_wake.wait(lock, [this] { return !m_hold; });
            if (m_tokenStatus != 0)
                return Answer(m_tokenStatus);
            m_token = "T" + std::to_string(m_tokenRequests.load());
            pb::MmsTokenResp response;
            response.set_token(m_token);
            if (!m_accessKey.empty())
                response.set_accesskey(m_accessKey);
            if (!m_machineGuid.empty())
                response.set_machineguid(m_machineGuid);
            return Answer(200, response.SerializeAsString());
        }
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_expire.exchange(false))
            m_token = "expired";
        if (m_token.empty() || HeaderOf(r, "Authorization") != "Bearer " + m_token)
            return Answer(401);
        return Answer(200, r.path() + "|" + HeaderOf(r, "X-Extra"));
    }

    CommandServer m_server;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::string m_token;
    std::atomic<int> m_tokenRequests{0};
    std::vector<pb::MmsTokenReq> m_bodies;
};

class Tokens : public CmdChannelTest {
protected:
    void TearDown() override {
        MmsCmdHostRegistry::Instance().SetHosts({});
        CmdChannelTest::TearDown();
    }
    void Configure(const std::string& address) {
        MmsHostConfig config;
        config.hosts = {{MmsHostMain, address}};
        ASSERT_TRUE(MmsCmdHostRegistry::Instance().SetHosts(config));
    }
};

} // namespace

TEST_F(Tokens, A401RefreshesTheTokenOnceAndResendsWithTheSameHeaders) {
    TokenServer server(2);
    Configure(server.Server().Address());
    std::string seen;
    MmsCmdImpl impl(MmsHostMain, [&](const std::string& token) { seen = token; });
    MmsCmd cmd(&impl, false);
    const MmsCmd::Headers extra{{"X-Extra", "kept"}};
    pb::MmsCmdReq inner;
    pb::MmsCmdResp outer;
    // The host was made a moment ago and has no token: the 401 still refreshes.
    MmsCmd::HeaderList answerHeaders;
    ASSERT_EQ(cmd.Send(false, "api/x", inner, outer, pb::MmsCmdReq::Post, nullptr, nullptr, 5, &extra,
                       &answerHeaders),
              4); // the text body is no MmsCmdResp: the envelope got 200 and the body
    EXPECT_EQ(server.TokenRequests(), 1);
    EXPECT_EQ(seen, "T1");
    const auto requests = server.Server().Requests();
    ASSERT_EQ(requests.size(), 3u); // the first try, the token request, the retry
    EXPECT_EQ(HeaderOf(requests[2], "X-Extra"), "kept");
    EXPECT_EQ(HeaderCount(requests[2], "Authorization"), 1);
    EXPECT_FALSE(requests[0].has_method()); // a Post carries no method field

    // A second 401 after a refresh is returned as 401; a failing refresh returns its own result.
    server.m_expire = true;
    server.m_tokenStatus = 401;
    MmsCmdClockAdvance(20000); // refreshes within 10 ms count as one
    EXPECT_EQ(
        cmd.Send(false, "api/y", inner, outer, pb::MmsCmdReq::Delete, nullptr, nullptr, 5, nullptr, nullptr),
        401);
    // The token request's own 401 starts no nested refresh, and api/y is not sent again.
    int sentY = 0;
    for (const auto& r : server.Server().Requests())
        sentY += r.path() == "api/y";
    EXPECT_EQ(sentY, 1);
    EXPECT_EQ(server.Server().Requests().back().path(), "api/auth/token");
    EXPECT_EQ(server.Server().Requests()[3].method(), pb::MmsCmdReq::Delete);

    MmsCmdImpl nowhere(MmsHostSecondary, nullptr);
    MmsCmd lost(&nowhere, false);
    EXPECT_EQ(
        lost.Send(false, "api/z", inner, outer, pb::MmsCmdReq::Post, nullptr, nullptr, 5, nullptr, nullptr),
        9);
    MmsCmd none(nullptr, false);
    EXPECT_EQ(
        none.Send(false, "api/z", inner, outer, pb::MmsCmdReq::Post, nullptr, nullptr, 5, nullptr, nullptr),
        1);
}

TEST_F(Tokens, TheTokenRequestCarriesTheIdentityAndTheAnswerIsStored) {
    TokenServer server(2);
    Configure(server.Server().Address());
    SetMachineString(u"SOFTWARE\\TOLVANE\\QrvClient", u"PackageId", u"pkg");
    SetMachineString(u"SOFTWARE\\TOLVANE\\QrvClient", u"ComputerName", u"\\\\CONFIGURED");
    ASSERT_TRUE(WriteAccessKey(u"old-key", -1));
    server.m_accessKey = "new-key";
    server.m_machineGuid = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
    MmsCmdImpl impl(MmsHostMain, nullptr);
    ASSERT_EQ(impl.UpdateToken(), 200);
    const pb::MmsTokenReq body = server.TokenBodies().at(0);
    EXPECT_EQ(body.accesskey(), "old-key");
    EXPECT_EQ(body.authsubject(), 3);
    EXPECT_EQ(body.clienttype(), 1);
    EXPECT_EQ(body.packageid(), "pkg");
    EXPECT_FALSE(body.has_groupname());
    ASSERT_GE(body.machinename_size(), 1);
    EXPECT_EQ(body.machinename(0), "CONFIGURED");
    EXPECT_EQ(body.machinename(1), "JXTEST-PC"); // the registry and active names are one, listed once
    EXPECT_EQ(body.machineguid().size(), 36u);
    EXPECT_EQ(ReadAccessKey(-1), u"new-key");
    // A GUID with braces is accepted and read back as the same GUID, so no new one is made.
    EXPECT_EQ(MmsGuidText(MmsAccessParam::MachineGuid::Get(-1)), "6f9619ff-8b86-d011-b42d-00c04fc964ff");
    EXPECT_FALSE(MmsAccessParam::MachineGuid::Persist("", -1));
    EXPECT_FALSE(MmsAccessParam::MachineGuid::Persist("00000000-0000-0000-0000-000000000000", -1));
    EXPECT_FALSE(MmsAccessParam::MachineGuid::Persist("not-a-guid", -1));

    // The setup's own logon sends one machine name and no identity, and stores only the token.
    MmsAuthSubject = 100;
    server.m_accessKey = "never-stored";
    MmsCmdClockAdvance(20000);
    ASSERT_EQ(impl.UpdateToken(), 200);
    const pb::MmsTokenReq setup = server.TokenBodies().at(1);
    EXPECT_EQ(setup.machinename_size(), 1);
    EXPECT_FALSE(setup.has_machineguid());
    EXPECT_FALSE(setup.has_accesskey());
    MmsAuthSubject = 3;
    EXPECT_EQ(ReadAccessKey(-1), u"new-key");
    MmsAuthSubject = 0;
    EXPECT_EQ(impl.UpdateToken(), 22);
}

TEST_F(Tokens, AChangedComputerNameDropsTheIdentityOnTheFirstRefresh) {
    TokenServer server(2);
    Configure(server.Server().Address());
    SetMachineString(u"SOFTWARE\\TOLVANE", u"main_MachineGuid_Name", u"OLD-NAME");
    SetMachineString(u"SOFTWARE\\TOLVANE", u"main_MachineGuid", u"6f9619ff-8b86-d011-b42d-00c04fc964ff");
    ASSERT_TRUE(WriteAccessKey(u"old-key", -1));
    MmsCmdImpl impl(MmsHostMain, nullptr);
    ASSERT_EQ(impl.UpdateToken(), 200);
    const pb::MmsTokenReq body = server.TokenBodies().at(0);
    EXPECT_FALSE(body.has_machineguid());
    EXPECT_EQ(body.accesskey(), "old-key"); // read before the change was seen
    EXPECT_EQ(ReadAccessKey(-1), u"");
    EXPECT_NE(MmsGuidText(MmsAccessParam::MachineGuid::Get(-1)), "6f9619ff-8b86-d011-b42d-00c04fc964ff");
    EXPECT_FALSE(MmsAccessParam::LastKnownLocalComputerName::HasChanged(3));
}

TEST_F(Tokens, Concurrent401sOfOneHostSendOneTokenRequest) {
    TokenServer server(2);
    Configure(server.Server().Address());
    MmsCmdImpl impl(MmsHostMain, nullptr);
    MmsCmd cmd(&impl, false);
    server.m_hold = true;
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            pb::MmsCmdReq inner;
            pb::MmsCmdResp outer;
            ok += cmd.Send(false, "api/x", inner, outer, pb::MmsCmdReq::Put, nullptr, nullptr, 10, nullptr,
                           nullptr) == 200;
        });
    while (!server.m_holding)
        std::this_thread::yield();
    // The other threads reach the token lock while the first refresh is held.
    while (server.Server().Requests().size() < 5)
        std::this_thread::yield();
    server.Release();
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ok, 4);
    EXPECT_EQ(server.TokenRequests(), 1);
}

// A token request in flight holds no registry lock: the host list can be replaced meanwhile (a
// lock held across the nested send would deadlock with the waiting writer).
TEST_F(Tokens, TheHostListIsReplacedWhileATokenRequestRuns) {
    TokenServer server(2);
    CommandServer other(3);
    Configure(server.Server().Address());
    MmsCmdImpl impl(MmsHostMain, nullptr);
    server.m_hold = true;
    int result = 0;
    std::thread refresh([&] { result = impl.UpdateToken(); });
    while (!server.m_holding)
        std::this_thread::yield();
    MmsHostConfig config;
    config.hosts = {{MmsHostMain, other.Address()}};
    ASSERT_TRUE(MmsCmdHostRegistry::Instance().SetHosts(config)); // returns while the request runs
    EXPECT_EQ(MmsCmdHostRegistry::Instance().Hosts().size(), 1u);
    server.Release();
    refresh.join();
    EXPECT_EQ(result, 200); // the dropped host finished its refresh
}

TEST_F(Tokens, TargetFilesGetTheBodyUnparsed) {
    CommandServer server(2);
    server.SetHandler([](const pb::MmsCmdReq&) { return Answer(200, std::string("\xFF\x00raw", 5)); });
    Configure(server.Address());
    MmsCmdImpl impl(MmsHostMain, nullptr);
    MmsCmd cmd(&impl, true); // the serialized form
    const std::string path = m_Root.Path() + "/target.bin";
    const std::u16string target = u"Z:" + std::u16string(path.begin(), path.end());
    pb::MmsCmdReq inner;
    pb::MmsCmdResp outer;
    EXPECT_EQ(
        cmd.Send(false, "api/f", inner, outer, pb::MmsCmdReq::Get, &target, nullptr, 5, nullptr, nullptr),
        200);
    EXPECT_EQ(jxtest::ReadHostFile(path), std::string("\xFF\x00raw", 5));
    const std::u16string folder = u"Z:" + std::u16string(path.begin(), path.end()) + u"/nofolder/x.bin";
    EXPECT_EQ(
        cmd.Send(false, "api/f", inner, outer, pb::MmsCmdReq::Post, &folder, nullptr, 5, nullptr, nullptr),
        7);
    EXPECT_EQ(
        cmd.Send(false, "api/f", inner, outer, pb::MmsCmdReq::Put, &target, nullptr, 5, nullptr, nullptr),
        200);
    // A body that does not fit on the disk leaves the earlier file whole and no partial one.
    ASSERT_TRUE(CreateDirectoryW(u"C:\\full", nullptr));
    const std::u16string kept = u"C:\\full\\kept.bin";
    EXPECT_EQ(cmd.Send(false, "api/f", inner, outer, pb::MmsCmdReq::Get, &kept, nullptr, 5, nullptr, nullptr),
              200);
    jxplat::MachineDescription machine;
    machine.faultDiskFull = true;
    machine.faultDiskFullAfterBytes = 2;
    machine.faultDiskFullFolder = "C:\\full";
    m_Root.Describe(machine);
    EXPECT_EQ(cmd.Send(false, "api/f", inner, outer, pb::MmsCmdReq::Get, &kept, nullptr, 5, nullptr, nullptr),
              8);
    EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(kept)), std::string("\xFF\x00raw", 5));
    EXPECT_EQ(GetFileAttributesW(u"C:\\full\\kept.bin.jxtmp"), INVALID_FILE_ATTRIBUTES);
    // A request that does not parse is answered with 6.
    BYTE* answer = nullptr;
    DWORD size = 0;
    const BYTE junk[] = {0x0A, 0xFF};
    impl.ExecuteSerialized(junk, sizeof junk, &answer, &size, 5);
    pb::MmsCmdResp parsed;
    ASSERT_TRUE(parsed.ParseFromArray(answer, static_cast<int>(size)));
    EXPECT_EQ(parsed.status(), 6);
    CoTaskMemFree(answer);
}
