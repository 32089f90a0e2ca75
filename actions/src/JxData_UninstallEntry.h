// Shared steps of the uninstall entry: the entry's key and the checks of ids and folders that the
// removal of an older product puts into paths.
#pragma once

#include <string>

#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

inline constexpr WCHAR kUninstallModule[] = u"lib";
inline constexpr WCHAR kUninstallKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// "...\Uninstall\" + id.
std::u16string _cpl_EntryKey(const std::u16string& productId);
// A product id or code becomes a key and folder name only in GUID form (IsGuidFormId). Otherwise
// logs a WARNING with the context and returns false.
bool _cpl_IsGuidId(JxLog* log, const WCHAR* context, const std::u16string& id);
// Whether the setup owns the folder an installer names as its source: it lies below
// "<commonAppData>\Tolvane\" or "<windows>\Installer\", or a folder of the path is named after
// the product code. A folder that is not absolute and resolved, or a root, is never owned.
bool _cpl_IsOwnedSourceFolder(const std::u16string& folder, const std::u16string& commonAppData,
                              const std::u16string& windows, const std::u16string& productCode);

} // namespace JxSetup::Data
