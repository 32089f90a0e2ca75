// Ids of the calling thread and process, and Sleep.
#include <chrono>
#include <thread>
#include <sys/syscall.h>
#include <pthread.h>
#include <unistd.h>

#include "jxplat/winbase.h"

namespace {

// The id is cached per thread (every lock and log line asks for it); a forked child drops the
// forking thread's cached id so that it sees its own.
thread_local DWORD t_threadId = 0;

void ForgetThreadIdInChild() {
    t_threadId = 0;
}

[[maybe_unused]] const int g_atforkRegistered = ::pthread_atfork(nullptr, nullptr, ForgetThreadIdInChild);

} // namespace

DWORD GetCurrentThreadId() {
    if (t_threadId == 0)
        t_threadId = static_cast<DWORD>(::syscall(SYS_gettid));
    return t_threadId;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;)
            ::pause();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

BOOL SwitchToThread() {
    std::this_thread::yield();
    return TRUE;
}
