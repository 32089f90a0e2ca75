#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "jxbase/sharedmutex.h"
#include "jxtest/machine_root.h"

using Jxlockprimitives_legacy::ConditionEventTraitsT;
using Jxlockprimitives_legacy::CSharedMutex;

namespace {

constexpr DWORD kLong = 10000; // bounds waits that must succeed, so a fault fails instead of hanging

jxplat::MachineDescription WindowsMajor(DWORD major) {
    jxplat::MachineDescription d;
    d.windowsMajor = major;
    return d;
}

// A fresh machine of the given Windows version, and the lock mode decided anew on it.
class SharedMutexTest : public testing::TestWithParam<DWORD> {
protected:
    SharedMutexTest() : m_root(WindowsMajor(GetParam())) { CSharedMutex::ResetLockModeForTesting(); }
    ~SharedMutexTest() override { CSharedMutex::ResetLockModeForTesting(); }
    bool SlimExpected() const { return GetParam() >= 6; }

    jxtest::TempMachineRoot m_root;
};

struct Event {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Event() { CloseHandle(h); }
};

bool TryFromOtherThread(CSharedMutex& mutex) {
    bool taken = false;
    std::thread([&] {
        taken = mutex.TryLock();
        if (taken)
            mutex.Unlock(GetCurrentThreadId());
    }).join();
    return taken;
}

} // namespace

TEST_P(SharedMutexTest, ModeFollowsTheKernel32ExportsAndIsDecidedOnce) {
    CSharedMutex first;
    EXPECT_EQ(first.IsSlimLock(), SlimExpected());
    // The machine changes, the decision stays for the process.
    m_root.Describe(WindowsMajor(SlimExpected() ? 5 : 10));
    CSharedMutex second;
    EXPECT_EQ(second.IsSlimLock(), SlimExpected());
}

TEST_P(SharedMutexTest, ExclusiveOwnerIsRecordedWhileHeld) {
    CSharedMutex mutex;
    EXPECT_EQ(mutex.OwnerThreadId(), 0u);
    DWORD id = mutex.Lock(true);
    EXPECT_EQ(id, GetCurrentThreadId());
    EXPECT_EQ(mutex.OwnerThreadId(), id);
    EXPECT_FALSE(TryFromOtherThread(mutex));
    mutex.Unlock(id);
    EXPECT_EQ(mutex.OwnerThreadId(), 0u);
    EXPECT_TRUE(TryFromOtherThread(mutex));

    EXPECT_TRUE(mutex.TryLock());
    EXPECT_EQ(mutex.OwnerThreadId(), GetCurrentThreadId());
    EXPECT_FALSE(TryFromOtherThread(mutex));
    mutex.Unlock(GetCurrentThreadId());
    EXPECT_EQ(mutex.OwnerThreadId(), 0u);
}

