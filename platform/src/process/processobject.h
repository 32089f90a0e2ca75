// The kernel object behind a process handle, and the machine's process table that every process
// on the machine root shares: one JSON file per started process below "processes/table/".
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

#include "jxplat/processthreadsapi.h"
#include "kernel/objects.h"

namespace jxplat {

// Fields other than the constants are guarded by KernelLock().
class CProcessObject : public CKernelObject {
public:
    bool IsWaitable() const override { return true; }
    bool IsSignaled(DWORD) const override { return m_ended; }

    pid_t m_pid = 0;
    std::string m_exitFile;  // where the child writes its Windows exit code
    std::string m_tableFile; // its row in the process table
    bool m_ended = false;
    DWORD m_exitCode = STILL_ACTIVE;
};

// The exit code that the process wrote to its exit-code file (which is removed), else its host
// status.
DWORD ReadProcessExitCode(const std::string& exitFile, int status);

// Adds a row for a process just started; returns the row's file ("" when it cannot be written).
std::string AddProcessTableRow(pid_t pid, const std::u16string& path, const std::u16string& commandLine,
                               const std::string& exitFile, bool elevated);
// Marks the row ended with its exit code.
void EndProcessTableRow(const std::string& tableFile, DWORD exitCode);
// The row of a process of the table that still runs, by id; false when there is none.
bool FindRunningProcessRow(DWORD processId, std::string& tableFile, std::string& exitFile);
// The exit code of a row whose process ended: the one its starter recorded, or, when the starter is
// gone, the one in its exit-code file. False while its starter has yet to record it.
bool ProcessRowEndCode(const std::string& tableFile, DWORD& exitCode);
// Whether the host process of a row still runs (same id and start time, not a zombie).
bool IsProcessRowRunning(const std::string& tableFile);

// CreateProcessW; with elevate the child runs as the elevated administrator of the machine
// (JX_ELEVATED=1 in its environment), as a program that the elevation prompt let through.
// With noConsole the child's standard handles are the null device, as a service's are: it shares no
// pipe or terminal of its starter, so it never holds one open after the starter is gone.
BOOL StartProcess(LPCWSTR applicationName, LPWSTR commandLine, LPCWSTR currentDirectory, bool elevate,
                  LPPROCESS_INFORMATION processInformation, bool noConsole = false);

// This process's own children by id, so OpenProcess hands out the object that its reaper signals.
void RememberChildProcess(const std::shared_ptr<CProcessObject>& process);
std::shared_ptr<CProcessObject> FindChildProcess(DWORD processId);

} // namespace jxplat
