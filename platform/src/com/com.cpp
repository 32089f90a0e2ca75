#include "jxplat/combaseapi.h"

#include <atomic>

namespace {
thread_local int t_initCount = 0;
thread_local DWORD t_model = 0;
} // namespace

HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
    DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (t_initCount > 0) {
        if (model != t_model)
            return RPC_E_CHANGED_MODE;
        ++t_initCount;
        return S_FALSE; // already initialised on this thread
    }
    t_model = model;
    t_initCount = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (t_initCount > 0)
        --t_initCount;
}

HRESULT CoInitializeSecurity(LPVOID, LONG, LPVOID, LPVOID, DWORD, DWORD, LPVOID, DWORD, LPVOID) {
    static std::atomic<bool> s_set{false};
    if (t_initCount == 0)
        return CO_E_NOTINITIALIZED;
    return s_set.exchange(true) ? RPC_E_TOO_LATE : S_OK;
}

namespace jxplat {
int ComInitCount() {
    return t_initCount;
}
} // namespace jxplat
