// The TCP client socket against scripted loopback servers, over the stand-in's confined network.
#include <atomic>
#include <chrono>
#include <future>
#include <string>

#include <gtest/gtest.h>

#include "jxbase/sockv2.h"
#include "jxtest/machine_root.h"
#include "jxtest/tcp_server.h"

namespace {

jxplat::MachineDescription WithHostName(const std::string& name, std::vector<std::string> addresses) {
    jxplat::MachineDescription d;
    d.hostNames.push_back({name, std::move(addresses)});
    return d;
}

} // namespace

TEST(SockV2, ConnectTriesTheResolvedAddressesInOrderAndKeepsTheFirstThatAnswers) {
    // The name resolves to ::1 first, where nobody listens, then to 127.0.0.1.
    jxtest::TempMachineRoot root(WithHostName("mms.test", {"::1", "127.0.0.1"}));
    std::promise<std::string> got;
    std::atomic<int> connections{0};
    jxtest::LoopbackTcpServer server([&](int fd) {
        if (connections++ == 0)
            got.set_value(jxtest::ReceiveFrom(fd, 5));
    });
    for (DWORD timeoutMs : {0u, 500u}) {
        CSockv2 sock;
        ASSERT_TRUE(sock.Connect(u"MMS.test", server.Port(), timeoutMs));
        EXPECT_EQ(sock.LocalFamily(), AF_INET);
        EXPECT_EQ(sock.LocalAddress(), u"127.0.0.1");
        EXPECT_NE(sock.LocalPort(), 0);
        if (timeoutMs == 0) {
            EXPECT_EQ(sock.Send("hello", 5, 1), 5);
            EXPECT_EQ(got.get_future().get(), "hello");
        }
    }
}

TEST(SockV2, NamesOutsideTheMachineAndRefusedPortsFailAtOnce) {
    jxtest::TempMachineRoot root;
    CSockv2 sock;
    EXPECT_FALSE(sock.Connect(u"example.com", 80));
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
    EXPECT_FALSE(sock.Connect(u"127.0.0.1", jxtest::RefusingLoopbackPort()));
    EXPECT_FALSE(sock.Connect(u"127.0.0.1", jxtest::RefusingLoopbackPort(), 300));
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    EXPECT_EQ(sock.Handle(), INVALID_SOCKET);
    EXPECT_EQ(sock.Send("x", 1, 0), -1);
    EXPECT_FALSE(sock.Close(true));
}

TEST(SockV2, ReceiveAllCollectsPiecesAndFailsWhenThePeerClosesEarly) {
    jxtest::TempMachineRoot root;
    const std::string hundred(100, 'a');
    jxtest::LoopbackTcpServer pieces([&](int fd) {
        jxtest::SendAllTo(fd, hundred.substr(0, 10));
        jxtest::SendAllTo(fd, hundred.substr(10, 60));
        jxtest::SendAllTo(fd, hundred.substr(70));
        jxtest::ReadUntilClosed(fd, nullptr);
    });
    jxtest::LoopbackTcpServer half([&](int fd) { jxtest::SendAllTo(fd, hundred.substr(0, 50)); });

    char buffer[100];
    CSockv2 whole;
    ASSERT_TRUE(whole.Connect(u"localhost", pieces.Port()));
    EXPECT_TRUE(whole.ReceiveAll(buffer, 100, 5));
    EXPECT_EQ(std::string(buffer, 100), hundred);

    CSockv2 cut;
    ASSERT_TRUE(cut.Connect(u"127.0.0.1", half.Port()));
    EXPECT_FALSE(cut.ReceiveAll(buffer, 100, 5));
}

TEST(SockV2, ReceiveGivesZeroWhenNothingArrivesInTime) {
    jxtest::TempMachineRoot root;
    std::promise<void> done;
    auto finished = done.get_future();
    jxtest::LoopbackTcpServer silent([&](int fd) { finished.wait(); });
    CSockv2 sock;
    ASSERT_TRUE(sock.Connect(u"127.0.0.1", silent.Port()));
    char c;
    EXPECT_EQ(sock.Receive(&c, 1, 0, 100), 0);
    done.set_value();
}

TEST(SockV2, AnAbortiveCloseResetsAndTheDestructorClosesInOrder) {
    jxtest::TempMachineRoot root;
    std::promise<bool> resetSeen;
    std::promise<bool> orderlySeen;
    int connection = 0;
    jxtest::LoopbackTcpServer server([&](int fd) {
        bool reset = false;
        jxtest::ReadUntilClosed(fd, &reset);
        (connection++ == 0 ? resetSeen : orderlySeen).set_value(reset);
    });
    {
        CSockv2 sock;
        ASSERT_TRUE(sock.Connect(u"127.0.0.1", server.Port()));
        EXPECT_TRUE(sock.Close(false));
        EXPECT_FALSE(sock.Close(false));
    }
    EXPECT_TRUE(resetSeen.get_future().get());
    {
        CSockv2 sock;
        ASSERT_TRUE(sock.Connect(u"127.0.0.1", server.Port()));
    }
    EXPECT_FALSE(orderlySeen.get_future().get());
}

// A peer that reads nothing fills the connection's buffers; once the wait for writability gives
// up, the one send must not block: it takes what fits or reports WSAEWOULDBLOCK.
TEST(SockV2, SendAfterATimedOutWaitNeverBlocks) {
    jxtest::TempMachineRoot root;
    std::promise<void> done;
    auto finished = done.get_future();
    jxtest::LoopbackTcpServer sink([&](int fd) { finished.wait(); });
    CSockv2 sock;
    ASSERT_TRUE(sock.Connect(u"127.0.0.1", sink.Port()));
    const std::string block(1 << 20, 'z');
    int result = 0;
    for (int i = 0; i < 256 && result >= 0; ++i)
        result = sock.Send(block.data(), static_cast<int>(block.size()), 0);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    done.set_value();
}
