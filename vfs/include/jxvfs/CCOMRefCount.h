// The COM reference count of the engine's COM objects: QueryInterface for IUnknown and the
// interface I, AddRef and Release with interlocked operations; the last Release destroys the object.
#pragma once

#include "jxvfs/ComStream.h"

template <typename I> class CCOMRefCount : public I {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (!_com_Answers(riid))
            return E_NOINTERFACE;
        *object = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }
    ULONG Release() override {
        LONG left = InterlockedDecrement(&m_refCount);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

protected:
    CCOMRefCount() = default;
    virtual ~CCOMRefCount() = default;
    CCOMRefCount(const CCOMRefCount&) = delete;
    CCOMRefCount& operator=(const CCOMRefCount&) = delete;

    // Whether QueryInterface hands out this object for the identifier; derived classes add theirs.
    virtual bool _com_Answers(REFIID riid) const {
        return riid == IID_IUnknown || riid == InterfaceIdOf<I>();
    }

private:
    LONG volatile m_refCount = 1; // the creator holds the first reference
};
