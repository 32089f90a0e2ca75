// NetStatisticsGet of the workstation service: its start time is the machine's boot time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/lmstats.h"
#include "jxplat/machine.h"
#include "jxplat/winerror.h"
#include "jxplat/winreg.h"

namespace jxplat {
namespace {

bool _NetWorkstationRuns() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    DWORD start = 2;
    DWORD size = sizeof(start);
    DWORD type = 0;
    if (RegQueryValueExW(key, u"Start", nullptr, &type, reinterpret_cast<BYTE*>(&start), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        start = 2;
    RegCloseKey(key);
    return start != 4;
}

// The boot time as a FILETIME count: read from "boot.time", or now (written there) when missing.
int64_t _NetBootTime() {
    const std::string path = MachinePath("boot.time");
    std::ifstream in(path);
    long long value = 0;
    if (in >> value && value > 0)
        return value;
    const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    value = since1970 * 10 + 116444736000000000LL;
    std::ofstream out(path, std::ios::trunc);
    out << value << "\n";
    return value;
}

} // namespace
} // namespace jxplat

NET_API_STATUS NetStatisticsGet(LPWSTR serverName, LPWSTR service, DWORD level, DWORD options,
                                LPBYTE* buffer) {
    using namespace jxplat;
    if (!buffer || options != 0 || level != 0 || (serverName && *serverName))
        return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    if (!service || std::u16string(service) != SERVICE_WORKSTATION)
        return ERROR_NOT_SUPPORTED;
    if (!_NetWorkstationRuns())
        return NERR_WkstaNotStarted;
    auto* stats = static_cast<STAT_WORKSTATION_0*>(std::calloc(1, sizeof(STAT_WORKSTATION_0)));
    if (!stats)
        return ERROR_NOT_ENOUGH_MEMORY;
    stats->StatisticsStartTime.QuadPart = _NetBootTime();
    *buffer = reinterpret_cast<LPBYTE>(stats);
    return NERR_Success;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    std::free(buffer);
    return NERR_Success;
}
