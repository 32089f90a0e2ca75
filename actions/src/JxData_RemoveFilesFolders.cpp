// DeleteAllEmptyFolder: the merge folder's files, and after an uninstallation the emptied
// component folders (what cannot go now goes at the next reboot).
#include "JxData_RemoveFiles.h"

#include <algorithm>
#include <set>
#include <vector>

#include "jxbase/files.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kDeleteAllEmpty = u"JxSetup::Data::JxData::DeleteAllEmptyFolder";

// A component folder that could not be removed at once, with the row that asked for it.
struct CRemoveLeftFolder {
    std::u16string folder;
    bool ignoreRestart = false;
};

// Whether everything left in the folder is something the restart deletes: files that were locked
// when the uninstallation removed them. A folder left empty counts too (it is locked itself).
bool _remove_HoldsOnlyFilesDeletedAtRestart(const std::u16string& folder,
                                            const std::set<std::u16string>& deletedAtRestart) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(JoinFolderPath(folder.c_str(), u"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool only = true;
    do {
        const std::u16string name = found.cFileName;
        if (name == u"." || name == u"..")
            continue;
        const std::u16string path = JoinFolderPath(folder.c_str(), name);
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                              (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        // A sub-folder counts when the restart deletes it too, once it has emptied it.
        only = deletedAtRestart.count(jxtext::Fold(path)) != 0 &&
               (!isFolder || _remove_HoldsOnlyFilesDeletedAtRestart(path, deletedAtRestart));
    } while (only && FindNextFileW(search, &found));
    FindClose(search);
    return only;
}

// Removes the component folder of the row when it is empty; a folder that is not is remembered.
void _remove_ComponentFolder(JxData& data, const JxFile& row, std::vector<CRemoveLeftFolder>& left) {
    JxLog* log = data.GetLog();
    JxFeature feature;
    data.GetFeature(feature, row.featurename);
    const JxComponent component = data.GetComponentOfFeature(row.componentid, feature);
    const std::u16string folder = data.ExpandProperties(component.destinationdir);
    log->Log(LP_INFO, kRemoveModule, kDeleteAllEmpty, u"Deleting directory %s.", folder.c_str());
    if (!IsResolvedFolder(folder)) {
        log->Log(LP_WARNING, kRemoveModule, kDeleteAllEmpty, u"Invalid folder \"%s\": not removed.",
                 folder.c_str());
        return;
    }
    if (!JxFile::DeleteEmptyDir(folder))
        left.push_back({folder, jxtext::EqualsNoCase(row.ignorerebootrequest, u"true")});
}

// The folders left by the rows, deepest first once their sub-folders had their turn: one that is
// empty now goes; one that only waits for files the restart deletes goes at the restart and asks
// for it; one that still holds other files (the user's) stays and asks for nothing.
void _remove_LeftFolders(JxData& data, std::vector<CRemoveLeftFolder> left) {
    JxLog* log = data.GetLog();
    std::stable_sort(left.begin(), left.end(), [](const CRemoveLeftFolder& a, const CRemoveLeftFolder& b) {
        return std::count(a.folder.begin(), a.folder.end(), u'\\') >
               std::count(b.folder.begin(), b.folder.end(), u'\\');
    });
    std::set<std::u16string> deletedAtRestart;
    for (const auto& [source, target] : GetRestartFileOperations())
        if (target.empty())
            deletedAtRestart.insert(jxtext::Fold(source));
    // A folder of several rows asks for the restart unless every one of them ignores it.
    std::set<std::u16string> asking;
    for (const CRemoveLeftFolder& entry : left)
        if (!entry.ignoreRestart)
            asking.insert(jxtext::Fold(entry.folder));
    std::set<std::u16string> done;
    for (const CRemoveLeftFolder& entry : left) {
        if (!done.insert(jxtext::Fold(entry.folder)).second)
            continue;
        if (GetFileAttributesW(entry.folder.c_str()) == INVALID_FILE_ATTRIBUTES ||
            JxFile::DeleteEmptyDir(entry.folder))
            continue;
        if (!_remove_HoldsOnlyFilesDeletedAtRestart(entry.folder, deletedAtRestart)) {
            log->Log(LP_INFO, kRemoveModule, kDeleteAllEmpty, u"Directory %s still holds files: kept.",
                     entry.folder.c_str());
            continue;
        }
        log->Log(LP_WARNING, kRemoveModule, kDeleteAllEmpty,
                 u"Failed. Delete directory after reboot using MoveFileEx.");
        if (!MoveFileExW(entry.folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            log->Log(LP_WARNING, kRemoveModule, kDeleteAllEmpty,
                     u"Error while scheduling delete directory action of directory %s. Errorcode: %d",
                     entry.folder.c_str(), static_cast<int>(GetLastError()));
            continue;
        }
        // A parent folder left to the restart too can count on this one going first.
        deletedAtRestart.insert(jxtext::Fold(entry.folder));
        if (asking.count(jxtext::Fold(entry.folder)) == 0)
            log->Log(LP_INFO, kRemoveModule, kDeleteAllEmpty, u"Restart needed and ignored.");
        else
            data.SetRestart(true);
    }
}

} // namespace

void JxData::DeleteAllEmptyFolder() {
    const std::u16string merge = ExpandProperties(u"[_MergeWPKDir]");
    if (!merge.empty()) {
        bool ignored = false;
        _remove_DeleteFiles(merge, u"*.*", kDeleteAllEmpty, ignored);
    }
    if (!jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall"))
        return;
    // One try per row: a folder shared by several rows is tried for each of them.
    const std::vector<JxFile> rows = m_Files;
    std::vector<CRemoveLeftFolder> left;
    for (const JxFile& row : rows)
        _remove_ComponentFolder(*this, row, left);
    _remove_LeftFolders(*this, std::move(left));
}

} // namespace JxSetup::Data
