// Fuzz target of the PNG decoder: any bytes must decode to 1, 0 or -1 without a read or write
// outside the input or the decoder's buffers, and twice to the same pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "jxengine/png/LwPngDecoder.h"

using JxSetup::Data::LwRawPngDecoder;

namespace {

// The decoder allows images of up to 2^26 pixels; clearing that many for every input would make
// the run slow without reaching more code, so inputs that declare big images are left out.
bool DeclaresBigImage(const uint8_t* data, size_t size) {
    for (size_t at = 8; at + 12 <= size;) {
        const uint32_t length = (uint32_t(data[at]) << 24) | (uint32_t(data[at + 1]) << 16) |
                                (uint32_t(data[at + 2]) << 8) | uint32_t(data[at + 3]);
        if (memcmp(data + at + 4, "IHDR", 4) == 0 && length >= 13 && at + 8 + 8 <= size) {
            const uint8_t* p = data + at + 8;
            const int64_t width =
                int32_t((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]);
            const int64_t height =
                int32_t((uint32_t(p[4]) << 24) | (uint32_t(p[5]) << 16) | (uint32_t(p[6]) << 8) | p[7]);
            if (width > 0 && height > 0 && width * height > (int64_t(1) << 20))
                return true;
        }
        if (length > size - at - 12)
            break;
        at += size_t(length) + 12;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (DeclaresBigImage(data, size))
        return 0;
    LwRawPngDecoder first;
    const int result = first.Decode(data, size);
    if (result != 1 && result != 0 && result != -1)
        std::abort();
    if (result == 1 &&
        first.GetPixels().size() != size_t(first.GetOutputWidth()) * size_t(first.GetOutputHeight()) * 4)
        std::abort();
    LwRawPngDecoder second;
    if (second.Decode(data, size) != result || second.GetPixels() != first.GetPixels())
        std::abort(); // the result depends on nothing but the bytes
    return 0;
}
