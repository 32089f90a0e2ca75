// A pool thread: the work function, then the completion function, for one request.
#include "jxengine/JxThread.h"

namespace JxSetup::Data {

void JxThread::SetFunctions(JxThreadFunction work, JxThreadFunction completion) {
    m_Work = std::move(work);
    m_Completion = std::move(completion);
}

int JxThread::Start(JxThreadRequest* request) {
    // A thread runs once: the request of a running worker is never replaced under it.
    if (GetThreadHandle() || !m_Work || !m_Completion)
        return -1;
    m_pRequest = request;
    return Create() ? 0 : -1;
}

DWORD JxThread::Run() {
    m_Work(m_pRequest);
    return 0;
}

DWORD JxThread::OnExit() {
    if (m_pRequest)
        m_pRequest->stop = true;
    m_Completion(m_pRequest);
    return 0;
}

void JxThread::Wait(DWORD milliseconds) {
    if (GetThreadHandle())
        WaitForSingleObject(GetThreadHandle(), milliseconds);
}

} // namespace JxSetup::Data
