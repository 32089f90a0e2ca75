// The COM stream interfaces of the package store, declared as the engine uses them: ISequentialStream
// and IStream on the platform's IUnknown, with their operations in the standard order, the interface
// identifiers, the STATSTG structure and the storage result codes.
#pragma once

#include <cstring>

#include <windows.h>

#include "jxplat/unknwn.h" // IUnknown and IID_IUnknown

// GUID, IID, REFIID and their comparison come with the platform (jxplat/guiddef.h).
inline bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}

extern const IID IID_ISequentialStream; // {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
extern const IID IID_IStream;           // {0000000C-0000-0000-C000-000000000046}

// Seek origins.
#define STREAM_SEEK_SET 0u
#define STREAM_SEEK_CUR 1u
#define STREAM_SEEK_END 2u

// Stat: the element type, the access mode, whether the name is wanted.
#define STGTY_STREAM 2u
#define STGM_READ 0x00000000u
#define STGM_WRITE 0x00000001u
#define STGM_READWRITE 0x00000002u
#define STATFLAG_DEFAULT 0u
#define STATFLAG_NONAME 1u

#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001L)
#define STG_E_INVALIDPOINTER ((HRESULT)0x80030009L)
#define STG_E_WRITEFAULT ((HRESULT)0x8003001DL)
#define STG_E_CANTSAVE ((HRESULT)0x80030103L)

typedef struct tagSTATSTG {
    LPWSTR pwcsName; // allocated with CoTaskMemAlloc; the caller frees it
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
} STATSTG;

class ISequentialStream : public IUnknown {
public:
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};

class IStream : public ISequentialStream {
public:
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER newSize) = 0;
    virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                           ULARGE_INTEGER* written) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* statstg, DWORD statFlag) = 0;
    virtual HRESULT Clone(IStream** stream) = 0;

protected:
    ~IStream() = default;
};

// The identifier a COM reference-count base answers for its interface.
template <typename I> const IID& InterfaceIdOf();
template <> inline const IID& InterfaceIdOf<IStream>() {
    return IID_IStream;
}

// Helpers for 64-bit stream arguments.
inline LARGE_INTEGER MakeLargeInteger(LONGLONG value) {
    LARGE_INTEGER out;
    out.QuadPart = value;
    return out;
}
inline ULARGE_INTEGER MakeULargeInteger(ULONGLONG value) {
    ULARGE_INTEGER out;
    out.QuadPart = value;
    return out;
}
