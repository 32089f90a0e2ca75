// Shared vocabulary of the registry stand-in: hives, views, key paths, the state of an open key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jxplat/winreg.h"

namespace jxplat::registry {

// The databases below the machine root that hold the hives. Hives loaded with RegLoadKeyW get
// ids from kRegFirstLoadedHive on, one per hive file in this process.
enum class RegHiveId : int { Machine = 0, Users = 1 };
constexpr int kRegHiveCount = 2;
constexpr int kRegFirstLoadedHive = 2;

// The root every hive database has; it is created with the database.
constexpr int64_t kRegRootKeyId = 1;

// The view a key is seen through. A 32-bit Windows machine has one view (Flat); on 64-bit
// Windows the engine sees the 32-bit view (Wow32) unless it asks for the native one.
enum class RegView { Flat, Native64, Wow32 };

// The logical root a key path is below: HKLM, HKEY_USERS, or the merged Classes view.
enum class RegRoot { Machine, Users, Classes };

// Names of a key path, as the caller spelled them.
using CRegPath = std::vector<std::u16string>;

// Where one layer of a key is stored: the hive, the key path after view mapping, and the row
// of the key (0 when the key does not exist in this layer).
struct CRegLayer {
    RegHiveId hive = RegHiveId::Machine;
    CRegPath physical;
    int64_t id = 0;
};

// An open key. Keys below HKLM or HKEY_USERS have one layer; keys of the Classes view have the
// user's layer first and the machine's second.
struct CRegKey {
    RegRoot root = RegRoot::Machine;
    CRegPath path; // below the root, as the caller spelled it
    RegView view = RegView::Flat;
    REGSAM access = 0;
    std::vector<CRegLayer> layers;

    bool Exists() const {
        for (const CRegLayer& layer : layers)
            if (layer.id != 0)
                return true;
        return false;
    }
    // Writes go to the first layer that holds the key: the user's when it exists there.
    CRegLayer* WriteLayer() {
        for (CRegLayer& layer : layers)
            if (layer.id != 0)
                return &layer;
        return nullptr;
    }
    const CRegLayer* WriteLayer() const { return const_cast<CRegKey*>(this)->WriteLayer(); }
};

// A key row as enumeration and key information report it.
struct CRegKeyRow {
    int64_t id = 0;
    std::u16string name;
    std::u16string keyClass;
    bool isVolatile = false;
    uint64_t lastWrite = 0; // FILETIME
};

// A value row.
struct CRegValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// A hive loaded below HKEY_USERS: the name of its key there and the host path of its file.
struct CRegLoadedHive {
    std::u16string name;
    std::string file;
};

// Counts and longest lengths of a key's subkeys and values, for RegQueryInfoKeyW.
struct CRegKeyStats {
    DWORD subKeys = 0;
    DWORD maxSubKeyLen = 0; // characters
    DWORD maxClassLen = 0;  // characters
    DWORD values = 0;
    DWORD maxValueNameLen = 0; // characters
    DWORD maxValueLen = 0;     // bytes
};

// Limits Windows sets on names.
constexpr size_t kRegMaxKeyNameLength = 255;
constexpr size_t kRegMaxValueNameLength = 16383;

// Access rights that change a key.
constexpr REGSAM kRegWriteAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

} // namespace jxplat::registry
