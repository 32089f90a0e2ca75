// From handles and subkey paths to keys: predefined keys, views, layers, rows and access.
// Everything here runs under the registry lock.
#pragma once

#include <memory>

#include "registry/reg_types.h"

namespace jxplat::registry {

bool RegIsPredefined(HKEY handle);

// The key of a handle: an open key of the table, or a predefined key resolved now.
// ERROR_INVALID_HANDLE for anything else.
LSTATUS RegKeyOf(HKEY handle, std::shared_ptr<CRegKey>* key);

// The key at subKey below parent, seen in the view that samDesired names (else the parent's):
// root, path, view and layers set, rows not yet looked up. Malformed paths: a leading
// backslash or an empty name answer ERROR_BAD_PATHNAME, a name over 255 characters
// ERROR_INVALID_PARAMETER; both view bits at once ERROR_INVALID_PARAMETER.
LSTATUS RegMakeChild(const CRegKey& parent, LPCWSTR subKey, REGSAM samDesired, CRegKey* child);

// Whether HKEY_USERS\<name> is a hive loaded with RegLoadKeyW, and its id.
bool RegLoadedHiveOf(std::u16string_view name, RegHiveId* id);

// Sets the layers of a key from its root, path and view.
void RegPlaceLayers(CRegKey* key);

// Looks up the rows of a key's layers (0 where the key is missing). When from is given (the
// parent the key was named relative to), its rows shorten the walk.
LSTATUS RegLocate(CRegKey* key, const CRegKey* from);

// ERROR_KEY_DELETED when none of the key's rows exists any more.
LSTATUS RegCheckAlive(const CRegKey& key);

// Whether the calling user may change keys of this layer: HKLM and other users' hives need an
// elevated administrator; the user's own hive is always writable.
bool RegMayWrite(const CRegLayer& layer);

// Grants samDesired on a located key (generic rights mapped, MAXIMUM_ALLOWED resolved);
// ERROR_ACCESS_DENIED when it asks to change a key the user may not change.
LSTATUS RegGrant(CRegKey* key, REGSAM samDesired);

// Walks names[from..] below start; *id is 0 when a name is missing.
LSTATUS RegWalk(RegHiveId hive, int64_t start, const CRegPath& names, size_t from, int64_t* id,
                bool* isVolatile);

} // namespace jxplat::registry
