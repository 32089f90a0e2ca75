// TCP sockets of the stand-in over the host's sockets. A SOCKET is the host descriptor. Connections
// reach only loopback addresses: any other address fails with WSAENETUNREACH.
#include <algorithm>
#include <vector>

#include "hostnet.h"
#include "jxplat/winerror.h"
#include "jxplat/winsock.h"

namespace {

int _sock_Fd(SOCKET s) {
    return s == INVALID_SOCKET || s > 0x7FFFFFFF ? -1 : static_cast<int>(s);
}

int _sock_Fail(int error) {
    WSASetLastError(error);
    return SOCKET_ERROR;
}

} // namespace

SOCKET socket(int af, int type, int protocol) {
    int error = 0;
    const int fd = jxplat::hostnet::Socket(af, type, protocol, &error);
    if (fd < 0) {
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(fd);
}

int connect(SOCKET s, const struct sockaddr* name, int nameLength) {
    const int fd = _sock_Fd(s);
    if (fd < 0)
        return _sock_Fail(WSAENOTSOCK);
    if (!name || nameLength <= 0)
        return _sock_Fail(WSAEFAULT);
    if (!jxplat::hostnet::IsLoopbackWinAddress(name, static_cast<size_t>(nameLength)))
        return _sock_Fail(WSAENETUNREACH);
    int error = 0;
    return jxplat::hostnet::Connect(fd, name, nameLength, &error) < 0 ? _sock_Fail(error) : 0;
}

namespace {

// send and recv: the descriptor and buffer checks, then the host call.
template <typename Buffer, typename Call> int _sock_Transfer(SOCKET s, Buffer buffer, int length, Call call) {
    const int fd = _sock_Fd(s);
    if (fd < 0)
        return _sock_Fail(WSAENOTSOCK);
    if (length < 0 || (!buffer && length > 0))
        return _sock_Fail(WSAEFAULT);
    int error = 0;
    const long n = call(fd, buffer, length, &error);
    return n < 0 ? _sock_Fail(error) : static_cast<int>(n);
}

} // namespace

int send(SOCKET s, const char* buffer, int length, int flags) {
    return _sock_Transfer(s, buffer, length, jxplat::hostnet::Send);
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    return _sock_Transfer(s, buffer, length, jxplat::hostnet::Recv);
}

int closesocket(SOCKET s) {
    const int fd = _sock_Fd(s);
    if (fd < 0)
        return _sock_Fail(WSAENOTSOCK);
    int error = 0;
    return jxplat::hostnet::Close(fd, &error) < 0 ? _sock_Fail(error) : 0;
}

int setsockopt(SOCKET s, int level, int name, const char* value, int length) {
    const int fd = _sock_Fd(s);
    if (fd < 0)
        return _sock_Fail(WSAENOTSOCK);
    if (level != SOL_SOCKET || name != SO_LINGER)
        return _sock_Fail(WSAEINVAL); // the engine sets no other option
    if (!value || length < static_cast<int>(sizeof(LINGER)))
        return _sock_Fail(WSAEFAULT);
    const auto* l = reinterpret_cast<const LINGER*>(value);
    int error = 0;
    return jxplat::hostnet::SetLinger(fd, l->l_onoff != 0, l->l_linger, &error) < 0 ? _sock_Fail(error) : 0;
}

int getsockopt(SOCKET s, int level, int name, char* value, int* length) {
    const int fd = _sock_Fd(s);
    if (fd < 0)
        return _sock_Fail(WSAENOTSOCK);
    if (level != SOL_SOCKET || name != SO_ERROR)
        return _sock_Fail(WSAEINVAL);
    if (!value || !length || *length < static_cast<int>(sizeof(int)))
        return _sock_Fail(WSAEFAULT);
    int error = 0, socketError = 0;
    if (jxplat::hostnet::GetSocketError(fd, &socketError, &error) < 0)
        return _sock_Fail(error);
    *reinterpret_cast<int*>(value) = socketError;
    *length = sizeof(int);
    return 0;
}

int getsockname(SOCKET s, struct sockaddr* name, int* nameLength) {
    const int fd = _sock_Fd(s);
    if (fd < 0)
        return _sock_Fail(WSAENOTSOCK);
    jxplat::hostnet::WinAddress address;
    int error = 0;
    if (!jxplat::hostnet::GetSockName(fd, address, &error))
        return _sock_Fail(error);
    if (!name || !nameLength || *nameLength < static_cast<int>(address.size()))
        return _sock_Fail(WSAEFAULT);
    std::copy(address.begin(), address.end(), reinterpret_cast<unsigned char*>(name));
    *nameLength = static_cast<int>(address.size());
    return 0;
}

int ioctlsocket(SOCKET s, long command, ULONG* argument) {
    const int fd = _sock_Fd(s);
    if (fd < 0)
        return _sock_Fail(WSAENOTSOCK);
    if (command != FIONBIO || !argument)
        return _sock_Fail(WSAEINVAL);
    int error = 0;
    return jxplat::hostnet::SetNonBlocking(fd, *argument != 0, &error) < 0 ? _sock_Fail(error) : 0;
}

u_short htons(u_short value) {
    return static_cast<u_short>((value << 8) | (value >> 8));
}

u_short ntohs(u_short value) {
    return htons(value);
}
