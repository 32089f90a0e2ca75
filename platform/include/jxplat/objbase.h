// Creating COM objects. The stand-in knows one class, the shell link (CLSID_ShellLink, in-process);
// COM must be initialised on the calling thread as on Windows.
#pragma once

#include "jxplat/combaseapi.h"
#include "jxplat/unknwn.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)

// S_OK with the object's interface; CO_E_NOTINITIALIZED without COM on the thread,
// REGDB_E_CLASSNOTREG for another class or context, CLASS_E_NOAGGREGATION with an outer object,
// E_NOINTERFACE when the object has no such interface.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object);
