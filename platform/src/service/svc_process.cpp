// The processes of services: started through CreateProcessW from the ImagePath command line, ended
// by their recorded process id only while that id still names the process the stand-in started.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "process/processobject.h"
#include "service/svc_internal.h"

namespace jxplat {
namespace {
DWORD g_StopGraceMs = 5000;
} // namespace

void SetServiceStopGraceForTesting(DWORD milliseconds) {
    g_StopGraceMs = milliseconds;
}

namespace svc {
namespace {

// The two fields of /proc/<pid>/stat that tell a process apart: its state and its start time.
bool _svc_ReadProcStat(DWORD pid, char& state, unsigned long long& startTicks) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!pid || !std::getline(in, line))
        return false;
    // The command name may hold blanks and parentheses; the fields follow its last ")".
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return false;
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < line.size() && fields.size() < 20) {
        size_t end = line.find(' ', at);
        if (end == std::string::npos)
            end = line.size();
        fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    // fields[0] is field 3 (state), fields[19] field 22 (start time).
    if (fields.size() < 20)
        return false;
    state = fields[0].empty() ? '?' : fields[0][0];
    startTicks = std::strtoull(fields[19].c_str(), nullptr, 10);
    return true;
}

// %NAME% replaced by the machine's folders or the environment, as the service manager expands a
// REG_EXPAND_SZ image path; an unknown name stays as written.
std::u16string _svc_ExpandEnvironment(const std::u16string& text) {
    std::u16string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find(u'%', at);
        const size_t close = open == std::u16string::npos ? open : text.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            out += text.substr(at);
            break;
        }
        out += text.substr(at, open - at);
        const std::u16string name = text.substr(open + 1, close - open - 1);
        std::u16string value;
        if (jxtext::EqualsNoCase(name, u"SystemRoot") || jxtext::EqualsNoCase(name, u"windir"))
            value = u"C:\\Windows";
        else if (jxtext::EqualsNoCase(name, u"SystemDrive"))
            value = u"C:";
        else if (jxtext::EqualsNoCase(name, u"ProgramFiles"))
            value = u"C:\\Program Files";
        else if (jxtext::EqualsNoCase(name, u"ProgramData"))
            value = u"C:\\ProgramData";
        if (value.empty()) {
            out += text.substr(open, close - open + 1);
        } else {
            out += value;
        }
        at = close + 1;
    }
    return out;
}

bool _svc_IsRegularFile(const std::string& host) {
    struct stat info = {};
    return !host.empty() && ::stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The program of the command line and the rest. An unquoted path with blanks is tried at each
// blank in turn ("C:\Program Files\x.exe" without quotes), as Windows does.
bool _svc_FindProgram(const std::u16string& line, std::u16string& program, std::u16string& rest) {
    const std::u16string trimmed = jxtext::Trim(line, u" \t");
    if (trimmed.empty())
        return false;
    if (trimmed[0] == u'"') {
        const size_t close = trimmed.find(u'"', 1);
        program = trimmed.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1);
        rest = close == std::u16string::npos ? u"" : trimmed.substr(close + 1);
        return _svc_IsRegularFile(WindowsToHostPath(program));
    }
    size_t blank = trimmed.find(u' ');
    for (;;) {
        program = trimmed.substr(0, blank);
        rest = blank == std::u16string::npos ? u"" : trimmed.substr(blank);
        if (_svc_IsRegularFile(WindowsToHostPath(program)))
            return true;
        if (blank == std::u16string::npos)
            return false;
        blank = trimmed.find(u' ', blank + 1);
    }
}

// A host program (ELF) or a script with "#!": the stand-in can run it.
bool _svc_IsRunnable(const std::string& host) {
    char head[4] = {};
    std::ifstream in(host, std::ios::binary);
    in.read(head, sizeof(head));
    const std::streamsize got = in.gcount();
    return (got >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') ||
           (got >= 2 && head[0] == '#' && head[1] == '!');
}

} // namespace

unsigned long long ProcessStartTicks(DWORD pid) {
    char state = 0;
    unsigned long long ticks = 0;
    return _svc_ReadProcStat(pid, state, ticks) ? ticks : 0;
}

bool IsServiceProcessAlive(DWORD pid, unsigned long long startTicks) {
    char state = 0;
    unsigned long long ticks = 0;
    if (!_svc_ReadProcStat(pid, state, ticks))
        return false;
    return state != 'Z' && state != 'X' && ticks == startTicks;
}

DWORD StartServiceProcess(const std::u16string& name, const std::u16string& imagePath, RunState& state) {
    std::u16string program, rest;
    if (!_svc_FindProgram(_svc_ExpandEnvironment(imagePath), program, rest))
        return ERROR_FILE_NOT_FOUND;
    state = RunState{SERVICE_RUNNING, 0, 0, 0};
    // An image the stand-in cannot run (a placeholder file of a test) runs without a process.
    if (!_svc_IsRunnable(WindowsToHostPath(program)))
        return 0;
    std::u16string line = QuoteArgument(program) + rest;
    PROCESS_INFORMATION info = {};
    // A service has no console: nothing of the starter's standard handles reaches it.
    if (!StartProcess(nullptr, line.data(), nullptr, false, &info, true))
        return GetLastError();
    state.pid = info.dwProcessId;
    state.startTicks = ProcessStartTicks(info.dwProcessId);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 0;
}

bool EndServiceProcess(const RunState& state) {
    if (state.pid == 0 || !IsServiceProcessAlive(state.pid, state.startTicks))
        return true;
    // A service that ignores the request keeps running: the manager never kills a service process.
    ::kill(static_cast<pid_t>(state.pid), SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_StopGraceMs);
    while (IsServiceProcessAlive(state.pid, state.startTicks)) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace svc
} // namespace jxplat
