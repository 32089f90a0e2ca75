// The machine root and its description (machine.json).
#include "jxplat/machine.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "jxplat/debugapi.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace jxplat {
namespace {

struct MachineState {
    std::mutex lock;
    std::string root;
    std::optional<MachineDescription> description;
    std::vector<std::function<void()>> hooks;
};

MachineState& State() {
    static MachineState* state = new MachineState; // lives until the process ends
    return *state;
}

std::string DefaultRoot() {
    if (const char* env = std::getenv("JX_MACHINE_ROOT"); env && *env)
        return env;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return std::string(state) + "/jxsetup/machine";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/jxsetup/machine";
}

bool _machine_Write(const std::string& rootHostPath, const MachineDescription& d, bool replace);

// Creates the root's layout when it is missing; machine.json gets the defaults. A description that
// another process writes meanwhile (a test, the demo) is never replaced by the defaults: a machine
// read back as the default one trusts no program.
void PrepareRoot(const std::string& root) {
    EnsureHostDirectory(root);
    EnsureHostDirectory(root + "/drive_c");
    if (!fs::exists(root + "/machine.json"))
        _machine_Write(root, MachineDescription{}, false);
}

// A description that does not say what its writer meant must not run anything: every process
// that reads it names each problem on stderr and in the trace and ends with exit code 1.
[[noreturn]] void _machine_Refuse(const std::string& root, const std::vector<std::string>& problems) {
    for (const std::string& problem : problems) {
        const std::string line = "jxplat: " + root + "/machine.json: " + problem + "\n";
        std::fputs(line.c_str(), stderr);
        OutputDebugStringA(line.c_str());
    }
    const std::string last = "jxplat: the machine description is refused (its keys are listed in "
                             "platform/MACHINE.md); the process ends with exit code 1\n";
    std::fputs(last.c_str(), stderr);
    OutputDebugStringA(last.c_str());
    std::fflush(nullptr);
    WriteExitCode(1);
    std::_Exit(1);
}

} // namespace

bool EnsureHostDirectory(const std::string& hostPath) {
    std::error_code ec;
    fs::create_directories(hostPath, ec);
    return fs::is_directory(hostPath, ec);
}

const std::string& MachineRoot() {
    MachineState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.root.empty()) {
        s.root = DefaultRoot();
        PrepareRoot(s.root);
    }
    return s.root;
}

void SetMachineRoot(const std::string& hostPath) {
    std::vector<std::function<void()>> hooks;
    {
        MachineState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        s.root = hostPath;
        s.description.reset();
        PrepareRoot(s.root);
        hooks = s.hooks;
    }
    for (auto& hook : hooks)
        hook();
}

void AddMachineRootResetHook(std::function<void()> hook) {
    MachineState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.hooks.push_back(std::move(hook));
}

const MachineDescription& Machine() {
    const std::string& root = MachineRoot();
    MachineState& s = State();
    std::vector<std::string> problems;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.description)
            return *s.description;
        MachineDescription loaded = LoadMachineDescription(root, &problems);
        if (problems.empty()) {
            s.description = std::move(loaded);
            // A program that the elevation prompt let through runs as the machine's elevated
            // administrator, whatever the description says of the user who started it.
            if (const char* elevated = std::getenv("JX_ELEVATED"); elevated && std::string(elevated) == "1") {
                s.description->user.administrator = true;
                s.description->user.elevated = true;
            }
            return *s.description;
        }
    }
    _machine_Refuse(root, problems); // outside the lock: the trace asks for the machine root
}

bool WriteMachineDescription(const std::string& rootHostPath, const MachineDescription& d) {
    return _machine_Write(rootHostPath, d, true);
}

