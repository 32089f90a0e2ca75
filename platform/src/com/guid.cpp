// New GUIDs of COM from the host's random source.
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
