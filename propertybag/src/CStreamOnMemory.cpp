// The memory stream.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "jxpropertybag/CStreamOnMemory.h"

CStreamOnMemory::CStreamOnMemory(const void* data, ULONG size) {
    m_accessMode = STGM_READWRITE;
    if (data && size)
        SetData(data, size);
}

CStreamOnMemory::~CStreamOnMemory() {
    std::free(m_data);
}

void CStreamOnMemory::Clear() {
    std::free(m_data);
    m_data = nullptr;
    m_size = m_capacity = m_readPosition = m_writePosition = m_reallocations = 0;
    m_written = false;
}

void CStreamOnMemory::SetData(const void* data, ULONG size) {
    Clear();
    if (size == 0)
        return;
    m_data = static_cast<BYTE*>(std::calloc(size, 1));
    if (!m_data)
        throw std::bad_alloc();
    m_capacity = size;
    if (data) {
        std::memcpy(m_data, data, size);
        m_size = size;
    }
}

HRESULT CStreamOnMemory::Read(void* buffer, ULONG count, ULONG* read) {
    if (read)
        *read = 0;
    if (!buffer)
        return STG_E_INVALIDPOINTER;
    if (count == 0)
        return S_OK;
    if (m_readPosition > m_size)
        return STG_E_SEEKERROR;
    if (m_readPosition == m_size)
        return S_FALSE;
    const ULONG n = std::min(count, m_size - m_readPosition);
    std::memcpy(buffer, m_data + m_readPosition, n);
    m_readPosition += n;
    if (read)
        *read = n;
    return n < count ? S_FALSE : S_OK;
}

HRESULT CStreamOnMemory::Write(const void* buffer, ULONG count, ULONG* written) {
    m_written = true;
    if (written)
        *written = 0;
    if (!buffer)
        return STG_E_INVALIDPOINTER;
    if (count == 0)
        return S_OK;
    const ULONGLONG end = ULONGLONG{m_writePosition} + count;
    if (end > 0xFFFFFFFFull)
        return STG_E_INVALIDFUNCTION;
    const ULONG newSize = std::max(m_size, static_cast<ULONG>(end));
    if (newSize > m_capacity) {
        ULONGLONG capacity = 0;
        if (m_growthFactor && m_reallocations)
            capacity =
                std::max<ULONGLONG>(newSize, ULONGLONG{m_block} * (ULONGLONG{m_growthFactor}
                                                                   << std::min<ULONG>(m_reallocations, 32)));
        else
            capacity = ULONGLONG{m_capacity} + std::max<ULONGLONG>(m_block, newSize - m_capacity);
        capacity = std::min<ULONGLONG>(capacity, 0xFFFFFFFFull);
        BYTE* grown = static_cast<BYTE*>(std::malloc(static_cast<size_t>(capacity)));
        if (!grown)
            return E_OUTOFMEMORY;
        if (m_size)
            std::memcpy(grown, m_data, m_size);
        std::free(m_data);
        m_data = grown;
        m_capacity = static_cast<ULONG>(capacity);
        ++m_reallocations;
    }
    // A write beyond the end leaves zeros in the gap.
    if (m_writePosition > m_size)
        std::memset(m_data + m_size, 0, m_writePosition - m_size);
    std::memcpy(m_data + m_writePosition, buffer, count);
    m_writePosition += count;
    m_size = newSize;
    if (written)
        *written = count;
    return S_OK;
}

HRESULT CStreamOnMemory::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
    LONGLONG base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        break;
    case STREAM_SEEK_CUR:
        base = m_written ? m_writePosition : m_readPosition;
        break;
    case STREAM_SEEK_END:
        base = m_size;
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    // Positions are 32-bit: one before the start or past 4 GiB would wrap.
    const LONGLONG target = base + move.QuadPart;
    if (move.QuadPart > 0xFFFFFFFFll || move.QuadPart < -0xFFFFFFFFll || target < 0 || target > 0xFFFFFFFFll)
        return STG_E_INVALIDFUNCTION;
    m_readPosition = m_writePosition = static_cast<ULONG>(target);
    if (newPosition)
        newPosition->QuadPart = m_written ? m_writePosition : m_readPosition;
    return S_OK;
}

HRESULT CStreamOnMemory::SetSize(ULARGE_INTEGER newSize) {
    if (newSize.QuadPart > 0xFFFFFFFFull)
        return STG_E_INVALIDFUNCTION;
    const ULONG size = static_cast<ULONG>(newSize.QuadPart);
    if (size == 0) {
        Clear();
        return S_OK;
    }
    if (size <= m_size) {
        m_size = size;
        m_readPosition = std::min(m_readPosition, size);
        m_writePosition = std::min(m_writePosition, size);
        return S_OK;
    }
    if (size <= m_capacity) {
        std::memset(m_data + m_size, 0, m_capacity - m_size);
        m_size = size;
        return S_OK;
    }
    if (!m_data) {
        try {
            SetData(nullptr, size);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        m_size = size;
        return S_OK;
    }
    const ULONG savedWrite = m_writePosition;
    const bool savedWritten = m_written;
    m_writePosition = m_size;
    BYTE* zeros = static_cast<BYTE*>(std::calloc(size - m_size, 1));
    if (!zeros)
        return E_OUTOFMEMORY;
    const HRESULT hr = Write(zeros, size - m_size, nullptr);
    std::free(zeros);
    m_writePosition = savedWrite;
    m_written = savedWritten;
    return hr;
}

HRESULT CStreamOnMemory::Stat(STATSTG* statstg, DWORD statFlag) {
    if (!statstg)
        return STG_E_INVALIDPOINTER;
    std::memset(statstg, 0, sizeof(*statstg));
    statstg->type = STGTY_STREAM;
    statstg->cbSize.QuadPart = m_size;
    statstg->grfMode = m_accessMode;
    if ((statFlag & STATFLAG_NONAME) == 0) {
        statstg->pwcsName = static_cast<LPWSTR>(CoTaskMemAlloc((m_name.size() + 1) * sizeof(WCHAR)));
        if (!statstg->pwcsName)
            return E_OUTOFMEMORY;
        std::memcpy(statstg->pwcsName, m_name.c_str(), (m_name.size() + 1) * sizeof(WCHAR));
    }
    return S_OK;
}

HRESULT CStreamOnMemory::Clone(IStream** stream) {
    if (!stream)
        return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    CStreamOnMemory* clone = nullptr;
    try {
        clone = new CStreamOnMemory(m_data, m_size);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (clone->GetSize() != m_size) {
        clone->Release();
        return E_FAIL;
    }
    *stream = clone;
    return S_OK;
}
