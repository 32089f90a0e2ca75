// The first byte chooses what the rest is: a value answer as the driver returns
// it (decoded into an empty VARIANT or into a stream), or a snapshot record
// read into a bag.
#include <cstdint>
#include <cstring>
#include <vector>

#include "jxpropertybag/CStreamOnMemory.h"
#include "jxpropertybag/MhvIoctl.h"
#include "jxpropertybag/PropertyBag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const uint8_t mode = data[0];
    const size_t returned = data[1] * 8u;
    data += 2;
    size -= 2;
    if (mode % 3 == 2) {
        auto bag = MakePropertyBag({}, 0);
        const BYTE* cursor = data;
        size_t left = size;
        while (left) {
            const size_t before = left;
            bag->LoadSnapshot(cursor, left);
            if (left >= before)
                __builtin_trap(); // every record consumes bytes
        }
        return 0;
    }
    // The answer buffer is at least 100 bytes, as the request buffer always is.
    std::vector<BYTE> answer(std::max<size_t>(size, 100), 0);
    std::memcpy(answer.data(), data, size);
    const bool gathered = mode & 0x10;
    VARIANT value;
    VariantInit(&value);
    CStreamOnMemory* stream = nullptr;
    if (mode % 3 == 1) {
        stream = new CStreamOnMemory;
        value.vt = VT_UNKNOWN;
        value.punkVal = static_cast<IStream*>(stream);
    }
    DecodeValueAnswer(answer.data(), answer.size(), returned, gathered ? data : nullptr, gathered ? size : 0,
                      value);
    if (value.vt == VT_DISPATCH)
        VariantInit(&value); // a child bag's id, not an object
    if (VariantClear(&value) != S_OK)
        __builtin_trap(); // the decoder made a VARIANT that cannot be cleared
    return 0;
}
