// The machine's network adapters: the IP helper's adapter list and the network-class devices of
// SetupAPI, both answered from machine.json ("networkAdapters").
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hostnet.h"
#include "jxplat/errhandling.h"
#include "jxplat/iphlpapi.h"
#include "jxplat/machine.h"
#include "jxplat/setupapi.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winreg.h"

namespace {

constexpr ULONG kAlign = 8;

ULONG _adapters_Align(ULONG n) {
    return (n + kAlign - 1) / kAlign * kAlign;
}

// One adapter's pieces, laid out into the caller's buffer in a second step.
struct CAdapterLayout {
    const jxplat::MachineNetworkAdapter* adapter;
    std::u16string description;
    std::vector<jxplat::hostnet::WinAddress> addresses;
};

} // namespace

ULONG GetAdaptersAddresses(ULONG family, ULONG, PVOID, PIP_ADAPTER_ADDRESSES buffer, ULONG* size) {
    if (!size || (family != AF_UNSPEC && family != AF_INET && family != AF_INET6))
        return ERROR_INVALID_PARAMETER;
    std::vector<CAdapterLayout> layout;
    ULONG needed = 0;
    for (const auto& adapter : jxplat::Machine().networkAdapters) {
        CAdapterLayout entry{&adapter, jxtext::Utf8ToUtf16(adapter.description), {}};
        for (const auto& text : adapter.addresses) {
            jxplat::hostnet::WinAddress address;
            if (!jxplat::hostnet::AddressFromText(text, 0, address))
                continue;
            uint16_t addressFamily;
            std::memcpy(&addressFamily, address.data(), sizeof addressFamily);
            if (family == AF_UNSPEC || family == addressFamily)
                entry.addresses.push_back(address);
        }
        needed += _adapters_Align(sizeof(IP_ADAPTER_ADDRESSES));
        needed += _adapters_Align(static_cast<ULONG>(adapter.name.size() + 1));
        needed += 2 * _adapters_Align(static_cast<ULONG>((entry.description.size() + 1) * sizeof(WCHAR)));
        needed += _adapters_Align(sizeof(WCHAR)); // the empty DNS suffix
        for (const auto& address : entry.addresses)
            needed += _adapters_Align(sizeof(IP_ADAPTER_UNICAST_ADDRESS)) +
                      _adapters_Align(static_cast<ULONG>(address.size()));
        layout.push_back(std::move(entry));
    }
    if (layout.empty())
        return ERROR_NO_DATA;
    if (!buffer || *size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(buffer, 0, needed);
    auto* cursor = reinterpret_cast<unsigned char*>(buffer);
    auto take = [&](ULONG bytes) {
        unsigned char* at = cursor;
        cursor += _adapters_Align(bytes);
        return at;
    };
    IP_ADAPTER_ADDRESSES* previous = nullptr;
    DWORD index = 1;
    for (const auto& entry : layout) {
        auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(take(sizeof(IP_ADAPTER_ADDRESSES)));
        a->Length = sizeof(IP_ADAPTER_ADDRESSES);
        a->IfIndex = index++;
        a->AdapterName = reinterpret_cast<CHAR*>(take(static_cast<ULONG>(entry.adapter->name.size() + 1)));
        std::memcpy(a->AdapterName, entry.adapter->name.c_str(), entry.adapter->name.size() + 1);
        const ULONG textBytes = static_cast<ULONG>((entry.description.size() + 1) * sizeof(WCHAR));
        a->Description = reinterpret_cast<WCHAR*>(take(textBytes));
        std::memcpy(a->Description, entry.description.c_str(), textBytes);
        a->FriendlyName = reinterpret_cast<WCHAR*>(take(textBytes));
        std::memcpy(a->FriendlyName, entry.description.c_str(), textBytes);
        a->DnsSuffix = reinterpret_cast<WCHAR*>(take(sizeof(WCHAR)));
        a->Mtu = 1500;
        a->IfType = entry.adapter->physical ? 6 : 24; // ethernet, software loopback
        a->OperStatus = entry.adapter->up ? IfOperStatusUp : IfOperStatusDown;
        IP_ADAPTER_UNICAST_ADDRESS* previousAddress = nullptr;
        for (const auto& address : entry.addresses) {
            auto* u = reinterpret_cast<IP_ADAPTER_UNICAST_ADDRESS*>(take(sizeof(IP_ADAPTER_UNICAST_ADDRESS)));
            u->Length = sizeof(IP_ADAPTER_UNICAST_ADDRESS);
            u->Address.lpSockaddr = reinterpret_cast<LPSOCKADDR>(take(static_cast<ULONG>(address.size())));
            std::memcpy(u->Address.lpSockaddr, address.data(), address.size());
            u->Address.iSockaddrLength = static_cast<INT>(address.size());
            (previousAddress ? previousAddress->Next : a->FirstUnicastAddress) = u;
            previousAddress = u;
        }
        if (previous)
            previous->Next = a;
        previous = a;
    }
    return ERROR_SUCCESS;
}

namespace {

struct CDeviceSet {
    static constexpr uint32_t kMagic = 0x4A584456; // "JXDV"
    uint32_t magic = kMagic;
    std::vector<jxplat::MachineNetworkAdapter> devices;
};

CDeviceSet* _devices_Set(HDEVINFO set) {
    auto* s = static_cast<CDeviceSet*>(set);
    return s && set != INVALID_HANDLE_VALUE && s->magic == CDeviceSet::kMagic ? s : nullptr;
}

} // namespace

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
    auto set = std::make_unique<CDeviceSet>();
    // Only network adapters are devices of this machine.
    if ((flags & DIGCF_ALLCLASSES) || (classGuid && *classGuid == GUID_DEVCLASS_NET))
        set->devices = jxplat::Machine().networkAdapters;
    return set.release();
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
    CDeviceSet* s = _devices_Set(set);
    if (!s || !data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (index >= s->devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->ClassGuid = GUID_DEVCLASS_NET;
    data->DevInst = index + 1;
    data->Reserved = index;
    return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, PDWORD valueType,
                                       PBYTE buffer, DWORD bufferSize, PDWORD requiredSize) {
    CDeviceSet* s = _devices_Set(set);
    if (!s || !data || data->Reserved >= s->devices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& device = s->devices[data->Reserved];
    std::u16string text;
    if (property == SPDRP_DEVICEDESC || property == SPDRP_FRIENDLYNAME) {
        text = jxtext::Utf8ToUtf16(device.description);
    } else if (property == SPDRP_LOCATION_INFORMATION && device.physical) {
        text = jxtext::Utf8ToUtf16("PCI bus 0, device " + std::to_string(data->DevInst + 2) + ", function 0");
    } else {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
    if (requiredSize)
        *requiredSize = needed;
    if (valueType)
        *valueType = REG_SZ;
    if (!buffer || bufferSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), needed);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    CDeviceSet* s = _devices_Set(set);
    if (!s) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    s->magic = 0;
    delete s;
    return TRUE;
}
