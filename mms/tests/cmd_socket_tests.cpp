// The socket transport against the tests' command server: hello and key exchange, stored session
// keys, stale keys, hostile and broken answers, and the legacy file transfer.
#include <cstring>

#include "cmd_fixture.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using namespace cmdtest;

namespace {

const char16_t kRestricted[] = u"SOFTWARE\\TOLVANE\\Qrv ManagementServer\\Restricted";

pb::MmsCmdReq Request(const std::string& path) {
    pb::MmsCmdReq request;
    request.set_path(path);
    return request;
}

class SocketSession : public CmdChannelTest {
protected:
    void DeleteStoredKeys() {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRestricted, 0, KEY_ALL_ACCESS | view, &key) ==
                ERROR_SUCCESS) {
                RegDeleteValueW(key, u"MmsAesKey");
                RegCloseKey(key);
            }
        }
    }
    int Exchange(MmsCmdSocketSession& session, pb::MmsCmdReq request, pb::MmsCmdResp& answer) {
        session.Send(request, answer, 5);
        return answer.status();
    }
};

} // namespace

TEST_F(SocketSession, FirstExchangeSendsHelloAndStoresTheNewKeyInBothViews) {
    CommandServer server(2);
    server.SetHandler([](const pb::MmsCmdReq& r) { return Answer(200, "info:" + r.path()); });
    MmsCmdHost host(MmsHostMain, 0, server.Address());
    MmsCmdSocketSession session(host);
    pb::MmsCmdResp answer;
    ASSERT_EQ(Exchange(session, Request("api/common/serverinfo"), answer), 200);
    EXPECT_EQ(answer.body(), "info:api/common/serverinfo");
    EXPECT_TRUE(session.IsConnected());
    EXPECT_NE(session.GetPeerDescription(), u"-");

    ASSERT_EQ(server.Hellos().size(), 1u);
    const Hello hello = server.Hellos()[0];
    const GUID guid = MmsAccessParam::MachineGuid::Get(-1);
    EXPECT_EQ(hello.marker, 2);
    EXPECT_EQ(hello.guid, std::string(reinterpret_cast<const char*>(&guid), 16));
    EXPECT_EQ(hello.kind, 2);
    EXPECT_EQ(hello.name, "JXTEST-PC");
    EXPECT_EQ(server.KeyExchanges(), 1);

    const std::string key = CommandServer::KeyTable()[hello.guid];
    EXPECT_EQ(MachineValueBytes(kRestricted, u"MmsAesKey", KEY_WOW64_64KEY), key);
    EXPECT_EQ(MachineValueBytes(kRestricted, u"MmsAesKey", KEY_WOW64_32KEY), key);
    EXPECT_EQ(LoadSessionKey(-1), key);

    // The connection and the key are reused: the next request carries sequence 2.
    ASSERT_EQ(Exchange(session, Request("b"), answer), 200);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.Requests()[0].sequence(), 1);
    EXPECT_EQ(server.Requests()[1].sequence(), 2);

    // A new session of the same subject starts with the stored key; the exchange subject says 5.
    MmsCmdSocketSession second(host);
    ASSERT_EQ(Exchange(second, Request("c"), answer), 200);
    EXPECT_EQ(server.KeyExchanges(), 1);
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(SocketSession, AStaleKeyIsReplacedOnceAndTheRequestRepeated) {
    CommandServer server(2);
    server.SetHandler([](const pb::MmsCmdReq&) { return Answer(200); });
    MmsCmdHost host(MmsHostMain, 0, server.Address());
    MmsCmdSocketSession session(host);
    pb::MmsCmdResp answer;
    ASSERT_EQ(Exchange(session, Request("a"), answer), 200);
    const std::string oldKey = LoadSessionKey(-1);
    CommandServer::ForgetKeys();
    ASSERT_EQ(Exchange(session, Request("b"), answer), 200);
    EXPECT_EQ(server.KeyExchanges(), 2);
    EXPECT_NE(LoadSessionKey(-1), oldKey);
    EXPECT_EQ(server.Requests().size(), 2u); // the rejected frame was never a request
}

