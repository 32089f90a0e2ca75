// One named worker of the engine's thread pool: it runs its work function and then its completion
// function once, on its own thread, for the request it was started with.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "jxbase/CThread.h"

namespace JxSetup::Data {

// The head of a caller's request record (a caller's record may derive from it). The pool reads only
// these two members: the worker sets `stop` once it has done the work, just before the completion
// function runs; `threadName` names the pool thread that is to run it.
struct JxThreadRequest {
    std::atomic<bool> stop{false};
    std::string threadName;
};

using JxThreadFunction = std::function<void(JxThreadRequest*)>;

class JxThread : public CThread {
public:
    JxThread() = default;
    ~JxThread() override = default;

    void SetFunctions(JxThreadFunction work, JxThreadFunction completion);
    DWORD Exit() override { return OnExit(); }
    DWORD Run() override;
    // Starts the thread for the request (not owned; it must outlive the thread): 0 when it started,
    // -1 when a function is missing, the thread was started before or could not start.
    virtual int Start(JxThreadRequest* request);
    // Waits for the thread to end; nothing when it was never started.
    virtual void Wait(DWORD milliseconds);

protected:
    virtual DWORD OnExit();

private:
    JxThreadFunction m_Work;
    JxThreadFunction m_Completion;
    JxThreadRequest* m_pRequest = nullptr;
};

} // namespace JxSetup::Data
