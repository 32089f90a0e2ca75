// The connection-information record of a response, in the system's layout.
#include <cstring>
#include <string>

#include <winsock2.h>
#include <ws2tcpip.h>

#include "httpinternal.h"
#include "jxbase/textconv.h"

namespace {

bool _conninfo_Address(const std::string& ip, long port, BYTE* storage) {
    PADDRINFOW info = nullptr;
    const std::u16string portText = Utf8ToWide(std::to_string(port));
    if (GetAddrInfoW(Utf8ToWide(ip).c_str(), portText.c_str(), nullptr, &info) != 0)
        return false;
    std::memcpy(storage, info->ai_addr, std::min<size_t>(info->ai_addrlen, sizeof(SOCKADDR_STORAGE)));
    FreeAddrInfoW(info);
    return true;
}

} // namespace

bool _http_MakeConnectionInfo(const std::string& localIp, long localPort, const std::string& remoteIp,
                              long remotePort, HttpClient::ConnectionInfo& info) {
    static_assert(sizeof(HttpClient::ConnectionInfo) == 260 && sizeof(SOCKADDR_STORAGE) == 128);
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    return _conninfo_Address(localIp, localPort, info.LocalAddress) &&
           _conninfo_Address(remoteIp, remotePort, info.RemoteAddress);
}
