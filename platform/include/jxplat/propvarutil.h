// Helpers that make property values.
#pragma once

#include "jxplat/propidl.h"

// A VT_LPWSTR value holding a copy of the text (COM task allocator); E_INVALIDARG for a null text.
HRESULT InitPropVariantFromString(PCWSTR text, PROPVARIANT* value);
