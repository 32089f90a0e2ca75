// OpenProcess and TerminateProcess on the machine's process table. Only processes started on this
// machine root can be opened or ended; the host's other processes are never touched.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <system_error>
#include <thread>

#include "jxplat/errhandling.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "process/processobject.h"

namespace jxplat {
namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(20);

// A process that another process on the machine started has no reaper here: a watcher looks at
// its row until it ends, then signals the handle with the code its starter recorded (or the one in
// its exit-code file when the starter is gone), for as long as a handle refers to it.
void _term_Watch(std::weak_ptr<CProcessObject> watched) {
    for (;;) {
        auto process = watched.lock();
        if (!process)
            return;
        DWORD code = 0;
        if (!IsProcessRowRunning(process->m_tableFile) && ProcessRowEndCode(process->m_tableFile, code)) {
            {
                std::lock_guard<std::mutex> guard(KernelLock());
                process->m_exitCode = code;
                process->m_ended = true;
            }
            KernelNotifyAll();
            return;
        }
        process.reset();
        std::this_thread::sleep_for(kWatchInterval);
    }
}

} // namespace
} // namespace jxplat

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    using namespace jxplat;
    if (auto child = FindChildProcess(processId)) {
        bool ended;
        {
            std::lock_guard<std::mutex> guard(KernelLock());
            ended = child->m_ended;
        }
        if (!ended) {
            SetLastError(ERROR_SUCCESS);
            return InsertKernelHandle(child);
        }
    }
    std::string tableFile, exitFile;
    if (!FindRunningProcessRow(processId, tableFile, exitFile)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto process = std::make_shared<CProcessObject>();
    process->m_pid = static_cast<pid_t>(processId);
    process->m_tableFile = tableFile;
    process->m_exitFile = exitFile;
    try {
        std::thread(_term_Watch, std::weak_ptr<CProcessObject>(process)).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return InsertKernelHandle(process);
}

BOOL TerminateProcess(HANDLE handle, UINT exitCode) {
    using namespace jxplat;
    auto process = ReferenceKernelHandleAs<CProcessObject>(handle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        if (process->m_ended) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    // The row proves that the host id still names the process the machine started.
    if (!IsProcessRowRunning(process->m_tableFile)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // The code goes where the process would have written its own; whoever reaps it reads it.
    if (FILE* file = std::fopen(process->m_exitFile.c_str(), "wb")) {
        std::fprintf(file, "%u\n", exitCode);
        std::fclose(file);
    }
    if (::kill(process->m_pid, SIGKILL) != 0 && errno != ESRCH) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
