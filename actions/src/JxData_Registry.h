// Shared steps of the registry actions.
#pragma once

#include <string>

#include <windows.h>

#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

inline constexpr WCHAR kRegModule[] = u"lib";

// The access right of a row's writes and deletes: KEY_ALL_ACCESS, with KEY_WOW64_64KEY when its
// plattform names "x64".
REGSAM _reg_WriteAccess(const JxRegValue& row);
// Only the view bits of an access right (what the one-call registry helper takes).
inline REGSAM _reg_View(REGSAM access) {
    return access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
}
bool _reg_Is64(const JxRegValue& row);
// The component gate: feature and component of the row, then IsComponentToBeProcessed.
bool _reg_IsComponentProcessed(JxData& data, const JxRegValue& row, const JxSequenceAction& action,
                               JxActivationPermissions permissions, bool skipExtractAsWpk,
                               const WCHAR* context);
// Maintenance is the one install mode that searches and restores; see SearchRestoreRegValues.
bool _reg_IsRestoreMode(JxData& data);

} // namespace JxSetup::Data
