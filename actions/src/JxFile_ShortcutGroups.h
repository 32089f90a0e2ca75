// Program groups of the product's shortcuts: the folders below a shell folder that hold its links
// (JxFile_Shortcuts.cpp, JxData_RemoveFiles.cpp).
#pragma once

#include <string>

namespace JxSetup::Data {

// The name pattern of the product's program groups; folders of other makers never match it.
inline constexpr const char16_t* kProductGroupPattern = u"Tolvane*";

// Whether the folder holds no entry at all (a folder that cannot be read counts as empty).
bool _lnk_FolderIsEmpty(const std::u16string& folder);

// After a link was removed: removes the folders of the link's relative name that it left empty,
// deepest first, up to the group right below the shell folder. Only a group whose name matches
// kProductGroupPattern is touched; a folder that still holds something, or that is a link, stays
// and ends the walk. linkName is the link's path relative to the shell folder ("Group\\Sub\\x.lnk").
void _lnk_RemoveEmptiedGroups(const std::u16string& shellFolder, const std::u16string& linkName,
                              const char16_t* context);

} // namespace JxSetup::Data
