// A small TCP client socket with receive and send time-outs, and a view of a socket address that
// gives its text.
#pragma once

#include <string>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

// A non-owning view of a socket address: an address-info record or a socket address with its
// length; made from a socket, it keeps the socket's local address in storage of its own.
class CSocketAddress {
public:
    explicit CSocketAddress(const ADDRINFOW* info);
    CSocketAddress(const sockaddr* address, int length);
    // The local address of a socket (getsockname); holds no address when that fails.
    explicit CSocketAddress(SOCKET socket);

    const sockaddr* Address() const;
    int Length() const;
    SOCKET Socket() const { return m_Socket; }
    // The address without its port: the IPv6 text without brackets (a zone suffix "%n" is kept),
    // the IPv4 text without ":port". Empty when there is no address or the conversion fails.
    std::u16string ToString() const;

private:
    bool m_IsAddrInfo = false;
    const void* m_Pointer = nullptr;
    int m_Length = 0;
    SOCKET m_Socket = INVALID_SOCKET;
    SOCKADDR_STORAGE m_Storage{};
};

class CSockv2 {
public:
    explicit CSockv2(int socketType = SOCK_STREAM);
    virtual ~CSockv2();
    CSockv2(const CSockv2&) = delete;
    CSockv2& operator=(const CSockv2&) = delete;

    // Resolves the host and connects to the first of its addresses that answers. With a time-out
    // of 0 the connect blocks with the system's limit; otherwise each address gets that many
    // milliseconds (a non-blocking connect and a wait).
    bool Connect(const std::u16string& hostName, unsigned short port, DWORD timeoutMs = 0);
    // Waits up to the time-out for data, then one recv: 0 on time-out or when the peer closed, -1
    // on an error, otherwise the count received.
    int Receive(char* buffer, int size, int flags, DWORD timeoutMs);
    // Receives exactly count bytes; each wait is limited to the time-out (seconds). False as soon
    // as one receive gives 0 or less.
    bool ReceiveAll(char* buffer, int count, DWORD timeoutSeconds);
    // Waits up to the time-out (seconds) for writability, then one send of the count bytes. When the
    // wait timed out, that send does not block: it gives what the system takes at once, or -1 with
    // WSAEWOULDBLOCK. 0 for a count of 0.
    int Send(const char* data, int count, DWORD timeoutSeconds);
    // Without graceful, the close resets the connection (SO_LINGER on, 0 s). False when there is no
    // socket or the close fails (the handle is kept then).
    bool Close(bool graceful);

    SOCKET Handle() const { return m_Socket; }
    const std::u16string& LocalAddress() const { return m_LocalAddress; }
    unsigned short LocalPort() const { return m_LocalPort; }
    int LocalFamily() const { return m_LocalFamily; }

private:
    bool _SockConnectOne(const ADDRINFOW* address, DWORD timeoutMs);
    int _SockWait(bool forWrite, DWORD timeoutMs);

    SOCKET m_Socket = INVALID_SOCKET;
    int m_SocketType;
    std::u16string m_LocalAddress;
    unsigned short m_LocalPort = 0;
    int m_LocalFamily = 0;
};
