// The slot of a virtual operation in its class's table, read from a pointer to it: under the
// Itanium C++ ABI such a pointer holds 1 + the byte offset of the slot (counted from the first
// operation); a pointer to a non-virtual operation holds its address instead.
#pragma once

#include <cstdint>
#include <cstring>

namespace jxtest {

// The slot (from 0), or -1 for an operation that is not virtual.
template <typename F> long VtableSlot(F function) {
    static_assert(sizeof(F) == 2 * sizeof(void*), "an Itanium member-function pointer");
    uintptr_t raw[2];
    std::memcpy(raw, &function, sizeof raw);
    if ((raw[0] & 1) == 0)
        return -1;
    return static_cast<long>((raw[0] - 1) / sizeof(void*));
}

} // namespace jxtest
