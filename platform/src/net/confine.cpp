// The confined network of the stand-in: names resolve only to loopback addresses, and the HTTPS
// client trusts only the machine's listed root certificates.
#include <fstream>
#include <sstream>

#include "hostnet.h"
#include "jxplat/debugapi.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"

namespace jxplat {
namespace {

// Host names compare as Windows compares names: ignoring case.
bool _confine_SameName(const std::string& a, const std::string& b) {
    return jxtext::Fold(jxtext::Utf8ToUtf16(a)) == jxtext::Fold(jxtext::Utf8ToUtf16(b));
}

} // namespace

bool IsLoopbackAddressText(const std::string& address) {
    hostnet::WinAddress win;
    return hostnet::AddressFromText(address, 0, win) && hostnet::IsLoopbackWinAddress(win.data(), win.size());
}

std::vector<std::string> ResolveConfinedHost(const std::string& name) {
    std::string host = name;
    // A literal IPv6 address of a URL comes in brackets.
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (IsLoopbackAddressText(host))
        return {host};
    for (const auto& mapped : Machine().hostNames)
        if (_confine_SameName(mapped.name, host))
            return mapped.addresses;
    if (_confine_SameName(host, "localhost"))
        return {"127.0.0.1", "::1"};
    return {};
}

uint16_t ForwardedLoopbackPort(uint16_t port) {
    for (const auto& forward : Machine().loopbackPorts)
        if (forward.port == port)
            return forward.to;
    return port;
}

std::string TrustedRootCertificatesPem() {
    std::string pem;
    for (const auto& file : Machine().trustedRootCertificates) {
        const std::string path = !file.empty() && file[0] == '/' ? file : MachinePath(file);
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) {
            OutputDebugStringW(
                jxtext::Utf8ToUtf16("jxplat: cannot read the trusted root certificates " + path + "\n")
                    .c_str());
            return {};
        }
        pem += text.str();
        pem += "\n";
    }
    return pem;
}

} // namespace jxplat
