// RegDeleteKeyW, RegDeleteKeyExW.
#include "registry/reg_clock.h"
#include "registry/reg_resolve.h"
#include "registry/reg_state.h"

using namespace jxplat::registry;

namespace {

// Hive roots, the user's hive key and the Classes keys are not for deleting.
bool _RegIsRootLayer(const CRegKey& key, const CRegLayer& layer) {
    if (layer.physical.empty())
        return true;
    if (layer.hive == RegHiveId::Users && layer.physical.size() == 1)
        return true;
    return key.root == RegRoot::Classes && key.path.empty();
}

} // namespace

LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved) {
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    std::shared_ptr<CRegKey> parent;
    LSTATUS status = RegKeyOf(hKey, &parent);
    if (status != ERROR_SUCCESS)
        return status;
    // Only the view bits of samDesired count: without them, the view of the handle.
    CRegKey target;
    status = RegMakeChild(*parent, lpSubKey, samDesired & KEY_WOW64_RES, &target);
    if (status == ERROR_SUCCESS)
        status = RegLocate(&target, parent.get());
    if (status != ERROR_SUCCESS)
        return status;
    CRegLayer* layer = target.WriteLayer();
    if (!layer) {
        status = RegIsPredefined(hKey) ? ERROR_SUCCESS : RegCheckAlive(*parent);
        return status == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : status;
    }
    // An empty subkey deletes the handle's own key, which needs DELETE access on it.
    if (*lpSubKey == u'\0' && !(parent->access & DELETE))
        return ERROR_ACCESS_DENIED;
    if (_RegIsRootLayer(target, *layer) || !RegMayWrite(*layer))
        return ERROR_ACCESS_DENIED;

    JxRegHive& hive = state.Hive(layer->hive);
    status = hive.Begin();
    if (status != ERROR_SUCCESS)
        return status;
    bool exists = false;
    bool hasChildren = false;
    status = hive.KeyExists(layer->id, &exists);
    if (status == ERROR_SUCCESS && !exists)
        status = ERROR_FILE_NOT_FOUND;
    if (status == ERROR_SUCCESS)
        status = hive.HasChildren(layer->id, &hasChildren);
    // Windows deletes only keys without subkeys.
    if (status == ERROR_SUCCESS && hasChildren)
        status = ERROR_ACCESS_DENIED;
    if (status == ERROR_SUCCESS)
        status = hive.DeleteKey(layer->id, RegNow());
    if (status != ERROR_SUCCESS) {
        hive.Rollback();
        return status;
    }
    return hive.Commit();
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return RegDeleteKeyExW(hKey, lpSubKey, 0, 0);
}
