// Threads: a host thread per CreateThread; the handle is signalled when the routine returns and
// keeps its result as the exit code. An exception that leaves the routine ends the process.
// SuspendThread holds a running thread when its current or next wait returns (the stand-in cannot
// stop a thread in the middle of its code).
#include <exception>
#include <system_error>
#include <thread>

#include "jxplat/errhandling.h"
#include "jxplat/excpt.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/objects.h"

namespace jxplat {
namespace {

// State guarded by KernelLock().
class CThreadObject : public CKernelObject {
public:
    bool IsWaitable() const override { return true; }
    bool IsSignaled(DWORD) const override { return m_ended; }

    DWORD m_threadId = 0; // 0 until the thread has started
    DWORD m_suspendCount = 0;
    bool m_ended = false;
    DWORD m_exitCode = STILL_ACTIVE;
};

// The object of the calling thread when CreateThread made it.
thread_local std::shared_ptr<CThreadObject> t_currentThread;

DWORD _ThrCall(LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
    try {
        return routine(parameter);
    } catch (const CStructuredException& raised) {
        EndProcessForUnhandledException(raised.record);
    } catch (...) {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = EXCEPTION_CPP_EXCEPTION;
        EndProcessForUnhandledException(record);
    }
}

void _ThrRun(std::shared_ptr<CThreadObject> thread, LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
    t_currentThread = thread;
    {
        std::unique_lock<std::mutex> held(KernelLock());
        thread->m_threadId = GetCurrentThreadId();
        KernelNotifyAll();
        KernelCondition().wait(held, [&] { return thread->m_suspendCount == 0; });
    }
    DWORD exitCode = _ThrCall(routine, parameter);
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        thread->m_exitCode = exitCode;
        thread->m_ended = true;
    }
    KernelNotifyAll();
}

} // namespace

void KernelHoldWhileSuspended(std::unique_lock<std::mutex>& held) {
    const std::shared_ptr<CThreadObject>& self = t_currentThread;
    if (self)
        KernelCondition().wait(held, [&] { return self->m_suspendCount == 0; });
}

} // namespace jxplat

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                    DWORD creationFlags, LPDWORD threadId) {
    using namespace jxplat;
    if (!startAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<CThreadObject>();
    thread->m_suspendCount = (creationFlags & CREATE_SUSPENDED) ? 1 : 0;
    try {
        std::thread(_ThrRun, thread, startAddress, parameter).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD id = 0;
    {
        // The id is known once the thread runs, even when it waits to be resumed.
        std::unique_lock<std::mutex> held(KernelLock());
        KernelCondition().wait(held, [&] { return thread->m_threadId != 0; });
        id = thread->m_threadId;
    }
    if (threadId)
        *threadId = id;
    return InsertKernelHandle(thread);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    using namespace jxplat;
    auto object = ReferenceKernelHandleAs<CThreadObject>(thread);
    if (!object || !exitCode) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(KernelLock());
    *exitCode = object->m_exitCode;
    return TRUE;
}

DWORD GetThreadId(HANDLE thread) {
    using namespace jxplat;
    auto object = ReferenceKernelHandleAs<CThreadObject>(thread);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::lock_guard<std::mutex> guard(KernelLock());
    return object->m_threadId;
}

DWORD ResumeThread(HANDLE thread) {
    using namespace jxplat;
    auto object = ReferenceKernelHandleAs<CThreadObject>(thread);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    DWORD previous = 0;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        previous = object->m_suspendCount;
        if (previous > 0)
            --object->m_suspendCount;
    }
    if (previous == 1)
        KernelNotifyAll();
    return previous;
}

DWORD SuspendThread(HANDLE thread) {
    using namespace jxplat;
    auto object = ReferenceKernelHandleAs<CThreadObject>(thread);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    std::lock_guard<std::mutex> guard(KernelLock());
    if (object->m_ended) {
        SetLastError(ERROR_ACCESS_DENIED);
        return static_cast<DWORD>(-1);
    }
    return object->m_suspendCount++;
}
