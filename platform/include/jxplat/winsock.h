// Windows Sockets 2 as far as the engine calls it: start-up, TCP client sockets, select, name
// resolution (GetAddrInfoW) and address texts. The structures have their Windows layout and the
// Windows address family numbers (AF_INET6 is 23); the stand-in translates them for the host.
// The network is confined: names resolve only to loopback (see platform/MACHINE.md, "Network").
#pragma once

#include <cstddef>

#include "jxplat/wintypes.h"

// A SOCKET is the host's descriptor, so select, fd_set, FD_SET and struct timeval are the host's
// own (the C library declares them with the same names): callers pass the highest socket + 1 as
// select's first argument, which Windows ignores. u_long is the host's as well; the stand-in's
// calls take ULONG, the Windows width.
#include <sys/select.h>

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
#define MAKEWORD(a, b) ((WORD)(((BYTE)(a)) | (((WORD)((BYTE)(b))) << 8)))

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
} WSADATA, *LPWSADATA;

int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);
// The machine's host name (the description's computer name) in the ANSI code page; SOCKET_ERROR
// with WSAEFAULT when it does not fit the buffer with its terminating zero.
int gethostname(char* name, int length);

// ---- Sockets ------------------------------------------------------------------------------------

typedef UINT_PTR SOCKET;
typedef unsigned short u_short;
typedef unsigned short ADDRESS_FAMILY;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_TCP 6
#define SOL_SOCKET 0xffff
#define SO_LINGER 0x0080
#define SO_ERROR 0x1007
#define FIONBIO ((long)0x8004667E)

#define NI_MAXHOST 1025

typedef struct in_addr {
    union {
        struct {
            BYTE s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        ULONG S_addr;
    } S_un;
} IN_ADDR;
#define s_addr S_un.S_addr

typedef struct in6_addr {
    union {
        BYTE Byte[16];
        USHORT Word[8];
    } u;
} IN6_ADDR;

typedef struct sockaddr {
    ADDRESS_FAMILY sa_family;
    CHAR sa_data[14];
} SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

typedef struct sockaddr_in {
    ADDRESS_FAMILY sin_family;
    USHORT sin_port;
    IN_ADDR sin_addr;
    CHAR sin_zero[8];
} SOCKADDR_IN;

typedef struct sockaddr_in6 {
    ADDRESS_FAMILY sin6_family;
    USHORT sin6_port;
    ULONG sin6_flowinfo;
    IN6_ADDR sin6_addr;
    ULONG sin6_scope_id;
} SOCKADDR_IN6;

typedef struct sockaddr_storage {
    ADDRESS_FAMILY ss_family;
    CHAR ss_pad1[6];
    LONGLONG ss_align;
    CHAR ss_pad2[112];
} SOCKADDR_STORAGE;

typedef struct _SOCKET_ADDRESS {
    LPSOCKADDR lpSockaddr;
    INT iSockaddrLength;
} SOCKET_ADDRESS, *PSOCKET_ADDRESS;

typedef struct linger {
    u_short l_onoff;
    u_short l_linger;
} LINGER;

SOCKET socket(int af, int type, int protocol);
int connect(SOCKET s, const struct sockaddr* name, int nameLength);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int closesocket(SOCKET s);
int setsockopt(SOCKET s, int level, int name, const char* value, int length);
int getsockopt(SOCKET s, int level, int name, char* value, int* length);
int getsockname(SOCKET s, struct sockaddr* name, int* nameLength);
int ioctlsocket(SOCKET s, long command, ULONG* argument);

u_short htons(u_short value);
u_short ntohs(u_short value);

// ---- Name resolution and address texts ---------------------------------------------------------

typedef struct addrinfoW {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    PWSTR ai_canonname;
    struct sockaddr* ai_addr;
    struct addrinfoW* ai_next;
} ADDRINFOW, *PADDRINFOW;

// Only loopback names ("localhost", literal loopback addresses) and the names machine.json maps
// resolve; anything else fails with WSAHOST_NOT_FOUND.
INT GetAddrInfoW(PCWSTR nodeName, PCWSTR serviceName, const ADDRINFOW* hints, PADDRINFOW* result);
void FreeAddrInfoW(PADDRINFOW info);
INT WSAAddressToStringW(LPSOCKADDR address, DWORD addressLength, LPVOID protocolInfo, LPWSTR text,
                        LPDWORD textLength);
