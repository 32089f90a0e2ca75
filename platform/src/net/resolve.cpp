// Name resolution and address texts of the stand-in's Winsock: GetAddrInfoW answers from the
// confined resolver of the machine (loopback names and the names machine.json maps).
#include <cstring>
#include <string>

#include "hostnet.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winsock.h"

INT GetAddrInfoW(PCWSTR nodeName, PCWSTR serviceName, const ADDRINFOW* hints, PADDRINFOW* result) {
    if (!result || (!nodeName && !serviceName)) {
        WSASetLastError(WSAEINVAL);
        return WSAEINVAL;
    }
    *result = nullptr;
    uint16_t port = 0;
    if (serviceName && *serviceName) {
        const std::string service = jxtext::Utf16ToUtf8(serviceName);
        char* end = nullptr;
        const unsigned long number = std::strtoul(service.c_str(), &end, 10);
        if (*end || number > 65535) {
            WSASetLastError(WSATYPE_NOT_FOUND);
            return WSATYPE_NOT_FOUND;
        }
        port = static_cast<uint16_t>(number);
    }
    const std::string node = nodeName ? jxtext::Utf16ToUtf8(nodeName) : "localhost";
    const int family = hints ? hints->ai_family : AF_UNSPEC;
    PADDRINFOW* tail = result;
    for (const auto& text : jxplat::ResolveConfinedHost(node)) {
        jxplat::hostnet::WinAddress address;
        if (!jxplat::hostnet::AddressFromText(text, port, address))
            continue;
        uint16_t addressFamily;
        std::memcpy(&addressFamily, address.data(), sizeof addressFamily);
        if (family != AF_UNSPEC && family != addressFamily)
            continue;
        auto* info = new ADDRINFOW{};
        info->ai_family = addressFamily;
        info->ai_socktype = hints ? hints->ai_socktype : 0;
        info->ai_protocol = hints ? hints->ai_protocol : 0;
        info->ai_addrlen = address.size();
        info->ai_addr = reinterpret_cast<sockaddr*>(new unsigned char[address.size()]);
        std::memcpy(info->ai_addr, address.data(), address.size());
        *tail = info;
        tail = &info->ai_next;
    }
    if (!*result) {
        WSASetLastError(WSAHOST_NOT_FOUND);
        return WSAHOST_NOT_FOUND;
    }
    return 0;
}

void FreeAddrInfoW(PADDRINFOW info) {
    while (info) {
        PADDRINFOW next = info->ai_next;
        delete[] reinterpret_cast<unsigned char*>(info->ai_addr);
        delete info;
        info = next;
    }
}

INT WSAAddressToStringW(LPSOCKADDR address, DWORD addressLength, LPVOID, LPWSTR text, LPDWORD textLength) {
    if (!address || !textLength) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    uint16_t port = 0;
    std::string result = jxplat::hostnet::AddressText(address, addressLength, &port);
    if (result.empty()) {
        WSASetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    if (port) {
        if (address->sa_family == AF_INET6)
            result = "[" + result + "]";
        result += ":" + std::to_string(port);
    }
    const std::u16string wide = jxtext::Utf8ToUtf16(result);
    const DWORD needed = static_cast<DWORD>(wide.size() + 1);
    if (!text || *textLength < needed) {
        *textLength = needed;
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    std::memcpy(text, wide.c_str(), needed * sizeof(WCHAR));
    *textLength = needed;
    return 0;
}