namespace {

// Writes machine.json aside under a name of this writer alone and puts it in place: a reader never
// sees half a file, two writers never mix their texts, and without replace an existing
// description stays (link() refuses a name that exists).
bool _machine_Write(const std::string& rootHostPath, const MachineDescription& d, bool replace) {
    EnsureHostDirectory(rootHostPath);
    json answers = json::array();
    for (const auto& a : d.messageBoxAnswers)
        answers.push_back(
            {{"textContains", a.textContains}, {"captionContains", a.captionContains}, {"answer", a.answer}});
    json sessions = json::array();
    for (const auto& session : d.sessions)
        sessions.push_back({{"id", session.id},
                            {"state", session.state},
                            {"winStation", session.winStation},
                            {"user", session.user},
                            {"environmentFault", session.environmentFault}});
    json trustedFiles = json::array();
    for (const auto& file : d.trustedFiles)
        trustedFiles.push_back({{"sha256", file.sha256},
                                {"signer", file.signer},
                                {"sha256Signed", file.sha256Signed},
                                {"thumbprint", file.thumbprint}});
    json faults = {{"wsaStartup", d.faultWsaStartup},
                   {"eventLog", d.faultEventLog},
                   {"killAt", d.faultKillAt},
                   {"systemRestore", d.faultSystemRestore}};
    if (d.faultDiskFull)
        faults["diskFull"] = {{"afterBytes", d.faultDiskFullAfterBytes}, {"folder", d.faultDiskFullFolder}};
    json dosDevices = json::array();
    for (const MachineDosDevice& device : d.dosDevices)
        dosDevices.push_back({{"name", device.name}, {"target", device.target}});
    json hostNames = json::array();
    for (const auto& host : d.hostNames)
        hostNames.push_back({{"name", host.name}, {"addresses", host.addresses}});
    json ports = json::array();
    for (const auto& forward : d.loopbackPorts)
        ports.push_back({{"port", forward.port}, {"to", forward.to}});
    json adapters = json::array();
    for (const auto& adapter : d.networkAdapters)
        adapters.push_back({{"name", adapter.name},
                            {"description", adapter.description},
                            {"physical", adapter.physical},
                            {"up", adapter.up},
                            {"addresses", adapter.addresses}});
    json j = {
        {"windows",
         {{"major", d.windowsMajor},
          {"minor", d.windowsMinor},
          {"build", d.windowsBuild},
          {"servicePack", d.servicePack},
          {"edition", d.edition},
          {"productType", d.productType}}},
        {"is64Bit", d.is64Bit},
        {"computerName", d.computerName},
        {"language", d.language},
        {"memory", {{"totalBytes", d.totalMemoryBytes}}},
        {"user",
         {{"name", d.user.name},
          {"sid", d.user.sid},
          {"administrator", d.user.administrator},
          {"elevated", d.user.elevated},
          {"uac", d.user.uac}}},
        {"messageBoxAnswers", answers},
        {"faults", faults},
        {"sessions", sessions},
        {"refusedServiceChanges", d.refusedServiceChanges},
        {"readyServices", d.readyServices},
        {"guiScript", d.guiScript},
        {"systemRestore", d.systemRestore},
        {"deviceTimeoutMs", d.deviceTimeoutMs},
        {"dosDevices", dosDevices},
        {"trustedFiles", trustedFiles},
        {"hostNames", hostNames},
        {"networkAdapters", adapters},
        {"trustedRootCertificates", d.trustedRootCertificates},
        {"loopbackPorts", ports},
        {"dnsServer", d.dnsServer},
        {"dnsTimeoutMs", d.dnsTimeoutMs},
    };
    static std::atomic<unsigned> s_writes{0};
    const std::string path = rootHostPath + "/machine.json";
    const std::string temp =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(s_writes.fetch_add(1));
    bool written = false;
    {
        std::ofstream out(temp, std::ios::trunc);
        if (out) {
            out << j.dump(2) << "\n";
            out.flush();
            written = out.good();
        }
    }
    bool placed = false;
    if (written && replace) {
        placed = ::rename(temp.c_str(), path.c_str()) == 0;
    } else if (written) {
        placed = ::link(temp.c_str(), path.c_str()) == 0 || errno == EEXIST;
    }
    if (!placed || !replace)
        ::unlink(temp.c_str());
    // A new description starts with an empty disk: what a full disk counted so far goes.
    if (placed && replace) {
        std::error_code ec;
        fs::remove(rootHostPath + "/faults/disk.used", ec);
    }
    return placed;
}

} // namespace

std::string MachinePath(const std::string& relative) {
    return MachineRoot() + "/" + relative;
}

} // namespace jxplat
