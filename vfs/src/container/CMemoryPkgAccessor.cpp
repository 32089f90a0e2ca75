#include "jxvfs/container/CPkgAccessor.h"

#include <algorithm>
#include <cstring>

CMemoryPkgAccessor::CMemoryPkgAccessor(std::u16string name, std::vector<BYTE> bytes)
    : m_name(std::move(name)), m_owned(std::move(bytes)), m_bytes(m_owned.data()), m_length(m_owned.size()) {}

CMemoryPkgAccessor::CMemoryPkgAccessor(std::u16string name, const BYTE* bytes, size_t length)
    : m_name(std::move(name)), m_bytes(bytes), m_length(length) {}

bool CMemoryPkgAccessor::Open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_openCount == 0)
        m_position = 0;
    ++m_openCount;
    return true;
}

bool CMemoryPkgAccessor::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_openCount <= 0)
        return false;
    return --m_openCount == 0;
}

DWORD CMemoryPkgAccessor::Read(DWORD count, void* buffer) {
    return ReadAt(m_position, count, buffer);
}

DWORD CMemoryPkgAccessor::ReadAt(ULONGLONG offset, DWORD count, void* buffer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_openCount <= 0 || buffer == nullptr)
        return 0;
    DWORD n = 0;
    if (offset < m_length)
        n = static_cast<DWORD>(std::min<ULONGLONG>(count, m_length - offset));
    if (n > 0)
        std::memcpy(buffer, m_bytes + offset, n);
    m_position = offset + n;
    return n;
}

ULONGLONG CMemoryPkgAccessor::Seek(LONGLONG distance, DWORD method) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_openCount <= 0)
        return 0;
    LONGLONG base = 0;
    if (method == FILE_CURRENT)
        base = static_cast<LONGLONG>(m_position);
    else if (method == FILE_END)
        base = static_cast<LONGLONG>(m_length);
    const LONGLONG target = base + distance;
    if (target >= 0)
        m_position = static_cast<ULONGLONG>(target);
    return m_position;
}
