// The in-house worker-thread template: one thread that takes items of type T from a queue, in the
// order they were posted, and hands them to ProcessItem. Any thread may post; Start and Stop are
// called by one controlling thread at a time. Stopping drains the queue first: an item that
// PostItem accepted is always processed.
//
// A derived class must call Stop() in its own destructor: the worker calls its virtual operations.
#pragma once

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include <windows.h>

#include "jxbase/sharedmutex.h"

class _CSvcThreadExVoidBase {
public:
    virtual ~_CSvcThreadExVoidBase() = default;
};

template <typename T> class CSvcThreadEx : public _CSvcThreadExVoidBase {
public:
    using CLock = Jxlockprimitives_legacy::CSharedMutex;
    using CLockTraits = Jxlockprimitives_legacy::ConditionEventTraitsT<CLock>;

    CSvcThreadEx() : m_pLock(std::make_shared<CLockTraits>()) {
        m_hEvents[kStopEvent] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_hEvents[kItemEvent] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_hStartEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }

    ~CSvcThreadEx() override {
        Stop();
        for (HANDLE event : {m_hEvents[kStopEvent], m_hEvents[kItemEvent], m_hStartEvent})
            if (event)
                CloseHandle(event);
    }

    CSvcThreadEx(const CSvcThreadEx&) = delete;
    CSvcThreadEx& operator=(const CSvcThreadEx&) = delete;

    // Queues the item for the worker. False (the item is dropped) when no worker runs or it stops.
    virtual bool PostItem(T item) {
        bool wake = false;
        {
            CLockHold hold(*m_pLock, true);
            if (!m_bAccepting)
                return false;
            m_Queue.push_back(std::move(item));
            // The worker looks at the queue before each wait: only a worker that waits (or is about
            // to) needs the event, and one signal wakes it for everything queued until it looks.
            wake = m_bWorkerWaits;
            m_bWorkerWaits = false;
        }
        if (wake)
            SetEvent(m_hEvents[kItemEvent]);
        return true;
    }

    // Starts the worker. `timeout`: the worker's idle wait before OnTimeout (INFINITE for none).
    // `startWait`: how long to wait for OnStart's answer (0: not at all). A start that fails or
    // does not answer in time stops the thread again and returns false.
    bool Start(DWORD timeout = INFINITE, DWORD startWait = INFINITE, PVOID securityDescriptor = nullptr) {
        if (!m_hEvents[kStopEvent] || !m_hEvents[kItemEvent] || !m_hStartEvent)
            return false;
        if (m_hThread && !Stop())
            return false;
        ResetEvent(m_hEvents[kStopEvent]);
        ResetEvent(m_hStartEvent);
        m_Timeout = timeout;
        m_bStartResult = false;
        m_bStopRequested = false;
        {
            CLockHold hold(*m_pLock, true);
            m_bAccepting = true;
        }
        SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), securityDescriptor, FALSE};
        HANDLE thread = CreateThread(securityDescriptor ? &attributes : nullptr, 0,
                                     &CSvcThreadEx::_thread_Proc, this, CREATE_SUSPENDED, nullptr);
        if (!thread) {
            _thread_Refuse();
            return false;
        }
        m_hThread = thread;
        m_ThreadId = GetThreadId(thread);
        ResumeThread(thread);
        if (startWait == 0)
            return true;
        // The thread's end counts as an answer too: a worker whose COM start fails ends at once.
        const HANDLE answers[2] = {m_hStartEvent, thread};
        const DWORD waited = WaitForMultipleObjects(2, answers, FALSE, startWait);
        if (waited == WAIT_OBJECT_0 && m_bStartResult)
            return true;
        Stop();
        _thread_Refuse();
        return false;
    }

    // Asks the worker to end and waits up to `timeout` for it; the worker first processes every
    // queued item. True when no worker runs any more. From the worker itself, or when the wait
    // expires, the request stands and the result is false.
    bool Stop(DWORD timeout = INFINITE) {
        if (!m_hThread)
            return true;
        m_bStopRequested = true;
        SetEvent(m_hEvents[kStopEvent]);
        if (IsWorkerThread() || WaitForSingleObject(m_hThread, timeout) != WAIT_OBJECT_0)
            return false;
        CloseHandle(m_hThread);
        m_hThread = nullptr;
        m_ThreadId = 0;
        return true;
    }

    // A new idle wait for the running worker, used from its next wait on.
    void SetTimeout(DWORD timeout) {
        if (m_Timeout.exchange(timeout) != timeout && m_hThread && !IsWorkerThread())
            SetEvent(m_hEvents[kItemEvent]); // the worker wakes, finds no item and waits anew
    }
    DWORD GetTimeout() const { return m_Timeout.load(); }

    bool IsWorkerThread() const {
        const DWORD id = m_ThreadId.load();
        return id != 0 && id == GetCurrentThreadId();
    }
    // A worker thread exists and does not end within `timeout`.
    bool IsRunning(DWORD timeout = 0) const {
        return m_hThread && WaitForSingleObject(m_hThread, timeout) == WAIT_TIMEOUT;
    }
    bool IsStopRequested() const { return m_bStopRequested.load(); }

