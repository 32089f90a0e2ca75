#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "jxbase/CSvcThreadEx.h"

namespace {

// An upper bound for waits that should end at once; reaching it fails the test instead of hanging.
constexpr DWORD kBoundMs = 20000;

struct Item {
    int producer = 0;
    int seq = 0;
};

// A worker whose steps a test sets; it records what the worker saw.
class CTestWorker : public CSvcThreadEx<Item> {
public:
    ~CTestWorker() override { Stop(); }

    std::function<bool()> onStart = [] { return true; };
    std::function<void(Item&)> onItem;
    std::function<void()> onTimeout;
    HRESULT initResult = S_OK;

    std::mutex lock;
    std::vector<Item> processed;
    int comCountSeen = -1;
    bool allOnWorker = true;
    bool ended = false;
    size_t processedAtEnd = 0;

protected:
    HRESULT InitCom() override { return FAILED(initResult) ? initResult : CSvcThreadEx::InitCom(); }
    bool OnStart() override {
        comCountSeen = jxplat::ComInitCount();
        return onStart();
    }
    void ProcessItem(Item& item) override {
        {
            std::lock_guard<std::mutex> guard(lock);
            processed.push_back(item);
            allOnWorker = allOnWorker && IsWorkerThread();
        }
        if (onItem)
            onItem(item);
    }
    void OnTimeout() override {
        if (onTimeout)
            onTimeout();
    }
    void OnEnd() override {
        std::lock_guard<std::mutex> guard(lock);
        ended = true;
        processedAtEnd = processed.size();
    }
};

TEST(SvcThread, ItemsOfManyProducersAreAllProcessedInOrderBeforeTheWorkerEnds) {
    CTestWorker worker;
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_EQ(worker.comCountSeen, 1); // COM is initialised on the worker

    constexpr int kProducers = 4;
    constexpr int kItems = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.emplace_back([&worker, p] {
            for (int i = 0; i < kItems; ++i)
                EXPECT_TRUE(worker.PostItem({p, i}));
        });
    for (auto& producer : producers)
        producer.join();
    ASSERT_TRUE(worker.Stop()); // the queue is drained before the worker ends

    EXPECT_FALSE(worker.IsRunning());
    ASSERT_EQ(worker.processed.size(), size_t{kProducers * kItems});
    EXPECT_TRUE(worker.ended);
    EXPECT_EQ(worker.processedAtEnd, worker.processed.size());
    EXPECT_TRUE(worker.allOnWorker);
    std::vector<int> next(kProducers, 0);
    for (const Item& item : worker.processed)
        ASSERT_EQ(item.seq, next[item.producer]++) << "producer " << item.producer;
}

TEST(SvcThread, PostingNeedsARunningWorkerAndARestartTakesItemsAgain) {
    CTestWorker worker;
    EXPECT_FALSE(worker.PostItem({0, 1})); // never started
    EXPECT_TRUE(worker.Stop());            // nothing to stop

    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.PostItem({0, 2}));
    ASSERT_TRUE(worker.Stop());
    EXPECT_FALSE(worker.PostItem({0, 3})); // stopped

    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.PostItem({0, 4}));
    ASSERT_TRUE(worker.Stop());
    ASSERT_EQ(worker.processed.size(), 2u);
    EXPECT_EQ(worker.processed[0].seq, 2);
    EXPECT_EQ(worker.processed[1].seq, 4);
}

TEST(SvcThread, AStartThatFailsOnTheWorkerFailsStartAndRefusesItems) {
    struct Case {
        const char* name;
        bool onStart;
        HRESULT initResult;
    };
    for (const Case& c : {Case{"OnStartRefuses", false, S_OK}, Case{"ComDoesNotStart", true, E_FAIL}}) {
        SCOPED_TRACE(c.name);
        CTestWorker worker;
        worker.onStart = [&] { return c.onStart; };
        worker.initResult = c.initResult;
        // The worker ends without a positive answer; Start must see it rather than wait out its bound.
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(worker.Start(INFINITE, kBoundMs));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(kBoundMs / 2));
        EXPECT_FALSE(worker.IsRunning());
        EXPECT_FALSE(worker.PostItem({0, 1}));
        EXPECT_TRUE(worker.Stop());
        EXPECT_TRUE(worker.processed.empty());
    }
}

TEST(SvcThread, StopFromTheWorkerOrWithAnExpiredWaitLeavesTheThreadToFinish) {
    CTestWorker worker;
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE inItem = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool stopFromWorker = true;
    worker.onItem = [&](Item& item) {
        if (item.seq == 1) {
            stopFromWorker = worker.Stop(); // asks for the end, cannot wait for itself
            SetEvent(inItem);
            WaitForSingleObject(release, kBoundMs);
        }
    };
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.PostItem({0, 1}));
    ASSERT_TRUE(worker.PostItem({0, 2}));
    ASSERT_EQ(WaitForSingleObject(inItem, kBoundMs), WAIT_OBJECT_0);
    EXPECT_FALSE(stopFromWorker);
    EXPECT_TRUE(worker.IsStopRequested());

    EXPECT_FALSE(worker.Stop(0)); // the worker is busy: it is left running, never killed
    EXPECT_TRUE(worker.IsRunning());
    SetEvent(release);
    EXPECT_TRUE(worker.Stop());
    EXPECT_EQ(worker.processed.size(), 2u); // the item queued behind the stop request still ran
    CloseHandle(release);
    CloseHandle(inItem);
}

TEST(SvcThread, AnIdleWorkerCallsOnTimeoutAfterItsWait) {
    CTestWorker worker;
    HANDLE timedOut = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    worker.onTimeout = [&] { SetEvent(timedOut); };
    ASSERT_TRUE(worker.Start(1));
    EXPECT_EQ(WaitForSingleObject(timedOut, kBoundMs), WAIT_OBJECT_0);
    EXPECT_TRUE(worker.Stop());
    CloseHandle(timedOut);
}

} // namespace
