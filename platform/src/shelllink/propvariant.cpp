// Property values: text values live in the COM task allocator, as PropVariantClear expects.
#include <cstring>

#include "jxplat/fileapi.h"
#include "jxplat/propidl.h"
#include "jxplat/propvarutil.h"
#include "jxplat/winerror.h"

HRESULT PropVariantClear(PROPVARIANT* value) {
    if (!value)
        return S_OK;
    if (value->vt == VT_LPWSTR)
        CoTaskMemFree(value->pwszVal);
    else if (value->vt != VT_EMPTY)
        return E_INVALIDARG; // the stand-in makes no other type
    std::memset(value, 0, sizeof(*value));
    return S_OK;
}

HRESULT InitPropVariantFromString(PCWSTR text, PROPVARIANT* value) {
    if (!value)
        return E_POINTER;
    std::memset(value, 0, sizeof(*value));
    if (!text)
        return E_INVALIDARG;
    size_t length = 0;
    while (text[length])
        ++length;
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (!copy)
        return E_OUTOFMEMORY;
    std::memcpy(copy, text, (length + 1) * sizeof(WCHAR));
    value->vt = VT_LPWSTR;
    value->pwszVal = copy;
    return S_OK;
}
