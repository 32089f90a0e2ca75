// The root interface of COM: every object the stand-in hands out through CoCreateInstance derives
// from it and counts its references.
#pragma once

#include "jxplat/guiddef.h"
#include "jxplat/winerror.h"
#include "jxplat/wintypes.h"

#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

extern const IID IID_IUnknown;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;
