// CreateProcessW over posix_spawn: the child is the host program at the mapped path; a reaper
// thread waits for it and signals the process handle with the child's Windows exit code.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "file/file_common.h"
#include "kernel/objects.h"
#include "process/processobject.h"

extern char** environ;

namespace jxplat {
namespace {

void _proc_Reap(std::shared_ptr<CProcessObject> process) {
    int status = 0;
    while (::waitpid(process->m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    const DWORD code = ReadProcessExitCode(process->m_exitFile, status);
    EndProcessTableRow(process->m_tableFile, code);
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        process->m_exitCode = code;
        process->m_ended = true;
    }
    KernelNotifyAll();
}

std::string _proc_NewExitFile() {
    static std::atomic<unsigned> counter{0};
    const std::string folder = MachinePath("processes");
    EnsureHostDirectory(folder);
    return folder + "/exit-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

// Windows starts any file whose content is a program; the host needs the execute bit, so a
// regular file without it gets it for its owner. 0 or the Win32 error.
DWORD _proc_MakeRunnable(const std::string& host) {
    struct stat info = {};
    if (::stat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return ERROR_FILE_NOT_FOUND;
    if (::access(host.c_str(), X_OK) == 0)
        return 0;
    return ::chmod(host.c_str(), info.st_mode | S_IXUSR) == 0 ? 0 : ERROR_ACCESS_DENIED;
}

// The caller's environment with the stand-in's own variables set for the child.
// A child inherits the elevation of its parent (JX_ELEVATED comes along) unless it is elevated now.
std::vector<std::string> _proc_Environment(const std::u16string& commandLine, const std::string& exitFile,
                                           bool elevate) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("JX_MACHINE_ROOT=", 0) != 0 && text.rfind("JX_EXIT_CODE_FILE=", 0) != 0 &&
            text.rfind("JX_COMMAND_LINE=", 0) != 0 && (!elevate || text.rfind("JX_ELEVATED=", 0) != 0))
            env.push_back(text);
    }
    env.push_back("JX_MACHINE_ROOT=" + MachineRoot());
    env.push_back("JX_EXIT_CODE_FILE=" + exitFile);
    env.push_back("JX_COMMAND_LINE=" + jxtext::Utf16ToUtf8(commandLine));
    if (elevate)
        env.push_back("JX_ELEVATED=1");
    return env;
}

} // namespace

BOOL StartProcess(LPCWSTR applicationName, LPWSTR commandLine, LPCWSTR currentDirectory, bool elevate,
                  LPPROCESS_INFORMATION processInformation, bool noConsole) {
    const std::u16string line = commandLine ? std::u16string(commandLine) : std::u16string();
    const std::vector<std::u16string> words = SplitCommandLine(line);
    std::u16string program = applicationName && *applicationName ? std::u16string(applicationName) : u"";
    if (program.empty() && !words.empty())
        program = words.front();
    if (program.empty() || !processInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A 32-bit process that names System32 starts the SysWOW64 program unless redirection is off.
    const std::string host = WindowsToHostPath(RedirectedFileName(program));
    if (const DWORD error = _proc_MakeRunnable(host)) {
        SetLastError(error);
        return FALSE;
    }
    // Without a command line the child sees the quoted program name, as Windows gives it.
    const std::u16string childLine = line.empty() ? QuoteArgument(program) : line;
    std::vector<std::string> args{host};
    for (size_t i = 1; i < words.size(); ++i)
        args.push_back(jxtext::Utf16ToUtf8(words[i]));
    const std::string exitFile = _proc_NewExitFile();
    std::vector<std::string> env = _proc_Environment(childLine, exitFile, elevate);

    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::string folder;
    if (currentDirectory && *currentDirectory) {
        folder = WindowsToHostPath(currentDirectory);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    if (noConsole) {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        SetLastError(spawned == ENOEXEC  ? ERROR_BAD_EXE_FORMAT
                     : spawned == ENOENT ? ERROR_FILE_NOT_FOUND
                                         : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto process = std::make_shared<CProcessObject>();
    process->m_pid = pid;
    process->m_exitFile = exitFile;
    const bool elevated = elevate || (Machine().user.administrator && Machine().user.elevated);
    process->m_tableFile = AddProcessTableRow(pid, program, childLine, exitFile, elevated);
    RememberChildProcess(process);
    try {
        std::thread(_proc_Reap, process).detach();
    } catch (const std::system_error&) {
        // Without a reaper the handle would never be signalled; wait here instead.
        _proc_Reap(process);
    }
    processInformation->hProcess = InsertKernelHandle(process);
    processInformation->hThread = InsertKernelHandle(process);
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

} // namespace jxplat

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL, DWORD, LPVOID, LPCWSTR currentDirectory, LPSTARTUPINFOW,
                    LPPROCESS_INFORMATION processInformation) {
    return jxplat::StartProcess(applicationName, commandLine, currentDirectory, false, processInformation);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    using namespace jxplat;
    auto object = ReferenceKernelHandleAs<CProcessObject>(process);
    if (!object || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(KernelLock());
    *exitCode = object->m_exitCode;
    return TRUE;
}

DWORD GetProcessId(HANDLE process) {
    using namespace jxplat;
    auto object = ReferenceKernelHandleAs<CProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(object->m_pid);
}
