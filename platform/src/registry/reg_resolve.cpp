// From handles and subkey paths to keys.
#include "registry/reg_resolve.h"

#include "jxplat/text.h"
#include "registry/reg_clock.h"
#include "registry/reg_state.h"
#include "registry/reg_view.h"

namespace jxplat::registry {

namespace {

// The keys every user hive has; HKEY_CLASSES_ROOT reads the first.
constexpr const char16_t* kRegUserSkeleton[] = {
    u"Software\\Classes",
    u"Software\\Microsoft\\Windows\\CurrentVersion",
};

CRegPath _RegJoin(std::initializer_list<std::u16string> head, const CRegPath& tail) {
    CRegPath path(head);
    path.insert(path.end(), tail.begin(), tail.end());
    return path;
}

bool _RegSamePrefix(const CRegPath& prefix, const CRegPath& path) {
    if (prefix.size() > path.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (!jxtext::EqualsNoCase(prefix[i], path[i]))
            return false;
    return true;
}

LSTATUS _RegSplitPath(LPCWSTR subKey, CRegPath* names) {
    std::u16string_view path(subKey ? subKey : u"");
    if (!path.empty() && path.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    if (!path.empty() && path.back() == u'\\')
        path.remove_suffix(1);
    if (path.empty())
        return ERROR_SUCCESS;
    for (std::u16string& name : jxtext::Split(path, u'\\')) {
        if (name.empty())
            return ERROR_BAD_PATHNAME;
        if (name.size() > kRegMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        names->push_back(std::move(name));
    }
    return ERROR_SUCCESS;
}

// The user's hive key and its standard subkeys, made when the user's hive is first used (as
// Windows loads a user's hive at logon).
LSTATUS _RegEnsureUserKeys() {
    JxRegState& state = JxRegState::Get();
    if (state.UserKeysReady())
        return ERROR_SUCCESS;
    JxRegHive& hive = state.Hive(RegHiveId::Users);
    LSTATUS status = hive.Open();
    if (status != ERROR_SUCCESS)
        return status;
    const std::u16string& sid = state.Machine().userSid;
    std::vector<CRegPath> missing;
    for (const char16_t* key : kRegUserSkeleton) {
        CRegPath path = _RegJoin({sid}, jxtext::Split(key, u'\\'));
        int64_t id = 0;
        bool isVolatile = false;
        status = RegWalk(RegHiveId::Users, kRegRootKeyId, path, 0, &id, &isVolatile);
        if (status != ERROR_SUCCESS)
            return status;
        if (id == 0)
            missing.push_back(std::move(path));
    }
    if (!missing.empty()) {
        status = hive.Begin();
        if (status != ERROR_SUCCESS)
            return status;
        uint64_t now = RegNow();
        for (const CRegPath& path : missing) {
            int64_t id = kRegRootKeyId;
            for (const std::u16string& name : path) {
                int64_t child = 0;
                bool isVolatile = false;
                status = hive.FindChild(id, name, &child, &isVolatile);
                if (status == ERROR_FILE_NOT_FOUND)
                    status = hive.CreateChild(id, name, u"", false, now, &child);
                if (status != ERROR_SUCCESS) {
                    hive.Rollback();
                    return status;
                }
                id = child;
            }
        }
        status = hive.Commit();
        if (status != ERROR_SUCCESS)
            return status;
    }
    state.SetUserKeysReady();
    return ERROR_SUCCESS;
}

LSTATUS _RegPredefined(HKEY handle, CRegKey* key) {
    JxRegState& state = JxRegState::Get();
    const CRegMachine& machine = state.Machine();
    key->view = machine.is64Bit ? RegView::Wow32 : RegView::Flat;
    // Predefined keys are open for everything; writes are still checked against the hive.
    key->access = KEY_ALL_ACCESS;
    if (handle == HKEY_LOCAL_MACHINE) {
        key->root = RegRoot::Machine;
    } else if (handle == HKEY_USERS) {
        key->root = RegRoot::Users;
    } else if (handle == HKEY_CURRENT_USER) {
        key->root = RegRoot::Users;
        key->path = {machine.userSid};
    } else if (handle == HKEY_CLASSES_ROOT) {
        key->root = RegRoot::Classes;
    } else if (handle == HKEY_CURRENT_CONFIG) {
        key->root = RegRoot::Machine;
        key->path = {u"SYSTEM", u"CurrentControlSet", u"Hardware Profiles", u"Current"};
    } else {
        return ERROR_INVALID_HANDLE;
    }
    // The logged-on user's hive is loaded whenever HKEY_USERS is used, as on Windows.
    if (handle == HKEY_CURRENT_USER || handle == HKEY_CLASSES_ROOT || handle == HKEY_USERS) {
        LSTATUS status = _RegEnsureUserKeys();
        if (status != ERROR_SUCCESS)
            return status;
    }
    RegPlaceLayers(key);
    LSTATUS status = RegLocate(key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    return key->Exists() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

} // namespace

bool RegIsPredefined(HKEY handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    return value >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
           value <= reinterpret_cast<uintptr_t>(HKEY_DYN_DATA);
}

LSTATUS RegKeyOf(HKEY handle, std::shared_ptr<CRegKey>* key) {
    if (RegIsPredefined(handle)) {
        auto made = std::make_shared<CRegKey>();
        LSTATUS status = _RegPredefined(handle, made.get());
        if (status == ERROR_SUCCESS)
            *key = std::move(made);
        return status;
    }
    *key = JxRegState::Get().FindHandle(handle);
    return *key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegMakeChild(const CRegKey& parent, LPCWSTR subKey, REGSAM samDesired, CRegKey* child) {
    CRegPath names;
    LSTATUS status = _RegSplitPath(subKey, &names);
    if (status != ERROR_SUCCESS)
        return status;
    child->root = parent.root;
    child->path = parent.path;
    child->path.insert(child->path.end(), names.begin(), names.end());
    child->view = parent.view;
    if (JxRegState::Get().Machine().is64Bit) {
        switch (samDesired & KEY_WOW64_RES) {
        case KEY_WOW64_64KEY:
            child->view = RegView::Native64;
            break;
        case KEY_WOW64_32KEY:
            child->view = RegView::Wow32;
            break;
        case KEY_WOW64_RES:
            return ERROR_INVALID_PARAMETER;
        default:
            break; // the parent's view passes on
        }
    }
    RegPlaceLayers(child);
    return ERROR_SUCCESS;
}

void RegPlaceLayers(CRegKey* key) {
    key->layers.clear();
    switch (key->root) {
    case RegRoot::Machine:
        key->layers.push_back({RegHiveId::Machine, RegMapView(RegHiveId::Machine, key->path, key->view), 0});
        break;
    case RegRoot::Users: {
        RegHiveId loaded = RegHiveId::Users;
        if (!key->path.empty() && RegLoadedHiveOf(key->path[0], &loaded)) {
            // A loaded hive: its root is the key HKEY_USERS\<name>.
            CRegPath mapped = RegMapView(RegHiveId::Users, key->path, key->view);
            mapped.erase(mapped.begin());
            key->layers.push_back({loaded, std::move(mapped), 0});
        } else {
            key->layers.push_back({RegHiveId::Users, RegMapView(RegHiveId::Users, key->path, key->view), 0});
        }
        break;
    }
    case RegRoot::Classes: {
        // The user's Classes key is read first, then the machine's.
        const std::u16string& sid = JxRegState::Get().Machine().userSid;
        CRegPath user = _RegJoin({sid, u"Software", u"Classes"}, key->path);
        CRegPath machine = _RegJoin({u"SOFTWARE", u"Classes"}, key->path);
        key->layers.push_back({RegHiveId::Users, RegMapView(RegHiveId::Users, user, key->view), 0});
        key->layers.push_back({RegHiveId::Machine, RegMapView(RegHiveId::Machine, machine, key->view), 0});
        break;
    }
    }
}

bool RegLoadedHiveOf(std::u16string_view name, RegHiveId* id) {
    JxRegState& state = JxRegState::Get();
    // The user's own hive is part of the HKEY_USERS database.
    if (jxtext::EqualsNoCase(name, state.Machine().userSid))
        return false;
    JxRegHive& users = state.Hive(RegHiveId::Users);
    if (users.Open() != ERROR_SUCCESS)
        return false;
    CRegLoadedHive loaded;
    bool found = false;
    if (users.FindLoaded(name, &loaded, &found) != ERROR_SUCCESS || !found)
        return false;
    *id = state.LoadedHive(loaded.file);
    return true;
}

LSTATUS RegWalk(RegHiveId hive, int64_t start, const CRegPath& names, size_t from, int64_t* id,
                bool* isVolatile) {
    JxRegHive& database = JxRegState::Get().Hive(hive);
    int64_t current = start;
    *isVolatile = false;
    for (size_t i = from; i < names.size(); ++i) {
        int64_t child = 0;
        LSTATUS status = database.FindChild(current, names[i], &child, isVolatile);
        if (status == ERROR_FILE_NOT_FOUND) {
            *id = 0;
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS)
            return status;
        current = child;
    }
    *id = current;
    return ERROR_SUCCESS;
}

LSTATUS RegLocate(CRegKey* key, const CRegKey* from) {
    JxRegState& state = JxRegState::Get();
    for (size_t i = 0; i < key->layers.size(); ++i) {
        CRegLayer& layer = key->layers[i];
        LSTATUS status = state.Hive(layer.hive).Open();
        if (status != ERROR_SUCCESS)
            return status;
        int64_t start = kRegRootKeyId;
        size_t depth = 0;
        if (from && from->layers.size() == key->layers.size()) {
            const CRegLayer& known = from->layers[i];
            if (known.id != 0 && known.hive == layer.hive && _RegSamePrefix(known.physical, layer.physical)) {
                start = known.id;
                depth = known.physical.size();
            }
        }
        bool isVolatile = false;
        status = RegWalk(layer.hive, start, layer.physical, depth, &layer.id, &isVolatile);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegCheckAlive(const CRegKey& key) {
    JxRegState& state = JxRegState::Get();
    for (const CRegLayer& layer : key.layers) {
        if (layer.id == 0)
            continue;
        JxRegHive& hive = state.Hive(layer.hive);
        LSTATUS status = hive.Open();
        if (status != ERROR_SUCCESS)
            return status;
        bool exists = false;
        status = hive.KeyExists(layer.id, &exists);
        if (status != ERROR_SUCCESS)
            return status;
        if (exists)
            return ERROR_SUCCESS;
    }
    return ERROR_KEY_DELETED;
}

bool RegMayWrite(const CRegLayer& layer) {
    const CRegMachine& machine = JxRegState::Get().Machine();
    if (machine.elevatedAdministrator)
        return true;
    return layer.hive == RegHiveId::Users && !layer.physical.empty() &&
           jxtext::EqualsNoCase(layer.physical[0], machine.userSid);
}

LSTATUS RegGrant(CRegKey* key, REGSAM samDesired) {
    REGSAM access = samDesired & ~static_cast<REGSAM>(KEY_WOW64_RES);
    const std::pair<REGSAM, REGSAM> generic[] = {{GENERIC_READ, KEY_READ},
                                                 {GENERIC_WRITE, KEY_WRITE},
                                                 {GENERIC_EXECUTE, KEY_EXECUTE},
                                                 {GENERIC_ALL, KEY_ALL_ACCESS}};
    for (const auto& [right, specific] : generic) {
        if (access & right)
            access = (access & ~right) | specific;
    }
    CRegLayer* layer = key->WriteLayer();
    bool writable = layer && RegMayWrite(*layer);
    if (access & MAXIMUM_ALLOWED)
        access = (access & ~static_cast<REGSAM>(MAXIMUM_ALLOWED)) | (writable ? KEY_ALL_ACCESS : KEY_READ);
    if ((access & kRegWriteAccess) && !writable)
        return ERROR_ACCESS_DENIED;
    key->access = access;
    return ERROR_SUCCESS;
}

} // namespace jxplat::registry
