// A machine whose update servers are a scripted HTTPS server of the test on loopback: the pool and
// server names of the update-server domain resolve through the machine's DNS server (a canned
// responder) and its host names, and port 443 of the loopback network reaches the test server.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "dnsresponder.h"
#include "jxtest/machine_root.h"
#include "testserver.h"

namespace jxwebtest {

// The update-server domain of the build.
inline std::string UpdateDomain() {
    return JX_UPDATE_SERVER_DOMAIN;
}
inline std::string PoolName(const std::string& region, int n) {
    return std::string(JX_UPDATE_POOL_LABEL) + region + "-pool-" + std::to_string(n) + UpdateDomain();
}
// The host name of one server address ("n127-0-0-1" and the domain).
inline std::string ServerName(std::string address) {
    for (auto& c : address)
        if (c == '.')
            c = '-';
    return "n" + address + UpdateDomain();
}

class UpdateMachine {
public:
    using Route = std::function<std::string(const Request&)>;

    // Server addresses: 127.0.0.1 reaches the test server; 127.0.0.2 refuses connections.
    UpdateMachine()
        : m_pki(m_root.Path()),
          m_server([this](const Request& q, Connection& c) { c.Write(_Answer(q)); }, &m_pki.updateServer) {
        jxplat::MachineDescription d;
        d.trustedRootCertificates = {m_pki.caPem};
        d.dnsServer = m_dns.Address();
        d.dnsTimeoutMs = 200;
        d.loopbackPorts = {{443, m_server.Port()}};
        d.hostNames = {{ServerName("127.0.0.1"), {"127.0.0.1"}},
                       {ServerName("127.0.0.2"), {"127.0.0.2"}},
                       {"updates" + UpdateDomain(), {"127.0.0.1"}}};
        m_description = d;
        m_root.Describe(d);
    }
    void Describe(const std::function<void(jxplat::MachineDescription&)>& change) {
        change(m_description);
        m_root.Describe(m_description);
    }

    DnsResponder& Dns() { return m_dns; }
    TestServer& Server() { return m_server; }
    const std::string& Path() const { return m_root.Path(); }
    const jxtest::TempMachineRoot& Root() const { return m_root; }
    const TestPki& Pki() const { return m_pki; }

    // The answer to a path (the request's target without its query); 404 without a route.
    void Serve(const std::string& path, Route route) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_routes[path] = std::move(route);
    }
    void ServeFixed(const std::string& path, int status, const std::string& body,
                    const std::string& type = "application/octet-stream") {
        Serve(path, [=](const Request&) { return Answer(status, body, {{"Content-Type", type}}); });
    }
    int Hits(const std::string& path) const {
        int hits = 0;
        for (const auto& request : m_server.Requests())
            if (request.target == path)
                ++hits;
        return hits;
    }

private:
    std::string _Answer(const Request& q) {
        Route route;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            auto it = m_routes.find(q.target.substr(0, q.target.find('?')));
            if (it != m_routes.end())
                route = it->second;
        }
        return route ? route(q) : Answer(404, "");
    }

    jxtest::TempMachineRoot m_root;
    TestPki m_pki;
    DnsResponder m_dns;
    std::mutex m_lock;
    std::map<std::string, Route> m_routes;
    TestServer m_server;
    jxplat::MachineDescription m_description;
};

// UTF-16LE bytes of a text, with the byte-order mark (how the update servers send XML and text).
inline std::string Utf16Le(const std::string& ascii, bool bom = true) {
    std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

} // namespace jxwebtest
