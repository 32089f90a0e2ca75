// Files and folders: the recursive delete with its fall-back to deletion at the next restart, and
// the small path and string-buffer helpers many parts of the engine share.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <windows.h>

// Options of DeleteFileOrDirectory and DeleteDirectoryContents.
enum : DWORD {
    JX_DELETE_RECURSE = 0x01,           // recurse into sub-directories
    JX_DELETE_REMOVE_SELF = 0x02,       // remove the given directory itself (implies 0x01 and 0x04)
    JX_DELETE_REMOVE_SUBDIRS = 0x04,    // remove sub-directories once emptied (implies 0x01)
    JX_DELETE_FILES_AT_REBOOT = 0x08,   // a file that cannot be deleted goes at the next restart
    JX_DELETE_FOLDERS_AT_REBOOT = 0x10, // a folder that cannot be removed goes at the next restart
};

// Deletes a file, or (for a directory) the entries matching the pattern ("*.*" when null) as the
// options say. An empty, relative or root path is refused. Symbolic links and junctions are never
// followed: a link is deleted itself. Every entry is tried once; false when one of them could
// neither be deleted nor (with the restart options) be scheduled for the next restart.
// restartNeeded, when given, tells whether something was scheduled.
bool DeleteFileOrDirectory(const WCHAR* path, const WCHAR* pattern, DWORD flags,
                           bool* restartNeeded = nullptr);
// The directory part of DeleteFileOrDirectory; topLevel is true for the directory the caller named.
// An empty, relative or root directory is refused (false), as it would name the drive's root.
bool DeleteDirectoryContents(const WCHAR* directory, const WCHAR* pattern, bool topLevel, DWORD flags,
                             bool* restartNeeded = nullptr);

// folder + one "\" + name, without the separators at the joint ("\" + name for an empty folder,
// folder + "\" for an empty name). A null folder counts as empty.
std::u16string JoinFolderPath(const WCHAR* folder, std::u16string_view name);
// The strings of the restart's file operations (PendingFileRenameOperations) in order: a source,
// then its target, empty for a deletion; with maxBytes, only that much of the value is read.
std::vector<std::u16string> GetPendingFileRenameOperations(DWORD maxBytes = 0);
// The restart's file operations as pairs of source and target paths (without "\??\" and the "!" of
// a replacing target); the target is empty for a deletion.
std::vector<std::pair<std::u16string, std::u16string>> GetRestartFileOperations();

// The file-name part of a path (PathFindFileNameW); empty when the path ends there.
std::u16string GetFileNameFromPath(const std::u16string& path);
// True when anything matches the path (double quotes removed; wildcards allowed; a folder counts).
bool FileExists(const std::u16string& path);
// Two paths name one existing file-system object; a path that does not exist names none.
bool IsSameFileSystemObject(const std::u16string& first, const std::u16string& second);
// The full path of the program file (at most MAX_PATH characters, as the platform truncates it).
std::u16string GetExecutablePath();

// Resizes the text to length (new characters zero) and returns its writable buffer.
WCHAR* GetStringBuffer(std::u16string& text, size_t length);
// Resizes the text to length; with length -1, to the length up to its first zero character.
void ReleaseStringBuffer(std::u16string& text, long long length = -1);
