#include "jxvfs/container/PackageFormat.h"

#include <cstring>

#include "jxplat/text.h"

namespace jxpkg {

PACKAGE_HEADER DecodeHeader(const uint8_t* b) {
    PACKAGE_HEADER h;
    h.packageWord = LoadU32(b + kHdrWord);
    h.reserved1 = LoadU16(b + kHdrReserved1);
    std::memcpy(h.name, b + kHdrName, sizeof(h.name));
    h.magic = LoadU16(b + kHdrMagic);
    h.version = LoadU32(b + kHdrVersion);
    h.packedMetaSize = LoadU32(b + kHdrPackedMetaSize);
    h.metaSize = LoadU32(b + kHdrMetaSize);
    h.metaCrc = LoadU32(b + kHdrMetaCrc);
    h.dataSize = LoadU64(b + kHdrDataSize);
    h.dataCrc = LoadU32(b + kHdrDataCrc);
    h.rootOffset = LoadU32(b + kHdrRootOffset);
    h.reserved2 = LoadU32(b + kHdrReserved2);
    return h;
}

void EncodeHeader(const PACKAGE_HEADER& h, uint8_t* b) {
    std::memset(b, 0, kHeaderSize);
    StoreU32(b + kHdrWord, h.packageWord);
    StoreU16(b + kHdrReserved1, h.reserved1);
    std::memcpy(b + kHdrName, h.name, sizeof(h.name));
    StoreU16(b + kHdrMagic, h.magic);
    StoreU32(b + kHdrVersion, h.version);
    StoreU32(b + kHdrPackedMetaSize, h.packedMetaSize);
    StoreU32(b + kHdrMetaSize, h.metaSize);
    StoreU32(b + kHdrMetaCrc, h.metaCrc);
    StoreU64(b + kHdrDataSize, h.dataSize);
    StoreU32(b + kHdrDataCrc, h.dataCrc);
    StoreU32(b + kHdrRootOffset, h.rootOffset);
    StoreU32(b + kHdrReserved2, h.reserved2);
}

bool IsHeaderRecognised(const PACKAGE_HEADER& header) {
    return (header.packageWord & kWordTagMask) == kWordTag && header.magic == kMagic;
}

std::u16string PackageNameText(const PACKAGE_HEADER& header) {
    if (header.packageWord & kWordGuidName) {
        // Stored order, no byte swapping of the first three groups.
        const BYTE* n = header.name;
        return jxtext::Format(u"{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", n[0],
                              n[1], n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9], n[10], n[11], n[12],
                              n[13], n[14], n[15]);
    }
    size_t length = 0;
    while (length < sizeof(header.name) && header.name[length] != 0)
        ++length;
    return jxtext::AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(header.name), length));
}

namespace {

struct BlockCode {
    DWORD code;
    DWORD size;
};

constexpr BlockCode kBlockCodes[] = {
    {0x0800, 512},       {0x1000, 1024},       {0x1800, 4096},        {0x2000, 16384},
    {0x2800, 64 * 1024}, {0x3000, 512 * 1024}, {0x3800, 1024 * 1024}, {0x4000, 4 * 1024 * 1024},
};

} // namespace

int BlockSizeOf(DWORD packageWord) {
    if ((packageWord & kWordMethodMask) != kWordMethodLzo1x)
        return -1;
    for (const BlockCode& c : kBlockCodes) {
        if ((packageWord & kWordBlockCodeMask) == c.code)
            return static_cast<int>(c.size);
    }
    return -1;
}

DWORD BlockCodeOf(DWORD blockSize) {
    for (const BlockCode& c : kBlockCodes) {
        if (c.size == blockSize)
            return c.code;
    }
    return 0;
}

const std::vector<DWORD>& BlockSizes() {
    static const std::vector<DWORD> sizes = [] {
        std::vector<DWORD> v;
        for (const BlockCode& c : kBlockCodes)
            v.push_back(c.size);
        return v;
    }();
    return sizes;
}

DWORD BlockLengthOf(ULONGLONG fileSize, DWORD blockSize, ULONGLONG index) {
    if (blockSize == 0)
        return 0;
    const ULONGLONG start = index * blockSize;
    if (start >= fileSize)
        return 0;
    const ULONGLONG rest = fileSize - start;
    return rest < blockSize ? static_cast<DWORD>(rest) : blockSize;
}

void CContentChecksum::Add(const void* data, size_t length) {
    const BYTE* p = static_cast<const BYTE*>(data);
    size_t i = 0;
    // Complete a partial word left by the previous call first.
    while (m_tailLength > 0 && m_tailLength < 4 && i < length)
        m_tail[m_tailLength++] = p[i++];
    if (m_tailLength == 4) {
        const DWORD w = LoadU32(m_tail);
        m_a += w;
        m_b += m_a * w;
        m_tailLength = 0;
    }
    DWORD a = m_a;
    DWORD b = m_b;
    for (; i + 4 <= length; i += 4) {
        const DWORD w = LoadU32(p + i);
        a += w;
        b += a * w;
    }
    m_a = a;
    m_b = b;
    while (i < length)
        m_tail[m_tailLength++] = p[i++];
}

DWORD CContentChecksum::Value() const {
    DWORD a = m_a;
    DWORD b = m_b;
    if (m_tailLength > 0) {
        BYTE word[4] = {};
        std::memcpy(word, m_tail, m_tailLength);
        const DWORD w = LoadU32(word);
        a += w;
        b += a * w;
    }
    return a + b;
}

void CContentChecksum::Reset() {
    m_a = 0;
    m_b = 0;
    m_tailLength = 0;
}

DWORD ContentChecksumOf(const void* data, size_t length) {
    CContentChecksum sum;
    sum.Add(data, length);
    return sum.Value();
}

} // namespace jxpkg