// Each broken answer ends with its status and a closed connection; the next request reconnects.
TEST_F(SocketSession, BrokenAndHostileAnswersCloseTheConnection) {
    struct Case {
        Fault fault;
        int count;
        int status;
    };
    for (const Case& c :
         {Case{Fault::DropMidFrame, 1, 18}, Case{Fault::OversizedLength, 1, 18},
          Case{Fault::CorruptDigest, 2, 24}, Case{Fault::BadPadding, 1, 20}, Case{Fault::BadAck, 1, 18},
          Case{Fault::SlowPeer, 1, 200}, Case{Fault::CorruptDigest, 1, 200}}) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        CommandServer::ForgetKeys();
        CommandServer server(2);
        server.SetHandler([](const pb::MmsCmdReq&) { return Answer(200, std::string(300, 'x')); });
        MmsCmdHost host(MmsHostMain, 0, server.Address());
        MmsCmdSocketSession session(host);
        pb::MmsCmdResp answer;
        if (c.fault != Fault::BadAck)
            ASSERT_EQ(Exchange(session, Request("warm"), answer), 200);
        else
            DeleteStoredKeys(); // the key request comes first only without a key
        server.SetFault(c.fault, c.count);
        EXPECT_EQ(Exchange(session, Request("x"), answer), c.status);
        EXPECT_EQ(session.IsConnected(), c.status == 200);
        server.SetFault(Fault::None, 0);
        EXPECT_EQ(Exchange(session, Request("again"), answer), 200);
        EXPECT_EQ(answer.body(), std::string(300, 'x'));
    }
}

TEST_F(SocketSession, AKeyOfTheWrongLengthIsRefusedAndTheStoredKeyKept) {
    CommandServer server(2);
    server.SetHandler([](const pb::MmsCmdReq&) { return Answer(200); });
    const std::string stored(16, '\x42');
    ASSERT_TRUE(StoreSessionKey(-1, stored));
    server.SetFault(Fault::KeyOf32Bytes, 1);
    MmsCmdHost host(MmsHostMain, 0, server.Address());
    MmsCmdSocketSession session(host);
    pb::MmsCmdResp answer;
    EXPECT_EQ(Exchange(session, Request("a"), answer), 20);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(LoadSessionKey(-1), stored);
}

TEST_F(SocketSession, NoServerIsATransportFailure) {
    CommandServer server(2);
    const std::string address = server.Address().substr(0, server.Address().rfind('.')) + ".250";
    MmsCmdHost host(MmsHostMain, 0, address);
    MmsCmdSocketSession session(host);
    pb::MmsCmdResp answer;
    EXPECT_EQ(Exchange(session, Request("a"), answer), 11);
    EXPECT_EQ(session.GetPeerDescription(), u"-");
}

TEST_F(SocketSession, SessionKeysBelongToSubjects) {
    MmsAuthSubject = 0;
    EXPECT_FALSE(StoreSessionKey(-1, std::string(16, 'k')));
    EXPECT_FALSE(StoreSessionKey(1, std::string(15, 'k')));
    for (int subject : {1, 2, 4}) {
        ASSERT_TRUE(StoreSessionKey(subject, std::string(16, static_cast<char>('a' + subject))));
    }
    EXPECT_EQ(MachineValueBytes(kRestricted, u"ClientAesKey", KEY_WOW64_32KEY), std::string(16, 'b'));
    EXPECT_EQ(MachineValueBytes(kRestricted, u"ExchangeAesKey", KEY_WOW64_32KEY), std::string(16, 'c'));
    EXPECT_EQ(LoadSessionKey(5), std::string(16, 'e')); // main, sub and secondary share one key
}

namespace {

class LegacyTransfer : public SocketSession {
protected:
    std::u16string HostFile(const std::string& name) {
        return jxtext::Utf8ToUtf16("Z:" + m_Root.Path() + "/" + name);
    }
    std::string HostPath(const std::string& name) { return m_Root.Path() + "/" + name; }
};

pb::MmsCmdReq LegacyRequest(const std::string& header, const std::u16string& file) {
    pb::MmsCmdReq request = Request("api/legacy");
    auto* h = request.add_headers();
    h->set_name(header);
    h->set_value(jxtext::Utf16ToUtf8(file));
    return request;
}

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i * 131 + i / 7);
    return s;
}

void WriteHost(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

} // namespace