TEST_P(SharedMutexTest, WaitForMultipleReleasesTheLockForTheWait) {
    ConditionEventTraitsT<CSharedMutex> traits;
    Event done;
    std::atomic<bool> otherLocked{false};
    DWORD id = traits.Mutex().Lock(true);
    std::thread other([&] {
        DWORD otherId = traits.Mutex().Lock(true);
        otherLocked = true;
        traits.Mutex().Unlock(otherId);
        SetEvent(done.h);
    });
    DWORD result = traits.WaitForMultiple(id, true, 1, &done.h, FALSE, kLong);
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_TRUE(otherLocked.load());
    EXPECT_EQ(id, GetCurrentThreadId());
    EXPECT_EQ(traits.Mutex().OwnerThreadId(), id);
    traits.Mutex().Unlock(id);
    other.join();

    // A failed wait still gives the lock back, and its result unchanged.
    id = traits.Mutex().Lock(true);
    HANDLE bad = nullptr;
    EXPECT_EQ(traits.WaitForMultiple(id, true, 1, &bad, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(traits.Mutex().OwnerThreadId(), GetCurrentThreadId());
    traits.Mutex().Unlock(id);
}

INSTANTIATE_TEST_SUITE_P(WindowsVersions, SharedMutexTest, testing::Values(DWORD{10}, DWORD{5}),
                         [](const testing::TestParamInfo<DWORD>& info) {
                             return info.param >= 6 ? "SlimLock" : "CriticalSection";
                         });

using SlimSharedMutexTest = SharedMutexTest;

TEST_P(SlimSharedMutexTest, WriterWaitsUntilBothSharedHoldersUnlock) {
    CSharedMutex mutex;
    ASSERT_TRUE(mutex.IsSlimLock());
    Event held[2], release[2], writerTrying, writerIn, writerRelease;
    std::thread readers[2];
    for (int i = 0; i < 2; ++i) {
        readers[i] = std::thread([&, i] {
            DWORD id = mutex.Lock(false);
            SetEvent(held[i].h);
            WaitForSingleObject(release[i].h, kLong);
            mutex.Unlock(id);
        });
    }
    HANDLE bothHeld[2] = {held[0].h, held[1].h};
    ASSERT_EQ(WaitForMultipleObjects(2, bothHeld, TRUE, kLong), WAIT_OBJECT_0);
    EXPECT_EQ(mutex.OwnerThreadId(), 0u); // shared holders are not recorded
    EXPECT_FALSE(mutex.TryLock());

    std::atomic<DWORD> writerId{0};
    std::thread writer([&] {
        SetEvent(writerTrying.h);
        DWORD id = mutex.Lock(true);
        writerId = id;
        SetEvent(writerIn.h);
        WaitForSingleObject(writerRelease.h, kLong);
        mutex.Unlock(id);
    });
    ASSERT_EQ(WaitForSingleObject(writerTrying.h, kLong), WAIT_OBJECT_0);
    SetEvent(release[0].h);
    readers[0].join();
    EXPECT_EQ(WaitForSingleObject(writerIn.h, 0), WAIT_TIMEOUT); // one shared holder is left
    EXPECT_FALSE(mutex.TryLock());

    SetEvent(release[1].h);
    readers[1].join();
    ASSERT_EQ(WaitForSingleObject(writerIn.h, kLong), WAIT_OBJECT_0);
    EXPECT_EQ(mutex.OwnerThreadId(), writerId.load());
    EXPECT_FALSE(mutex.TryLock());
    SetEvent(writerRelease.h);
    writer.join();
    EXPECT_EQ(mutex.OwnerThreadId(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Windows10, SlimSharedMutexTest, testing::Values(DWORD{10}));

using CriticalSectionSharedMutexTest = SharedMutexTest;

TEST_P(CriticalSectionSharedMutexTest, SharedRequestsAreExclusiveAndReentrant) {
    CSharedMutex mutex;
    ASSERT_FALSE(mutex.IsSlimLock());
    DWORD id = mutex.Lock(false);
    EXPECT_EQ(mutex.OwnerThreadId(), id); // a shared request owns the section
    EXPECT_FALSE(TryFromOtherThread(mutex));

    EXPECT_EQ(mutex.Lock(false), id); // the owner may lock again
    EXPECT_EQ(mutex.Lock(true), id);
    mutex.Unlock(id);
    mutex.Unlock(id);
    EXPECT_EQ(mutex.OwnerThreadId(), id); // until its last unlock
    EXPECT_FALSE(TryFromOtherThread(mutex));

    // Another shared request waits for the holder.
    Event trying;
    std::atomic<bool> released{false};
    std::atomic<bool> sawReleased{false};
    std::thread other([&] {
        SetEvent(trying.h);
        DWORD otherId = mutex.Lock(false);
        sawReleased = released.load();
        mutex.Unlock(otherId);
    });
    ASSERT_EQ(WaitForSingleObject(trying.h, kLong), WAIT_OBJECT_0);
    for (int i = 0; i < 100; ++i)
        std::this_thread::yield();
    released = true;
    mutex.Unlock(id);
    other.join();
    EXPECT_TRUE(sawReleased.load());
    EXPECT_EQ(mutex.OwnerThreadId(), 0u);
    EXPECT_TRUE(TryFromOtherThread(mutex));
}

INSTANTIATE_TEST_SUITE_P(WindowsXp, CriticalSectionSharedMutexTest, testing::Values(DWORD{5}));
