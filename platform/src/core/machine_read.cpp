// Reading machine.json. The file is read strictly: a key the reader does not know, a value of the
// wrong type or a file that is no JSON object is a problem, named by its path in the file
// ("user.elevatd", "trustedFiles[0].signer"), never silently replaced by a default.
#include "jxplat/machine.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <type_traits>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace jxplat {
namespace {

// One JSON object of the file: reads its keys by name and, once done, reports those nobody read.
class CJsonObject {
public:
    CJsonObject(const json& value, std::string path, std::vector<std::string>& problems)
        : m_value(value), m_path(std::move(path)), m_problems(problems) {
        if (!m_value.is_object())
            Problem(m_path.empty() ? "the file is not a JSON object" : m_path + ": expected an object");
    }
    CJsonObject(const CJsonObject&) = delete;
    CJsonObject& operator=(const CJsonObject&) = delete;
    ~CJsonObject() { _ReportUnknownKeys(); }

    // The value of a key when the object has it (null counts as missing); marks the key known.
    const json* Find(const char* key) {
        m_known.insert(key);
        if (!m_value.is_object())
            return nullptr;
        auto it = m_value.find(key);
        return it == m_value.end() || it->is_null() ? nullptr : &*it;
    }

    std::string PathOf(const std::string& key) const { return m_path.empty() ? key : m_path + "." + key; }

    template <typename T> void Read(const char* key, T& out) {
        if (const json* value = Find(key))
            _Convert(*value, PathOf(key), out);
    }

    // Calls read(element, path) for each element of an array-valued key.
    template <typename F> void ReadArray(const char* key, F read) {
        const json* value = Find(key);
        if (!value)
            return;
        if (!value->is_array()) {
            Problem(PathOf(key) + ": expected a list");
            return;
        }
        for (size_t i = 0; i < value->size(); ++i)
            read((*value)[i], PathOf(key) + "[" + std::to_string(i) + "]");
    }

    void Problem(const std::string& text) { m_problems.push_back(text); }

private:
    void _Convert(const json& value, const std::string& path, bool& out) {
        if (value.is_boolean())
            out = value.get<bool>();
        else
            Problem(path + ": expected true or false");
    }
    void _Convert(const json& value, const std::string& path, std::string& out) {
        if (value.is_string())
            out = value.get<std::string>();
        else
            Problem(path + ": expected a text");
    }
    void _Convert(const json& value, const std::string& path, std::vector<std::string>& out) {
        if (!value.is_array()) {
            Problem(path + ": expected a list of texts");
            return;
        }
        out.clear();
        for (const json& element : value) {
            if (!element.is_string()) {
                Problem(path + ": expected a list of texts");
                return;
            }
            out.push_back(element.get<std::string>());
        }
    }
    template <typename T>
    requires std::is_integral_v<T>
    void _Convert(const json& value, const std::string& path, T& out) {
        using Limits = std::numeric_limits<T>;
        bool fits = false;
        if (value.is_number_unsigned()) {
            fits = value.get<unsigned long long>() <= static_cast<unsigned long long>(Limits::max());
        } else if (value.is_number_integer()) {
            const long long number = value.get<long long>();
            fits = number >= static_cast<long long>(Limits::min()) &&
                   (number < 0 || static_cast<unsigned long long>(number) <=
                                      static_cast<unsigned long long>(Limits::max()));
        }
        if (fits)
            out = value.get<T>();
        else
            Problem(path + ": expected a whole number from " + std::to_string(Limits::min()) + " to " +
                    std::to_string(Limits::max()));
    }

    void _ReportUnknownKeys() {
        if (!m_value.is_object())
            return;
        for (auto it = m_value.begin(); it != m_value.end(); ++it) {
            if (m_known.count(it.key()))
                continue;
            std::string text = "unknown key \"" + PathOf(it.key()) + "\"";
            // The table of platform/MACHINE.md names nested keys with dots; the file nests objects.
            const size_t dot = it.key().find('.');
            if (dot != std::string::npos)
                text += " (a dotted name stands for nested objects: write {\"" + it.key().substr(0, dot) +
                        "\": {\"" + it.key().substr(dot + 1) + "\": ...}})";
            Problem(text);
        }
    }

