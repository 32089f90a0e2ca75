// The host's sockets for the stand-in's Winsock calls.
#include "hostnet.h"
#include "jxplat/machine.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace jxplat::hostnet {
namespace {

constexpr int kWinAfInet6 = 23;

int _net_WsaFromErrno(int e) {
    switch (e) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10038; // WSAENOTSOCK
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EAGAIN:
        return 10035; // WSAEWOULDBLOCK (EWOULDBLOCK is the same value)
    case EINPROGRESS:
        return 10035; // a non-blocking connect reports WSAEWOULDBLOCK on Windows
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETUNREACH:
        return 10051;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case EPIPE:
        return 10054;
    case ENOBUFS:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case EHOSTUNREACH:
        return 10065;
    default:
        return 10022;
    }
}

// Windows sockaddr_in/in6 and the host's differ only in the family number (and its width on
// BSDs); on Linux both start with a 16-bit family.
bool _net_ToHost(const void* win, size_t length, sockaddr_storage& host, socklen_t& hostLength) {
    if (!win || length < sizeof(uint16_t))
        return false;
    uint16_t family;
    std::memcpy(&family, win, sizeof family);
    std::memset(&host, 0, sizeof host);
    if (family == 2 && length >= sizeof(sockaddr_in)) {
        std::memcpy(&host, win, sizeof(sockaddr_in));
        host.ss_family = AF_INET;
        hostLength = sizeof(sockaddr_in);
        return true;
    }
    if (family == kWinAfInet6 && length >= sizeof(sockaddr_in6)) {
        std::memcpy(&host, win, sizeof(sockaddr_in6));
        host.ss_family = AF_INET6;
        hostLength = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

WinAddress _net_ToWin(const sockaddr_storage& host) {
    WinAddress out;
    if (host.ss_family == AF_INET) {
        out.resize(sizeof(sockaddr_in));
        std::memcpy(out.data(), &host, out.size());
        const uint16_t family = 2;
        std::memcpy(out.data(), &family, sizeof family);
    } else if (host.ss_family == AF_INET6) {
        out.resize(sizeof(sockaddr_in6));
        std::memcpy(out.data(), &host, out.size());
        const uint16_t family = kWinAfInet6;
        std::memcpy(out.data(), &family, sizeof family);
    }
    return out;
}

int _net_Fail(int* wsaError) {
    *wsaError = _net_WsaFromErrno(errno);
    return -1;
}

} // namespace

int Socket(int winFamily, int type, int protocol, int* wsaError) {
    const int family = winFamily == 2 ? AF_INET : winFamily == kWinAfInet6 ? AF_INET6 : -1;
    if (family < 0) {
        *wsaError = 10047;
        return -1;
    }
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    return fd < 0 ? _net_Fail(wsaError) : fd;
}

int Connect(int fd, const void* winAddress, int length, int* wsaError) {
    sockaddr_storage host;
    socklen_t hostLength = 0;
    if (length < 0 || !_net_ToHost(winAddress, static_cast<size_t>(length), host, hostLength)) {
        *wsaError = 10014;
        return -1;
    }
    // A test server on a free port may stand for a well-known one (loopbackPorts).
    auto& port = reinterpret_cast<sockaddr_in&>(host).sin_port;
    port = htons(jxplat::ForwardedLoopbackPort(ntohs(port)));
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&host), hostLength);
    } while (rc < 0 && errno == EINTR);
    return rc < 0 ? _net_Fail(wsaError) : 0;
}

long Send(int fd, const char* data, int length, int* wsaError) {
    // MSG_NOSIGNAL: a peer that has gone gives an error as on Windows, never SIGPIPE.
    const ssize_t n = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    return n < 0 ? _net_Fail(wsaError) : static_cast<long>(n);
}

long Recv(int fd, char* data, int length, int* wsaError) {
    ssize_t n;
    do {
        n = ::recv(fd, data, static_cast<size_t>(length), 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? _net_Fail(wsaError) : static_cast<long>(n);
}

int Close(int fd, int* wsaError) {
    return ::close(fd) < 0 ? _net_Fail(wsaError) : 0;
}

int SetLinger(int fd, bool on, int seconds, int* wsaError) {
    ::linger value{on ? 1 : 0, seconds};
    return ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value) < 0 ? _net_Fail(wsaError) : 0;
}

int GetSocketError(int fd, int* socketError, int* wsaError) {
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &value, &length) < 0)
        return _net_Fail(wsaError);
    *socketError = value ? _net_WsaFromErrno(value) : 0;
    return 0;
}

int SetNonBlocking(int fd, bool on, int* wsaError) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return _net_Fail(wsaError);
    return ::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) < 0 ? _net_Fail(wsaError) : 0;
}

bool GetSockName(int fd, WinAddress& out, int* wsaError) {
    sockaddr_storage host{};
    socklen_t length = sizeof host;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&host), &length) < 0) {
        _net_Fail(wsaError);
        return false;
    }
    out = _net_ToWin(host);
    return true;
}

bool AddressFromText(const std::string& text, uint16_t port, WinAddress& out) {
    sockaddr_storage host{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&host);
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        out = _net_ToWin(host);
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&host);
    std::string address = text;
    uint32_t scope = 0;
    if (const size_t percent = text.find('%'); percent != std::string::npos) {
        address = text.substr(0, percent);
        const std::string zone = text.substr(percent + 1);
        char* end = nullptr;
        scope = static_cast<uint32_t>(std::strtoul(zone.c_str(), &end, 10));
        if (zone.empty() || *end)
            return false;
    }
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) != 1)
        return false;
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    v6->sin6_scope_id = scope;
    out = _net_ToWin(host);
    return true;
}

std::string AddressText(const void* winAddress, size_t length, uint16_t* port) {
    sockaddr_storage host;
    socklen_t hostLength = 0;
    if (!_net_ToHost(winAddress, length, host, hostLength))
        return {};
    char text[INET6_ADDRSTRLEN + 16] = {};
    if (host.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&host);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        if (port)
            *port = ntohs(v4->sin_port);
        return text;
    }
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&host);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    if (port)
        *port = ntohs(v6->sin6_port);
    std::string result = text;
    if (v6->sin6_scope_id)
        result += "%" + std::to_string(v6->sin6_scope_id);
    return result;
}

bool IsLoopbackWinAddress(const void* winAddress, size_t length) {
    sockaddr_storage host;
    socklen_t hostLength = 0;
    if (!_net_ToHost(winAddress, length, host, hostLength))
        return false;
    if (host.ss_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(&host)->sin_addr.s_addr) >> 24) == 127;
    return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(&host)->sin6_addr);
}

} // namespace jxplat::hostnet
