// BSTR texts of the OLE automation library. A library of their own, so that the engine and every
// add-on module it loads link this one implementation: a text an add-on allocates is freed by the
// engine, and both must agree on the block and the allocator behind it.
#include <cstdlib>
#include <cstring>
#include <string>

#include "jxplat/oleauto.h"

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > (0x7FFFFFFFu - 6) / 2)
        return nullptr;
    auto* block = static_cast<BYTE*>(std::malloc(4 + (size_t{length} + 1) * 2));
    if (!block)
        return nullptr;
    const DWORD bytes = length * 2;
    std::memcpy(block, &bytes, 4);
    BSTR out = reinterpret_cast<BSTR>(block + 4);
    if (text)
        std::memcpy(out, text, bytes);
    else
        std::memset(out, 0, bytes);
    out[length] = 0;
    return out;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<char16_t>::length(text)));
}

void SysFreeString(BSTR text) {
    if (text)
        std::free(reinterpret_cast<BYTE*>(text) - 4);
}

UINT SysStringByteLen(BSTR text) {
    if (!text)
        return 0;
    DWORD bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<BYTE*>(text) - 4, 4);
    return bytes;
}

UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / 2;
}
