#include <atomic>

#include <gtest/gtest.h>

#include <windows.h>

#include "kernel_test_threads.h"

using kerneltest::kLong;
using kerneltest::StartThread;

namespace {

struct Handles {
    std::vector<HANDLE> items;
    ~Handles() {
        for (HANDLE h : items)
            CloseHandle(h);
    }
    HANDLE Add(HANDLE h) {
        items.push_back(h);
        return h;
    }
    HANDLE Event(bool manual, bool initial) { return Add(CreateEventW(nullptr, manual, initial, nullptr)); }
};

} // namespace

TEST(KernelEvents, ManualAndAutoResetFollowTheirRules) {
    struct Row {
        bool manual, initial;
        DWORD first, second; // two polls in a row
    } rows[] = {
        {true, true, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {false, true, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {true, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "manual " << row.manual << " initial " << row.initial);
        Handles h;
        HANDLE event = h.Event(row.manual, row.initial);
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(WaitForSingleObject(event, 0), row.first);
        EXPECT_EQ(WaitForSingleObject(event, 0), row.second);
        EXPECT_TRUE(SetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(event, 0), row.manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_TRUE(SetEvent(event));
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    }
}

TEST(KernelEvents, HandlesAreDistinctLargeValues) {
    Handles h;
    HANDLE a = h.Event(true, false), b = h.Event(true, false);
    for (HANDLE value : {a, b}) {
        EXPECT_GT(reinterpret_cast<uintptr_t>(value), uintptr_t{0xFFFFFFFF});
        EXPECT_NE(value, INVALID_HANDLE_VALUE);
    }
    EXPECT_NE(a, b);
}

TEST(KernelEvents, NamedEventsAreSharedByNameIgnoringCase) {
    Handles h;
    HANDLE first = h.Add(CreateEventW(nullptr, TRUE, FALSE, u"Local\\JxReady"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = h.Add(CreateEventW(nullptr, FALSE, TRUE, u"local\\JXREADY"));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(first, second);
    // The existing event keeps its own kind and state.
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
    SetEvent(first);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);

    HANDLE opened = h.Add(OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, u"LOCAL\\jxready"));
    ASSERT_NE(opened, nullptr);
    ResetEvent(opened);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);

    for (HANDLE handle : h.items)
        CloseHandle(handle);
    h.items.clear();
    EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"Local\\JxReady"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(KernelWaits, WaitAnyReturnsTheLowestSignalledIndex) {
    Handles h;
    HANDLE events[3] = {h.Event(true, false), h.Event(true, false), h.Event(true, false)};
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
}

TEST(KernelWaits, WaitAllTakesEveryObjectOrNone) {
    Handles h;
    HANDLE events[2] = {h.Event(false, true), h.Event(false, false)};
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_TIMEOUT);
    // The signalled auto-reset event was not consumed by the wait that failed.
    EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0);

    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_TIMEOUT);
}

TEST(KernelWaits, WaitAllCompletesWhenAnotherThreadSetsTheLastEvent) {
    Handles h;
    HANDLE events[2] = {h.Event(true, true), h.Event(true, false)};
    HANDLE setter = h.Add(StartThread([&] { return SetEvent(events[1]) ? 0u : 1u; }));
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, kLong), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(setter, kLong), WAIT_OBJECT_0);
}

TEST(KernelWaits, BadArgumentsFail) {
    Handles h;
    HANDLE event = h.Event(true, true);
    HANDLE closed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(closed);
    struct Row {
        const char* what;
        std::vector<HANDLE> handles;
        BOOL waitAll;
        DWORD error;
    } rows[] = {
        {"null", {nullptr}, FALSE, ERROR_INVALID_HANDLE},
        {"closed", {closed}, FALSE, ERROR_INVALID_HANDLE},
        {"pseudo value", {INVALID_HANDLE_VALUE}, FALSE, ERROR_INVALID_HANDLE},
        {"small integer", {reinterpret_cast<HANDLE>(4)}, FALSE, ERROR_INVALID_HANDLE},
        {"one bad among good", {event, closed}, FALSE, ERROR_INVALID_HANDLE},
        {"no handles", {}, FALSE, ERROR_INVALID_PARAMETER},
        {"too many", std::vector<HANDLE>(MAXIMUM_WAIT_OBJECTS + 1, event), FALSE, ERROR_INVALID_PARAMETER},
        {"one object twice for all", {event, event}, TRUE, ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(static_cast<DWORD>(row.handles.size()),
                                         row.handles.empty() ? &event : row.handles.data(), row.waitAll, 0),
                  WAIT_FAILED);
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_FALSE(CloseHandle(closed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(closed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(KernelThreads, HandleIsSignalledWithTheExitCodeWhenTheRoutineReturns) {
    Handles h;
    HANDLE go = h.Event(true, false);
    std::atomic<DWORD> seenId{0};
    DWORD threadId = 0;
    HANDLE thread = h.Add(StartThread(
        [&] {
            seenId = GetCurrentThreadId();
            return WaitForSingleObject(go, kLong) == WAIT_OBJECT_0 ? 42u : 1u;
        },
        0, &threadId));
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(threadId, 0u);
    EXPECT_NE(threadId, GetCurrentThreadId());
    EXPECT_EQ(GetThreadId(thread), threadId);

    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);

    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(thread, kLong), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0); // stays signalled
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(seenId.load(), threadId);
}

TEST(KernelThreads, SuspendedThreadRunsOnlyAfterResume) {
    Handles h;
    std::atomic<bool> ran{false};
    HANDLE thread = h.Add(StartThread(
        [&] {
            ran = true;
            return 7u;
        },
        CREATE_SUSPENDED));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(ran.load());
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, kLong), WAIT_OBJECT_0);
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(ResumeThread(thread), 0u);
}

TEST(KernelThreads, AnAutoResetEventReleasesOneWaiterPerSet) {
    Handles h;
    HANDLE event = h.Event(false, false);
    std::atomic<int> released{0};
    auto waiter = [&] {
        DWORD result = WaitForSingleObject(event, kLong);
        ++released;
        return result;
    };
    HANDLE threads[2] = {h.Add(StartThread(waiter)), h.Add(StartThread(waiter))};

    SetEvent(event);
    DWORD first = WaitForMultipleObjects(2, threads, FALSE, kLong);
    ASSERT_LT(first, WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForSingleObject(threads[1 - first], 0), WAIT_TIMEOUT);
    EXPECT_EQ(released.load(), 1);

    SetEvent(event);
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, kLong), WAIT_OBJECT_0);
    for (HANDLE thread : threads) {
        DWORD code = 1;
        GetExitCodeThread(thread, &code);
        EXPECT_EQ(code, WAIT_OBJECT_0);
    }
}

TEST(KernelThreads, ClosingTheHandleLeavesTheThreadRunning) {
    Handles h;
    HANDLE go = h.Event(true, false), done = h.Event(true, false);
    HANDLE thread = StartThread([&] {
        WaitForSingleObject(go, kLong);
        return SetEvent(done) ? 0u : 1u;
    });
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(done, kLong), WAIT_OBJECT_0);
}
