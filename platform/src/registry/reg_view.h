// The 32-bit registry view of 64-bit Windows: which stored key a key path names in a view.
#pragma once

#include "registry/reg_types.h"

namespace jxplat::registry {

// Maps a key path below a hive root to the path of the key that holds it in the view.
// In the 32-bit view HKLM\SOFTWARE\X is HKLM\SOFTWARE\WOW6432Node\X, except for the keys that
// Windows shares between the views; the COM keys of the Classes keys (HKLM's and the user's)
// live below Classes\WOW6432Node. A path that already names WOW6432Node stays as it is.
CRegPath RegMapView(RegHiveId hive, const CRegPath& path, RegView view);

} // namespace jxplat::registry
