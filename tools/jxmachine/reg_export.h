// A registry key tree as .reg text, for people looking at a machine root.
#pragma once

#include <string>
#include <string_view>

#include "jxplat/winreg.h"

namespace jxtools {

// Prints root\path and every key below it as REGEDIT5 text ("Windows Registry Editor Version
// 5.00", a [key] header per key, "name"=value lines, @ for the default value), in UTF-8 with
// LF line ends. view is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY. Returns "" when the key cannot
// be opened (the reason goes to stderr).
std::string ExportRegistryKey(HKEY root, std::u16string_view path, REGSAM view);

} // namespace jxtools
