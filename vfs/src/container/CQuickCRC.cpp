#include "jxvfs/container/CQuickCRC.h"

#include <array>

namespace {

std::array<DWORD, 256> MakeCrcTable() {
    std::array<DWORD, 256> table{};
    for (DWORD n = 0; n < 256; ++n) {
        DWORD c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

const std::array<DWORD, 256> g_crcTable = MakeCrcTable();

} // namespace

void CQuickCRC::Update(const void* data, size_t length) {
    const BYTE* p = static_cast<const BYTE*>(data);
    DWORD c = m_state;
    for (size_t i = 0; i < length; ++i)
        c = g_crcTable[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    m_state = c;
}

DWORD CQuickCRC::Compute(const void* data, size_t length) {
    CQuickCRC crc;
    crc.Update(data, length);
    return crc.GetResult();
}
