// GUIDs of COM: new ones from the host's random source and their registry text.
#include <cstdio>
#include <fstream>

#include "jxplat/combaseapi.h"
#include "jxplat/guiddef.h"

HRESULT CoCreateGuid(GUID* guid) {
    if (!guid)
        return E_INVALIDARG;
    std::ifstream random("/dev/urandom", std::ios::binary);
    if (!random.read(reinterpret_cast<char*>(guid), sizeof(GUID)))
        return E_FAIL;
    guid->Data3 = static_cast<WORD>((guid->Data3 & 0x0FFF) | 0x4000); // version 4
    guid->Data4[0] = static_cast<BYTE>((guid->Data4[0] & 0x3F) | 0x80);
    return S_OK;
}

int StringFromGUID2(const GUID& guid, LPWSTR text, int textMax) {
    char narrow[40];
    std::snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    if (!text || textMax < 39)
        return 0;
    for (int i = 0; i < 39; ++i)
        text[i] = static_cast<WCHAR>(narrow[i]);
    return 39;
}
