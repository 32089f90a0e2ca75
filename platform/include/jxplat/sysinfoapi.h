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
