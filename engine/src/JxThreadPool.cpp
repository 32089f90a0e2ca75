// The engine's named worker threads.
#include "jxengine/JxThreadPool.h"

namespace JxSetup::Data {

JxThreadPool::JxThreadPool() : m_Threads(8) {}

JxThreadPool::~JxThreadPool() {
    for (auto& [name, thread] : m_Threads)
        if (thread)
            _pool_EndThread(*thread);
    m_Threads.clear();
}

void JxThreadPool::_pool_EndThread(JxThread& thread) {
    // The worker calls the thread object's operations until it ends.
    thread.Stop();
    thread.Wait(INFINITE);
}

bool JxThreadPool::CreateThread(const std::string& name, JxThreadFunction work, JxThreadFunction completion) {
    if (m_Threads.count(name) || !work || !completion)
        return false;
    auto thread = std::make_unique<JxThread>();
    thread->SetFunctions(std::move(work), std::move(completion));
    m_Threads.emplace(name, std::move(thread));
    return true;
}

bool JxThreadPool::RemoveThread(const std::string& name) {
    auto found = m_Threads.find(name);
    if (found == m_Threads.end())
        return true;
    if (found->second) {
        _pool_EndThread(*found->second);
        found->second.reset();
    }
    m_Threads.erase(found);
    return true;
}

bool JxThreadPool::StartThread(JxThreadRequest* request) {
    if (!request)
        return true;
    auto found = m_Threads.find(request->threadName);
    if (found != m_Threads.end() && found->second)
        found->second->Start(request);
    return true;
}

void JxThreadPool::WaitForThread(const std::string& name, DWORD milliseconds) {
    auto found = m_Threads.find(name);
    if (found != m_Threads.end() && found->second)
        found->second->Wait(milliseconds);
}

} // namespace JxSetup::Data
