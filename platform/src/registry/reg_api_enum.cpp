// RegEnumKeyExW, RegEnumValueW, RegQueryInfoKeyW. Subkeys and values come ordered by name
// ignoring case; a key of the Classes view shows the user's and the machine's entries together,
// the user's taking precedence where both have one name.
#include <algorithm>
#include <map>

#include "jxplat/text.h"
#include "registry/reg_copy.h"
#include "registry/reg_resolve.h"
#include "registry/reg_state.h"

using namespace jxplat::registry;

namespace {

int _RegLayersPresent(const CRegKey& key) {
    return static_cast<int>(std::count_if(key.layers.begin(), key.layers.end(),
                                          [](const CRegLayer& layer) { return layer.id != 0; }));
}

// Opens the hives of a key's layers: a hive that cannot be read fails every call on it.
LSTATUS _RegOpenHives(const CRegKey& key) {
    for (const CRegLayer& layer : key.layers) {
        if (layer.id == 0)
            continue;
        LSTATUS status = JxRegState::Get().Hive(layer.hive).Open();
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

// HKEY_USERS itself: its keys include the hives loaded below it.
bool _RegIsUsersRoot(const CRegKey& key) {
    return key.root == RegRoot::Users && key.path.empty();
}

LSTATUS _RegLoadedRows(std::map<std::u16string, CRegKeyRow>* merged) {
    JxRegState& state = JxRegState::Get();
    std::vector<CRegLoadedHive> loaded;
    LSTATUS status = state.Hive(RegHiveId::Users).AllLoaded(&loaded);
    if (status != ERROR_SUCCESS)
        return status;
    for (const CRegLoadedHive& hive : loaded) {
        CRegKeyRow row;
        JxRegHive& database = state.Hive(state.LoadedHive(hive.file));
        if (database.Open() == ERROR_SUCCESS)
            database.KeyRow(kRegRootKeyId, &row);
        row.name = hive.name;
        merged->emplace(jxtext::Fold(hive.name), std::move(row));
    }
    return ERROR_SUCCESS;
}

LSTATUS _RegMergedSubkeys(const CRegKey& key, std::vector<CRegKeyRow>* rows) {
    std::map<std::u16string, CRegKeyRow> merged;
    if (_RegIsUsersRoot(key)) {
        LSTATUS status = _RegLoadedRows(&merged);
        if (status != ERROR_SUCCESS)
            return status;
    }
    for (const CRegLayer& layer : key.layers) {
        if (layer.id == 0)
            continue;
        std::vector<CRegKeyRow> layerRows;
        LSTATUS status = JxRegState::Get().Hive(layer.hive).Children(layer.id, &layerRows);
        if (status != ERROR_SUCCESS)
            return status;
        for (CRegKeyRow& row : layerRows)
            merged.emplace(jxtext::Fold(row.name), std::move(row));
    }
    for (auto& [fold, row] : merged)
        rows->push_back(std::move(row));
    return ERROR_SUCCESS;
}

LSTATUS _RegMergedValues(const CRegKey& key, std::vector<CRegValue>* values) {
    std::map<std::u16string, CRegValue> merged;
    for (const CRegLayer& layer : key.layers) {
        if (layer.id == 0)
            continue;
        std::vector<CRegValue> layerValues;
        LSTATUS status = JxRegState::Get().Hive(layer.hive).Values(layer.id, &layerValues);
        if (status != ERROR_SUCCESS)
            return status;
        for (CRegValue& value : layerValues)
            merged.emplace(jxtext::Fold(value.name), std::move(value));
    }
    for (auto& [fold, value] : merged)
        values->push_back(std::move(value));
    return ERROR_SUCCESS;
}

LSTATUS _RegSubkeyAt(const CRegKey& key, DWORD index, CRegKeyRow* row) {
    if (_RegLayersPresent(key) == 1 && !_RegIsUsersRoot(key)) {
        const CRegLayer& layer = *key.WriteLayer();
        return JxRegState::Get().Hive(layer.hive).ChildAt(layer.id, index, row);
    }
    std::vector<CRegKeyRow> rows;
    LSTATUS status = _RegMergedSubkeys(key, &rows);
    if (status != ERROR_SUCCESS)
        return status;
    if (index >= rows.size())
        return ERROR_NO_MORE_ITEMS;
    *row = std::move(rows[index]);
    return ERROR_SUCCESS;
}

LSTATUS _RegValueAt(const CRegKey& key, DWORD index, CRegValue* value) {
    if (_RegLayersPresent(key) == 1) {
        const CRegLayer& layer = *key.WriteLayer();
        return JxRegState::Get().Hive(layer.hive).ValueAt(layer.id, index, value);
    }
    std::vector<CRegValue> values;
    LSTATUS status = _RegMergedValues(key, &values);
    if (status != ERROR_SUCCESS)
        return status;
    if (index >= values.size())
        return ERROR_NO_MORE_ITEMS;
    *value = std::move(values[index]);
    return ERROR_SUCCESS;
}

LSTATUS _RegStats(const CRegKey& key, CRegKeyStats* stats) {
    if (_RegLayersPresent(key) == 1 && !_RegIsUsersRoot(key)) {
        const CRegLayer& layer = *key.WriteLayer();
        return JxRegState::Get().Hive(layer.hive).Stats(layer.id, stats);
    }
    std::vector<CRegKeyRow> rows;
    std::vector<CRegValue> values;
    LSTATUS status = _RegMergedSubkeys(key, &rows);
    if (status == ERROR_SUCCESS)
        status = _RegMergedValues(key, &values);
    if (status != ERROR_SUCCESS)
        return status;
    stats->subKeys = static_cast<DWORD>(rows.size());
    for (const CRegKeyRow& row : rows) {
        stats->maxSubKeyLen = std::max(stats->maxSubKeyLen, static_cast<DWORD>(row.name.size()));
        stats->maxClassLen = std::max(stats->maxClassLen, static_cast<DWORD>(row.keyClass.size()));
    }
    stats->values = static_cast<DWORD>(values.size());
    for (const CRegValue& value : values) {
        stats->maxValueNameLen = std::max(stats->maxValueNameLen, static_cast<DWORD>(value.name.size()));
        stats->maxValueLen = std::max(stats->maxValueLen, static_cast<DWORD>(value.data.size()));
    }
    return ERROR_SUCCESS;
}

// Past the end: ERROR_NO_MORE_ITEMS, or ERROR_KEY_DELETED when the key itself is gone.
LSTATUS _RegEndOfList(const CRegKey& key) {
    LSTATUS status = RegCheckAlive(key);
    return status == ERROR_SUCCESS ? ERROR_NO_MORE_ITEMS : status;
}

void _RegPutTime(uint64_t time, PFILETIME out) {
    if (!out)
        return;
    out->dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFFu);
    out->dwHighDateTime = static_cast<DWORD>(time >> 32);
}

} // namespace

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    auto guard = JxRegState::Get().Enter();
    std::shared_ptr<CRegKey> key;
    LSTATUS status = RegKeyOf(hKey, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(key->access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    status = _RegOpenHives(*key);
    CRegKeyRow row;
    if (status == ERROR_SUCCESS)
        status = _RegSubkeyAt(*key, dwIndex, &row);
    if (status == ERROR_NO_MORE_ITEMS)
        return _RegEndOfList(*key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegCopyName(row.name, lpName, lpcchName);
    if (status == ERROR_SUCCESS && lpClass)
        status = RegCopyName(row.keyClass, lpClass, lpcchClass);
    else if (status == ERROR_SUCCESS && lpcchClass)
        *lpcchClass = static_cast<DWORD>(row.keyClass.size());
    if (status == ERROR_SUCCESS)
        _RegPutTime(row.lastWrite, lpftLastWriteTime);
    return status;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    auto guard = JxRegState::Get().Enter();
    std::shared_ptr<CRegKey> key;
    LSTATUS status = RegKeyOf(hKey, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    status = _RegOpenHives(*key);
    CRegValue value;
    if (status == ERROR_SUCCESS)
        status = _RegValueAt(*key, dwIndex, &value);
    if (status == ERROR_NO_MORE_ITEMS)
        return _RegEndOfList(*key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegCopyName(value.name, lpValueName, lpcchValueName);
    if (status != ERROR_SUCCESS)
        return status;
    return RegCopyData(value, lpType, lpData, lpcbData);
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    if (lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    auto guard = JxRegState::Get().Enter();
    std::shared_ptr<CRegKey> key;
    LSTATUS status = RegKeyOf(hKey, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    status = _RegOpenHives(*key);
    if (status != ERROR_SUCCESS)
        return status;
    // The key's own class and time come from the layer that writes would reach.
    CRegLayer* layer = key->WriteLayer();
    CRegKeyRow row;
    status = layer ? JxRegState::Get().Hive(layer->hive).KeyRow(layer->id, &row) : ERROR_FILE_NOT_FOUND;
    if (status == ERROR_FILE_NOT_FOUND)
        return RegCheckAlive(*key) == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    CRegKeyStats stats;
    if (status == ERROR_SUCCESS)
        status = _RegStats(*key, &stats);
    if (status != ERROR_SUCCESS)
        return status;
    if (lpClass) {
        status = RegCopyName(row.keyClass, lpClass, lpcchClass);
        if (status == ERROR_MORE_DATA) {
            *lpcchClass = static_cast<DWORD>(row.keyClass.size());
            return status;
        }
    } else if (lpcchClass) {
        *lpcchClass = static_cast<DWORD>(row.keyClass.size());
    }
    if (lpcSubKeys)
        *lpcSubKeys = stats.subKeys;
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = stats.maxSubKeyLen;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = stats.maxClassLen;
    if (lpcValues)
        *lpcValues = stats.values;
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = stats.maxValueNameLen;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = stats.maxValueLen;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    _RegPutTime(row.lastWrite, lpftLastWriteTime);
    return ERROR_SUCCESS;
}
