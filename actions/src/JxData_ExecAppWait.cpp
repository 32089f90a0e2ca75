// The one way the engine starts a program: directly, through the shell, or a web address in the
// default browser; optionally waiting for its end and reporting its exit code.
#include <algorithm>
#include <cstdint>
#include <exception>

#include <windows.h>

#include "jxbase/wow64guard.h"
#include "jxbase/secretmask.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::ExecAppWait";
// A time limit never waits less than five minutes.
constexpr uint64_t kMinimumWaitMs = 300000;

const WCHAR* _exec_Bool(bool flag) {
    return flag ? u"true" : u"false";
}

// "" followed by a blank and an http(s) address: what the application lists build for a row
// with an empty path and an address as its argument.
bool _exec_IsWebAddress(const std::u16string& path, const std::u16string& arguments) {
    return path.empty() && (jxtext::StartsWithNoCase(arguments, u"\"\" http://") ||
                            jxtext::StartsWithNoCase(arguments, u"\"\" https://"));
}

// The seconds of a time limit in milliseconds, at least five minutes; computed in 64 bits so a
// large limit never wraps, and kept below INFINITE so a limit stays a limit.
DWORD _exec_WaitMilliseconds(DWORD timeoutSeconds) {
    if (timeoutSeconds == JxData::kExecNoTimeLimit)
        return INFINITE;
    const uint64_t ms = std::max<uint64_t>(uint64_t{timeoutSeconds} * 1000, kMinimumWaitMs);
    return static_cast<DWORD>(std::min<uint64_t>(ms, INFINITE - 1));
}

// The command line of a direct start: the path in quotes (unless it is quoted already) and the
// arguments after one blank.
std::u16string _exec_BuildCommandLine(const std::u16string& path, const std::u16string& arguments) {
    if (path.empty())
        return arguments;
    std::u16string line = path.front() == u'"' ? path : u"\"" + path + u"\"";
    if (!arguments.empty()) {
        if (arguments.front() != u' ')
            line += u' ';
        line += arguments;
    }
    return line;
}

// The application name: the path without the quotes that may surround it.
std::u16string _exec_ApplicationName(const std::u16string& path) {
    std::u16string name = path;
    if (!name.empty() && name.front() == u'"')
        name.erase(0, 1);
    if (!name.empty() && name.back() == u'"')
        name.pop_back();
    return name;
}

int32_t _exec_NegatedError(DWORD error) {
    const int32_t value = static_cast<int32_t>(error);
    return value > 0 ? -value : value;
}

} // namespace

