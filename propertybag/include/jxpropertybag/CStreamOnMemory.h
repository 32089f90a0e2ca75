// An IStream over a growable block of memory: blob values of the drivers. One stream is used by
// one thread at a time. Positions are 32-bit: a seek before the start or beyond 4 GiB is refused.
#pragma once

#include <windows.h>

#include "jxvfs/CStreamImplBase.h"

#define STG_E_SEEKERROR ((HRESULT)0x80030019L)

class CStreamOnMemory : public CStreamImplBase {
public:
    // A stream holding a copy of the data, positioned at 0.
    explicit CStreamOnMemory(const void* data = nullptr, ULONG size = 0);
    ~CStreamOnMemory() override;

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT Write(const void* buffer, ULONG count, ULONG* written) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER newSize) override;
    HRESULT Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT Revert() override { return E_NOTIMPL; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT Stat(STATSTG* statstg, DWORD statFlag) override;
    HRESULT Clone(IStream** stream) override;

    ULONG GetSize() const { return m_size; }
    ULONG GetCapacity() const { return m_capacity; }
    const BYTE* GetData() const { return m_data; }
    void Clear();
    // Replaces the content: `size` bytes of capacity, a copy of `data` when given (then the size).
    // Throws std::bad_alloc when the memory cannot be had.
    void SetData(const void* data, ULONG size);

    // The growth of the next reallocations: 0 (linear) or a factor.
    void SetGrowthFactor(ULONG factor) { m_growthFactor = factor; }

private:
    BYTE* m_data = nullptr;
    ULONG m_size = 0;
    ULONG m_capacity = 0;
    ULONG m_block = 4096;
    ULONG m_growthFactor = 0;
    ULONG m_readPosition = 0;
    ULONG m_writePosition = 0;
    ULONG m_reallocations = 0;
    bool m_written = false;
};
