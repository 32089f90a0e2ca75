// The client helper: synchronous and asynchronous sending, cancels, and clients whose worker
// outlives its waiter or its helper.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "jxweb/HttpClientHelper.h"
#include "web_test_support.h"

using namespace jxwebtest;

namespace {

// Waits (bounded) until the condition holds; the worker's last steps run on its own thread.
template <typename F> bool Eventually(F condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

struct DispatchCounter {
    std::atomic<int> count{0};
    DispatchCounter() {
        jxplat::SetDispatchCapture([this](const MSG& m) {
            if (m.message == WM_APP + 7)
                ++count;
        });
    }
    ~DispatchCounter() { jxplat::SetDispatchCapture({}); }
};

} // namespace

TEST(HttpClientHelper, SynchronousRequestsShareOneClientAndItsSettings) {
    WebMachine machine;
    TestServer server(
        [](const Request& q, Connection& c) { c.Write(Answer(200, q.Header("Authorization"))); });
    HttpClientHelper helper({}, {}, 1024, false, 0);
    helper.SetBearerToken(u"t0ken");
    const auto first = helper.Send(HttpClient::Get, server.Url("/1"), false, u"");
    const auto second = helper.Send(HttpClient::Get, server.Url("/2"), false, u"");
    EXPECT_EQ(BodyText(first), "Bearer t0ken");
    EXPECT_EQ(BodyText(second), "Bearer t0ken");
    EXPECT_EQ(helper.ClientCount(), 1u);
}

TEST(HttpClientHelper, AnAsynchronousRequestDispatchesMessagesWhileItWaits) {
    WebMachine machine;
    DispatchCounter dispatched;
    // The server answers only once the waiting thread has dispatched the three messages.
    TestServer server([&](const Request&, Connection& c) {
        Eventually([&] { return dispatched.count == 3; });
        c.Write(Answer(200, "async body"));
    });
    HttpClientHelper asynchronous({}, {}, 1024, true, 0);
    HttpClientHelper synchronous({}, {}, 1024, false, 0);
    for (int i = 0; i < 3; ++i)
        PostThreadMessageW(GetCurrentThreadId(), WM_APP + 7, i, 0);
    const auto a = asynchronous.Send(HttpClient::Get, server.Url("/"), false, u"");
    EXPECT_EQ(dispatched.count, 3);
    const auto s = synchronous.Send(HttpClient::Get, server.Url("/"), false, u"");
    EXPECT_EQ(a.error, 0u);
    EXPECT_EQ(a.status, s.status);
    EXPECT_EQ(BodyText(a), BodyText(s));
    EXPECT_EQ(a.GetHeader(u"Content-Length"), s.GetHeader(u"Content-Length"));
    ASSERT_TRUE(Eventually([&] { return !asynchronous.GetActualClient()->m_WorkerRunning; }));
    EXPECT_EQ(asynchronous.ClientCount(), 1u); // reused
}

// The cancel comes from another thread while the waiting thread still dispatches its messages.
TEST(HttpClientHelper, ACancelGivesTheWorkersCancelNeverASuccess) {
    WebMachine machine;
    DispatchCounter dispatched;
    std::promise<void> seen;
    TestServer server([&](const Request&, Connection& c) {
        seen.set_value();
        c.WaitStop(10000);
    });
    HttpClientHelper helper({}, {}, 1024, true, 0);
    auto client = helper.GetActualClient();
    const DWORD waiter = GetCurrentThreadId();
    std::thread canceller([&] {
        seen.get_future().wait();
        PostThreadMessageW(waiter, WM_APP + 7, 0, 0);
        Eventually([&] { return dispatched.count == 1; });
        client->Cancel();
    });
    const auto r = helper.Send(HttpClient::Get, server.Url("/"), false, u"");
    canceller.join();
    EXPECT_EQ(dispatched.count, 1);
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrCanceled));
}

TEST(HttpClientHelper, AWorkerThatOutlivesTheCancelWaitIsLeftToFinishOnItsOwn) {
    WebMachine machine;
    TestServer server([](const Request&, Connection& c) { c.Write(Answer(200, "late")); });
    std::promise<void> inProgress, release;
    auto released = release.get_future().share();
    std::atomic<bool> first{true};
    HttpClientHelper helper(
        {},
        [&](DWORD chunk, DWORD, DWORD) {
            if (chunk != HttpClient::kProgressEnd && first.exchange(false)) {
                inProgress.set_value();
                released.wait(); // the worker is busy far beyond the cancel wait
            }
            return true;
        },
        1024, true, 0);
    auto busy = helper.GetActualClient();
    busy->m_CancelWait = 100;
    busy->SetRequestHeader(u"X-First", u"1");
    std::thread canceller([&] {
        inProgress.get_future().wait();
        busy->Cancel();
    });
    const auto r = helper.Send(HttpClient::Get, server.Url("/"), false, u"");
    canceller.join();
    EXPECT_EQ(r.error, static_cast<DWORD>(HttpClient::ErrAsyncTimeout));

    // The busy client gets no new request: a fresh one, without the first one's settings.
    auto fresh = helper.GetActualClient();
    EXPECT_NE(fresh.get(), busy.get());
    EXPECT_EQ(helper.ClientCount(), 2u);
    release.set_value();
    ASSERT_TRUE(Eventually([&] { return !busy->m_WorkerRunning; }));
    helper.GetActualClient();
    EXPECT_EQ(helper.ClientCount(), 1u);
    const auto next = helper.Send(HttpClient::Get, server.Url("/"), false, u"");
    EXPECT_EQ(next.error, 0u);
    EXPECT_FALSE(server.Requests().back().HasHeader("X-First"));
}

TEST(HttpClientHelper, ADestroyedHelpersRunningClientIsLeftAloneAndFreedByItsWorker) {
    WebMachine machine;
    TestServer server([](const Request&, Connection& c) { c.Write(Answer(200, "x")); });
    std::promise<void> inProgress, release;
    auto released = release.get_future().share();
    std::weak_ptr<HttpClient> watched;
    {
        auto helper = std::make_unique<HttpClientHelper>(
            HttpClient::FileTargetCallback{},
            [&](DWORD chunk, DWORD, DWORD) {
                if (chunk != HttpClient::kProgressEnd) {
                    inProgress.set_value();
                    released.wait();
                }
                return true;
            },
            1024, true, 0);
        auto client = helper->GetActualClient();
        watched = client;
        client->m_CancelWait = 50;
        std::thread canceller([&] {
            inProgress.get_future().wait();
            client->Cancel();
        });
        EXPECT_EQ(helper->Send(HttpClient::Get, server.Url("/"), false, u"").error,
                  static_cast<DWORD>(HttpClient::ErrAsyncTimeout));
        canceller.join();
        client.reset();
        helper.reset(); // the worker still runs: its client goes on the invalid list
    }
    EXPECT_FALSE(watched.expired());
    release.set_value();
    EXPECT_TRUE(Eventually([&] { return watched.expired(); }));
}
