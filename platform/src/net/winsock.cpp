#include <cstring>

#include "jxplat/machine.h"
#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"
#include "jxplat/winsock.h"

namespace {
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
        WSASetLastError(WSANOTINITIALISED);
        return -1;
    }
    --g_startups;
    return 0;
}

// The Winsock error is the thread's last error, as on Windows.
int WSAGetLastError() {
    return static_cast<int>(GetLastError());
}

void WSASetLastError(int error) {
    SetLastError(static_cast<DWORD>(error));
}
