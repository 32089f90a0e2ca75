// The device-installation functions that enumerate the machine's network adapters as devices.
// Every adapter of machine.json is a present device of the network class; a physical one has
// location information, a virtual one has none.
#pragma once

#include "jxplat/guiddef.h"
#include "jxplat/wintypes.h"

typedef DWORD* PDWORD;
typedef BYTE* PBYTE;

typedef PVOID HDEVINFO;

typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_LOCATION_INFORMATION 0x0000000D

// {4D36E972-E325-11CE-BFC1-08002BE10318}
inline constexpr GUID GUID_DEVCLASS_NET = {
    0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data);
// A property the device does not have fails with ERROR_INVALID_DATA; a buffer too small with
// ERROR_INSUFFICIENT_BUFFER and the size needed (bytes, with the terminator) in *requiredSize.
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, PDWORD valueType,
                                       PBYTE buffer, DWORD bufferSize, PDWORD requiredSize);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
