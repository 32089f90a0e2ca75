// GetComputerNameExW: the machine description's computer name in the asked form.
#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/sysinfoapi.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winsock.h"

namespace {

// False for a format that is not one of the known ones.
bool _name_ForFormat(COMPUTER_NAME_FORMAT nameType, std::u16string& name) {
    const std::u16string host = jxtext::Utf8ToUtf16(jxplat::Machine().computerName);
    switch (nameType) {
    case ComputerNameNetBIOS:
    case ComputerNamePhysicalNetBIOS: {
        name = host.substr(0, MAX_COMPUTERNAME_LENGTH);
        for (char16_t& c : name)
            c = jxtext::ToUpperChar(c);
        return true;
    }
    case ComputerNameDnsHostname:
    case ComputerNamePhysicalDnsHostname:
    case ComputerNameDnsFullyQualified:
    case ComputerNamePhysicalDnsFullyQualified:
        // The machine belongs to no DNS domain: the fully qualified name is the host name.
        name = host;
        return true;
    case ComputerNameDnsDomain:
    case ComputerNamePhysicalDnsDomain:
        name.clear();
        return true;
    default:
        return false;
    }
}

} // namespace

BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT nameType, LPWSTR buffer, LPDWORD size) {
    std::u16string name;
    if (!size || !_name_ForFormat(nameType, name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(name.size()) + 1;
    if (!buffer || *size < needed) {
        *size = needed;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    name.copy(buffer, name.size());
    buffer[name.size()] = 0;
    *size = needed - 1;
    return TRUE;
}

int gethostname(char* name, int length) {
    const std::string host = jxplat::Machine().computerName;
    if (name == nullptr || length <= 0 || host.size() + 1 > static_cast<size_t>(length)) {
        WSASetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    host.copy(name, host.size());
    name[host.size()] = 0;
    return 0;
}
