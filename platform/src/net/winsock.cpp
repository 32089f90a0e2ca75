#include <cstring>

#include "jxplat/machine.h"
#include "jxplat/winerror.h"
#include "jxplat/winsock.h"

namespace {
thread_local int t_wsaError = 0;
int g_startups = 0;
} // namespace

int WSAStartup(WORD versionRequested, LPWSADATA data) {
    if (!data)
        return WSAEINVAL;
    std::memset(data, 0, sizeof(*data));
    // The machine description can switch the network subsystem off.
    if (jxplat::Machine().faultWsaStartup)
        return WSASYSNOTREADY;
    BYTE major = versionRequested & 0xFF;
    if (major < 1)
        return WSAVERNOTSUPPORTED;
    data->wVersion = versionRequested < MAKEWORD(2, 2) ? versionRequested : MAKEWORD(2, 2);
    data->wHighVersion = MAKEWORD(2, 2);
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    ++g_startups;
    return 0;
}

int WSACleanup() {
    if (g_startups == 0) {
        t_wsaError = WSANOTINITIALISED;
        return -1;
    }
    --g_startups;
    return 0;
}

int WSAGetLastError() {
    return t_wsaError;
}
