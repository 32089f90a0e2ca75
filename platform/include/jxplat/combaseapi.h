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

#define RPC_C_AUTHN_LEVEL_PKT 4
#define RPC_C_AUTHN_LEVEL_PKT_PRIVACY 6
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define EOAC_NONE 0
#define EOAC_DISABLE_AAA 0x1000
#define EOAC_NO_CUSTOM_MARSHAL 0x2000
// Access rights of the access list in the security descriptor handed to CoInitializeSecurity.
#define COM_RIGHTS_EXECUTE 1
#define COM_RIGHTS_EXECUTE_LOCAL 2
#define RPC_E_TOO_LATE ((HRESULT)0x80010119L)
// The process-wide security of COM: set once per process (RPC_E_TOO_LATE afterwards); COM must be
// initialised on the calling thread (CO_E_NOTINITIALIZED otherwise). Nothing else is kept.
HRESULT CoInitializeSecurity(LPVOID securityDescriptor, LONG authServiceCount, LPVOID authServices,
                             LPVOID reserved1, DWORD authnLevel, DWORD impLevel, LPVOID authList,
                             DWORD capabilities, LPVOID reserved3);

namespace jxplat {
// How often COM was initialised and not yet uninitialised on the calling thread.
int ComInitCount();
} // namespace jxplat

// A new random GUID (version 4) from the host's cryptographic random source.
HRESULT CoCreateGuid(struct _GUID* guid);
