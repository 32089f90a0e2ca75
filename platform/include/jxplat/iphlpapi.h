// The IP helper's adapter list (GetAdaptersAddresses) as far as the engine reads it. The records
// keep the Windows field order up to the operational status; the fields after it are left out.
#pragma once

#include "jxplat/winsock.h"

#define GAA_FLAG_SKIP_ANYCAST 0x0002
#define GAA_FLAG_SKIP_MULTICAST 0x0004
#define GAA_FLAG_SKIP_DNS_SERVER 0x0008

typedef enum { IfOperStatusUp = 1, IfOperStatusDown = 2 } IF_OPER_STATUS;

typedef struct _IP_ADAPTER_UNICAST_ADDRESS {
    union {
        ULONGLONG Alignment;
        struct {
            ULONG Length;
            DWORD Flags;
        };
    };
    struct _IP_ADAPTER_UNICAST_ADDRESS* Next;
    SOCKET_ADDRESS Address;
} IP_ADAPTER_UNICAST_ADDRESS, *PIP_ADAPTER_UNICAST_ADDRESS;

typedef struct _IP_ADAPTER_ADDRESSES {
    union {
        ULONGLONG Alignment;
        struct {
            ULONG Length;
            DWORD IfIndex;
        };
    };
    struct _IP_ADAPTER_ADDRESSES* Next;
    CHAR* AdapterName;
    PIP_ADAPTER_UNICAST_ADDRESS FirstUnicastAddress;
    PVOID FirstAnycastAddress;
    PVOID FirstMulticastAddress;
    PVOID FirstDnsServerAddress;
    WCHAR* DnsSuffix;
    WCHAR* Description;
    WCHAR* FriendlyName;
    BYTE PhysicalAddress[8];
    ULONG PhysicalAddressLength;
    ULONG Flags;
    ULONG Mtu;
    DWORD IfType;
    IF_OPER_STATUS OperStatus;
} IP_ADAPTER_ADDRESSES, *PIP_ADAPTER_ADDRESSES;

// The adapters of machine.json ("networkAdapters"), with the unicast addresses of the family
// (AF_UNSPEC, AF_INET or AF_INET6). ERROR_BUFFER_OVERFLOW sets *size to the size needed.
ULONG GetAdaptersAddresses(ULONG family, ULONG flags, PVOID reserved, PIP_ADAPTER_ADDRESSES addresses,
                           ULONG* size);
