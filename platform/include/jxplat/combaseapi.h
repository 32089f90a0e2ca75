// COM initialisation, counted per thread; nothing more is needed of COM.
#pragma once

#include "jxplat/wintypes.h"
#include "jxplat/winerror.h"

#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();

namespace jxplat {
// How often COM was initialised and not yet uninitialised on the calling thread.
int ComInitCount();
} // namespace jxplat
