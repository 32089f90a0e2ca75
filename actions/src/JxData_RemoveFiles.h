// Shared steps of the removal of installed files (JxData_RemoveFiles*.cpp, JxData_SelfDelete.cpp).
#pragma once

#include <string>

#include <windows.h>

#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

inline constexpr const WCHAR* kRemoveModule = u"lib";

// Deletes what matches the name in the folder, never in its subfolders; a name may carry
// subfolders of its own. Refused with a WARNING (false, nothing deleted) when the folder is not
// safe or the name is empty or unresolved. rebootNeeded tells whether a file was left to the
// next reboot.
bool _remove_DeleteFiles(const std::u16string& folder, const std::u16string& name, const WCHAR* context,
                         bool& rebootNeeded);

// The feature and component of a file row; false (with "Skip action of component: %s") for a
// component that is extracted as a package, which has no files of its own on the disk.
bool _remove_LookUpComponent(JxData& data, const JxFile& row, JxFeature& feature, JxComponent& component,
                             const WCHAR* context);

} // namespace JxSetup::Data
