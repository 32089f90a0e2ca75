// The file record of the setup: one SetupFile or Prerequisite row of the definition, a metadata
// row of the packages, or a file found on disk. Records are copied by value.
//
// Beside the data, the record carries the overwrite decision (IsFileDifferentTo: must the file the
// setup brings replace the file at its target?) and the static file-system helpers the decision
// and the file actions share. Their definitions live with the installation actions (jx_actions);
// nothing in setupdata calls them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "jxsetupdata/JxFileData.h"

namespace JxSetup::Data {

// A calendar time as a date text holds it: no time zone, no conversion to local time.
using JxSystemTime = SYSTEMTIME;

// One process of the machine: id, session and executable file name (without folder).
struct JxProcessEntry {
    DWORD m_dwProcessId = 0;
    DWORD m_dwSessionId = 0;
    std::u16string m_strExeFile;
};

// What CreateShortcut makes: a link below a shell special folder (CSIDL number).
struct JxShortcutDescription {
    int m_nFolderIndex = 0;
    std::u16string m_strLinkName; // may hold subfolders; ".lnk" is appended
    std::u16string m_strFile;     // the target
    std::u16string m_strIconPath;
    int m_nIconIndex = 0;
    std::u16string m_strDescription;
    std::u16string m_strAppID;
};

class JxFile : public JxFileData {
public:
    JxFile() = default;
    JxFile(const JxFile&) = default;
    JxFile& operator=(const JxFile&) = default;
    JxFile(JxFile&&) = default;
    JxFile& operator=(JxFile&&) = default;
    ~JxFile() = default;

    // --- the record ---

    // "bycrc", "byversion", "bydate", "nooverwrite" or "always" (ignoring case).
    bool IsCopyAction() const;
    // "delete" or "deleteonupdate" (ignoring case).
    bool IsDeleteAction() const;
    // Sets the full path; an empty name becomes the path's file part (or the whole path).
    void SetFullPath(const std::u16string& path);
    std::u16string GetFullPath() const { return m_FullPath; }
    // A target record of a file that does not exist: no version, no date and no SHA-256.
    bool IsMissingTarget() const;
    // One level-5 line with the record's metadata.
    void LogFileInformation() const;

    // --- the overwrite decision ---

    // Called on the record of the file the setup brings with the record of the file at its target:
    // true when the file must be copied. An empty copy mode counts as "bycrc"; a mode that is not a
    // copy mode gives false.
    bool IsFileDifferentTo(const JxFile& target) const;
    bool _schedule_By_SHA256(const JxFile& target) const;
    bool _schedule_By_Version(const JxFile& target) const;
    bool _schedule_By_ModificationDate(const JxFile& target) const;
    bool _schedule_By_NeverOverwrite(const JxFile& target) const;

    // --- dates ---

    // Reads "dd.MM.yyyy HH.mm.ss " (blanks and colons count as points). Fewer than six parts, or a
    // part among the first six that is not a decimal number of 0 to 65535, gives all fields 0.
    static JxSystemTime StringToSystemTime(std::u16string_view text);
    // The OLE automation date (days since 30.12.1899, the time as a fraction) of a valid calendar
    // time of the years 100 to 9999; false for an impossible date or time.
    static bool SystemTimeToOleDate(const JxSystemTime& time, double& date);
    // The date text of a file time as it is (UTC): "dd.MM.yyyy HH.mm.ss " with the trailing blank.
    static std::u16string FileTimeToString(const FILETIME& time);

    // --- paths and versions ---

    // Joins two to four parts; a backslash goes before each further part unless the text so far is
    // empty or ends with a backslash or a colon.
    static std::u16string CombinePath(std::u16string_view a, std::u16string_view b,
                                      std::u16string_view c = {}, std::u16string_view d = {});
    static std::u16string GetPathPart(std::u16string_view path);
    static std::u16string GetFilePart(std::u16string_view path);
    static std::u16string RemoveTrailingBackslash(std::u16string_view path);
    // The parts of a version text between its points as 16-bit numbers. False (with a level-2 line)
    // at a part that is empty, not decimal or above 65535; numbers then holds the parts before it
    // and callers skip the values.
    static bool GetVersionNumbers(std::u16string_view text, std::vector<WORD>& numbers);
    // The file version of a program file as "a.b.c.d"; empty when it has none.
    static std::u16string GetFileVersionString(const std::u16string& path);

    // --- files ---

    // True for an existing file that is not a folder.
    static bool FileExists(const std::u16string& path);
    // The file's attributes, INVALID_FILE_ATTRIBUTES when they cannot be read.
    static DWORD GetAttributes(const std::u16string& path);
    // The file's size (64-bit) and times; false when the file cannot be found.
    static bool GetFileSize64(const std::u16string& path, ULONGLONG& size);
    static bool GetLastWriteTime(const std::u16string& path, FILETIME& time);
    // SHA-256 of the file as 64 upper-case hexadecimal digits; empty on any failure.
    static std::u16string CalcSHA256(const std::u16string& path);
    // The two-sum checksum of the engine's file lists as upper-case hexadecimal text; empty when
    // the file cannot be read.
    static std::u16string CalcChecksum(const std::u16string& path);

    // --- folders and files ---

    // The folder of an existing regular file (else the path), then its parent count times.
    static std::u16string GetParentFolder(const std::u16string& path, unsigned count);
    // The process command line after its program part (quoted, or up to the first blank).
    static std::u16string getCMDParams();
    // The part of a command line after its program token and the blanks that follow it.
    static std::u16string _cmd_SkipProgram(std::u16string_view line);
    // Creates the folder with its missing parents: 0, 183 when it exists, else the error code.
    static DWORD PrepareDestinationDirectory(const std::u16string& folder);
    // Copies the folder's files (and, with recursive, its subfolders') into the target folder.
    static void CopyDir(const std::u16string& source, const std::u16string& target, bool recursive);
    // Deletes what matches the mask in the folder; with recursive in its subfolders too, "*.*" then
    // being the folder with everything in it. What cannot go now goes at the next reboot
    // (rebootNeeded). Always true.
    static bool DeleteFiles(const std::u16string& folder, const std::u16string& mask, bool recursive,
                            bool& rebootNeeded);
    static bool DeleteEmptyDir(const std::u16string& folder);
    // Full paths of the regular files in the folder that match the mask.
    static std::vector<std::u16string> GetFilesInDirectory(const std::u16string& folder,
                                                           const std::u16string& mask);

    // --- shortcuts ---

    static bool CreateShortcut(JxShortcutDescription description);
    // The target of a shortcut file (at most MAX_PATH - 1 characters); the HRESULT of the last step.
    static HRESULT ResolveShortcut(const std::u16string& shortcutPath, std::u16string& target);
    // Deletes the first shortcut in the folder (or its "Tolvane*" program groups) to the file.
    static bool DeleteShortcuts(int folderIndex, const std::u16string& targetFile);

    // --- processes ---

    static std::vector<JxProcessEntry> getProcessList();
    static bool isProcessRunningInSession(const std::u16string& executable, DWORD sessionId,
                                          const std::vector<JxProcessEntry>& processes);
    // Starts folder\file in every active user session where it does not run yet.
    static bool LaunchFileInActiveSessions(const std::u16string& folder, const std::u16string& file,
                                           const std::u16string& arguments, bool wait);
};

} // namespace JxSetup::Data
