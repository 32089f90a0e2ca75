// Zip archives: adds one file (or one folder entry) to an archive, creating the archive when it
// does not exist. Written by libzip.
#pragma once

#include <string>

namespace Zippy {

// True when the source was added and the archive was written. A source that cannot be read
// (missing, or held open without sharing) adds nothing and gives false, so a caller that deletes
// the source after success never loses it. An entry of the same name in the archive gives false.
bool CreateZip(const std::u16string& archivePath, const std::u16string& sourcePath);

} // namespace Zippy
