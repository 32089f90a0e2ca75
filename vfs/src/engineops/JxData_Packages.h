// Shared steps of the data object's package operations: folder listings on the disk, path joins,
// attaching a virtual file system and the log calls of these operations.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

// A maintenance file is written whole under "<name>.part.jxtmp" and then moved into place; a
// package that could not take its place because it was in use waits as "<name>.wpk.jxtmp".
inline constexpr const WCHAR* kPartialSuffix = u".part.jxtmp";
inline const std::u16string kPartialPackageSuffix = u".wpk.part.jxtmp";
inline const std::u16string kWaitingPackageSuffix = u".wpk.jxtmp";

// One file of a folder listing.
struct CPkgDiskFile {
    std::u16string path; // full path
    FILETIME lastWrite = {};
};

// The files (not folders) of the folder that match the pattern, not recursive, in listing order.
std::vector<CPkgDiskFile> _pkg_ListFiles(const std::u16string& folder, const std::u16string& pattern);
bool _pkg_FileExists(const std::u16string& path);
// folder + "\" + name, with the separators at the joint collapsed (leading ones of the name too).
std::u16string _pkg_Join(const std::u16string& folder, const std::u16string& name);
// Attaches the virtual file system (owned when `owned`) and the reader of packaged files.
void _pkg_Attach(JxData& data, VirtualFS* vfs, bool owned);

} // namespace JxSetup::Data

namespace JxSetup::Data {
// The whole content of a packaged file, for GetXMLContentFromFile.
JxData::JxPackagedRead _pkg_ReadPackagedFile(VirtualFS& vfs, const std::u16string& path, std::string& bytes);
// Whether the packaged path is present, for the data model's presence tests.
bool _pkg_FindPackagedFile(VirtualFS& vfs, const std::u16string& path);
} // namespace JxSetup::Data
