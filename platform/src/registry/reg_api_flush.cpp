// RegFlushKey, and the removal of volatile keys when the machine restarts.
#include "registry/reg_resolve.h"
#include "registry/reg_state.h"

using namespace jxplat::registry;

LSTATUS RegFlushKey(HKEY hKey) {
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    std::shared_ptr<CRegKey> key;
    LSTATUS status = RegKeyOf(hKey, &key);
    for (size_t i = 0; status == ERROR_SUCCESS && i < key->layers.size(); ++i) {
        JxRegHive& hive = state.Hive(key->layers[i].hive);
        status = hive.Open();
        if (status == ERROR_SUCCESS)
            status = hive.Checkpoint();
    }
    return status;
}

namespace jxplat {

LSTATUS DeleteVolatileRegistryKeys() {
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    for (RegHiveId id : {RegHiveId::Machine, RegHiveId::Users}) {
        JxRegHive& hive = state.Hive(id);
        LSTATUS status = hive.Open();
        if (status == ERROR_SUCCESS)
            status = hive.Begin();
        if (status == ERROR_SUCCESS)
            status = hive.DeleteVolatileKeys();
        if (status == ERROR_SUCCESS)
            status = hive.Commit();
        else
            hive.Rollback();
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

} // namespace jxplat