int32_t JxData::ExecAppWait(const std::u16string& path, const std::u16string& arguments, bool useShell,
                            bool hidden, bool wait, bool is64Bit, DWORD timeoutSeconds) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    // Argument texts may carry protected values: the log gets them masked.
    const std::u16string loggedArguments = MaskProtectedArguments(arguments);
    log->Log(LOG_BEGIN, kModule, kContext, u"App: %s Arg: %s ShellExecute: %s Hide: %s Wait: %s TimeOut %d",
             path.c_str(), loggedArguments.c_str(), _exec_Bool(useShell), _exec_Bool(hidden),
             _exec_Bool(wait), static_cast<int>(timeoutSeconds));
    int32_t result = 0;
    auto waitFor = [this](HANDLE process, DWORD milliseconds) {
        return m_WaitForProcessForTesting ? m_WaitForProcessForTesting(process, milliseconds)
                                          : WaitForSingleObject(process, milliseconds);
    };
    try {
        CWow64FsRedirectionGuard redirection(is64Bit);
        if (_exec_IsWebAddress(path, arguments)) {
            const std::u16string address = arguments.substr(3);
            log->Log(LP_INFO, kModule, kContext, u"Open default Browser with url: %s",
                     MaskProtectedArguments(address).c_str());
            ShellExecuteW(nullptr, u"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            log->Log(LOG_END, kModule, kContext, u"%d", 0);
            return 0;
        }
        if (useShell) {
            SHELLEXECUTEINFOW info = {};
            info.cbSize = sizeof(info);
            info.lpFile = path.c_str();
            info.lpParameters = arguments.c_str();
            info.nShow = hidden ? SW_HIDE : SW_SHOW;
            info.fMask = SEE_MASK_NOCLOSEPROCESS;
            if (ShellExecuteExW(&info)) {
                if (wait && info.hProcess) {
                    log->Log(LP_INFO, kModule, kContext, u"Waiting for process using ShellExecute.");
                    waitFor(info.hProcess, INFINITE);
                    log->Log(LP_INFO, kModule, kContext, u"Process finished.");
                }
                if (info.hProcess)
                    CloseHandle(info.hProcess);
            } else {
                const DWORD error = GetLastError();
                result = _exec_NegatedError(error);
                log->Log(LP_ERROR, kModule, kContext,
                         u"Failed to launch %s %s using ShellEcecute. Errorcode %i", path.c_str(),
                         loggedArguments.c_str(), static_cast<int>(error));
            }
        } else {
            const std::u16string commandLine = _exec_BuildCommandLine(path, arguments);
            std::u16string buffer = commandLine; // CreateProcessW may write to its command line
            buffer.reserve(commandLine.size() + 1);
            log->Log(LP_INFO, kModule, kContext, u"Starting Process using CreateProcess %s with argument %s.",
                     path.c_str(), MaskProtectedArguments(commandLine).c_str());
            const std::u16string application = _exec_ApplicationName(path);
            STARTUPINFOW startup = {};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION process = {};
            if (!CreateProcessW(application.empty() ? nullptr : application.c_str(),
                                arguments.empty() ? nullptr : buffer.data(), nullptr, nullptr, FALSE,
                                hidden ? CREATE_NO_WINDOW : 0, nullptr, nullptr, &startup, &process)) {
                const DWORD error = GetLastError();
                result = _exec_NegatedError(error);
                log->Log(LP_ERROR, kModule, kContext,
                         u"Can't create Process using CreateProcess. Errorcode %d", static_cast<int>(error));
            } else {
                SetLastError(0);
                if (wait) {
                    log->Log(LP_INFO, kModule, kContext, u"Waiting for Process using CreateProcess %s %s",
                             path.c_str(), loggedArguments.c_str());
                    const DWORD outcome = waitFor(process.hProcess, _exec_WaitMilliseconds(timeoutSeconds));
                    const WCHAR* text = outcome == WAIT_OBJECT_0
                                            ? u"Process finished. ProcResult: %d. LastError: %d"
                                        : outcome == WAIT_TIMEOUT
                                            ? u"Process timed out. ProcResult: %d. LastError: %d"
                                            : u"Process finished or timed out. ProcResult: %d. LastError: %d";
                    log->Log(LP_INFO, kModule, kContext, text, static_cast<int>(outcome),
                             static_cast<int>(GetLastError()));
                }
                DWORD exitCode = 0;
                if (!GetExitCodeProcess(process.hProcess, &exitCode)) {
                    log->Log(LP_WARNING, kModule, kContext, u"Can't get exit code. Errorcode %d",
                             static_cast<int>(GetLastError()));
                } else if (exitCode == STILL_ACTIVE) {
                    log->Log(LP_WARNING, kModule, kContext,
                             u"Can't get exit code. Process is still running.");
                    result = -1;
                } else {
                    result = static_cast<int32_t>(exitCode);
                    // A code above 0x7FFFFFFF is a status of a crashed program: it is a failure and
                    // is handed on as the negative number it is, never as success.
                    if (exitCode > 0x7FFFFFFFu)
                        log->Log(LP_ERROR, kModule, kContext, u"Process ended with status 0x%08X (%d).",
                                 static_cast<unsigned>(exitCode), static_cast<int>(result));
                    log->Log(LP_INFO, kModule, kContext, u"Exit code is %d.", static_cast<int>(result));
                }
                CloseHandle(process.hProcess);
                CloseHandle(process.hThread);
            }
        }
    } catch (const std::exception&) {
        log->Log(LP_ERROR, kModule, kContext, u"Exception while executing app.");
    }
    log->Log(LOG_END, kModule, kContext, u"%d", static_cast<int>(result));
    return result;
}

} // namespace JxSetup::Data
