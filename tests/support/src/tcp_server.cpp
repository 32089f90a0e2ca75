// The scripted loopback TCP server of the tests.
#include "jxtest/tcp_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace jxtest {

LoopbackTcpServer::LoopbackTcpServer(std::function<void(int fd)> script, bool ipv6)
    : m_script(std::move(script)) {
    m_listener = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage address{};
    socklen_t length;
    if (ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&address);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *a;
    }
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the loopback test server cannot listen");
    m_port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                        : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    m_acceptor = std::thread([this] { _Run(); });
}

LoopbackTcpServer::~LoopbackTcpServer() {
    m_stop = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_acceptor.join();
    for (auto& t : m_connections)
        t.join();
    ::close(m_listener);
}

void LoopbackTcpServer::_Run() {
    while (!m_stop) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        m_connections.emplace_back([this, fd] {
            m_script(fd);
            ::close(fd);
        });
    }
}

bool SendAllTo(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string ReceiveFrom(int fd, size_t count) {
    std::string data;
    char buffer[4096];
    while (data.size() < count) {
        const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - data.size()), 0);
        if (n <= 0)
            break;
        data.append(buffer, static_cast<size_t>(n));
    }
    return data;
}

std::string ReadUntilClosed(int fd, bool* reset) {
    std::string data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            data.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (reset)
            *reset = n < 0 && errno == ECONNRESET;
        return data;
    }
}

uint16_t RefusingLoopbackPort() {
    static const uint16_t port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), length);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        return ntohs(a.sin_port); // fd stays open: the port stays taken and refuses
    }();
    return port;
}

} // namespace jxtest
