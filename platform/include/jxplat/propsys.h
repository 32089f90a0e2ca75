// Property keys and stores (IPropertyStore), as the shell link offers them.
#pragma once

#include "jxplat/propidl.h"
#include "jxplat/unknwn.h"

typedef struct _tagpropertykey {
    GUID fmtid;
    DWORD pid;
} PROPERTYKEY;
typedef const PROPERTYKEY& REFPROPERTYKEY;

inline bool IsEqualPropertyKey(REFPROPERTYKEY a, REFPROPERTYKEY b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

extern const IID IID_IPropertyStore;

struct IPropertyStore : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit() = 0;
};
