// CRC-32 of the package format (reflected polynomial 0xEDB88320, initial 0xFFFFFFFF, final
// complement: the CRC of zlib and PNG).
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

class CQuickCRC {
public:
    CQuickCRC() = default;
    virtual ~CQuickCRC() = default;

    // Feeds bytes; any chunking gives the same result.
    void Update(const void* data, size_t length);
    // The complemented state; does not end the computation.
    DWORD GetResult() const { return m_state ^ 0xFFFFFFFFu; }
    void Reset() { m_state = 0xFFFFFFFFu; }

    static DWORD Compute(const void* data, size_t length);

private:
    DWORD m_state = 0xFFFFFFFFu;
};
