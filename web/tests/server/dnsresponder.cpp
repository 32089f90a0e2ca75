// The canned DNS responder of the web tests.
#include "dnsresponder.h"

#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace jxwebtest {
namespace {

std::string _dns_Lower(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void _dns_Put16(std::string& out, unsigned value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void _dns_PutName(std::string& out, const std::string& name) {
    size_t start = 0;
    while (start < name.size()) {
        size_t dot = name.find('.', start);
        if (dot == std::string::npos)
            dot = name.size();
        out += static_cast<char>(dot - start);
        out += name.substr(start, dot - start);
        start = dot + 1;
    }
    out += '\0';
}

void _dns_PutA(std::string& out, const std::string& name, const std::string& address) {
    _dns_PutName(out, name);
    _dns_Put16(out, 1);
    _dns_Put16(out, 1);
    out += std::string("\0\0\0\x3c", 4);
    _dns_Put16(out, 4);
    in_addr ip{};
    inet_pton(AF_INET, address.c_str(), &ip);
    out.append(reinterpret_cast<const char*>(&ip), 4);
}

} // namespace

struct DnsResponder::Impl {
    int fd = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::thread worker;
    mutable std::mutex lock;
    std::map<std::string, DnsAnswer> answers;
    std::map<std::string, int> queries;

    void Serve() {
        char buffer[1500];
        while (!stop) {
            pollfd wait{fd, POLLIN, 0};
            if (::poll(&wait, 1, 20) != 1)
                continue;
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n =
                ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 17)
                continue;
            const std::string query(buffer, static_cast<size_t>(n));
            std::string name;
            size_t at = 12;
            while (at < query.size() && query[at] != 0) {
                const size_t length = static_cast<unsigned char>(query[at]);
                if (!name.empty())
                    name += '.';
                name += query.substr(at + 1, length);
                at += 1 + length;
            }
            const std::string question = query.substr(12, at + 5 - 12);
            DnsAnswer answer;
            answer.kind = DnsAnswer::NameError;
            {
                std::lock_guard<std::mutex> hold(lock);
                ++queries[_dns_Lower(name)];
                auto it = answers.find(_dns_Lower(name));
                if (it != answers.end())
                    answer = it->second;
            }
            if (answer.kind == DnsAnswer::Silent)
                continue;
            std::string reply = query.substr(0, 2);
            const unsigned rcode = answer.kind == DnsAnswer::NameError       ? 3
                                   : answer.kind == DnsAnswer::ServerFailure ? 2
                                                                             : 0;
            _dns_Put16(reply, 0x8180 | rcode);
            _dns_Put16(reply, 1);
            std::string records;
            unsigned answerCount = 0;
            if (answer.kind == DnsAnswer::Records) {
                std::string owner = name;
                if (!answer.cname.empty()) {
                    _dns_PutName(records, name);
                    _dns_Put16(records, 5);
                    _dns_Put16(records, 1);
                    records += std::string("\0\0\0\x3c", 4);
                    std::string target;
                    _dns_PutName(target, answer.cname);
                    _dns_Put16(records, static_cast<unsigned>(target.size()));
                    records += target;
                    owner = answer.cname;
                    ++answerCount;
                }
                for (const auto& address : answer.addresses) {
                    _dns_PutA(records, owner, address);
                    ++answerCount;
                }
                for (const auto& address : answer.additional)
                    _dns_PutA(records, "extra." + owner, address);
            }
            _dns_Put16(reply, answerCount);
            _dns_Put16(reply, 0);
            _dns_Put16(reply, answer.kind == DnsAnswer::Records
                                  ? static_cast<unsigned>(answer.additional.size())
                                  : 0);
            reply += question + records;
            ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
};

DnsResponder::DnsResponder() : m(std::make_unique<Impl>()) {
    m->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m->fd < 0 || ::bind(m->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m->fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the DNS responder cannot listen");
    m->port = ntohs(address.sin_port);
    m->worker = std::thread([this] { m->Serve(); });
}

DnsResponder::~DnsResponder() {
    m->stop = true;
    m->worker.join();
    ::close(m->fd);
}

uint16_t DnsResponder::Port() const {
    return m->port;
}

std::string DnsResponder::Address() const {
    return "127.0.0.1:" + std::to_string(m->port);
}

void DnsResponder::Set(const std::string& name, DnsAnswer answer) {
    std::lock_guard<std::mutex> hold(m->lock);
    m->answers[_dns_Lower(name)] = std::move(answer);
}

int DnsResponder::Queries(const std::string& name) const {
    std::lock_guard<std::mutex> hold(m->lock);
    auto it = m->queries.find(_dns_Lower(name));
    return it == m->queries.end() ? 0 : it->second;
}

int DnsResponder::TotalQueries() const {
    std::lock_guard<std::mutex> hold(m->lock);
    int total = 0;
    for (const auto& [name, count] : m->queries)
        total += count;
    return total;
}

std::vector<std::string> DnsAddresses(int n, int first) {
    std::vector<std::string> out;
    for (int i = first; i < first + n; ++i)
        out.push_back("10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
                      std::to_string(i % 256));
    return out;
}

} // namespace jxwebtest
