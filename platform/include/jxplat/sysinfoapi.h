// The computer's names (GetComputerNameExW), from the machine description's computer name.
#pragma once

#include "jxplat/wintypes.h"

typedef enum _COMPUTER_NAME_FORMAT {
    ComputerNameNetBIOS,
    ComputerNameDnsHostname,
    ComputerNameDnsDomain,
    ComputerNameDnsFullyQualified,
    ComputerNamePhysicalNetBIOS,
    ComputerNamePhysicalDnsHostname,
    ComputerNamePhysicalDnsDomain,
    ComputerNamePhysicalDnsFullyQualified,
    ComputerNameMax
} COMPUTER_NAME_FORMAT;

#define MAX_COMPUTERNAME_LENGTH 15

// On success *size is the length without the terminating zero. When the buffer is null or too
// small: FALSE, ERROR_MORE_DATA and *size the length needed with the zero. An unknown format:
// ERROR_INVALID_PARAMETER.
BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT nameType, LPWSTR buffer, LPDWORD size);

// ---- Processor, version and memory of the machine ----------------------------------------------

#include "jxplat/fileapi.h"
#include "jxplat/winnt.h"

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_IA64 6
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF

// The machine's own processor as a 64-bit program would see it: PROCESSOR_ARCHITECTURE_AMD64 on a
// 64-bit machine (is64Bit), PROCESSOR_ARCHITECTURE_INTEL on a 32-bit one. GetSystemInfo answers
// the engine's own view (x86).
void GetNativeSystemInfo(LPSYSTEM_INFO systemInfo);

// The Windows version of the machine description. dwOSVersionInfoSize must be the size of
// OSVERSIONINFOW or OSVERSIONINFOEXW (ERROR_INSUFFICIENT_BUFFER otherwise); only the extended
// record gets the service-pack numbers, the suite mask and the product type.
BOOL GetVersionExW(LPOSVERSIONINFOW versionInformation);

typedef struct _MEMORYSTATUSEX {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    ULONGLONG ullTotalPhys;
    ULONGLONG ullAvailPhys;
    ULONGLONG ullTotalPageFile;
    ULONGLONG ullAvailPageFile;
    ULONGLONG ullTotalVirtual;
    ULONGLONG ullAvailVirtual;
    ULONGLONG ullAvailExtendedVirtual;
} MEMORYSTATUSEX, *LPMEMORYSTATUSEX;

// The host's memory, or the machine description's memory.totalBytes when it is set. The virtual
// figures are those of a 32-bit process (2 GiB). dwLength must be the size of the record
// (ERROR_INVALID_PARAMETER otherwise).
BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX buffer);
