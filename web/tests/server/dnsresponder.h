// A DNS responder of the tests on 127.0.0.1 (UDP, port 0) with canned answers per name: A records
// (with CNAME and additional-section records around them), NXDOMAIN, SERVFAIL, or no answer at
// all. It counts the queries per name.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace jxwebtest {

struct DnsAnswer {
    enum Kind { Records, NameError, ServerFailure, Silent } kind = Records;
    std::vector<std::string> addresses;  // A records of the answer section, in order
    std::string cname;                   // a CNAME record before them, when set
    std::vector<std::string> additional; // A records of the additional section
};

class DnsResponder {
public:
    DnsResponder();
    ~DnsResponder();
    DnsResponder(const DnsResponder&) = delete;
    DnsResponder& operator=(const DnsResponder&) = delete;

    uint16_t Port() const;
    // "127.0.0.1:<port>", the machine's dnsServer.
    std::string Address() const;
    // The answer for a name (ignoring case); a name without one is NXDOMAIN.
    void Set(const std::string& name, DnsAnswer answer);
    int Queries(const std::string& name) const;
    int TotalQueries() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

// n addresses 10.x.y.z, numbered from first.
std::vector<std::string> DnsAddresses(int n, int first = 1);

} // namespace jxwebtest
