// The in-process table of kernel objects behind HANDLE values, and the one lock and condition
// under which every wait checks and takes the signal states. Other parts of the stand-in put
// their own waitable objects (processes, mutexes) into the same table.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "jxplat/wintypes.h"

namespace jxplat {

class CKernelObject {
public:
    virtual ~CKernelObject() = default;

    // Both are called with KernelLock() held.
    virtual bool IsWaitable() const { return false; }
    virtual bool IsSignaled(DWORD threadId) const { return false; }
    // Takes what a satisfied wait takes (an auto-reset event resets); returns true when the
    // object was abandoned (WAIT_ABANDONED_0 + index).
    virtual bool Satisfy(DWORD threadId) { return false; }
    // Objects whose state another process changes (named mutexes) cannot notify the waiters:
    // a wait on one looks again every few milliseconds.
    virtual bool NeedsPolling() const { return false; }
    // A wait for all objects found this one signalled but not the others: give back what
    // IsSignaled claimed for it.
    virtual void Unclaim(DWORD threadId) {}
};

// Guards the handle table and every signal state.
std::mutex& KernelLock();
// Wakes every waiter to look again; call after changing a signal state (with or without the lock).
void KernelNotifyAll();
// Waits on the shared condition; the caller holds KernelLock() through `held`.
std::condition_variable& KernelCondition();

// A new handle for the object (never a small integer, never INVALID_HANDLE_VALUE); null when the
// object is null.
HANDLE InsertKernelHandle(std::shared_ptr<CKernelObject> object);
// The object behind a handle, or null. Does not touch the last error.
std::shared_ptr<CKernelObject> ReferenceKernelHandle(HANDLE handle);
// Same, with KernelLock() already held by the caller.
std::shared_ptr<CKernelObject> ReferenceKernelHandleLocked(HANDLE handle);

// Keeps a thread of CreateThread that SuspendThread suspended waiting until it is resumed; the
// caller holds KernelLock() through `held`.
void KernelHoldWhileSuspended(std::unique_lock<std::mutex>& held);

template <typename T> std::shared_ptr<T> ReferenceKernelHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(ReferenceKernelHandle(handle));
}

} // namespace jxplat
