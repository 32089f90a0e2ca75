// OLE automation values: BSTR texts, VARIANTs of the scalar, text and object types, IDispatch, and
// the text form of GUIDs. Arrays (VT_ARRAY) and records are not offered.
#pragma once

#include "jxplat/propidl.h"
#include "jxplat/unknwn.h"
#include "jxplat/wintypes.h"

typedef WCHAR* BSTR;
typedef short VARIANT_BOOL;
typedef LONG SCODE;
typedef LONG DISPID;
typedef DWORD LCID;
typedef float FLOAT;
typedef double DOUBLE;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// VT_EMPTY (0) and VT_LPWSTR (31) come with propidl.h.
#define VT_NULL 1
#define VT_I2 2
#define VT_I4 3
#define VT_R4 4
#define VT_R8 5
#define VT_CY 6
#define VT_DATE 7
#define VT_BSTR 8
#define VT_DISPATCH 9
#define VT_ERROR 10
#define VT_BOOL 11
#define VT_VARIANT 12
#define VT_UNKNOWN 13
#define VT_DECIMAL 14
#define VT_I1 16
#define VT_UI1 17
#define VT_UI2 18
#define VT_UI4 19
#define VT_I8 20
#define VT_UI8 21
#define VT_INT 22
#define VT_UINT 23
#define VT_VOID 24
#define VT_HRESULT 25
#define VT_FILETIME 64
#define VT_BLOB 65
#define VT_CLSID 72
#define VT_ARRAY 0x2000
#define VT_BYREF 0x4000
#define VT_TYPEMASK 0x0FFF

#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003L)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005L)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000AL)
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

struct IDispatch;

typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        SHORT iVal;
        USHORT uiVal;
        CHAR cVal;
        BYTE bVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        struct tagVARIANT* pvarVal;
        PVOID byref;
    };
} VARIANT, VARIANTARG;
typedef VARIANT* LPVARIANT;

typedef struct tagDISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    PVOID pfnDeferredFillIn;
    SCODE scode;
} EXCEPINFO;

struct ITypeInfo;
extern const IID IID_IDispatch; // {00020400-0000-0000-C000-000000000046}
extern const IID IID_NULL;

struct IDispatch : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                                    DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags,
                                             DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                             UINT* argumentError) = 0;
};

// A BSTR: the length in bytes in the four bytes before the text, a terminating zero after it.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

void VariantInit(VARIANTARG* value);
// Frees what the value owns (BSTR, object reference) and makes it VT_EMPTY; a BYREF value owns
// nothing. DISP_E_BADVARTYPE for an array or an unknown type, which is left as it is.
HRESULT VariantClear(VARIANTARG* value);
HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source);
// As VariantCopy, with a BYREF source copied as the value it points at.
HRESULT VariantCopyInd(VARIANT* target, const VARIANTARG* source);
// Converts between the integer types, VT_BOOL, VT_R4/VT_R8 and VT_BSTR (decimal text, "True"/"False"
// for a bool). DISP_E_TYPEMISMATCH for other pairs or a text that is no number, DISP_E_OVERFLOW
// for a number outside the target type.
HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags, VARTYPE type);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case; returns the characters written with the
// zero (39), or 0 when the buffer is smaller.
int StringFromGUID2(REFGUID guid, LPOLESTR text, int size);
// The same text allocated with CoTaskMemAlloc.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
