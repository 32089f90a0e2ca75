// The host's sockets, behind names that do not clash with the Winsock declarations of the stand-in.
// Addresses cross this boundary in the Windows layout (AF_INET6 = 23); errors as Winsock codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jxplat::hostnet {

// A Windows socket address (sockaddr_in or sockaddr_in6 layout) in raw bytes.
using WinAddress = std::vector<unsigned char>;

int Socket(int winFamily, int type, int protocol, int* wsaError);
int Connect(int fd, const void* winAddress, int length, int* wsaError);
long Send(int fd, const char* data, int length, int* wsaError);
long Recv(int fd, char* data, int length, int* wsaError);
int Close(int fd, int* wsaError);
int SetLinger(int fd, bool on, int seconds, int* wsaError);
int GetSocketError(int fd, int* socketError, int* wsaError);
int SetNonBlocking(int fd, bool on, int* wsaError);
// Windows layout of the socket's local address; false with the error on failure.
bool GetSockName(int fd, WinAddress& out, int* wsaError);
// A Windows address from an address text ("127.0.0.1", "::1", "fe80::1%3") and a port.
bool AddressFromText(const std::string& text, uint16_t port, WinAddress& out);
// The address text of a Windows address, without port; "" when it is none.
std::string AddressText(const void* winAddress, size_t length, uint16_t* port);
bool IsLoopbackWinAddress(const void* winAddress, size_t length);

} // namespace jxplat::hostnet
