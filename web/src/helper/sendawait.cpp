// Asynchronous sending: the request runs on a work item while the calling thread dispatches its
// window messages. Waiter and worker share the work item's state (the done event among it), so
// whichever side finishes last frees it and the event is closed exactly once; a waiter that gets
// no result from its worker reports a cancel or the cancel time-out, never a success.
#include <memory>

#include "jxweb/HttpClient.h"

namespace {

struct CAwaitShared {
    HANDLE doneEvent = nullptr;
    HttpClient::Result result;
    bool delivered = false; // guarded by the client lock
    ~CAwaitShared() {
        if (doneEvent)
            CloseHandle(doneEvent);
    }
};

struct CAwaitContext {
    int method;
    std::u16string url;
    bool toFile;
    std::u16string filePath;
    std::shared_ptr<CAwaitShared> shared;
    std::shared_ptr<HttpClient> client;
};

struct CClientLockHold {
    CClientLockHold() { EnterCriticalSection(&HttpClient::ClientLock()); }
    ~CClientLockHold() { LeaveCriticalSection(&HttpClient::ClientLock()); }
};

DWORD ThreadWorker(LPVOID parameter) {
    std::unique_ptr<CAwaitContext> context(static_cast<CAwaitContext*>(parameter));
    HttpClient& client = *context->client;
    client.m_WorkerRunning = true;
    HttpClient::Result result;
    try {
        result = client.Send(context->method, context->url, context->toFile, context->filePath, false);
    } catch (...) {
        result = HttpClient::Result();
        result.error = HttpClient::ErrException;
    }
    {
        CClientLockHold hold;
        if (!HttpClient::IsInvalidHttpClient(&client)) {
            if (!client.m_WaiterGone) {
                context->shared->result = result;
                context->shared->delivered = true;
            }
            client.m_WorkerRunning = false;
        }
    }
    SetEvent(context->shared->doneEvent);
    return 0;
}

// Takes the thread's pending window messages out and dispatches them, as long as neither event
// is signalled.
void _await_PumpMessages(const HANDLE* events, DWORD count) {
    MSG msg;
    while (WaitForMultipleObjects(count, events, FALSE, 0) == WAIT_TIMEOUT &&
           PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

HttpClient::Result HttpClient::SendAwait(int method, const std::u16string& url, bool toFile,
                                         const std::u16string& filePath) {
    Result result;
    if (!m_CancelEvent || !ResetEvent(m_CancelEvent)) {
        result.error = ErrCanceled;
        return result;
    }
    if (!OpenSession()) {
        result.error = GetLastError();
        return result;
    }
    auto shared = std::make_shared<CAwaitShared>();
    shared->doneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!shared->doneEvent) {
        result.error = GetLastError();
        return result;
    }
    auto context = std::make_unique<CAwaitContext>(
        CAwaitContext{method, url, toFile, filePath, shared, shared_from_this()});
    m_WaiterGone = false;
    if (!QueueUserWorkItem(ThreadWorker, context.get(), WT_EXECUTELONGFUNCTION | WT_TRANSFER_IMPERSONATION)) {
        result.error = GetLastError();
        return result;
    }
    context.release(); // the worker's now

    const HANDLE events[2] = {shared->doneEvent, m_CancelEvent};
    DWORD wait;
    while ((wait = WaitForMultipleObjects(2, events, FALSE, 1)) == WAIT_TIMEOUT)
        _await_PumpMessages(events, 2);

    bool timedOut = false;
    if (wait != WAIT_OBJECT_0) {
        // Cancelled (or the wait failed): the worker, started or still queued, gets the cancel
        // wait to finish.
        timedOut = WaitForSingleObject(shared->doneEvent, m_CancelWait) != WAIT_OBJECT_0;
    }
    CClientLockHold hold;
    m_WaiterGone = true;
    if (shared->delivered) {
        result = shared->result;
    } else {
        result = Result();
        result.error = timedOut ? ErrAsyncTimeout : ErrCanceled;
    }
    return result;
}
