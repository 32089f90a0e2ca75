// Resources of the program other than strings (images, raw data): FindResourceW and its companions.
#pragma once

#include "jxplat/wintypes.h"

struct HRSRC__;
typedef HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
BOOL FreeResource(HGLOBAL data);

namespace jxplat {

// A resource of the program found by its type name (such as "PNG") and its number.
struct DataResource {
    const char16_t* type;
    UINT id;
    const BYTE* data;
    size_t size;
};
// The program's data resources; the program registers them before it runs. A later entry of the
// same type and number replaces an earlier one.
void RegisterDataResources(const DataResource* table, size_t count);

} // namespace jxplat
