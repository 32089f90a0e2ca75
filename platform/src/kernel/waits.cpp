// Waits: every wait checks the signal states under the kernel lock and sleeps on the shared
// condition until a state changes or the time-out passes. Wait-all takes all objects at once.
#include <chrono>
#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/objects.h"

namespace jxplat {
namespace {

// WAIT_TIMEOUT when nothing can be taken yet; called with KernelLock() held.
DWORD _WaitTry(const std::vector<std::shared_ptr<CKernelObject>>& objects, bool waitAll, DWORD threadId) {
    if (waitAll) {
        for (size_t index = 0; index < objects.size(); ++index) {
            if (!objects[index]->IsSignaled(threadId)) {
                for (size_t claimed = 0; claimed < index; ++claimed)
                    objects[claimed]->Unclaim(threadId);
                return WAIT_TIMEOUT;
            }
        }
        bool abandoned = false;
        for (const auto& object : objects)
            abandoned = object->Satisfy(threadId) || abandoned;
        return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
    }
    for (DWORD index = 0; index < objects.size(); ++index) {
        if (objects[index]->IsSignaled(threadId))
            return (objects[index]->Satisfy(threadId) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + index;
    }
    return WAIT_TIMEOUT;
}

} // namespace
} // namespace jxplat

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    using namespace jxplat;
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const DWORD threadId = GetCurrentThreadId();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::vector<std::shared_ptr<CKernelObject>> objects;
    objects.reserve(count);

    std::unique_lock<std::mutex> held(KernelLock());
    for (DWORD index = 0; index < count; ++index) {
        auto object = ReferenceKernelHandleLocked(handles[index]);
        if (!object || !object->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        // Windows refuses to wait for all of a list that names one object twice.
        if (waitAll) {
            for (const auto& earlier : objects) {
                if (earlier == object) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return WAIT_FAILED;
                }
            }
        }
        objects.push_back(std::move(object));
    }
    bool polling = false;
    for (const auto& object : objects)
        polling = polling || object->NeedsPolling();
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        result = _WaitTry(objects, waitAll != FALSE, threadId);
        if (result != WAIT_TIMEOUT || milliseconds == 0)
            break;
        if (polling) {
            const auto slice = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
            if (milliseconds != INFINITE && deadline <= slice) {
                KernelCondition().wait_until(held, deadline);
                result = _WaitTry(objects, waitAll != FALSE, threadId);
                break;
            }
            KernelCondition().wait_until(held, slice);
        } else if (milliseconds == INFINITE) {
            KernelCondition().wait(held);
        } else if (KernelCondition().wait_until(held, deadline) == std::cv_status::timeout) {
            result = _WaitTry(objects, waitAll != FALSE, threadId);
            break;
        }
    }
    // A thread suspended while it waited goes on only once it is resumed.
    KernelHoldWhileSuspended(held);
    return result;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}
