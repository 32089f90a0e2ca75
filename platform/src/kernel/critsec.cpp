// Critical sections over a host recursive mutex kept in DebugInfo. The visible fields follow
// Windows: LockCount -1 when free, RecursionCount and OwningThread kept by the owner.
#include <atomic>
#include <mutex>

#include "jxplat/winbase.h"

namespace {

std::recursive_mutex* _CsHost(LPCRITICAL_SECTION section) {
    return static_cast<std::recursive_mutex*>(section->DebugInfo);
}

DWORD _CsOwner(LPCRITICAL_SECTION section) {
    return static_cast<DWORD>(
        reinterpret_cast<uintptr_t>(std::atomic_ref<HANDLE>(section->OwningThread).load()));
}

// Called by the thread that has just taken the host mutex.
void _CsEntered(LPCRITICAL_SECTION section, DWORD threadId) {
    std::atomic_ref<HANDLE>(section->OwningThread).store(reinterpret_cast<HANDLE>(uintptr_t{threadId}));
    ++section->RecursionCount;
}

} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    InitializeCriticalSectionAndSpinCount(section, 0);
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount) {
    section->DebugInfo = new std::recursive_mutex;
    section->LockCount = -1;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
    section->LockSemaphore = nullptr;
    section->SpinCount = spinCount;
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    std::atomic_ref<LONG>(section->LockCount).fetch_add(1);
    _CsHost(section)->lock();
    _CsEntered(section, GetCurrentThreadId());
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    if (!_CsHost(section)->try_lock())
        return FALSE;
    std::atomic_ref<LONG>(section->LockCount).fetch_add(1);
    _CsEntered(section, GetCurrentThreadId());
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    // Leaving a section that the caller does not own would corrupt it; it is ignored.
    if (_CsOwner(section) != GetCurrentThreadId() || section->RecursionCount <= 0)
        return;
    if (--section->RecursionCount == 0)
        std::atomic_ref<HANDLE>(section->OwningThread).store(nullptr);
    std::atomic_ref<LONG>(section->LockCount).fetch_sub(1);
    _CsHost(section)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    delete _CsHost(section);
    section->DebugInfo = nullptr;
    section->LockCount = -1;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
}
