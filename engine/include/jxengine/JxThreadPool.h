// The engine's named worker threads. A setup run starts none of them. The pool is used by the
// thread that owns it; each of its threads runs once. Removing a thread, and destroying the pool,
// waits for the threads to end first: a worker is never left running on a destroyed object.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "jxengine/JxThread.h"

namespace JxSetup::Data {

class JxThreadPool {
public:
    JxThreadPool();
    virtual ~JxThreadPool();
    JxThreadPool(const JxThreadPool&) = delete;
    JxThreadPool& operator=(const JxThreadPool&) = delete;

    // False, creating nothing, when the name is taken or a function is missing.
    virtual bool CreateThread(const std::string& name, JxThreadFunction work, JxThreadFunction completion);
    // Waits for the named thread to end and removes it; true also when no thread has the name.
    virtual bool RemoveThread(const std::string& name);
    // Starts the thread the request names (request->threadName). Always true.
    virtual bool StartThread(JxThreadRequest* request);
    // Waits up to the time for the named thread to end; nothing for an unknown name.
    virtual void WaitForThread(const std::string& name, DWORD milliseconds);

private:
    void _pool_EndThread(JxThread& thread);

    std::unordered_map<std::string, std::unique_ptr<JxThread>> m_Threads;
};

} // namespace JxSetup::Data
