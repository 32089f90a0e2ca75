// The object lock: the holder may take it again, and a waiter keeps waiting (reporting each
// second) until the holder lets go. Threads meet on events and counters; nothing sleeps.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "loader_support.h"

using namespace JxSetup::Data;

namespace {

// An auto-reset event of the platform.
class CEvent {
public:
    CEvent() : m_Handle(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~CEvent() { CloseHandle(m_Handle); }
    void Set() { SetEvent(m_Handle); }
    void Wait() { ASSERT_EQ(WaitForSingleObject(m_Handle, INFINITE), WAIT_OBJECT_0); }

private:
    HANDLE m_Handle;
};

class DataLock : public ::testing::Test {
protected:
    // Short slices, each one that a waiter spends without the lock counted.
    DataLock() {
        m_Data.m_Mutex.SetSliceForTesting(1);
        m_Data.m_Mutex.SetSliceObserverForTesting([this](unsigned) {
            ++m_Slices;
            m_SliceEnded.Set();
        });
    }
    // Returns once waiters have spent `count` slices without the lock in all.
    void WaitForSlices(unsigned count) {
        while (m_Slices.load() < count)
            m_SliceEnded.Wait();
    }

    jxtest::TempMachineRoot m_Root;
    jxloadertest::CLogLines m_Log;
    std::atomic<unsigned> m_Slices{0};
    CEvent m_SliceEnded;
    JxData m_Data;
};

TEST_F(DataLock, HolderTakesItAgainAndEveryTakeNeedsItsRelease) {
    std::atomic<bool> otherHolds{false};
    m_Data.LockObject();
    m_Data.LockObject(); // the holder does not wait for itself
    EXPECT_TRUE(m_Data.m_Mutex.IsHeldByCurrentThread());

    std::thread other([&] {
        CJxDataLock lock(m_Data);
        otherHolds = true;
    });
    WaitForSlices(1);
    m_Data.UnlockObject();
    // One take is still held: a whole slice after the first release, the other thread still waits.
    WaitForSlices(m_Slices.load() + 2);
    EXPECT_FALSE(otherHolds);
    m_Data.UnlockObject();
    other.join();
    EXPECT_TRUE(otherHolds);
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

TEST_F(DataLock, WaiterNeverGivesUpAndWritesAWarningEachSecond) {
    std::atomic<bool> otherHolds{false};
    m_Data.LockObject();
    std::thread other([&] {
        CJxDataLock lock(m_Data);
        otherHolds = true;
    });
    // Three seconds' worth of slices: far beyond the first second's twenty.
    WaitForSlices(3 * CJxObjectLock::kSlicesPerWarning);
    EXPECT_FALSE(otherHolds) << "no operation goes on without the lock";
    EXPECT_GE(m_Log.Count("WARNING", "The object is busy: waited "), 3u) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("WARNING", "waited 20 ms for its lock. Still waiting.")) << "20 slices of 1 ms";
    m_Data.UnlockObject();
    other.join();
    EXPECT_TRUE(otherHolds);
}

TEST_F(DataLock, ReleaseWithoutTakeReleasesNothing) {
    std::atomic<bool> otherHolds{false};
    m_Data.LockObject();
    std::thread other([&] {
        m_Data.UnlockObject(); // a stray release must not free the holder's lock
        CJxDataLock lock(m_Data);
        otherHolds = true;
    });
    WaitForSlices(1);
    EXPECT_FALSE(otherHolds);
    EXPECT_TRUE(m_Log.Has("ERROR", "does not hold the object lock")) << m_Log.Dump();
    m_Data.UnlockObject();
    other.join();
    EXPECT_TRUE(otherHolds);
}

} // namespace
