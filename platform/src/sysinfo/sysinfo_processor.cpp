// GetNativeSystemInfo: the machine's processor as seen from outside the engine's 32-bit process.
#include <algorithm>
#include <cstdint>
#include <thread>

#include "jxplat/machine.h"
#include "jxplat/sysinfoapi.h"

void GetNativeSystemInfo(LPSYSTEM_INFO systemInfo) {
    if (!systemInfo)
        return;
    // The engine's own view, then what a 64-bit machine changes in it.
    GetSystemInfo(systemInfo);
    if (!jxplat::Machine().is64Bit)
        return;
    const DWORD processors = std::clamp<DWORD>(std::thread::hardware_concurrency(), 1, 64);
    systemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    systemInfo->dwProcessorType = 8664; // PROCESSOR_AMD_X8664
    systemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t{0x7FFFFFFEFFFF});
    systemInfo->dwNumberOfProcessors = processors;
    systemInfo->dwActiveProcessorMask = processors >= 64 ? ~DWORD_PTR{0} : ((DWORD_PTR{1} << processors) - 1);
}
