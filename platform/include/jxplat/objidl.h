// Objects that persist themselves in a file (IPersistFile). The STGM values are spelt as the
// package store's stream declarations (vfs) spell them.
#pragma once

#include "jxplat/unknwn.h"

#define STGM_READ 0x00000000u
#define STGM_WRITE 0x00000001u
#define STGM_READWRITE 0x00000002u
#define STGM_SHARE_DENY_NONE 0x00000040u
#define STGM_SHARE_DENY_WRITE 0x00000020u
#define STGM_SHARE_EXCLUSIVE 0x00000010u

extern const IID IID_IPersist;
extern const IID IID_IPersistFile;

struct IPersist : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) = 0;
};

struct IPersistFile : public IPersist {
    virtual HRESULT STDMETHODCALLTYPE IsDirty() = 0;
    virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName) = 0;
};
