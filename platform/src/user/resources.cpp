// Data resources of the program (images and raw data), found by type name and number.
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "jxplat/errhandling.h"
#include "jxplat/resources.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

namespace {

struct CResourceTable {
    std::mutex lock;
    std::map<std::pair<std::u16string, UINT>, jxplat::DataResource> entries; // by folded type and number
};

CResourceTable& Table() {
    static auto* table = new CResourceTable;
    return *table;
}

// A type or name given as MAKEINTRESOURCEW is a number below 0x10000.
bool IsNumber(LPCWSTR value) {
    return reinterpret_cast<uintptr_t>(value) < 0x10000;
}

} // namespace

namespace jxplat {
void RegisterDataResources(const DataResource* table, size_t count) {
    CResourceTable& resources = Table();
    std::lock_guard<std::mutex> guard(resources.lock);
    for (size_t i = 0; i < count; ++i)
        resources.entries[{jxtext::Fold(table[i].type), table[i].id}] = table[i];
}
} // namespace jxplat

HRSRC FindResourceW(HMODULE, LPCWSTR name, LPCWSTR type) {
    if (!name || !type || !IsNumber(name) || IsNumber(type)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    CResourceTable& resources = Table();
    std::lock_guard<std::mutex> guard(resources.lock);
    auto found = resources.entries.find({jxtext::Fold(type), UINT(reinterpret_cast<uintptr_t>(name))});
    if (found == resources.entries.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(&found->second);
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return resource ? DWORD(reinterpret_cast<const jxplat::DataResource*>(resource)->size) : 0;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    return resource;
}

LPVOID LockResource(HGLOBAL data) {
    if (!data)
        return nullptr;
    return const_cast<BYTE*>(static_cast<const jxplat::DataResource*>(data)->data);
}

BOOL FreeResource(HGLOBAL) {
    return FALSE; // resources live as long as the program, as on 32-bit Windows
}
