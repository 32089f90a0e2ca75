// The one set of checks that every path or id from input (a definition, a property, the command
// line, the registry, a package or a server) passes before it reaches a delete, a move, an
// extraction or a recursive operation. Each check answers by the text alone, except the
// protected-folder test, which asks the file system whether two paths name one object, and the
// link test below a base, which asks it for each folder's attributes.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

#include "jxbase/files.h"

// "{" 8-4-4-4-12 hexadecimal digits "}": the only form a product id or code may have where it
// becomes a key or folder name.
bool IsGuidFormId(std::u16string_view id);

// One name inside a folder: not empty, not "." or "..", no separator, colon, control character or
// one of <>"|, and no trailing dot or blank (Windows drops them, so the name would mean another
// entry, or "x\. " the folder itself). Wildcards ("*", "?") only with allowWildcards (a pattern).
bool IsSinglePathSegment(std::u16string_view name, bool allowWildcards = false);

// A name a file may be written under in a folder: a single path segment (no wildcards) that is not
// one of the reserved device names ("CON", "PRN", "AUX", "NUL", "COM1".."COM9", "LPT1".."LPT9"),
// with or without an extension, in any letter case: Windows opens the device for those.
bool IsPlainFileName(std::u16string_view name);

// A relative path that stays inside the folder it is joined to: one or more single segments; with
// lastIsPattern, the last one may hold wildcards ("bin\\*.dll").
bool IsPathInsideFolder(std::u16string_view relativePath, bool lastIsPattern = false);

// A folder that may be worked in: absolute ("X:\..." or "\\server\share\..."), fully resolved
// (every part a single segment, so no ".", "..", trailing dots or blanks), and not a drive or share
// root. "\\?\" and "\\.\" paths are refused. Separators may be
// "\" or "/", repeated or trailing.
bool IsResolvedFolder(std::u16string_view folder);

// A folder expanded from property references: IsResolvedFolder, and no "[" of a reference that was
// left unexpanded.
bool IsExpandedFolder(std::u16string_view folder);

// A folder that an installation may put files into: resolved (IsResolvedFolder) and on one of the
// machine's own fixed drives ("X:\..." whose root GetDriveTypeW calls DRIVE_FIXED), never on a
// share, a removable or missing drive, or a drive that lies outside the machine.
bool IsLocalFolder(std::u16string_view folder);

// The folder is resolved and lies strictly below base (compared part by part, ignoring case). The
// base must be absolute and resolved itself; it may be a drive root ("C:\").
bool IsFolderBelow(std::u16string_view folder, std::u16string_view base);

// IsFolderBelow, and no folder from the one right below base down to the folder itself is a link
// (a symbolic link or a junction): a deletion there stays in the tree below base. Asks the file
// system; a folder that does not exist is no link.
bool IsFolderBelowWithoutLinks(std::u16string_view folder, std::u16string_view base);

// Whether the path names the same existing file-system object as one of the folders: another
// spelling, a short name or a link to a protected folder is recognised. A path that does not exist
// is protected by nothing. Folders is any range of std::u16string.
template <class Folders> bool IsProtectedFolder(const std::u16string& path, const Folders& folders) {
    for (const std::u16string& folder : folders)
        if (!folder.empty() && IsSameFileSystemObject(path, folder))
            return true;
    return false;
}
