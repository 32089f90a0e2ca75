// Clean-up of folders that a run leaves empty: the folders to clean and the folders never to
// remove are kept in the data object's CleanEmptyFolder sets; at the end of the run each folder to
// clean, and each parent that holds nothing else, is registered for deletion at the next reboot.
#pragma once

#include <set>
#include <string>

#include "jxsetupdata/JxRecords.h"

namespace JxSetup::Data {

class JxEmptyFolders {
public:
    explicit JxEmptyFolders(CleanEmptyFolder& sets) : m_Sets(sets) {}

    // Adds a folder to clean (a file's folder for a file path). Refuses an empty or missing path
    // and one that is not absolute, resolved and below a root (IsResolvedFolder).
    void AddFolder(const std::u16string& path);
    // Adds a folder that is never registered for deletion; the walk up stops there.
    void AddFolderToBlackList(const std::u16string& path);
    // The shared worker of the two above; true when the folder was inserted.
    bool AddToFolderSet(const std::u16string& path, std::set<std::u16string>& set);
    // True when the set holds a folder that names the same existing file-system object as the path
    // (file identity: another spelling or a link to a listed folder matches).
    static bool ContainsFolder(const std::u16string& path, const std::set<std::u16string>& set);
    // Registers each folder to clean, and each parent that holds nothing but folders being
    // cleaned, for deletion at the next reboot, deepest first. Stops at black-listed folders.
    void CleanFolder();

    // "C:\a\b" for "c:/a//b\.\": separators unified, "." and ".." resolved, no trailing
    // backslash except after a drive ("C:\"). Empty for an empty or relative path.
    static std::u16string NormalizeFolder(std::u16string_view path);

private:
    CleanEmptyFolder& m_Sets;
};

} // namespace JxSetup::Data
