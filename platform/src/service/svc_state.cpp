// The run state of the services: "services/state.json" below the machine root, one entry per
// service by its folded name. Every process of the machine shares it; "services/state.lock"
// (an advisory lock) serialises the changes.
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "service/svc_internal.h"
#include "service/svc_lock.h"

using nlohmann::json;

namespace jxplat::svc {
namespace {

struct LockState {
    std::recursive_mutex mutex;
    int depth = 0;
    int fd = -1;
};

LockState& Lock() {
    static LockState* state = new LockState; // lives until the process ends
    return *state;
}

std::string _svc_StatePath() {
    EnsureHostDirectory(MachinePath("services"));
    return MachinePath("services/state.json");
}

json _svc_LoadAll() {
    std::ifstream in(_svc_StatePath());
    if (!in)
        return json::object();
    json all = json::parse(in, nullptr, false);
    return all.is_object() ? all : json::object();
}

void _svc_SaveAll(const json& all) {
    // Written aside and renamed, so a reader never sees half a file.
    const std::string path = _svc_StatePath();
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << all.dump(2) << "\n";
    }
    std::rename(temp.c_str(), path.c_str());
}

std::string _svc_Key(const std::u16string& name) {
    return jxtext::Utf16ToUtf8(jxtext::Fold(name));
}

} // namespace

CRunStateLock::CRunStateLock() {
    LockState& l = Lock();
    l.mutex.lock();
    if (l.depth++ == 0) {
        EnsureHostDirectory(MachinePath("services"));
        l.fd = ::open(MachinePath("services/state.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (l.fd >= 0)
            while (::flock(l.fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
}

CRunStateLock::~CRunStateLock() {
    LockState& l = Lock();
    if (--l.depth == 0 && l.fd >= 0) {
        ::flock(l.fd, LOCK_UN);
        ::close(l.fd);
        l.fd = -1;
    }
    l.mutex.unlock();
}

RunState CurrentRunState(const std::u16string& name) {
    CRunStateLock lock;
    RunState state;
    const json all = _svc_LoadAll();
    const std::string key = _svc_Key(name);
    if (all.contains(key) && all[key].is_object()) {
        const json& entry = all[key];
        state.state = entry.value("state", static_cast<DWORD>(SERVICE_STOPPED));
        state.pid = entry.value("pid", 0u);
        state.startTicks = entry.value("startTicks", 0ull);
        state.exitCode = entry.value("exitCode", 1077u);
    }
    if (state.state == SERVICE_STOP_PENDING && !IsServiceProcessAlive(state.pid, state.startTicks)) {
        // A stop that outlasted the grace has come to its end.
        state = RunState{SERVICE_STOPPED, 0, 0, 0};
        SaveRunState(name, state);
    }
    if (state.state == SERVICE_RUNNING && state.pid != 0 &&
        !IsServiceProcessAlive(state.pid, state.startTicks)) {
        // The process ended without being stopped: Windows reports that as an unexpected end.
        state = RunState{SERVICE_STOPPED, 0, 0, 1067 /*ERROR_PROCESS_ABORTED*/};
        SaveRunState(name, state);
    }
    if (state.state == SERVICE_STOPPED && IsMarkedForDelete(name)) {
        DeleteServiceKey(name);
        ForgetRunState(name);
    }
    return state;
}

void SaveRunState(const std::u16string& name, const RunState& state) {
    CRunStateLock lock;
    json all = _svc_LoadAll();
    all[_svc_Key(name)] = {{"name", jxtext::Utf16ToUtf8(name)},
                           {"state", state.state},
                           {"pid", state.pid},
                           {"startTicks", state.startTicks},
                           {"exitCode", state.exitCode}};
    _svc_SaveAll(all);
}

void ForgetRunState(const std::u16string& name) {
    CRunStateLock lock;
    json all = _svc_LoadAll();
    if (all.erase(_svc_Key(name)) > 0)
        _svc_SaveAll(all);
}

void FillStatus(const ServiceInfo& config, const RunState& state, SERVICE_STATUS_PROCESS& status) {
    status = SERVICE_STATUS_PROCESS{};
    status.dwServiceType = config.type;
    status.dwCurrentState = state.state;
    status.dwControlsAccepted =
        state.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = state.state == SERVICE_STOPPED ? state.exitCode : 0;
    status.dwProcessId = state.state == SERVICE_STOPPED ? 0 : state.pid;
}

} // namespace jxplat::svc
