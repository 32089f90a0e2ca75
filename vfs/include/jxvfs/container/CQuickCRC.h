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
    // The CRC of the bytes fed so far; does not end the computation.
    DWORD GetResult() const { return m_state; }
    void Reset() { m_state = 0; }

    static DWORD Compute(const void* data, size_t length);

private:
    // zlib's form of the running value: the CRC of the bytes so far (0 for none).
    DWORD m_state = 0;
};
