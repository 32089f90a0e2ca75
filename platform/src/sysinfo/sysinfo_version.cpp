// GetVersionExW: the Windows version, service pack and product type of the machine description.
#include <algorithm>
#include <iterator>
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/sysinfoapi.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

static_assert(sizeof(OSVERSIONINFOW) == 276, "OSVERSIONINFOW keeps its Windows size");
static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW keeps its Windows size");

namespace {

// The numbers of a service-pack text such as "Service Pack 2" or "Service Pack 1.5": the first
// run of digits is the major number, digits after a "." right behind it the minor one.
void _version_ServicePackNumbers(const std::string& text, WORD& major, WORD& minor) {
    major = minor = 0;
    size_t at = text.find_first_of("0123456789");
    if (at == std::string::npos)
        return;
    auto readNumber = [&](WORD& out) {
        unsigned value = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
            value = std::min(value * 10 + unsigned(text[at] - '0'), 0xFFFFu);
        out = static_cast<WORD>(value);
    };
    readNumber(major);
    if (at + 1 < text.size() && text[at] == '.' && text[at + 1] >= '0' && text[at + 1] <= '9') {
        ++at;
        readNumber(minor);
    }
}

} // namespace

BOOL GetVersionExW(LPOSVERSIONINFOW versionInformation) {
    if (!versionInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = versionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const jxplat::MachineDescription& machine = jxplat::Machine();
    versionInformation->dwMajorVersion = machine.windowsMajor;
    versionInformation->dwMinorVersion = machine.windowsMinor;
    versionInformation->dwBuildNumber = machine.windowsBuild;
    versionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    const std::u16string servicePack = jxtext::Utf8ToUtf16(machine.servicePack).substr(0, 127);
    std::fill(std::begin(versionInformation->szCSDVersion), std::end(versionInformation->szCSDVersion), 0);
    servicePack.copy(versionInformation->szCSDVersion, servicePack.size());
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* extended = reinterpret_cast<LPOSVERSIONINFOEXW>(versionInformation);
        _version_ServicePackNumbers(machine.servicePack, extended->wServicePackMajor,
                                    extended->wServicePackMinor);
        extended->wSuiteMask = VER_SUITE_SINGLEUSERTS;
        if (jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(machine.edition), u"Home"))
            extended->wSuiteMask |= VER_SUITE_PERSONAL;
        extended->wProductType = static_cast<BYTE>(machine.productType);
        extended->wReserved = 0;
    }
    return TRUE;
}
