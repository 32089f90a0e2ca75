// GlobalMemoryStatusEx: the host's memory (or the machine description's), as a 32-bit process on
// Windows sees it.
#include <sys/sysinfo.h>

#include <algorithm>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/sysinfoapi.h"
#include "jxplat/winerror.h"

namespace {

// The user-mode address space of a 32-bit process without large-address awareness.
constexpr ULONGLONG kVirtualBytes = 0x7FFE0000ull;

} // namespace

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX buffer) {
    if (!buffer || buffer->dwLength != sizeof(MEMORYSTATUSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct sysinfo host {};
    if (::sysinfo(&host) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const ULONGLONG unit = host.mem_unit ? host.mem_unit : 1;
    ULONGLONG total = ULONGLONG(host.totalram) * unit;
    ULONGLONG available = (ULONGLONG(host.freeram) + ULONGLONG(host.bufferram)) * unit;
    const ULONGLONG configured = jxplat::Machine().totalMemoryBytes;
    if (configured != 0) {
        // The host's share in use, applied to the described size.
        const double freeShare = total ? double(available) / double(total) : 0.5;
        total = configured;
        available = static_cast<ULONGLONG>(double(total) * freeShare);
    }
    available = std::min(available, total);
    const ULONGLONG swapTotal = ULONGLONG(host.totalswap) * unit;
    const ULONGLONG swapFree = ULONGLONG(host.freeswap) * unit;

    buffer->dwMemoryLoad = total ? static_cast<DWORD>((total - available) * 100 / total) : 0;
    buffer->ullTotalPhys = total;
    buffer->ullAvailPhys = available;
    buffer->ullTotalPageFile = total + swapTotal;
    buffer->ullAvailPageFile = available + swapFree;
    buffer->ullTotalVirtual = kVirtualBytes;
    buffer->ullAvailVirtual = kVirtualBytes;
    buffer->ullAvailExtendedVirtual = 0;
    return TRUE;
}