protected:
    virtual bool OnStart() { return true; }
    virtual void OnEnd() {}
    virtual void ProcessItem(T& item) {}
    // After the worker has processed the items it took from the queue at once.
    virtual void OnItemsProcessed() {}
    virtual void OnTimeout() {}
    virtual HRESULT InitCom() { return CoInitializeEx(nullptr, 0); }

    virtual int WorkerLoop() {
        if (FAILED(InitCom())) {
            _thread_Refuse();
            return 0;
        }
        const bool started = OnStart();
        m_bStartResult = started;
        SetEvent(m_hStartEvent);
        if (!started) {
            _thread_Refuse();
            CoUninitialize();
            return 0;
        }
        std::vector<T> batch;
        DWORD lockId = m_pLock->Mutex().Lock(true);
        for (;;) {
            if (m_Queue.empty()) {
                m_bWorkerWaits = true;
                const DWORD waited =
                    m_pLock->WaitForMultiple(lockId, true, 2, m_hEvents, FALSE, m_Timeout.load());
                m_bWorkerWaits = false;
                if (waited == WAIT_OBJECT_0 + kStopEvent)
                    break;
                if (waited == WAIT_TIMEOUT) {
                    m_pLock->Mutex().Unlock(lockId);
                    OnTimeout();
                    lockId = m_pLock->Mutex().Lock(true);
                    continue;
                }
                // A failed wait would fail again at once: end rather than spin.
                if (waited != WAIT_OBJECT_0 + kItemEvent)
                    break;
            }
            batch.swap(m_Queue);
            m_pLock->Mutex().Unlock(lockId);
            _thread_Process(batch);
            lockId = m_pLock->Mutex().Lock(true);
        }
        // From here PostItem refuses; what it accepted before is still processed.
        m_bAccepting = false;
        batch.swap(m_Queue);
        m_pLock->Mutex().Unlock(lockId);
        _thread_Process(batch);
        OnEnd();
        CoUninitialize();
        return 1;
    }

    CLockTraits& LockTraits() { return *m_pLock; }

private:
    enum { kStopEvent = 0, kItemEvent = 1 };

    // Holds the shared lock for one scope.
    class CLockHold {
    public:
        CLockHold(CLockTraits& traits, bool exclusive)
            : m_mutex(traits.Mutex()), m_id(m_mutex.Lock(exclusive)) {}
        ~CLockHold() { m_mutex.Unlock(m_id); }
        CLockHold(const CLockHold&) = delete;
        CLockHold& operator=(const CLockHold&) = delete;

    private:
        CLock& m_mutex;
        DWORD m_id;
    };

    static DWORD _thread_Proc(LPVOID parameter) {
        return static_cast<DWORD>(static_cast<CSvcThreadEx*>(parameter)->WorkerLoop());
    }

    void _thread_Refuse() {
        CLockHold hold(*m_pLock, true);
        m_bAccepting = false;
    }

    void _thread_Process(std::vector<T>& batch) {
        if (batch.empty())
            return;
        for (T& item : batch)
            ProcessItem(item);
        batch.clear(); // keeps its capacity for the next batch
        OnItemsProcessed();
    }

    std::shared_ptr<CLockTraits> m_pLock;
    HANDLE m_hEvents[2] = {nullptr, nullptr}; // the stop event (manual reset), the item event
    HANDLE m_hStartEvent = nullptr;
    HANDLE m_hThread = nullptr;
    std::atomic<DWORD> m_ThreadId{0};
    std::atomic<DWORD> m_Timeout{INFINITE};
    std::atomic<bool> m_bStartResult{false};
    std::atomic<bool> m_bStopRequested{false};
    bool m_bAccepting = false;   // guarded by the shared lock
    bool m_bWorkerWaits = false; // guarded by the shared lock: the worker found the queue empty
    std::vector<T> m_Queue;      // guarded by the shared lock
};
