// The engine's thread pool: named threads run their work and completion once per request, and a
// thread is never deleted, nor the pool destroyed, while its worker still runs.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxengine/JxThreadPool.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::JxThread;
using JxSetup::Data::JxThreadPool;
using JxSetup::Data::JxThreadRequest;

namespace {

constexpr DWORD kLong = 30000;

// A request that derives from the pool's head, as a caller's record does.
struct CJob : JxThreadRequest {
    std::atomic<int> worked{0};
    std::atomic<int> completed{0};
    std::atomic<bool> stopSeenByCompletion{false};
    std::atomic<DWORD> workerThread{0};
};

void Work(JxThreadRequest* request) {
    auto* job = static_cast<CJob*>(request);
    job->workerThread = GetCurrentThreadId();
    ++job->worked;
}

void Complete(JxThreadRequest* request) {
    auto* job = static_cast<CJob*>(request);
    job->stopSeenByCompletion = job->stop.load();
    ++job->completed;
}

// An event that closes itself.
struct CEvent {
    CEvent() : handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CEvent() { CloseHandle(handle); }
    HANDLE handle;
};

} // namespace

TEST(ThreadPool, CreatesEachNameOnceAndOnlyWithBothFunctions) {
    jxtest::TempMachineRoot root;
    JxThreadPool pool;
    EXPECT_TRUE(pool.CreateThread("scan", Work, Complete));
    EXPECT_FALSE(pool.CreateThread("scan", Work, Complete));
    EXPECT_FALSE(pool.CreateThread("other", nullptr, Complete));
    EXPECT_FALSE(pool.CreateThread("other", Work, nullptr));
    // Unknown names change nothing.
    EXPECT_TRUE(pool.RemoveThread("other"));
    pool.WaitForThread("other", 0);
    CJob job;
    job.threadName = "other";
    EXPECT_TRUE(pool.StartThread(&job));
    EXPECT_EQ(job.worked, 0);
    // A removed name can be created again.
    EXPECT_TRUE(pool.RemoveThread("scan"));
    EXPECT_TRUE(pool.CreateThread("scan", Work, Complete));
}

TEST(ThreadPool, RunsWorkThenCompletionOnTheWorkerOnce) {
    jxtest::TempMachineRoot root;
    JxThreadPool pool;
    ASSERT_TRUE(pool.CreateThread("scan", Work, Complete));
    CJob job;
    job.threadName = "scan";
    EXPECT_TRUE(pool.StartThread(&job));
    pool.WaitForThread("scan", kLong);
    EXPECT_EQ(job.worked, 1);
    EXPECT_EQ(job.completed, 1);
    EXPECT_TRUE(job.stop);
    EXPECT_TRUE(job.stopSeenByCompletion); // the flag is set before the completion runs
    EXPECT_NE(job.workerThread, GetCurrentThreadId());
    // A thread runs once: a second start does nothing.
    CJob again;
    again.threadName = "scan";
    EXPECT_TRUE(pool.StartThread(&again));
    pool.WaitForThread("scan", kLong);
    EXPECT_EQ(again.worked, 0);
    EXPECT_FALSE(again.stop);
}

TEST(ThreadPool, StartWithoutBothFunctionsStartsNothing) {
    jxtest::TempMachineRoot root;
    JxThread thread;
    CJob job;
    EXPECT_EQ(thread.Start(&job), -1);
    thread.SetFunctions(Work, nullptr);
    EXPECT_EQ(thread.Start(&job), -1);
    EXPECT_EQ(thread.GetThreadHandle(), nullptr);
    thread.Wait(kLong); // never started: nothing to wait for
}

TEST(ThreadPool, RemovingOrDestroyingWaitsForARunningWorker) {
    jxtest::TempMachineRoot root;
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "remove");
        CEvent started, release;
        CJob job;
        job.threadName = "busy";
        auto pool = std::make_unique<JxThreadPool>();
        ASSERT_TRUE(pool->CreateThread(
            "busy",
            [&](JxThreadRequest* request) {
                SetEvent(started.handle);
                WaitForSingleObject(release.handle, INFINITE);
                Work(request);
            },
            Complete));
        ASSERT_TRUE(pool->StartThread(&job));
        ASSERT_EQ(WaitForSingleObject(started.handle, kLong), WAIT_OBJECT_0);
        // The worker is held in its work: the release comes from another thread while the owner
        // waits in RemoveThread or in the destructor.
        std::thread releaser([&] { SetEvent(release.handle); });
        if (destroy)
            pool.reset();
        else
            EXPECT_TRUE(pool->RemoveThread("busy"));
        // Both functions ran to their end before the thread object went away.
        EXPECT_EQ(job.worked, 1);
        EXPECT_EQ(job.completed, 1);
        releaser.join();
    }
}
