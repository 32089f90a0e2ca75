#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <windows.h>

#include "kernel_test_threads.h"

using kerneltest::kLong;
using kerneltest::StartThread;

namespace {

// Runs `body` on another thread and returns its result.
DWORD OnOtherThread(std::function<DWORD()> body) {
    HANDLE thread = StartThread(std::move(body));
    WaitForSingleObject(thread, kLong);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

DWORD OwnerOf(const CRITICAL_SECTION& section) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(section.OwningThread));
}

} // namespace

TEST(KernelCriticalSection, IsReentrantAndKeepsTheWindowsFields) {
    CRITICAL_SECTION section;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 0));
    EXPECT_EQ(section.LockCount, -1);
    EXPECT_EQ(section.RecursionCount, 0);

    auto tryFromOtherThread = [&] {
        return OnOtherThread([&]() -> DWORD {
            if (!TryEnterCriticalSection(&section))
                return 0;
            LeaveCriticalSection(&section);
            return 1;
        });
    };

    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_EQ(section.RecursionCount, 2);
    EXPECT_EQ(OwnerOf(section), GetCurrentThreadId());
    EXPECT_EQ(tryFromOtherThread(), 0u);

    // A thread that does not own the section cannot leave it.
    OnOtherThread([&] {
        LeaveCriticalSection(&section);
        return 0u;
    });
    EXPECT_EQ(section.RecursionCount, 2);

    LeaveCriticalSection(&section);
    EXPECT_EQ(section.RecursionCount, 1);
    EXPECT_EQ(OwnerOf(section), GetCurrentThreadId());
    EXPECT_EQ(tryFromOtherThread(), 0u);

    LeaveCriticalSection(&section);
    EXPECT_EQ(section.RecursionCount, 0);
    EXPECT_EQ(section.OwningThread, nullptr);
    EXPECT_EQ(section.LockCount, -1);
    EXPECT_EQ(tryFromOtherThread(), 1u);
    DeleteCriticalSection(&section);
}

TEST(KernelCriticalSection, ExcludesAnotherThreadUntilLeft) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    HANDLE entering = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> left{false};
    EnterCriticalSection(&section);
    HANDLE thread = StartThread([&] {
        SetEvent(entering);
        EnterCriticalSection(&section);
        DWORD sawLeft = left.load() ? 1 : 0;
        LeaveCriticalSection(&section);
        return sawLeft;
    });
    ASSERT_EQ(WaitForSingleObject(entering, kLong), WAIT_OBJECT_0);
    left = true;
    LeaveCriticalSection(&section);
    ASSERT_EQ(WaitForSingleObject(thread, kLong), WAIT_OBJECT_0);
    DWORD sawLeft = 0;
    GetExitCodeThread(thread, &sawLeft);
    EXPECT_EQ(sawLeft, 1u);
    CloseHandle(thread);
    CloseHandle(entering);
    DeleteCriticalSection(&section);
}

TEST(KernelSrwLock, TryAcquireFollowsReaderAndWriterRules) {
    SRWLOCK lock = SRWLOCK_INIT;
    EXPECT_TRUE(TryAcquireSRWLockShared(&lock));
    EXPECT_TRUE(TryAcquireSRWLockShared(&lock));
    EXPECT_FALSE(TryAcquireSRWLockExclusive(&lock));
    ReleaseSRWLockShared(&lock);
    ReleaseSRWLockShared(&lock);
    EXPECT_EQ(lock.Ptr, nullptr);

    AcquireSRWLockExclusive(&lock);
    EXPECT_FALSE(TryAcquireSRWLockExclusive(&lock));
    EXPECT_FALSE(TryAcquireSRWLockShared(&lock));
    ReleaseSRWLockExclusive(&lock);
    EXPECT_TRUE(TryAcquireSRWLockExclusive(&lock));
    ReleaseSRWLockExclusive(&lock);
    EXPECT_EQ(lock.Ptr, nullptr);
}

TEST(KernelSrwLock, AWriterWaitsForBothReadersAndKeepsNewReadersOut) {
    SRWLOCK lock;
    InitializeSRWLock(&lock);
    HANDLE held[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                      CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE release[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                         CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE readers[2];
    for (int i = 0; i < 2; ++i) {
        readers[i] = StartThread([&, i] {
            AcquireSRWLockShared(&lock);
            SetEvent(held[i]);
            WaitForSingleObject(release[i], kLong);
            ReleaseSRWLockShared(&lock);
            return 0u;
        });
    }
    ASSERT_EQ(WaitForMultipleObjects(2, held, TRUE, kLong), WAIT_OBJECT_0);

    std::atomic<int> readersLeft{2};
    std::atomic<int> readersLeftWhenWriterEntered{-1};
    HANDLE writer = StartThread([&] {
        AcquireSRWLockExclusive(&lock);
        readersLeftWhenWriterEntered = readersLeft.load();
        ReleaseSRWLockExclusive(&lock);
        return 0u;
    });
    // Once the writer waits, it marks the lock (bit 1) and new readers stay out.
    auto word = [&] { return std::atomic_ref<PVOID>(lock.Ptr).load(); };
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLong);
    while (!(reinterpret_cast<uintptr_t>(word()) & 2) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    ASSERT_TRUE(reinterpret_cast<uintptr_t>(word()) & 2) << "the writer never waited";
    EXPECT_FALSE(TryAcquireSRWLockShared(&lock));
    EXPECT_FALSE(TryAcquireSRWLockExclusive(&lock));

    readersLeft = 1;
    SetEvent(release[0]);
    ASSERT_EQ(WaitForSingleObject(readers[0], kLong), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(writer, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(TryAcquireSRWLockExclusive(&lock));

    readersLeft = 0;
    SetEvent(release[1]);
    ASSERT_EQ(WaitForSingleObject(writer, kLong), WAIT_OBJECT_0);
    EXPECT_EQ(readersLeftWhenWriterEntered.load(), 0);
    EXPECT_EQ(WaitForSingleObject(readers[1], kLong), WAIT_OBJECT_0);
    EXPECT_EQ(lock.Ptr, nullptr);
    for (HANDLE h : {held[0], held[1], release[0], release[1], readers[0], readers[1], writer})
        CloseHandle(h);
}

TEST(KernelInterlocked, OperationsReturnTheDocumentedValuesAndDoNotLoseCounts) {
    LONG volatile value = 5;
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 4), 5);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 5), 5);
    EXPECT_EQ(value, 9);
    EXPECT_EQ(InterlockedExchange(&value, 1), 9);
    EXPECT_EQ(InterlockedIncrement(&value), 2);
    EXPECT_EQ(InterlockedDecrement(&value), 1);

    int a = 0, b = 0;
    PVOID volatile pointer = nullptr;
    EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &a, nullptr), nullptr);
    EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &b, nullptr), &a);
    EXPECT_EQ(pointer, &a);

    LONG volatile counter = 0;
    HANDLE threads[4];
    for (HANDLE& thread : threads) {
        thread = StartThread([&] {
            for (int i = 0; i < 20000; ++i)
                InterlockedIncrement(&counter);
            return 0u;
        });
    }
    ASSERT_EQ(WaitForMultipleObjects(4, threads, TRUE, kLong), WAIT_OBJECT_0);
    EXPECT_EQ(counter, 80000);
    for (HANDLE thread : threads)
        CloseHandle(thread);
}
