// The addresses of the machine's physical network adapters.
#include <algorithm>

#include "jxbase/netadapters.h"
#include "jxbase/sockv2.h"

CDeviceInfo::CDeviceInfo(HDEVINFO set, DWORD index, DWORD& error) : m_Set(set) {
    m_Data.cbSize = sizeof(SP_DEVINFO_DATA);
    error = SetupDiEnumDeviceInfo(set, index, &m_Data) ? 0 : GetLastError();
}

DWORD CDeviceInfo::ReadProperty(DWORD property, std::u16string& text) const {
    text.clear();
    DWORD needed = 0;
    auto* data = const_cast<SP_DEVINFO_DATA*>(&m_Data);
    if (!SetupDiGetDeviceRegistryPropertyW(m_Set, data, property, nullptr, nullptr, 0, &needed)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER)
            return error;
    }
    std::vector<BYTE> buffer(needed + sizeof(WCHAR));
    if (!SetupDiGetDeviceRegistryPropertyW(m_Set, data, property, nullptr, buffer.data(), needed, &needed))
        return GetLastError();
    if (needed > 3)
        text.assign(reinterpret_cast<const WCHAR*>(buffer.data()), needed / sizeof(WCHAR));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return 0;
}

CAdaptersAddresses::CAdaptersAddresses() : m_Buffer(30720) {}

ULONG CAdaptersAddresses::Fill(ULONG family, ULONG flags) {
    ULONG size = static_cast<ULONG>(m_Buffer.size());
    auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(m_Buffer.data());
    m_Result = GetAdaptersAddresses(family, flags, nullptr, list, &size);
    if (m_Result == ERROR_BUFFER_OVERFLOW) {
        m_Buffer.assign(size, 0);
        list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(m_Buffer.data());
        m_Result = GetAdaptersAddresses(family, flags, nullptr, list, &size);
    }
    m_First = m_Result == ERROR_SUCCESS ? list : nullptr;
    m_Current = nullptr;
    return m_Result;
}

void CAdaptersAddresses::_AdaptersLoadPhysicalDescriptions() {
    m_DescriptionsLoaded = true;
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_NET, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    for (DWORD index = 0;; ++index) {
        DWORD error = 0;
        const CDeviceInfo device(set, index, error);
        if (error)
            break;
        // Only a device with location information (whatever it says) sits on a real bus.
        std::u16string text;
        if (device.ReadProperty(SPDRP_LOCATION_INFORMATION, text) != 0)
            continue;
        if (device.ReadProperty(SPDRP_DEVICEDESC, text) == 0)
            m_PhysicalDescriptions.push_back(text);
    }
    SetupDiDestroyDeviceInfoList(set);
}

const IP_ADAPTER_ADDRESSES* CAdaptersAddresses::NextPhysical() {
    if (!m_DescriptionsLoaded && m_PhysicalDescriptions.empty())
        _AdaptersLoadPhysicalDescriptions();
    if (!m_First || m_PhysicalDescriptions.empty())
        return nullptr;
    for (const IP_ADAPTER_ADDRESSES* a = m_Current ? m_Current->Next : m_First; a; a = a->Next) {
        const std::u16string description = a->Description ? a->Description : u"";
        if (std::find(m_PhysicalDescriptions.begin(), m_PhysicalDescriptions.end(), description) !=
            m_PhysicalDescriptions.end()) {
            m_Current = a;
            return a;
        }
    }
    // The end of the list: the iteration stays there.
    while (m_Current && m_Current->Next)
        m_Current = m_Current->Next;
    if (!m_Current)
        m_Current = m_First;
    return nullptr;
}

CAdaptersAddresses GetAdaptersAddressesBuffer(ULONG family, ULONG flags) {
    CAdaptersAddresses list;
    list.Fill(family, flags);
    return list;
}

std::vector<std::u16string> GetLocalIpAddresses(CAdaptersAddresses& adapters) {
    std::vector<std::u16string> texts;
    while (const IP_ADAPTER_ADDRESSES* adapter = adapters.NextPhysical()) {
        if (adapter->OperStatus != IfOperStatusUp)
            continue;
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = adapter->FirstUnicastAddress; u; u = u->Next) {
            const std::u16string text =
                CSocketAddress(u->Address.lpSockaddr, u->Address.iSockaddrLength).ToString();
            if (!text.empty())
                texts.push_back(text);
        }
    }
    return texts;
}