TEST_F(LegacyTransfer, UploadSendsTheWholeFileAfterTheAnswer) {
    CommandServer server(2);
    const std::string content = Pattern(200000);
    WriteHost(HostPath("up.bin"), content);
    server.SetHandler([&](const pb::MmsCmdReq&) {
        Reply reply = Answer(200);
        reply.uploadBytes = content.size();
        return reply;
    });
    MmsCmdHost host(MmsHostMain, 0, server.Address());
    MmsCmdSocketSession session(host);
    pb::MmsCmdResp answer;
    ASSERT_EQ(Exchange(session, LegacyRequest("TolvaneLegacyUploadFile", HostFile("up.bin")), answer), 200);
    ASSERT_EQ(server.Uploads(1).size(), 1u);
    EXPECT_EQ(server.Uploads()[0], content);
    // The connection stays in step: the next request is answered.
    server.SetHandler([](const pb::MmsCmdReq&) { return Answer(200, "next"); });
    ASSERT_EQ(Exchange(session, Request("n"), answer), 200);
    EXPECT_EQ(answer.body(), "next");

    // A file that is not there: 26, and the connection the server waits on is closed.
    EXPECT_EQ(Exchange(session, LegacyRequest("TolvaneLegacyUploadFile", HostFile("missing.bin")), answer),
              26);
    EXPECT_FALSE(session.IsConnected());
}

TEST_F(LegacyTransfer, DownloadWritesTheAnnouncedBytesOrNothing) {
    struct Case {
        std::string size;
        int result;
        size_t sent;
        int status;
    };
    const std::string content = Pattern(150000);
    for (const Case& c :
         {Case{"150000", 0, 150000, 200}, Case{"0", 0, 0, 27}, Case{"abc", 0, 0, 27},
          Case{"150000", 3, 0, 200}, Case{"100000", 0, 150000, 20}, Case{"200000", 0, 150000, 18}}) {
        SCOPED_TRACE(c.size + "/" + std::to_string(c.sent));
        CommandServer server(2);
        server.SetHandler([&](const pb::MmsCmdReq&) {
            pb::MmsCmdLegacyResp legacy;
            legacy.set_filesize(c.size);
            legacy.set_result(c.result);
            Reply reply = Answer(200, legacy.SerializeAsString());
            reply.download = content.substr(0, c.sent);
            return reply;
        });
        MmsCmdHost host(MmsHostMain, 0, server.Address());
        MmsCmdSocketSession session(host);
        pb::MmsCmdResp answer;
        WriteHost(HostPath("down.bin"), "old"); // a failed download leaves the target as it was
        // A short download waits for the rest: the server ends the connection when the test ends it.
        pb::MmsCmdReq request = LegacyRequest("TolvaneLegacyDownloadFile", HostFile("down.bin"));
        if (c.status == 18) {
            answer.Clear();
            session.Send(request, answer, 1);
        } else {
            Exchange(session, request, answer);
        }
        EXPECT_EQ(answer.status(), c.status);
        const bool written = c.status == 200 && c.result == 0;
        EXPECT_EQ(jxtest::ReadHostFile(HostPath("down.bin")), written ? content : "old");
        EXPECT_NE(access(HostPath("down.bin.jxtmp").c_str(), F_OK), 0);
        EXPECT_EQ(session.IsConnected(), c.status == 200);
    }
    // An answer body that is no legacy answer: 4.
    CommandServer server(2);
    server.SetHandler([](const pb::MmsCmdReq&) { return Answer(200, std::string("\x0A\xFF", 2)); });
    MmsCmdHost host(MmsHostMain, 0, server.Address());
    MmsCmdSocketSession session(host);
    pb::MmsCmdResp answer;
    EXPECT_EQ(Exchange(session, LegacyRequest("TolvaneLegacyDownloadFile", HostFile("d.bin")), answer), 4);
}

TEST(LegacyDiskSpace, TheMarginStaysFreeBeyondTheFile) {
    jxtest::TempMachineRoot root;
    ULARGE_INTEGER available{}, total{}, free{};
    const std::u16string folder = jxtext::Utf8ToUtf16("Z:" + root.Path() + "/");
    ASSERT_TRUE(GetDiskFreeSpaceExW(folder.c_str(), &available, &total, &free));
    const std::u16string file = folder + u"f.bin";
    const ULONGLONG margin = 20ull << 20;
    EXPECT_FALSE(HasInsufficientDiskFreeSpace(file, 1));
    EXPECT_TRUE(HasInsufficientDiskFreeSpace(file, free.QuadPart - margin + (64ull << 20)));
    EXPECT_TRUE(HasInsufficientDiskFreeSpace(file, free.QuadPart + 1));
}
