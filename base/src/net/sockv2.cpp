// The TCP client socket of the management-server connection.
#include <string>

#include "jxbase/sockv2.h"

CSockv2::CSockv2(int socketType) : m_SocketType(socketType) {}

CSockv2::~CSockv2() {
    Close(true);
}

bool CSockv2::Connect(const std::u16string& hostName, unsigned short port, DWORD timeoutMs) {
    Close(true);
    std::u16string portText;
    for (char c : std::to_string(port))
        portText.push_back(static_cast<char16_t>(c));
    PADDRINFOW addresses = nullptr;
    if (GetAddrInfoW(hostName.c_str(), port ? portText.c_str() : nullptr, nullptr, &addresses) != 0)
        return false;
    bool connected = false;
    for (const ADDRINFOW* a = addresses; a && !connected; a = a->ai_next)
        connected = _SockConnectOne(a, timeoutMs);
    FreeAddrInfoW(addresses);
    return connected;
}

bool CSockv2::_SockConnectOne(const ADDRINFOW* address, DWORD timeoutMs) {
    const SOCKET s = socket(address->ai_family, m_SocketType, 0);
    if (s == INVALID_SOCKET)
        return false;
    bool connected;
    if (timeoutMs == 0) {
        connected = connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0;
    } else {
        ULONG nonBlocking = 1;
        connected = ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
        if (connected && connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
            connected = false;
            if (WSAGetLastError() == WSAEWOULDBLOCK) {
                fd_set writable, failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(s, &writable);
                FD_SET(s, &failed);
                timeval wait{static_cast<time_t>(timeoutMs / 1000),
                             static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
                int error = 0, length = sizeof error;
                connected =
                    select(static_cast<int>(s) + 1, nullptr, &writable, &failed, &wait) > 0 &&
                    FD_ISSET(s, &writable) &&
                    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 &&
                    error == 0;
                if (!connected && error)
                    WSASetLastError(error);
                else if (!connected)
                    WSASetLastError(WSAETIMEDOUT);
            }
        }
        ULONG blocking = 0;
        if (connected)
            connected = ioctlsocket(s, FIONBIO, &blocking) == 0;
    }
    if (!connected) {
        const int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return false;
    }
    m_Socket = s;
    const CSocketAddress local(s);
    m_LocalAddress = local.ToString();
    if (const sockaddr* a = local.Address()) {
        m_LocalFamily = a->sa_family;
        m_LocalPort = ntohs(reinterpret_cast<const sockaddr_in*>(a)->sin_port); // same place in both families
    }
    return true;
}

int CSockv2::_SockWait(bool forWrite, DWORD timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(m_Socket, &set);
    timeval wait{static_cast<time_t>(timeoutMs / 1000), static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
    return select(static_cast<int>(m_Socket) + 1, forWrite ? nullptr : &set, forWrite ? &set : nullptr,
                  nullptr, &wait);
}

int CSockv2::Receive(char* buffer, int size, int flags, DWORD timeoutMs) {
    if (m_Socket == INVALID_SOCKET) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    const int ready = _SockWait(false, timeoutMs);
    if (ready < 0)
        return -1;
    if (ready == 0)
        return 0;
    return recv(m_Socket, buffer, size, flags);
}

bool CSockv2::ReceiveAll(char* buffer, int count, DWORD timeoutSeconds) {
    int received = 0;
    while (received < count) {
        const int n = Receive(buffer + received, count - received, 0, timeoutSeconds * 1000);
        if (n <= 0)
            return false;
        received += n;
    }
    return true;
}

int CSockv2::Send(const char* data, int count, DWORD timeoutSeconds) {
    if (count == 0)
        return 0;
    if (m_Socket == INVALID_SOCKET) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    if (_SockWait(true, timeoutSeconds * 1000) > 0)
        return send(m_Socket, data, count, 0);
    // The wait timed out (or failed): a blocking send could now wait without limit, so the one
    // send call of the contract goes out non-blocking and takes only what fits at once.
    ULONG nonBlocking = 1;
    if (ioctlsocket(m_Socket, FIONBIO, &nonBlocking) != 0)
        return -1;
    const int sent = send(m_Socket, data, count, 0);
    const int error = WSAGetLastError();
    ULONG blocking = 0;
    ioctlsocket(m_Socket, FIONBIO, &blocking);
    WSASetLastError(error);
    return sent;
}

bool CSockv2::Close(bool graceful) {
    if (m_Socket == INVALID_SOCKET)
        return false;
    if (!graceful) {
        LINGER abortive{1, 0};
        setsockopt(m_Socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
                   sizeof abortive);
    }
    if (closesocket(m_Socket) != 0)
        return false;
    m_Socket = INVALID_SOCKET;
    return true;
}
