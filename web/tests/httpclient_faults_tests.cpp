// Time-outs, cancel from another thread and hostile answers: each ends with an error within the
// configured time-outs and with bounded memory.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "web_test_support.h"

using namespace jxwebtest;

namespace {

// The time-outs of these tests: 300 ms for each phase.
std::shared_ptr<HttpClient> ShortClient() {
    auto client = NewClient();
    client->SetTimeouts(300, 300, 300, 300, 300);
    return client;
}

// Milliseconds a request took.
template <typename F> long long Elapsed(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

TEST(HttpClientFaults, EachTimeOutEndsItsPhase) {
    WebMachine machine;
    TestServer server([](const Request& q, Connection& c) {
        if (q.target == "/silent") { // never answers
            c.WaitStop(5000);
        } else if (q.target == "/trickle") { // the header, one byte every 50 ms
            for (char ch : std::string("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx"))
                if (!c.Write(std::string(1, ch)) || c.WaitStop(50))
                    return;
        } else { // "/stall": the header and half the body, then nothing
            c.Write(Answer(200, std::string(1000, 'b')).substr(0, 600));
            c.WaitStop(5000);
        }
    });
    for (const char* path : {"/silent", "/trickle", "/stall"}) {
        auto client = ShortClient();
        HttpClient::Result r;
        const long long ms =
            Elapsed([&] { r = client->Send(HttpClient::Get, server.Url(path), false, u"", true); });
        EXPECT_EQ(r.error, 12002u) << path;
        EXPECT_GE(ms, 250) << path;
        EXPECT_LT(ms, 2000) << path;
    }
}

// A server whose port takes the connection but never accepts it: the secure connection's
// handshake gets no answer, and the connect time-out alone ends it (the others are long).
TEST(HttpClientFaults, AHandshakeWithoutAnswerEndsAtTheConnectTimeOut) {
    WebMachine machine;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::u16string url = u"https://127.0.0.1:" + Wide(std::to_string(ntohs(address.sin_port))) + u"/";

    auto client = NewClient();
    client->SetTimeouts(5000, 300, 5000, 5000, 5000);
    HttpClient::Result r;
    const long long ms = Elapsed([&] { r = client->Send(HttpClient::Get, url, false, u"", true); });
    ::close(listener);
    EXPECT_EQ(r.error, 12002u);
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 2000);
}

TEST(HttpClientFaults, ABodyTheServerDoesNotTakeEndsAtTheSendTimeOut) {
    WebMachine machine;
    auto client = ShortClient();
    // The test server reads the header only after the whole request; a large body fills the
    // connection's buffers and the upload stalls.
    TestServer stall([](const Request&, Connection& c) { c.WaitStop(5000); });
    const std::string big(64u << 20, 'u');
    client->SetRequestBody(big.data(), static_cast<DWORD>(big.size()), false);
    HttpClient::Result r;
    const long long ms =
        Elapsed([&] { r = client->Send(HttpClient::Post, stall.Url("/"), false, u"", true); });
    EXPECT_EQ(r.error, 12002u);
    EXPECT_LT(ms, 3000);
}

TEST(HttpClientFaults, ACancelFromAnotherThreadEndsTheRequestAtOnce) {
    WebMachine machine;
    std::promise<void> requestSeen;
    TestServer server([&](const Request&, Connection& c) {
        requestSeen.set_value();
        c.WaitStop(10000);
    });
    auto client = NewClient();
    client->SetTimeouts(10000, 10000, 10000, 10000, 10000);
    std::thread canceller([&] {
        requestSeen.get_future().wait();
        client->Cancel();
    });
    HttpClient::Result r;
    const long long ms =
        Elapsed([&] { r = client->Send(HttpClient::Get, server.Url("/"), false, u"", true); });
    canceller.join();
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrCanceled));
    EXPECT_LT(ms, 2000);
    // The next request resets the cancel.
    TestServer quick([](const Request&, Connection& c) { c.Write(Answer(200, "ok")); });
    EXPECT_EQ(client->Send(HttpClient::Get, quick.Url("/"), false, u"", true).error, 0u);
}

TEST(HttpClientFaults, HostileAnswersEndInErrorsWithBoundedMemory) {
    WebMachine machine;
    TestServer server([](const Request& q, Connection& c) {
        if (q.target == "/huge-length") { // announces 2 GB, sends a little, closes
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n" + std::string(5000, 'h'));
        } else if (q.target == "/beyond-32-bits") {
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\nxyz");
        } else if (q.target == "/long-header") {
            c.Write("HTTP/1.1 200 OK\r\nX-Long: " + std::string(1 << 20, 'L') +
                    "\r\nContent-Length: 0\r\n\r\n");
        } else if (q.target == "/endless") { // chunks without end
            c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            const std::string chunk = "10000\r\n" + std::string(0x10000, 'e') + "\r\n";
            while (c.Write(chunk) && !c.WaitStop(0)) {
            }
        } else { // "/bad-chunk"
            c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nnot a chunk\r\n");
        }
    });
    auto client = ShortClient();
    client->m_MaxMemoryBody = 4u << 20;
    struct Case {
        const char* path;
        DWORD error;
    };
    for (const Case& c : {Case{"/huge-length", 12030u}, Case{"/beyond-32-bits", ERROR_ARITHMETIC_OVERFLOW},
                          Case{"/long-header", 12183u}, Case{"/endless", ERROR_NOT_ENOUGH_MEMORY},
                          Case{"/bad-chunk", 12030u}}) {
        const HttpClient::Result r = client->Send(HttpClient::Get, server.Url(c.path), false, u"", true);
        EXPECT_EQ(r.error, c.error) << c.path;
        if (r.body)
            EXPECT_LE(r.body->size(), client->m_MaxMemoryBody) << c.path;
    }
}

TEST(HttpClientFaults, ProgressSeesEveryChunkAndCanRefuseTheEnd) {
    WebMachine machine;
    const std::string content(200000, 'p');
    TestServer server([&](const Request&, Connection& c) { c.Write(Answer(200, content)); });
    DWORD lastReceived = 0, total = 0;
    bool ended = false;
    auto client = NewClient([&](DWORD chunk, DWORD received, DWORD expected) {
        if (chunk == HttpClient::kProgressEnd) {
            ended = true;
            return false; // refuses the end signal
        }
        lastReceived = received;
        total = expected;
        return true;
    });
    const HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/"), false, u"", true);
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrCanceled));
    EXPECT_TRUE(ended);
    EXPECT_EQ(lastReceived, content.size());
    EXPECT_EQ(total, content.size());
}