    const json& m_value;
    std::string m_path;
    std::vector<std::string>& m_problems;
    std::set<std::string> m_known;
};

void _machine_ReadWindows(CJsonObject& file, MachineDescription& d, std::vector<std::string>& problems) {
    if (const json* value = file.Find("windows")) {
        CJsonObject w(*value, "windows", problems);
        w.Read("major", d.windowsMajor);
        w.Read("minor", d.windowsMinor);
        w.Read("build", d.windowsBuild);
        w.Read("servicePack", d.servicePack);
        w.Read("edition", d.edition);
        w.Read("productType", d.productType);
    }
    file.Read("is64Bit", d.is64Bit);
    file.Read("computerName", d.computerName);
    file.Read("language", d.language);
    if (const json* value = file.Find("memory")) {
        CJsonObject memory(*value, "memory", problems);
        memory.Read("totalBytes", d.totalMemoryBytes);
    }
}

void _machine_ReadUser(CJsonObject& file, MachineDescription& d, std::vector<std::string>& problems) {
    if (const json* value = file.Find("user")) {
        CJsonObject u(*value, "user", problems);
        u.Read("name", d.user.name);
        u.Read("sid", d.user.sid);
        u.Read("administrator", d.user.administrator);
        u.Read("elevated", d.user.elevated);
        u.Read("uac", d.user.uac);
    }
    // A listed set of sessions replaces the default one.
    if (const json* value = file.Find("sessions"); value && value->is_array())
        d.sessions.clear();
    file.ReadArray("sessions", [&](const json& entry, const std::string& path) {
        CJsonObject s(entry, path, problems);
        MachineSession session;
        s.Read("id", session.id);
        s.Read("state", session.state);
        s.Read("winStation", session.winStation);
        s.Read("user", session.user);
        s.Read("environmentFault", session.environmentFault);
        d.sessions.push_back(session);
    });
}

void _machine_ReadAnswersAndFaults(CJsonObject& file, MachineDescription& d,
                                   std::vector<std::string>& problems) {
    file.ReadArray("messageBoxAnswers", [&](const json& entry, const std::string& path) {
        CJsonObject a(entry, path, problems);
        MessageBoxAnswer answer;
        a.Read("textContains", answer.textContains);
        a.Read("captionContains", answer.captionContains);
        a.Read("answer", answer.answer);
        d.messageBoxAnswers.push_back(answer);
    });
    if (const json* value = file.Find("faults")) {
        CJsonObject faults(*value, "faults", problems);
        faults.Read("wsaStartup", d.faultWsaStartup);
        faults.Read("eventLog", d.faultEventLog);
        if (const json* disk = faults.Find("diskFull")) {
            CJsonObject full(*disk, faults.PathOf("diskFull"), problems);
            d.faultDiskFull = true;
            full.Read("afterBytes", d.faultDiskFullAfterBytes);
            full.Read("folder", d.faultDiskFullFolder);
        }
        faults.Read("killAt", d.faultKillAt);
        faults.Read("systemRestore", d.faultSystemRestore);
        if (!d.faultSystemRestore.empty() && d.faultSystemRestore != "begin" && d.faultSystemRestore != "end")
            faults.Problem(faults.PathOf("systemRestore") + ": expected \"begin\" or \"end\"");
        if (!d.faultKillAt.empty() && d.faultKillAt != "start" && d.faultKillAt != "filecopy" &&
            d.faultKillAt != "maintenancecopy")
            faults.Problem(faults.PathOf("killAt") +
                           ": expected \"start\", \"filecopy\" or \"maintenancecopy\"");
    }
    file.Read("refusedServiceChanges", d.refusedServiceChanges);
    file.Read("readyServices", d.readyServices);
    file.Read("guiScript", d.guiScript);
    file.Read("systemRestore", d.systemRestore);
    file.Read("deviceTimeoutMs", d.deviceTimeoutMs);
    if (file.Find("dosDevices"))
        d.dosDevices.clear();
    file.ReadArray("dosDevices", [&](const json& entry, const std::string& path) {
        CJsonObject device(entry, path, problems);
        MachineDosDevice dos;
        device.Read("name", dos.name);
        device.Read("target", dos.target);
        d.dosDevices.push_back(dos);
    });
    file.ReadArray("trustedFiles", [&](const json& entry, const std::string& path) {
        CJsonObject t(entry, path, problems);
        MachineTrustedFile trusted;
        t.Read("sha256", trusted.sha256);
        t.Read("signer", trusted.signer);
        t.Read("sha256Signed", trusted.sha256Signed);
        t.Read("thumbprint", trusted.thumbprint);
        d.trustedFiles.push_back(trusted);
    });
}

void _machine_ReadNetwork(CJsonObject& file, MachineDescription& d, std::vector<std::string>& problems) {
    file.ReadArray("hostNames", [&](const json& entry, const std::string& path) {
        CJsonObject h(entry, path, problems);
        MachineHostName host;
        h.Read("name", host.name);
        h.Read("addresses", host.addresses);
        for (const auto& address : host.addresses)
            if (!IsLoopbackAddressText(address))
                h.Problem(path + ".addresses: \"" + address + "\" is no loopback address");
        d.hostNames.push_back(host);
    });
    // A listed set of adapters replaces the default loopback adapter.
    if (const json* value = file.Find("networkAdapters"); value && value->is_array())
        d.networkAdapters.clear();
    file.ReadArray("networkAdapters", [&](const json& entry, const std::string& path) {
        CJsonObject a(entry, path, problems);
        MachineNetworkAdapter adapter;
        a.Read("name", adapter.name);
        a.Read("description", adapter.description);
        a.Read("physical", adapter.physical);
        a.Read("up", adapter.up);
        a.Read("addresses", adapter.addresses);
        d.networkAdapters.push_back(adapter);
    });
    file.Read("trustedRootCertificates", d.trustedRootCertificates);
    file.ReadArray("loopbackPorts", [&](const json& entry, const std::string& path) {
        CJsonObject f(entry, path, problems);
        MachinePortForward forward;
        f.Read("port", forward.port);
        f.Read("to", forward.to);
        d.loopbackPorts.push_back(forward);
    });
    file.Read("dnsServer", d.dnsServer);
    file.Read("dnsTimeoutMs", d.dnsTimeoutMs);
    if (!d.dnsServer.empty() && !IsLoopbackAddressText(d.dnsServer.substr(0, d.dnsServer.rfind(':'))))
        file.Problem("dnsServer: \"" + d.dnsServer + "\" is no loopback address and port");
}

} // namespace

MachineDescription LoadMachineDescription(const std::string& rootHostPath,
                                          std::vector<std::string>* problems) {
    MachineDescription d;
    std::vector<std::string> found;
    const std::string path = rootHostPath + "/machine.json";
    std::ifstream in(path);
    // Only a missing file means the defaults: one that is there but cannot be read (no descriptors
    // left, no permission) is a problem, never a machine that silently trusts nothing.
    std::error_code ec;
    if (!in && std::filesystem::exists(path, ec))
        found.push_back("the file cannot be read");
    if (in) {
        const json j = json::parse(in, nullptr, false);
        if (j.is_discarded()) {
            found.push_back("the file is not valid JSON");
        } else {
            CJsonObject file(j, "", found);
            _machine_ReadWindows(file, d, found);
            _machine_ReadUser(file, d, found);
            _machine_ReadAnswersAndFaults(file, d, found);
            _machine_ReadNetwork(file, d, found);
        }
    }
    if (problems)
        *problems = std::move(found);
    return d;
}

} // namespace jxplat
