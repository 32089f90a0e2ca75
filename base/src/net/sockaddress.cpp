// Address texts of socket addresses.
#include <cstring>
#include <vector>

#include "jxbase/sockv2.h"

CSocketAddress::CSocketAddress(const ADDRINFOW* info) : m_IsAddrInfo(true), m_Pointer(info) {
    m_Length = info ? static_cast<int>(info->ai_addrlen) : 0;
}

CSocketAddress::CSocketAddress(const sockaddr* address, int length) : m_Pointer(address), m_Length(length) {}

CSocketAddress::CSocketAddress(SOCKET socket) : m_Socket(socket) {
    int length = sizeof m_Storage;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&m_Storage), &length) == 0) {
        m_Pointer = &m_Storage;
        m_Length = length;
    }
}

const sockaddr* CSocketAddress::Address() const {
    if (!m_Pointer)
        return nullptr;
    return m_IsAddrInfo ? static_cast<const ADDRINFOW*>(m_Pointer)->ai_addr
                        : static_cast<const sockaddr*>(m_Pointer);
}

int CSocketAddress::Length() const {
    return m_Length;
}

std::u16string CSocketAddress::ToString() const {
    const sockaddr* address = Address();
    if (!address || m_Length <= 0)
        return {};
    std::vector<WCHAR> text(1024);
    DWORD length = static_cast<DWORD>(text.size());
    auto convert = [&] {
        return WSAAddressToStringW(const_cast<sockaddr*>(address), static_cast<DWORD>(m_Length), nullptr,
                                   text.data(), &length);
    };
    if (convert() != 0) {
        if (length <= text.size())
            return {};
        text.resize(length);
        if (convert() != 0)
            return {};
    }
    std::u16string result(text.data());
    if (address->sa_family == AF_INET6) {
        const size_t open = result.find(u'[');
        if (open != std::u16string::npos) {
            const size_t close = result.find(u']', open);
            result = result.substr(open + 1,
                                   close == std::u16string::npos ? std::u16string::npos : close - open - 1);
        }
    } else if (address->sa_family == AF_INET) {
        const size_t colon = result.find(u':');
        if (colon != std::u16string::npos && colon > 0)
            result.resize(colon);
    }
    return result;
}
