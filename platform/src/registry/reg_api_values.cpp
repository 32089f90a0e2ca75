// RegQueryValueExW, RegSetValueExW, RegDeleteValueW.
#include "core/faults.h"
#include "registry/reg_clock.h"
#include "registry/reg_copy.h"
#include "registry/reg_resolve.h"
#include "registry/reg_state.h"

using namespace jxplat::registry;

namespace {

// Finds a writable layer of a key for a value change; the change runs in a transaction of that
// layer's hive, which the caller commits.
LSTATUS _RegBeginValueChange(HKEY hKey, std::shared_ptr<CRegKey>* key, CRegLayer** layer) {
    LSTATUS status = RegKeyOf(hKey, key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!((*key)->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    *layer = (*key)->WriteLayer();
    if (!*layer)
        return ERROR_KEY_DELETED;
    if (!RegMayWrite(**layer))
        return ERROR_ACCESS_DENIED;
    JxRegHive& hive = JxRegState::Get().Hive((*layer)->hive);
    status = hive.Open();
    if (status == ERROR_SUCCESS)
        status = hive.Begin();
    if (status != ERROR_SUCCESS)
        return status;
    bool exists = false;
    status = hive.KeyExists((*layer)->id, &exists);
    if (status == ERROR_SUCCESS && !exists)
        status = ERROR_KEY_DELETED;
    if (status != ERROR_SUCCESS)
        hive.Rollback();
    return status;
}

// Ends a value change: the key's last-write time moves on and the transaction commits.
LSTATUS _RegEndValueChange(const CRegLayer& layer, LSTATUS status) {
    JxRegHive& hive = JxRegState::Get().Hive(layer.hive);
    if (status == ERROR_SUCCESS)
        status = hive.Touch(layer.id, RegNow());
    if (status != ERROR_SUCCESS) {
        hive.Rollback();
        return status;
    }
    return hive.Commit();
}

} // namespace

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    std::shared_ptr<CRegKey> key;
    LSTATUS status = RegKeyOf(hKey, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    std::u16string_view name(lpValueName ? lpValueName : u"");
    // The Classes view reads the user's key first.
    for (const CRegLayer& layer : key->layers) {
        if (layer.id == 0)
            continue;
        JxRegHive& hive = state.Hive(layer.hive);
        status = hive.Open();
        CRegValue value;
        if (status == ERROR_SUCCESS)
            status = hive.GetValue(layer.id, name, &value);
        if (status == ERROR_SUCCESS)
            return RegCopyData(value, lpType, lpData, lpcbData);
        if (status != ERROR_FILE_NOT_FOUND)
            return status;
    }
    status = RegCheckAlive(*key);
    return status == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : status;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
    if (!lpData && cbData)
        return ERROR_NOACCESS;
    std::u16string_view name(lpValueName ? lpValueName : u"");
    if (name.size() > kRegMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    auto guard = JxRegState::Get().Enter();
    std::shared_ptr<CRegKey> key;
    CRegLayer* layer = nullptr;
    LSTATUS status = _RegBeginValueChange(hKey, &key, &layer);
    if (status != ERROR_SUCCESS)
        return status;
    // A full disk of the machine's faults keeps the hive from growing.
    if (!jxplat::ClaimRegistrySpace(name.size() * sizeof(char16_t) + cbData))
        status = ERROR_DISK_FULL;
    else
        status = JxRegState::Get().Hive(layer->hive).SetValue(layer->id, name, dwType, lpData, cbData);
    return _RegEndValueChange(*layer, status);
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    std::u16string_view name(lpValueName ? lpValueName : u"");
    auto guard = JxRegState::Get().Enter();
    std::shared_ptr<CRegKey> key;
    CRegLayer* layer = nullptr;
    LSTATUS status = _RegBeginValueChange(hKey, &key, &layer);
    if (status != ERROR_SUCCESS)
        return status;
    status = JxRegState::Get().Hive(layer->hive).DeleteValue(layer->id, name);
    return _RegEndValueChange(*layer, status);
}
