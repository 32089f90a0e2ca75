#include "jxplat/combaseapi.h"

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

namespace jxplat {
int ComInitCount() {
    return t_initCount;
}
} // namespace jxplat
