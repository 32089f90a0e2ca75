// Locating and decoding the compressed blocks of a packed file.
//
// A file's content is cut into blocks of the package's block size; block 0 starts at the file's
// data position, block i at the end of block i - 1's LZO1X stream (known only after decoding it).
// The caller (the package tree) keeps the per-file table of positions and holds the process-wide
// decompression lock around DecodePackageBlock; this code has no state and takes no lock.
#pragma once

#include <cstdint>

#include <windows.h>

class CPkgAccessor;

namespace jxpkg {

// Results of DecodePackageBlock besides 0 (success) and the LZO codes (-4..-8 of jxlzo).
constexpr int kBlockNoWorkBuffer = -100;   // read window below kMinReadWindow or no work buffer
constexpr int kBlockNoOutputBuffer = -101; // null output or expected length 0
constexpr int kBlockReadFailed = -102;     // nothing could be read at the position
constexpr int kBlockLengthMismatch = -103; // decoded, but not to the expected length

struct BLOCK_DECODE {
    int result = kBlockReadFailed; // 0 on success
    DWORD consumed = 0;            // compressed length of the block (input used up to its end marker)
    DWORD outLength = 0;           // decoded bytes
};

// Decodes the block at `position` of the carrier into `out` (capacity blockSize; zeroed first over
// expectedLength bytes). Reads one read window, or what is left of the carrier when that is less
// (BlockReadLength), with ReadAt into `work` (a buffer of ReadWindowOf(blockSize) bytes always
// suffices; allocated here when null) and hands the decoder only the bytes actually read. Success
// needs an LZO result of 0 or -8 and exactly expectedLength output bytes: a block that decodes
// shorter or longer than the container says is a decode error. The carrier must be open.
// outCapacity (0: blockSize) lets a caller with a smaller buffer decode into it; it must exceed
// expectedLength so that a longer block is still told from a sound one.
BLOCK_DECODE DecodePackageBlock(CPkgAccessor& carrier, ULONGLONG position, DWORD blockSize,
                                DWORD expectedLength, BYTE* out, BYTE* work = nullptr, DWORD outCapacity = 0);

// The bytes DecodePackageBlock reads at `position`: one read window, cut at the carrier's end.
DWORD BlockReadLength(const CPkgAccessor& carrier, ULONGLONG position, DWORD blockSize);

} // namespace jxpkg
