// RegOpenKeyExW, RegCreateKeyExW, RegCloseKey.
#include <cstdio>

#include "jxplat/text.h"
#include "core/faults.h"
#include "registry/reg_clock.h"
#include "registry/reg_resolve.h"
#include "registry/reg_state.h"

using namespace jxplat::registry;

namespace {

// Missing key: ERROR_KEY_DELETED when the key it was named relative to is gone itself.
LSTATUS _RegMissing(HKEY parentHandle, const CRegKey& parent) {
    if (RegIsPredefined(parentHandle))
        return ERROR_FILE_NOT_FOUND;
    LSTATUS status = RegCheckAlive(parent);
    return status == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : status;
}

// The layer a new key of the Classes view goes to: the user's when the nearest existing key
// above it is the user's, else the machine's (new keys directly below HKEY_CLASSES_ROOT too).
LSTATUS _RegCreationLayer(const CRegKey& key, size_t* layer) {
    *layer = 0;
    if (key.root != RegRoot::Classes)
        return ERROR_SUCCESS;
    *layer = 1;
    for (size_t length = key.path.size(); length-- > 1;) {
        CRegKey above;
        above.root = key.root;
        above.view = key.view;
        above.path.assign(key.path.begin(), key.path.begin() + static_cast<std::ptrdiff_t>(length));
        RegPlaceLayers(&above);
        LSTATUS status = RegLocate(&above, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        if (above.layers[0].id != 0 || above.layers[1].id != 0) {
            *layer = above.layers[0].id != 0 ? 0 : 1;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_SUCCESS;
}

// Creates the missing keys of a layer's path in one transaction. Keys made on the way get the
// same volatility; a lasting key below a volatile one is refused as Windows does.
LSTATUS _RegCreatePath(CRegLayer* layer, std::u16string_view keyClass, bool isVolatile, bool* created) {
    JxRegHive& hive = JxRegState::Get().Hive(layer->hive);
    LSTATUS status = hive.Begin();
    if (status != ERROR_SUCCESS)
        return status;
    uint64_t now = RegNow();
    int64_t id = kRegRootKeyId;
    bool parentVolatile = false;
    *created = false;
    for (size_t i = 0; i < layer->physical.size() && status == ERROR_SUCCESS; ++i) {
        const std::u16string& name = layer->physical[i];
        int64_t child = 0;
        bool childVolatile = false;
        status = hive.FindChild(id, name, &child, &childVolatile);
        if (status == ERROR_FILE_NOT_FOUND) {
            if (parentVolatile && !isVolatile) {
                status = ERROR_CHILD_MUST_BE_VOLATILE;
                break;
            }
            bool last = i + 1 == layer->physical.size();
            // A full disk of the machine's faults keeps the hive from growing.
            if (!jxplat::ClaimRegistrySpace(name.size() * sizeof(char16_t))) {
                status = ERROR_DISK_FULL;
                break;
            }
            status = hive.CreateChild(id, name, last ? keyClass : u"", isVolatile, now, &child);
            childVolatile = isVolatile;
            *created = true;
        }
        id = child;
        parentVolatile = childVolatile;
    }
    if (status != ERROR_SUCCESS) {
        hive.Rollback();
        return status;
    }
    status = hive.Commit();
    if (status == ERROR_SUCCESS)
        layer->id = id;
    return status;
}

} // namespace

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    std::shared_ptr<CRegKey> parent;
    LSTATUS status = RegKeyOf(hKey, &parent);
    if (status != ERROR_SUCCESS)
        return status;
    auto child = std::make_shared<CRegKey>();
    status = RegMakeChild(*parent, lpSubKey, samDesired, child.get());
    if (status == ERROR_SUCCESS)
        status = RegLocate(child.get(), parent.get());
    if (status != ERROR_SUCCESS)
        return status;
    if (!child->Exists())
        return _RegMissing(hKey, *parent);
    status = RegGrant(child.get(), samDesired);
    if (status != ERROR_SUCCESS)
        return status;
    *phkResult = state.AddHandle(std::move(child));
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
    if (!phkResult || !lpSubKey)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (dwOptions & REG_OPTION_CREATE_LINK) {
        fprintf(stderr, "jxplat registry: symbolic link keys are not supported (RegCreateKeyExW %s)\n",
                jxtext::Utf16ToUtf8(lpSubKey).c_str());
        return ERROR_INVALID_PARAMETER;
    }
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    std::shared_ptr<CRegKey> parent;
    LSTATUS status = RegKeyOf(hKey, &parent);
    if (status != ERROR_SUCCESS)
        return status;
    auto child = std::make_shared<CRegKey>();
    status = RegMakeChild(*parent, lpSubKey, samDesired, child.get());
    if (status == ERROR_SUCCESS)
        status = RegLocate(child.get(), parent.get());
    if (status != ERROR_SUCCESS)
        return status;

    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!child->Exists()) {
        status = _RegMissing(hKey, *parent);
        if (status != ERROR_FILE_NOT_FOUND)
            return status;
        size_t index = 0;
        status = _RegCreationLayer(*child, &index);
        if (status != ERROR_SUCCESS)
            return status;
        CRegLayer& layer = child->layers[index];
        if (!(parent->access & KEY_CREATE_SUB_KEY) || !RegMayWrite(layer))
            return ERROR_ACCESS_DENIED;
        bool created = false;
        status = _RegCreatePath(&layer, lpClass ? std::u16string_view(lpClass) : std::u16string_view(),
                                (dwOptions & REG_OPTION_VOLATILE) != 0, &created);
        if (status != ERROR_SUCCESS)
            return status;
        if (created)
            disposition = REG_CREATED_NEW_KEY;
    }
    status = RegGrant(child.get(), samDesired);
    if (status != ERROR_SUCCESS)
        return status;
    *phkResult = state.AddHandle(std::move(child));
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (RegIsPredefined(hKey))
        return ERROR_SUCCESS;
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    return state.RemoveHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
