// Case-insensitive lookups of names in host folders, remembered per folder and kept current by
// change notifications, so that asking for a name that is not there does not read the folder each
// time.
#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>

namespace jxplat {

// The entry of `folder` whose name equals `name` ignoring case, or nothing when none does.
// `folderStatus` is the folder's current status (it tells a replaced folder from the remembered one).
// Answers by reading the folder when no notification can be had.
std::optional<std::string> FindNameIgnoringCase(const std::string& folder, const struct stat& folderStatus,
                                                const std::u16string& name);

} // namespace jxplat
