// Shared pieces of the web tests: a machine whose trusted roots are the test CA, and short
// time-outs for every client.
#pragma once

#include <memory>
#include <string>

#include "jxtest/machine_root.h"
#include "jxweb/HttpClient.h"
#include "testserver.h"

namespace jxwebtest {

class WebMachine {
public:
    WebMachine() : m_root(), m_pki(m_root.Path()) {
        jxplat::MachineDescription d;
        d.trustedRootCertificates = {m_pki.caPem};
        d.hostNames = {{"updates.jx.test", {"127.0.0.1"}}};
        m_root.Describe(d);
    }
    const TestPki& Pki() const { return m_pki; }
    const std::string& Path() const { return m_root.Path(); }

private:
    jxtest::TempMachineRoot m_root;
    TestPki m_pki;
};

inline std::shared_ptr<HttpClient> NewClient(HttpClient::ProgressCallback progress = {},
                                             DWORD initial = 4096) {
    auto client = std::make_shared<HttpClient>(std::move(progress), initial);
    client->SetTimeouts(1000, 2000, 2000, 2000, 2000);
    return client;
}

inline std::string BodyText(const HttpClient::Result& r) {
    return r.body ? std::string(r.body->begin(), r.body->begin() + r.bodyLength) : std::string();
}

inline std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

inline std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

} // namespace jxwebtest
