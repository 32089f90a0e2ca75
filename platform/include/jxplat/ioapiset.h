// Device I/O control. The devices of the product's drivers (\\.\Name, also \\.\Global\Name) are
// Unix-domain sockets below the machine root (see MACHINE.md, "Devices"); CreateFileW opens them.
#pragma once

#include "jxplat/fileapi.h"

#define FILE_DEVICE_UNKNOWN 0x00000022
#define METHOD_BUFFERED 0
#define FILE_ANY_ACCESS 0
#define CTL_CODE(DeviceType, Function, Method, Access)                                                       \
    (((DWORD)(DeviceType) << 16) | ((DWORD)(Access) << 14) | ((DWORD)(Function) << 2) | (DWORD)(Method))

// Sends the code with the input to the device's driver and copies its answer to the output. The
// driver's error comes back as the last error; with ERROR_MORE_DATA the output holds what the
// driver sent. With an OVERLAPPED the call completes before it returns: its result and count are
// in the structure and its event is set.
BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);
// The result of an overlapped call: TRUE with the count, or FALSE with its error as the last error.
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait);

namespace jxplat {
// Whether this process holds an open handle of a driver's device.
bool ProcessHoldsDeviceHandle();
// The host path of the socket behind a device name ("QuorvelControlDevice3"): <root>/devices/<name
// in lower case>.
std::string DeviceSocketPath(const std::u16string& deviceName);
} // namespace jxplat
