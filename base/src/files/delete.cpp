// The recursive delete: files and folders that cannot go now are left to the next restart when the
// caller allows it. Links (symbolic links and junctions) are deleted themselves, never followed,
// so a link into another tree never costs that tree its files.
#include "jxbase/files.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"

namespace {

bool _del_ScheduleAtRestart(const std::u16string& path, bool* restartNeeded) {
    if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return false;
    if (restartNeeded)
        *restartNeeded = true;
    return true;
}

// Deletes one file (or a link to a file); with the option, leaves it to the next restart.
bool _del_DeleteFile(const std::u16string& path, DWORD attributes, DWORD flags, bool* restartNeeded) {
    // A link's attributes are its target's: leave them alone.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str()))
        return true;
    // What is not there is gone already: it needs no restart (a run that removed it before, or a
    // folder that never came, must not ask for one).
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return true;
    return (flags & JX_DELETE_FILES_AT_REBOOT) && _del_ScheduleAtRestart(path, restartNeeded);
}

bool _del_RemoveFolder(const std::u16string& path, DWORD flags, bool* restartNeeded) {
    if (RemoveDirectoryW(path.c_str()))
        return true;
    return (flags & JX_DELETE_FOLDERS_AT_REBOOT) && _del_ScheduleAtRestart(path, restartNeeded);
}

bool _del_DeleteContents(const std::u16string& folder, const WCHAR* pattern, bool topLevel, DWORD flags,
                         bool* restartNeeded);

// The pattern names entries of the folder itself: "*.*", "*.log", never "..\\*" or "x\\*".
bool _del_IsPattern(const WCHAR* pattern) {
    return !pattern || !*pattern || IsSinglePathSegment(pattern, true);
}

bool _del_IsDots(const WCHAR* name) {
    return (name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0);
}

// One found entry: a folder is visited (a link to a folder is removed as the folder would be),
// a file is deleted. False when it could not be handled.
bool _del_HandleEntry(const std::u16string& directory, const WIN32_FIND_DATAW& found, const WCHAR* pattern,
                      bool foldersOnly, DWORD flags, bool* restartNeeded) {
    if (_del_IsDots(found.cFileName))
        return true;
    const std::u16string path = JoinFolderPath(directory.c_str(), found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if ((flags & JX_DELETE_RECURSE) == 0)
            return true;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return (flags & JX_DELETE_REMOVE_SUBDIRS) == 0 || _del_RemoveFolder(path, flags, restartNeeded);
        return _del_DeleteContents(path, pattern, false, flags, restartNeeded);
    }
    if (foldersOnly)
        return true;
    return _del_DeleteFile(path, found.dwFileAttributes, flags, restartNeeded);
}

// Handles every entry that the search finds; false when one of them failed (all are tried).
bool _del_Walk(const std::u16string& directory, const std::u16string& search, const WCHAR* pattern,
               bool foldersOnly, bool skipFolders, DWORD flags, bool* restartNeeded) {
    WIN32_FIND_DATAW found{};
    HANDLE handle = FindFirstFileW(search.c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE)
        return true; // nothing matches
    bool ok = true;
    do {
        if (skipFolders && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (!_del_HandleEntry(directory, found, pattern, foldersOnly, flags, restartNeeded))
            ok = false;
    } while (FindNextFileW(handle, &found));
    FindClose(handle);
    return ok;
}

bool _del_DeleteContents(const std::u16string& folder, const WCHAR* pattern, bool topLevel, DWORD flags,
                         bool* restartNeeded) {
    const WCHAR* directory = folder.c_str();
    const bool allEntries =
        !pattern || !*pattern || jxtext::EqualsNoCase(pattern, u"*") || jxtext::EqualsNoCase(pattern, u"*.*");
    const std::u16string search =
        JoinFolderPath(directory, allEntries ? u"*.*" : std::u16string_view(pattern));
    // A pattern that need not match the sub-directories: they are visited in a second pass over
    // every entry (and only there, so none is visited twice).
    const bool secondPass = (flags & JX_DELETE_RECURSE) && !allEntries;
    bool ok = _del_Walk(folder, search, pattern, false, secondPass, flags, restartNeeded);
    if (secondPass &&
        !_del_Walk(folder, JoinFolderPath(directory, u"*.*"), pattern, true, false, flags, restartNeeded))
        ok = false;

    const bool keep =
        topLevel ? (flags & JX_DELETE_REMOVE_SELF) == 0 : (flags & JX_DELETE_REMOVE_SUBDIRS) == 0;
    if (keep)
        return ok;
    if (!_del_RemoveFolder(folder, flags, restartNeeded))
        ok = false;
    return ok;
}

} // namespace

bool DeleteDirectoryContents(const WCHAR* directory, const WCHAR* pattern, bool topLevel, DWORD flags,
                             bool* restartNeeded) {
    // A folder that is relative, unresolved or a root (an empty one would make the search "\\*.*")
    // would reach far beyond what the caller meant.
    if (!directory || !IsResolvedFolder(directory) || !_del_IsPattern(pattern))
        return false;
    return _del_DeleteContents(directory, pattern, topLevel, flags, restartNeeded);
}

bool DeleteFileOrDirectory(const WCHAR* path, const WCHAR* pattern, DWORD flags, bool* restartNeeded) {
    if (restartNeeded)
        *restartNeeded = false;
    if (!path || !IsResolvedFolder(path) || !_del_IsPattern(pattern))
        return false;
    const std::u16string target(path);
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (flags & JX_DELETE_REMOVE_SUBDIRS)
            flags |= JX_DELETE_RECURSE;
        if (flags & JX_DELETE_REMOVE_SELF)
            flags |= JX_DELETE_RECURSE | JX_DELETE_REMOVE_SUBDIRS;
        // A link to a folder: its contents belong to the target; only the link itself may go.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return (flags & JX_DELETE_REMOVE_SELF) == 0 || _del_RemoveFolder(target, flags, restartNeeded);
        return _del_DeleteContents(target, pattern, true, flags, restartNeeded);
    }
    return _del_DeleteFile(target, attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes, flags,
                           restartNeeded);
}
