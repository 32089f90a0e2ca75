// VARIANT values of the OLE automation library (the BSTR texts are in platform/bstr).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "jxplat/fileapi.h"
#include "jxplat/oleauto.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

void VariantInit(VARIANTARG* value) {
    std::memset(value, 0, sizeof(VARIANT));
}

namespace {

bool _var_IsScalar(VARTYPE type) {
    return type <= VT_DATE || type == VT_ERROR || type == VT_BOOL || (type >= VT_I1 && type <= VT_HRESULT) ||
           type == VT_FILETIME || type == VT_NULL;
}

bool _var_ToInteger(const VARIANT& value, long long& out) {
    switch (value.vt) {
    case VT_I1:
        out = value.cVal;
        return true;
    case VT_UI1:
        out = value.bVal;
        return true;
    case VT_I2:
        out = value.iVal;
        return true;
    case VT_UI2:
        out = value.uiVal;
        return true;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
    case VT_HRESULT:
        out = value.lVal;
        return true;
    case VT_UI4:
    case VT_UINT:
        out = value.ulVal;
        return true;
    case VT_I8:
        out = value.llVal;
        return true;
    case VT_UI8:
        if (value.ullVal > static_cast<ULONGLONG>(std::numeric_limits<long long>::max()))
            return false;
        out = static_cast<long long>(value.ullVal);
        return true;
    case VT_BOOL:
        out = value.boolVal ? -1 : 0;
        return true;
    case VT_R4:
        out = std::llround(value.fltVal);
        return true;
    case VT_R8:
        out = std::llround(value.dblVal);
        return true;
    case VT_EMPTY:
        out = 0;
        return true;
    default:
        return false;
    }
}

HRESULT _var_FromInteger(long long number, VARTYPE type, VARIANT& out) {
    auto fits = [&](long long low, long long high) { return number >= low && number <= high; };
    switch (type) {
    case VT_I1:
        if (!fits(-128, 127))
            return DISP_E_OVERFLOW;
        out.cVal = static_cast<CHAR>(number);
        break;
    case VT_UI1:
        if (!fits(0, 255))
            return DISP_E_OVERFLOW;
        out.bVal = static_cast<BYTE>(number);
        break;
    case VT_I2:
        if (!fits(-32768, 32767))
            return DISP_E_OVERFLOW;
        out.iVal = static_cast<SHORT>(number);
        break;
    case VT_UI2:
        if (!fits(0, 65535))
            return DISP_E_OVERFLOW;
        out.uiVal = static_cast<USHORT>(number);
        break;
    case VT_I4:
    case VT_INT:
        if (!fits(INT32_MIN, INT32_MAX))
            return DISP_E_OVERFLOW;
        out.lVal = static_cast<LONG>(number);
        break;
    case VT_UI4:
    case VT_UINT:
        if (!fits(0, UINT32_MAX))
            return DISP_E_OVERFLOW;
        out.ulVal = static_cast<ULONG>(number);
        break;
    case VT_I8:
        out.llVal = number;
        break;
    case VT_UI8:
        if (number < 0)
            return DISP_E_OVERFLOW;
        out.ullVal = static_cast<ULONGLONG>(number);
        break;
    case VT_BOOL:
        out.boolVal = number ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_R4:
        out.fltVal = static_cast<FLOAT>(number);
        break;
    case VT_R8:
        out.dblVal = static_cast<DOUBLE>(number);
        break;
    case VT_BSTR: {
        const std::u16string text = jxtext::Utf8ToUtf16(std::to_string(number));
        out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!out.bstrVal)
            return E_OUTOFMEMORY;
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    out.vt = type;
    return S_OK;
}

} // namespace

HRESULT VariantClear(VARIANTARG* value) {
    if (!value)
        return E_INVALIDARG;
    const VARTYPE type = value->vt;
    if ((type & VT_BYREF) == 0) {
        if (type & VT_ARRAY)
            return DISP_E_BADVARTYPE;
        if (type == VT_BSTR) {
            SysFreeString(value->bstrVal);
        } else if (type == VT_UNKNOWN || type == VT_DISPATCH) {
            if (value->punkVal)
                value->punkVal->Release();
        } else if (!_var_IsScalar(type)) {
            return DISP_E_BADVARTYPE;
        }
    }
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source) {
    if (!target || !source)
        return E_INVALIDARG;
    if (target == source)
        return S_OK;
    VARIANT copy = *source;
    if ((source->vt & VT_BYREF) == 0) {
        if (source->vt == VT_BSTR && source->bstrVal) {
            copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal) {
            source->punkVal->AddRef();
        } else if (!_var_IsScalar(source->vt) && source->vt != VT_BSTR && source->vt != VT_UNKNOWN &&
                   source->vt != VT_DISPATCH) {
            return DISP_E_BADVARTYPE;
        }
    }
    const HRESULT cleared = VariantClear(target);
    if (FAILED(cleared)) {
        VariantClear(&copy);
        return cleared;
    }
    *target = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* target, const VARIANTARG* source) {
    if (!source || (source->vt & VT_BYREF) == 0)
        return VariantCopy(target, source);
    if (!source->byref)
        return E_INVALIDARG;
    const VARTYPE type = source->vt & ~VT_BYREF;
    if (type == VT_VARIANT)
        return VariantCopyInd(target, static_cast<const VARIANT*>(source->byref));
    VARIANT plain;
    VariantInit(&plain);
    plain.vt = type;
    switch (type) {
    case VT_BSTR:
        plain.bstrVal = *static_cast<BSTR*>(source->byref);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        plain.punkVal = *static_cast<IUnknown**>(source->byref);
        break;
    case VT_I1:
    case VT_UI1:
        std::memcpy(&plain.bVal, source->byref, 1);
        break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        std::memcpy(&plain.iVal, source->byref, 2);
        break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
        std::memcpy(&plain.llVal, source->byref, 8);
        break;
    default:
        if (!_var_IsScalar(type))
            return DISP_E_BADVARTYPE;
        std::memcpy(&plain.lVal, source->byref, 4);
    }
    return VariantCopy(target, &plain);
}

HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT, VARTYPE type) {
    if (!target || !source)
        return E_INVALIDARG;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = S_OK;
    if (source->vt == type) {
        hr = VariantCopy(&result, source);
    } else if (source->vt == VT_BSTR) {
        const std::u16string text = source->bstrVal
                                        ? std::u16string(source->bstrVal, SysStringLen(source->bstrVal))
                                        : std::u16string();
        if (type == VT_BOOL &&
            (jxtext::EqualsNoCase(text, u"True") || jxtext::EqualsNoCase(text, u"False"))) {
            result.vt = VT_BOOL;
            result.boolVal = jxtext::EqualsNoCase(text, u"True") ? VARIANT_TRUE : VARIANT_FALSE;
        } else {
            const std::optional<long long> number = jxtext::TryParseInt(jxtext::Trim(text, u" "));
            hr = number ? _var_FromInteger(*number, type, result) : DISP_E_TYPEMISMATCH;
        }
    } else if (source->vt == VT_BOOL && type == VT_BSTR) {
        result.vt = VT_BSTR;
        result.bstrVal = SysAllocString(source->boolVal ? u"True" : u"False");
        hr = result.bstrVal ? S_OK : E_OUTOFMEMORY;
    } else {
        long long number = 0;
        hr = _var_ToInteger(*source, number) ? _var_FromInteger(number, type, result) : DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // The source may be the target: read it completely before clearing the target.
    VariantClear(target);
    *target = result;
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR text, int size) {
    if (!text || size < 39)
        return 0;
    const std::u16string formatted =
        jxtext::Format(u"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                       guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                       guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    std::memcpy(text, formatted.c_str(), 39 * sizeof(WCHAR));
    return 39;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (!text)
        return E_INVALIDARG;
    *text = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(WCHAR)));
    if (!*text)
        return E_OUTOFMEMORY;
    StringFromGUID2(clsid, *text, 39);
    return S_OK;
}
