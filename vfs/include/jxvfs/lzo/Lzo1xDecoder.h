// The engine's own bounds-checked LZO1X decoder. Besides the decoded bytes it reports how many
// input bytes the stream used up to and including its end-of-stream sequence: package blocks
// follow each other without stored lengths, so the reader learns where the next block begins
// only from this count.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jxlzo {

// Result codes, as the LZO library numbers them.
constexpr int kLzoOk = 0;
constexpr int kLzoError = -1;
constexpr int kLzoInputOverrun = -4;
constexpr int kLzoOutputOverrun = -5;
constexpr int kLzoLookbehindOverrun = -6;
constexpr int kLzoEofNotFound = -7;
constexpr int kLzoInputNotConsumed = -8;

struct LZO_DECODE_RESULT {
    int result = kLzoError; // one of the codes above
    size_t outLength = 0;   // bytes written to the output
    size_t consumed = 0;    // input bytes up to and including the end-of-stream sequence (0 when not found)
};

// Decodes one LZO1X stream of at most inLength bytes into at most outCapacity bytes. Never reads
// or writes outside the two areas; output bytes past the reported length may be changed (copies go
// in whole pieces where the output has room for them). The result is kLzoOk when the stream ended exactly at
// the end of the input, kLzoInputNotConsumed when it ended before (both are successful decodes), and a
// negative code otherwise.
LZO_DECODE_RESULT Lzo1xDecompressSafe(const uint8_t* in, size_t inLength, uint8_t* out, size_t outCapacity);

// True for the two results that count as a successful decode.
inline bool IsDecodeSuccess(int result) {
    return result == kLzoOk || result == kLzoInputNotConsumed;
}

} // namespace jxlzo
