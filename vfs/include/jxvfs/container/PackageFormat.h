// The package container: byte layout, constants and the small pure helpers that the reader, the
// writer (CPackageWriter), the package tree and the tools share. All integers are little-endian.
//
// Carrier: zero or more packages back to back. Package: a 60-byte header, the LZO1X-packed meta
// data (the directory tree), zero padding to a multiple of 4 counted from the meta start, then
// the data area (every file cut into blocks, each block one LZO1X stream, no stored lengths).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace jxpkg {

// ---- Little-endian access ---------------------------------------------------------------------

inline uint16_t LoadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t* p) {
    return LoadU32(p) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU64(uint8_t* p, uint64_t v) {
    StoreU32(p, static_cast<uint32_t>(v));
    StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
}

// ---- Package header -----------------------------------------------------------------------------

constexpr DWORD kHeaderSize = 60;
constexpr WORD kMagic = 0x64F2;
constexpr DWORD kFormatVersion = 1;

// Package word: bits 28-31 = 0xC, bits 0-7 = header length in 4-byte units, bits 8-10 = method,
// bits 11-15 = block-size code, bit 16 = the name is a GUID.
constexpr DWORD kWordTagMask = 0xF0000000;
constexpr DWORD kWordTag = 0xC0000000;
constexpr DWORD kWordHeaderUnitsMask = 0x000000FF;
constexpr DWORD kWordMethodMask = 0x00000700;
constexpr DWORD kWordMethodLzo1x = 0x00000100;
constexpr DWORD kWordBlockCodeMask = 0x0000F800;
constexpr DWORD kWordGuidName = 0x00010000;
// The word of the setup's own packages: 60-byte header, LZO1X, 512 KiB blocks, ANSI name.
constexpr DWORD kSetupPackageWord = 0xC000310F;

// Header field offsets.
constexpr size_t kHdrWord = 0;
constexpr size_t kHdrReserved1 = 4;
constexpr size_t kHdrName = 6;
constexpr size_t kHdrMagic = 22;
constexpr size_t kHdrVersion = 24;
constexpr size_t kHdrPackedMetaSize = 28;
constexpr size_t kHdrMetaSize = 32;
constexpr size_t kHdrMetaCrc = 36;
constexpr size_t kHdrDataSize = 40;
constexpr size_t kHdrDataCrc = 48;
constexpr size_t kHdrRootOffset = 52;
constexpr size_t kHdrReserved2 = 56;

struct PACKAGE_HEADER {
    DWORD packageWord = 0;
    WORD reserved1 = 0;
    BYTE name[16] = {};
    WORD magic = 0;
    DWORD version = 0;
    DWORD packedMetaSize = 0;
    DWORD metaSize = 0;
    DWORD metaCrc = 0;
    ULONGLONG dataSize = 0;
    DWORD dataCrc = 0;
    DWORD rootOffset = 0;
    DWORD reserved2 = 0;
};

PACKAGE_HEADER DecodeHeader(const uint8_t* bytes60);
void EncodeHeader(const PACKAGE_HEADER& header, uint8_t* bytes60);
// The package word lies in 0xC0000000..0xCFFFFFFF and the magic is 0x64F2.
bool IsHeaderRecognised(const PACKAGE_HEADER& header);
// 4 x (package word bits 0-7).
inline DWORD HeaderLengthOf(DWORD packageWord) {
    return 4 * (packageWord & kWordHeaderUnitsMask);
}
// Packed meta size rounded up to a multiple of 4 (64-bit: no wrap for sizes near 4 GiB).
inline ULONGLONG PaddedMetaSize(DWORD packedMetaSize) {
    return (static_cast<ULONGLONG>(packedMetaSize) + 3) & ~3ULL;
}

// The package name as shown: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" from the 16 bytes in stored
// order when the word says GUID, else the ANSI bytes up to the first NUL in the ANSI code page.
std::u16string PackageNameText(const PACKAGE_HEADER& header);

// ---- Block sizes ----------------------------------------------------------------------------------

// Block size of the word's code, or -1 for an unknown code or a method other than LZO1X.
int BlockSizeOf(DWORD packageWord);
// Code (word bits 11-15) of a block size, or 0 when the format has no code for it.
DWORD BlockCodeOf(DWORD blockSize);
// Every block size the format can express, smallest first.
const std::vector<DWORD>& BlockSizes();
// The reader's window: a compressed block never exceeds block size + block size / 16 + 99 bytes.
inline DWORD ReadWindowOf(DWORD blockSize) {
    return blockSize + blockSize / 16 + 99;
}
// The reader refuses windows below this (packages with 512-byte blocks list but cannot deliver files).
constexpr DWORD kMinReadWindow = 1024;
inline ULONGLONG BlockCountOf(ULONGLONG fileSize, DWORD blockSize) {
    return blockSize == 0 ? 0 : (fileSize + blockSize - 1) / blockSize;
}
// Content length of block `index` of a file: the block size, or the remainder for the last block.
DWORD BlockLengthOf(ULONGLONG fileSize, DWORD blockSize, ULONGLONG index);

// ---- Meta data nodes ------------------------------------------------------------------------------

constexpr DWORD kNodeKindMask = 0xF0000000;
constexpr DWORD kNodeKindDirectory = 0x80000000;
constexpr DWORD kNodeKindFile = 0x00000000;
constexpr DWORD kNodeUnitsMask = 0x000000FF;
constexpr DWORD kNodeReadOnly = 0x01000000;
constexpr DWORD kNodeHidden = 0x02000000;
// What the packer writes into bits 8-10 of file nodes.
constexpr DWORD kNodeFileMethodBits = 0x00000100;

// Fixed fields: node word (4) + tag length (2); a directory adds the child count (4), a file adds
// size, checksum, data offset (4 each) and the last-write time (8) after its tags.
constexpr DWORD kNodeWordSize = 6;
constexpr DWORD kDirFixedSize = 10;
constexpr DWORD kFileFixedSize = 26; // without tags
constexpr DWORD kMaxNodeLength = 4 * 255;

// Tag keys.
constexpr BYTE kTagCrc32 = 16;
constexpr BYTE kTagVersionHigh = 40;
constexpr BYTE kTagVersionLow = 41;
constexpr BYTE kTagSha256First = 48; // 48..55, four bytes each
constexpr BYTE kTagSha256Last = 55;

// File attributes the reader gives a file node.
constexpr DWORD kAttrNormal = 0x80;
constexpr DWORD kAttrReadOnly = 0x01;
constexpr DWORD kAttrHidden = 0x02;

// The largest unpacked meta data the reader allocates. A real tree of many thousand files stays far
// below; anything larger is refused before allocating (0x90000006).
constexpr DWORD kMaxMetaSize = 64u << 20;

// ---- Checksums ------------------------------------------------------------------------------------

// Content checksum of a file: the content, zero-padded to a multiple of 4, read as u32 words;
// a += w; b += a * w (mod 2^32); the checksum is a + b. Input may arrive in any chunking.
class CContentChecksum {
public:
    void Add(const void* data, size_t length);
    // a + b with a pending partial word zero-padded; does not change the state.
    DWORD Value() const;
    void Reset();
    DWORD A() const { return m_a; }
    DWORD B() const { return m_b; }

private:
    DWORD m_a = 0;
    DWORD m_b = 0;
    BYTE m_tail[4] = {};
    size_t m_tailLength = 0;
};

DWORD ContentChecksumOf(const void* data, size_t length);

// ---- Error codes recorded by the reader -----------------------------------------------------------

constexpr DWORD kErrCarrierOpen = 0x80000003; // detail 128, value = Windows error
constexpr DWORD kErrNoHeader = 0x80000007;    // detail 0, value = offset
constexpr DWORD kErrStructure = 0x90000007;   // detail 3 version, 1 root/child, 0 no progress
constexpr DWORD kErrMetaCrc = 0x90000004;     // value low = stored, high = computed
constexpr DWORD kErrMetaDecode = 0x90000005;  // value 0
constexpr DWORD kErrMetaMemory = 0x90000006;  // value = meta size
constexpr DWORD kErrDataBounds = 0x90000002;  // detail 129, value low = data start, high = data size
constexpr DWORD kErrDataCrc = 0x90000001;     // detail 5, value low = computed, high = stored

constexpr DWORD kDetailNoProgress = 0;
constexpr DWORD kDetailBadOffset = 1;
constexpr DWORD kDetailVersion = 3;
constexpr DWORD kDetailCarrierOpen = 128;
constexpr DWORD kDetailDataBounds = 129;
// A file's data lies beyond its package's data area: value low = the file's offset in the data
// area, high = the data size (low 32 bits); the entry names the file.
constexpr DWORD kDetailFileBounds = 130;
constexpr DWORD kDetailDataCrc = 5;

// Origins of I/O errors (AddIoError).
constexpr DWORD kIoOriginCarrierStart = 2;
constexpr DWORD kIoOriginExeHeaders = 3;
constexpr DWORD kIoOriginDigestGap = 6;
constexpr DWORD kIoOriginFileTest = 7;
constexpr DWORD kIoOriginMeta = 0x80000000;
constexpr DWORD kIoOriginHeader = 0x80000005;
constexpr DWORD kIoOriginDataCrc = 0x90000001;

} // namespace jxpkg
