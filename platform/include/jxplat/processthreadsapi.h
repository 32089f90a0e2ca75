// Processes started by the stand-in: CreateProcessW runs the host program found at the mapped path
// of the application name (or of the command line's first word). The child gets the Windows command
// line whole in JX_COMMAND_LINE, the machine root in JX_MACHINE_ROOT and the path of an exit-code
// file in JX_EXIT_CODE_FILE. The process handle is a kernel handle that is signalled when the child
// ends; its exit code is the number the child wrote to the file, or its host exit status when the
// file stays empty.
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"

#define DEBUG_PROCESS 0x00000001u
#define CREATE_NEW_CONSOLE 0x00000010u
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define CREATE_DEFAULT_ERROR_MODE 0x04000000u
#define CREATE_NO_WINDOW 0x08000000u
#define CREATE_UNICODE_ENVIRONMENT 0x00000400u

#define STARTF_USESHOWWINDOW 0x00000001u
#define STARTF_USESTDHANDLES 0x00000100u

typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// The stand-in takes the application name, the command line, the current directory and the process
// information; the environment is always the caller's (a given block is ignored), and the creation
// flags, handle inheritance and startup information change nothing. The thread handle of the
// information is a second handle on the process. A file without the host's execute bit gets it (on
// Windows any file may be started). Fails with ERROR_FILE_NOT_FOUND when no regular file lies at the
// mapped path, ERROR_BAD_EXE_FORMAT when its content is no program, ERROR_INVALID_PARAMETER without
// a program name or information.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation);
// STILL_ACTIVE while the process runs.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
DWORD GetProcessId(HANDLE process);

#define PROCESS_TERMINATE 0x0001u
#define PROCESS_VM_READ 0x0010u
#define PROCESS_QUERY_INFORMATION 0x0400u
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000u
#define PROCESS_ALL_ACCESS 0x001FFFFFu

// A handle on a process of the machine's process table that is still running; ERROR_INVALID_PARAMETER
// for any other id (the host's other processes are out of reach). Waits on it work as on the
// handle of CreateProcessW.
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
// Ends a process of the machine's process table with the exit code (the host process is killed);
// ERROR_ACCESS_DENIED when it has ended already, ERROR_INVALID_HANDLE for a handle that is no
// process.
BOOL TerminateProcess(HANDLE process, UINT exitCode);

namespace jxplat {
// One row of the machine's process table (every process started on this machine root).
struct ProcessTableEntry {
    DWORD processId = 0;
    std::u16string name;        // the executable's file name
    std::u16string path;        // its Windows path
    std::u16string commandLine; // the Windows command line
    bool running = false;
    DWORD exitCode = 0x103; // STILL_ACTIVE while running; the code when known
    bool exitCodeKnown = false;
    bool elevated = false; // it runs with an elevated token
};
// The table in start order.
std::vector<ProcessTableEntry> ReadProcessTable();
} // namespace jxplat
