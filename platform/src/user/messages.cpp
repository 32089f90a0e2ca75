// Thread message queues of the stand-in.
#include <deque>
#include <map>
#include <mutex>

#include "jxplat/errhandling.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/winmsg.h"

namespace {

struct CMessageQueues {
    std::mutex lock;
    std::map<DWORD, std::deque<MSG>> queues;
    std::function<void(const MSG&)> capture;
};

// Deliberately never destroyed: work-item threads may post while the process ends.
CMessageQueues& _msg_Queues() {
    static auto* queues = new CMessageQueues;
    return *queues;
}

} // namespace

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    if (threadId == 0) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    auto& q = _msg_Queues();
    std::lock_guard<std::mutex> hold(q.lock);
    q.queues[threadId].push_back(MSG{nullptr, message, wParam, lParam, GetTickCount(), {0, 0}});
    return TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage) {
    if (!msg || hwnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& q = _msg_Queues();
    std::lock_guard<std::mutex> hold(q.lock);
    auto it = q.queues.find(GetCurrentThreadId());
    if (it == q.queues.end())
        return FALSE;
    const bool all = filterMin == 0 && filterMax == 0;
    for (auto m = it->second.begin(); m != it->second.end(); ++m) {
        if (!all && (m->message < filterMin || m->message > filterMax))
            continue;
        *msg = *m;
        if (removeMessage & PM_REMOVE)
            it->second.erase(m);
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG*) {
    return FALSE; // no keyboard messages here
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg)
        return 0;
    std::function<void(const MSG&)> capture;
    {
        auto& q = _msg_Queues();
        std::lock_guard<std::mutex> hold(q.lock);
        capture = q.capture;
    }
    if (capture)
        capture(*msg);
    return 0;
}

namespace jxplat {
void SetDispatchCapture(std::function<void(const MSG&)> capture) {
    auto& q = _msg_Queues();
    std::lock_guard<std::mutex> hold(q.lock);
    q.capture = std::move(capture);
}
} // namespace jxplat
