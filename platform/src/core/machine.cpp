// The machine root and its description (machine.json).
#include "jxplat/machine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

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

// Creates the root's layout when it is missing; machine.json gets the defaults.
void PrepareRoot(const std::string& root) {
    EnsureHostDirectory(root);
    EnsureHostDirectory(root + "/drive_c");
    if (!fs::exists(root + "/machine.json"))
        WriteMachineDescription(root, MachineDescription{});
}

template <typename T> void Read(const json& j, const char* key, T& out) {
    if (j.is_object() && j.contains(key) && !j[key].is_null())
        out = j[key].get<T>();
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
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.description) {
        s.description = LoadMachineDescription(root);
        // A program that the elevation prompt let through runs as the machine's elevated
        // administrator, whatever the description says of the user who started it.
        if (const char* elevated = std::getenv("JX_ELEVATED"); elevated && std::string(elevated) == "1") {
            s.description->user.administrator = true;
            s.description->user.elevated = true;
        }
    }
    return *s.description;
}

MachineDescription LoadMachineDescription(const std::string& rootHostPath) {
    MachineDescription d;
    std::ifstream in(rootHostPath + "/machine.json");
    if (!in)
        return d;
    json j = json::parse(in, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        fprintf(stderr, "jxplat: %s/machine.json is not valid JSON; using the default machine\n",
                rootHostPath.c_str());
        return d;
    }
    try {
        if (j.contains("windows")) {
            const json& w = j["windows"];
            Read(w, "major", d.windowsMajor);
            Read(w, "minor", d.windowsMinor);
            Read(w, "build", d.windowsBuild);
            Read(w, "servicePack", d.servicePack);
            Read(w, "edition", d.edition);
            Read(w, "productType", d.productType);
        }
        Read(j, "is64Bit", d.is64Bit);
        Read(j, "computerName", d.computerName);
        Read(j, "language", d.language);
        if (j.contains("memory"))
            Read(j["memory"], "totalBytes", d.totalMemoryBytes);
        if (j.contains("user")) {
            const json& u = j["user"];
            Read(u, "name", d.user.name);
            Read(u, "sid", d.user.sid);
            Read(u, "administrator", d.user.administrator);
            Read(u, "elevated", d.user.elevated);
            Read(u, "uac", d.user.uac);
        }
        if (j.contains("messageBoxAnswers")) {
            for (const json& a : j["messageBoxAnswers"]) {
                MessageBoxAnswer answer;
                Read(a, "textContains", answer.textContains);
                Read(a, "captionContains", answer.captionContains);
                Read(a, "answer", answer.answer);
                d.messageBoxAnswers.push_back(answer);
            }
        }
        if (j.contains("faults")) {
            Read(j["faults"], "wsaStartup", d.faultWsaStartup);
            Read(j["faults"], "eventLog", d.faultEventLog);
        }
        if (j.contains("sessions")) {
            d.sessions.clear();
            for (const json& entry : j["sessions"]) {
                MachineSession session;
                Read(entry, "id", session.id);
                Read(entry, "state", session.state);
                Read(entry, "winStation", session.winStation);
                Read(entry, "user", session.user);
                Read(entry, "environmentFault", session.environmentFault);
                d.sessions.push_back(session);
            }
        }
        Read(j, "refusedServiceChanges", d.refusedServiceChanges);
        if (j.contains("trustedFiles")) {
            for (const json& entry : j["trustedFiles"]) {
                MachineTrustedFile file;
                Read(entry, "sha256", file.sha256);
                Read(entry, "signer", file.signer);
                Read(entry, "sha256Signed", file.sha256Signed);
                Read(entry, "thumbprint", file.thumbprint);
                d.trustedFiles.push_back(file);
            }
        }
    } catch (const std::exception& e) {
        fprintf(stderr,
                "jxplat: %s/machine.json has a key of the wrong type (%s); using defaults for the rest\n",
                rootHostPath.c_str(), e.what());
    }
    return d;
}

bool WriteMachineDescription(const std::string& rootHostPath, const MachineDescription& d) {
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
        {"faults", {{"wsaStartup", d.faultWsaStartup}, {"eventLog", d.faultEventLog}}},
        {"sessions", sessions},
        {"refusedServiceChanges", d.refusedServiceChanges},
        {"trustedFiles", trustedFiles},
    };
    // Written aside and renamed, so a reader never sees half a file.
    std::string path = rootHostPath + "/machine.json";
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out)
            return false;
        out << j.dump(2) << "\n";
        if (!out.good())
            return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    return !ec;
}

std::string MachinePath(const std::string& relative) {
    return MachineRoot() + "/" + relative;
}

} // namespace jxplat
