// The IP addresses of the machine's physical network adapters that are up: the adapter list of
// the IP helper, filtered by the present network-class devices that have location information
// (virtual, tunnel and loopback adapters have none).
#pragma once

#include <string>
#include <vector>

#include <iphlpapi.h>
#include <setupapi.h>

#include <windows.h>

// One device of a device-information set.
class CDeviceInfo {
public:
    // Enumerates the device at the index; error is 0, or the last error when there is none there.
    CDeviceInfo(HDEVINFO set, DWORD index, DWORD& error);
    virtual ~CDeviceInfo() = default;

    // Reads a text property of the device into text; returns the Win32 code. A property of three
    // bytes or fewer reads as the empty text.
    DWORD ReadProperty(DWORD property, std::u16string& text) const;

private:
    HDEVINFO m_Set;
    SP_DEVINFO_DATA m_Data{};
};

// The holder of one adapter list and the iteration over its physical adapters.
class CAdaptersAddresses {
public:
    CAdaptersAddresses();
    CAdaptersAddresses(CAdaptersAddresses&&) = default;
    CAdaptersAddresses& operator=(CAdaptersAddresses&&) = default;

    // GetAdaptersAddresses into the buffer, grown once when the system asks for more.
    ULONG Fill(ULONG family, ULONG flags);
    ULONG Result() const { return m_Result; }
    // The next adapter after the current one whose description is that of a physical device, or
    // null at the end; the first call starts at the beginning of the list.
    const IP_ADAPTER_ADDRESSES* NextPhysical();

private:
    void _AdaptersLoadPhysicalDescriptions();

    std::vector<BYTE> m_Buffer;
    const IP_ADAPTER_ADDRESSES* m_First = nullptr;
    const IP_ADAPTER_ADDRESSES* m_Current = nullptr;
    ULONG m_Result = ERROR_NO_DATA;
    std::vector<std::u16string> m_PhysicalDescriptions;
    bool m_DescriptionsLoaded = false;
};

// The adapter list of the family (AF_INET or AF_INET6) with the flags.
CAdaptersAddresses GetAdaptersAddressesBuffer(ULONG family, ULONG flags);
// The unicast address texts of the physical adapters that are up, in adapter order.
std::vector<std::u16string> GetLocalIpAddresses(CAdaptersAddresses& adapters);
