// Processes of the machine and the start of a program in every active user session.
#include <memory>

#include "jxbase/secretmask.h"
#include "jxplat/text.h"
#include "jxplat/tlhelp32.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";
constexpr const char16_t* kLaunch = u"JxSetup::Data::JxFile::LaunchFileInActiveSessions";
constexpr DWORD kLaunchWaitMs = 300000;

struct CHandleCloser {
    void operator()(void* handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
using CHandle = std::unique_ptr<void, CHandleCloser>;

struct CEnvironmentBlock {
    LPVOID block = nullptr;
    ~CEnvironmentBlock() {
        if (block)
            DestroyEnvironmentBlock(block);
    }
};

// Impersonation of one session's user for the time of a process creation.
struct CImpersonation {
    bool active = false;
    ~CImpersonation() {
        if (active)
            RevertToSelf();
    }
};

// Starts the command line as the session's user; false when the process could not be created.
bool _launch_InSession(DWORD sessionId, const std::u16string& commandLine, bool wait) {
    HANDLE rawToken = nullptr;
    if (!WTSQueryUserToken(sessionId, &rawToken)) {
        Instance()->Log(LP_INFO, kModule, kLaunch, u"Failed to get token for session %d", sessionId);
        return true;
    }
    CHandle token(rawToken);
    Instance()->Log(LP_INFO, kModule, kLaunch, u"Got token for session %d", sessionId);
    CEnvironmentBlock environment;
    if (!CreateEnvironmentBlock(&environment.block, token.get(), FALSE)) {
        // The session's user gets no process, the sessions after it still do.
        Instance()->Log(LP_WARNING, kModule, kLaunch,
                        u"CreateEnvironmentBlock failed for session %d => Error %d", sessionId,
                        static_cast<int>(GetLastError()));
        return false;
    }
    CImpersonation impersonation;
    impersonation.active = ImpersonateLoggedOnUser(token.get()) != FALSE;
    const std::u16string logged = MaskProtectedArguments(commandLine);
    Instance()->Log(LP_INFO, kModule, kLaunch, u"Open: %s", logged.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    std::u16string writable(commandLine);
    if (!CreateProcessAsUserW(token.get(), nullptr, writable.data(), nullptr, nullptr, FALSE,
                              CREATE_NEW_CONSOLE | CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS |
                                  CREATE_UNICODE_ENVIRONMENT,
                              environment.block, nullptr, &startup, &process)) {
        Instance()->Log(LP_WARNING, kModule, kLaunch,
                        u"Failed to create process: %s in session %d => Error %d", logged.c_str(), sessionId,
                        static_cast<int>(GetLastError()));
        return false;
    }
    CHandle processHandle(process.hProcess);
    CHandle threadHandle(process.hThread);
    Instance()->Log(LP_INFO, kModule, kLaunch, u"Started process: %s in session %d", logged.c_str(),
                    sessionId);
    if (wait) {
        Instance()->Log(LP_INFO, kModule, kLaunch, u"Waiting for Process using CreateProcess %s",
                        logged.c_str());
        const DWORD result = WaitForSingleObject(process.hProcess, kLaunchWaitMs);
        const int lastError = static_cast<int>(GetLastError());
        const char16_t* format = result == WAIT_OBJECT_0 ? u"Process finished. ProcResult: %d. LastError: %d"
                                 : result == WAIT_TIMEOUT
                                     ? u"Process timed out. ProcResult: %d. LastError: %d"
                                     : u"Process finished or timed out. ProcResult: %d. LastError: %d";
        Instance()->Log(LP_INFO, kModule, kLaunch, format, static_cast<int>(result), lastError);
    }
    return true;
}

} // namespace

std::vector<JxProcessEntry> JxFile::getProcessList() {
    std::vector<JxProcessEntry> processes;
    CHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE)
        return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        DWORD session = 0;
        if (!ProcessIdToSessionId(entry.th32ProcessID, &session))
            continue;
        JxProcessEntry process;
        process.m_dwProcessId = entry.th32ProcessID;
        process.m_dwSessionId = session;
        process.m_strExeFile = entry.szExeFile;
        Instance()->Log(LP_INFO, kModule, u"JxSetup::Data::JxFile::getProcessList", u"%s (%d, Session %d)",
                        process.m_strExeFile.c_str(), static_cast<int>(process.m_dwProcessId),
                        static_cast<int>(session));
        processes.push_back(std::move(process));
    }
    return processes;
}

bool JxFile::isProcessRunningInSession(const std::u16string& executable, DWORD sessionId,
                                       const std::vector<JxProcessEntry>& processes) {
    for (const JxProcessEntry& process : processes)
        if (process.m_dwSessionId == sessionId && jxtext::EqualsNoCase(process.m_strExeFile, executable))
            return true;
    return false;
}

bool JxFile::LaunchFileInActiveSessions(const std::u16string& folder, const std::u16string& file,
                                        const std::u16string& arguments, bool wait) {
    Instance()->Log(LOG_BEGIN, kModule, kLaunch, u"%s => %s", folder.c_str(), file.c_str());
    bool result = true;
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        Instance()->Log(LP_WARNING, kModule, kLaunch, u"WTSEnumerateSessions failed");
        return false;
    }
    Instance()->Log(LP_INFO, kModule, kLaunch, u"%d sessions enumerated", static_cast<int>(count));
    const std::vector<JxProcessEntry> processes = getProcessList();
    Instance()->Log(LP_INFO, kModule, kLaunch, u"%d processes enumerated",
                    static_cast<int>(processes.size()));
    const std::u16string program = CombinePath(folder, file);
    const std::u16string commandLine =
        arguments.empty() ? u"\"" + program + u"\"" : u"\"" + program + u"\" " + arguments;
    for (DWORD i = 0; i < count; ++i) {
        const DWORD sessionId = sessions[i].SessionId;
        if (sessions[i].State != WTSActive) {
            Instance()->Log(LP_INFO, kModule, kLaunch, u"Skipping inactive session %d",
                            static_cast<int>(sessionId));
            continue;
        }
        if (isProcessRunningInSession(file, sessionId, processes)) {
            Instance()->Log(LP_INFO, kModule, kLaunch, u"Process is already running in session %d",
                            static_cast<int>(sessionId));
            continue;
        }
        Instance()->Log(LP_INFO, kModule, kLaunch, u"Process is not running");
        if (!_launch_InSession(sessionId, commandLine, wait))
            result = false;
    }
    WTSFreeMemory(sessions);
    Instance()->Log(LOG_END, kModule, kLaunch, u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data
