// The bandwidth limit of the body loop and the pieces of a request body, with the limit's clock and
// wait replaced so that nothing waits for real time.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "web_test_support.h"

using namespace jxwebtest;

namespace {

constexpr LONGLONG kTicksPerSecond = 1000000000; // the stand-in's performance-counter frequency

// What the body loop did, in order: "wait <ms>" and "chunk <bytes>" (the end signal left out).
struct CThrottleRecord {
    std::vector<std::string> events;
    int clockReads = 0;
};

// A client whose clock moves on by the step at every reading and whose wait only records (and
// reports a cancel when told to).
std::shared_ptr<HttpClient> ThrottledClient(CThrottleRecord& record, LONG limit, double secondsPerReading,
                                            bool cancelInWait = false) {
    auto client = NewClient([&record](DWORD chunk, DWORD, DWORD) {
        if (chunk != HttpClient::kProgressEnd)
            record.events.push_back("chunk " + std::to_string(chunk));
        return true;
    });
    client->m_BandwidthLimit = limit;
    const auto step = static_cast<LONGLONG>(secondsPerReading * kTicksPerSecond);
    auto now = std::make_shared<LONGLONG>(1);
    client->SetThrottleForTesting(
        [&record, now, step] {
            ++record.clockReads;
            return *now += step;
        },
        [&record, cancelInWait](DWORD milliseconds) {
            record.events.push_back("wait " + std::to_string(milliseconds));
            return cancelInWait;
        });
    return client;
}

Script Body(size_t size) {
    return [size](const Request&, Connection& c) { c.Write(Answer(200, std::string(size, 'b'))); };
}

} // namespace

// One chunk per answer: the wait is the rest of the chunk's share of the limit, truncated to whole
// milliseconds, and it comes before the chunk's progress call.
TEST(HttpClientThrottle, AChunkFasterThanTheLimitWaitsTheRestOfItsShare) {
    WebMachine machine;
    struct Case {
        LONG limit;
        double seconds; // between the start of the pass and the end of the chunk
        size_t size;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {1000, 0.5, 4000, {"wait 3500", "chunk 4000"}},
        {3000, 0.1234, 1000, {"wait 209", "chunk 1000"}}, // 209.93 ms
        {4000, 1.0, 4000, {"chunk 4000"}},                // exactly the limit: no wait
        {8000, 1.0, 4000, {"chunk 4000"}},
        {0, 0.5, 4000, {"chunk 4000"}}, // unlimited
        {-5, 0.5, 4000, {"chunk 4000"}},
    };
    for (const Case& c : cases) {
        TestServer server(Body(c.size));
        CThrottleRecord record;
        auto client = ThrottledClient(record, c.limit, c.seconds);
        const HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/b"), false, u"", true);
        const std::string label =
            "limit " + std::to_string(c.limit) + ", " + std::to_string(c.seconds) + " s";
        EXPECT_EQ(r.error, 0u) << label;
        EXPECT_EQ(r.bodyLength, c.size) << label;
        EXPECT_EQ(record.events, c.events) << label;
        if (c.limit <= 0)
            EXPECT_EQ(record.clockReads, 0) << label;
    }
}

// Many chunks: each pass is measured from its own start, so every chunk waits for its own share
// and the waits add up to the body's time at the limit less the time the chunks took.
TEST(HttpClientThrottle, EveryChunkOfALongBodyIsMeasuredOnItsOwn) {
    WebMachine machine;
    const size_t size = 600000;
    TestServer server([](const Request&, Connection& c) {
        const std::string answer = Answer(200, std::string(size, 'b'));
        for (size_t at = 0; at < answer.size(); at += 50000)
            c.Write(answer.substr(at, 50000));
    });
    CThrottleRecord record;
    auto client = ThrottledClient(record, 100000, 0.001); // 100 kB/s, 1 ms per chunk
    const HttpClient::Result r = client->Send(HttpClient::Get, server.Url("/b"), false, u"", true);
    ASSERT_EQ(r.error, 0u);
    ASSERT_EQ(r.bodyLength, size);
    long long waited = 0;
    size_t chunks = 0;
    for (size_t i = 0; i < record.events.size(); ++i) {
        if (record.events[i].rfind("chunk ", 0) != 0)
            continue;
        ASSERT_GT(i, 0u);
        ASSERT_EQ(record.events[i - 1].rfind("wait ", 0), 0u) << "chunk without its wait: " << i;
        const long long chunk = std::stoll(record.events[i].substr(6));
        const long long wait = std::stoll(record.events[i - 1].substr(5));
        EXPECT_NEAR(wait, chunk / 100 - 1, 1) << "chunk of " << chunk;
        waited += wait;
        ++chunks;
    }
    EXPECT_GT(chunks, 1u);
    EXPECT_NEAR(waited, 6000 - static_cast<long long>(chunks), static_cast<long long>(chunks));
}

// A cancel during the wait ends the download at once: no progress call for the chunk, a cancel in
// the result, and no file under the name asked for.
TEST(HttpClientThrottle, ACancelDuringTheWaitEndsTheDownload) {
    WebMachine machine;
    TestServer server(Body(4000));
    CThrottleRecord record;
    auto client = ThrottledClient(record, 1000, 0.5, true);
    jxtest::WriteMachineFile(u"C:\\dl\\keep.txt");
    const HttpClient::Result r =
        client->Send(HttpClient::Get, server.Url("/b"), true, u"C:\\dl\\b.bin", true);
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrCanceled));
    EXPECT_EQ(record.events, std::vector<std::string>{"wait 3500"});
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\dl\\b.bin"));
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\dl\\b.bin.jxpart"));
}

// A request body goes out in pieces of at most 65536 bytes, each after the one before it.
TEST(HttpClientRequestBody, IsSentInPiecesOfAtMost65536Bytes) {
    WebMachine machine;
    TestServer server(
        [](const Request& q, Connection& c) { c.Write(Answer(200, std::to_string(q.body.size()))); });
    struct Case {
        size_t size;
        std::vector<DWORD> pieces;
    };
    for (const Case& c : {Case{200000, {65536, 65536, 65536, 3392}}, Case{65536, {65536}}, Case{1, {1}}}) {
        std::string body(c.size, '\0');
        for (size_t i = 0; i < body.size(); ++i)
            body[i] = static_cast<char>(i * 7 + i / 251); // no piece looks like another
        auto client = NewClient();
        std::vector<DWORD> pieces;
        client->SetRequestPieceObserverForTesting([&pieces](DWORD piece) { pieces.push_back(piece); });
        client->SetRequestBody(body.data(), static_cast<DWORD>(body.size()), false);
        const HttpClient::Result r = client->Send(HttpClient::Post, server.Url("/up"), false, u"", true);
        ASSERT_EQ(r.error, 0u) << c.size;
        EXPECT_EQ(pieces, c.pieces) << c.size;
        EXPECT_EQ(server.Requests().back().body, body) << c.size;
    }
}
