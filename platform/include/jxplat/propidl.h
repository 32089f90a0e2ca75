// Property values (PROPVARIANT). The stand-in's values hold no type but VT_EMPTY and VT_LPWSTR.
#pragma once

#include "jxplat/wintypes.h"

typedef unsigned short VARTYPE;

#define VT_EMPTY 0
#define VT_LPWSTR 31

typedef struct tagPROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LPWSTR pwszVal;
        ULONGLONG uhVal;
    };
} PROPVARIANT;
typedef PROPVARIANT* LPPROPVARIANT;
typedef const PROPVARIANT& REFPROPVARIANT;

// Frees what the value owns (a VT_LPWSTR text of the COM task allocator) and makes it VT_EMPTY.
HRESULT PropVariantClear(PROPVARIANT* value);
