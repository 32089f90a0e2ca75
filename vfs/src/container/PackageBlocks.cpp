#include "jxvfs/container/PackageBlocks.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/PackageFormat.h"
#include "jxvfs/lzo/Lzo1xDecoder.h"

namespace jxpkg {

DWORD BlockReadLength(const CPkgAccessor& carrier, ULONGLONG position, DWORD blockSize) {
    const ULONGLONG size = carrier.GetSize();
    if (position >= size)
        return 0;
    return static_cast<DWORD>(std::min<ULONGLONG>(ReadWindowOf(blockSize), size - position));
}

BLOCK_DECODE DecodePackageBlock(CPkgAccessor& carrier, ULONGLONG position, DWORD blockSize,
                                DWORD expectedLength, BYTE* out, BYTE* work, DWORD outCapacity) {
    BLOCK_DECODE r;
    const DWORD window = ReadWindowOf(blockSize);
    if (blockSize == 0 || window < kMinReadWindow) {
        r.result = kBlockNoWorkBuffer;
        return r;
    }
    if (out == nullptr || expectedLength == 0 || expectedLength > blockSize ||
        (outCapacity != 0 && outCapacity < blockSize && outCapacity <= expectedLength)) {
        r.result = kBlockNoOutputBuffer;
        return r;
    }
    const DWORD length = BlockReadLength(carrier, position, blockSize);
    if (length == 0) {
        r.result = kBlockReadFailed;
        return r;
    }
    std::unique_ptr<BYTE[]> owned;
    if (work == nullptr) {
        owned.reset(new (std::nothrow) BYTE[length]);
        work = owned.get();
        if (work == nullptr) {
            r.result = kBlockNoWorkBuffer;
            return r;
        }
    }
    // A compressed block never exceeds the window of its own content length, so a short block (the
    // last one of a small file) reads only that much; the full window is read when the stream
    // still runs past it.
    const DWORD firstLength = std::min(length, ReadWindowOf(expectedLength));
    DWORD got = carrier.ReadAt(position, firstLength, work);
    if (got == 0) {
        r.result = kBlockReadFailed;
        return r;
    }
    // Only the bytes actually read go to the decoder: stale bytes of the work buffer are never seen.
    const DWORD capacity = outCapacity == 0 ? blockSize : std::min(outCapacity, blockSize);
    // The decoder may change up to 7 bytes past its end (it copies in whole pieces); the bytes after
    // the block's expected length are the caller's and are put back.
    BYTE kept[8];
    const size_t keep =
        capacity > expectedLength ? std::min<size_t>(sizeof(kept), capacity - expectedLength) : 0;
    std::memcpy(kept, out + expectedLength, keep);
    jxlzo::LZO_DECODE_RESULT d = jxlzo::Lzo1xDecompressSafe(work, got, out, capacity);
    if ((d.result == jxlzo::kLzoInputOverrun || d.result == jxlzo::kLzoEofNotFound) && got == firstLength &&
        firstLength < length) {
        got = carrier.ReadAt(position, length, work);
        if (got == 0) {
            r.result = kBlockReadFailed;
            return r;
        }
        d = jxlzo::Lzo1xDecompressSafe(work, got, out, capacity);
    }
    // A short block leaves zeros after the decoded bytes up to its expected length, as if the whole
    // output had been cleared first (clearing it all first cost a pass over every block).
    if (d.outLength <= expectedLength)
        std::memcpy(out + expectedLength, kept, keep);
    if (d.outLength < expectedLength)
        std::memset(out + d.outLength, 0, expectedLength - d.outLength);
    r.outLength = static_cast<DWORD>(d.outLength);
    if (d.result == jxlzo::kLzoOutputOverrun && capacity > expectedLength && capacity < blockSize) {
        // More output than the caller's buffer takes, which is more than the block should have.
        r.result = kBlockLengthMismatch;
        return r;
    }
    if (!jxlzo::IsDecodeSuccess(d.result)) {
        r.result = d.result;
        return r;
    }
    r.consumed = static_cast<DWORD>(d.consumed);
    r.result = d.outLength == expectedLength ? 0 : kBlockLengthMismatch;
    return r;
}

} // namespace jxpkg
