// After an uninstallation: the installation folder and its parents that became empty are removed
// (or, when that fails, at the next reboot). The walk up stops at the first folder that holds
// anything else, at a system folder and at a drive root.
#include "jxactions/JxEmptyFolders.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";
constexpr const char16_t* kContext = u"JxSetup::Data::JxData::DeleteEmptyInstallDir";

// What the folder holds besides "." and "..": nothing (0), only the named child (1), more (2).
int _installdir_Contents(const std::u16string& folder, const std::u16string& child) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(JxFile::CombinePath(folder, u"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int result = 0;
    do {
        const std::u16string name(found.cFileName);
        if (name == u"." || name == u"..")
            continue;
        if (!child.empty() && jxtext::EqualsNoCase(name, child) && result == 0) {
            result = 1;
            continue;
        }
        result = 2;
    } while (result != 2 && FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

void _installdir_ScheduleAtReboot(JxLog* log, const std::u16string& folder) {
    if (!MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        log->Log(LP_INFO, kModule, kContext, u"Failed to delete directory using MoveFileEx: %s",
                 folder.c_str());
}

} // namespace

void JxData::DeleteEmptyInstallDir() {
    if (!jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall") ||
        !jxtext::EqualsNoCase(ExpandProperties(u"[_DeleteEmptyInstallDir]"), u"true"))
        return;
    JxLog* log = GetLog();
    log->Log(HP_INFO, kModule, kContext,
             u"Collecting information to delete empty INSTALLDIR und empty parent directories.");
    const std::u16string installDir = ExpandProperties(u"[INSTALLDIR]");
    const std::u16string start = JxEmptyFolders::NormalizeFolder(installDir);
    // A relative, unresolved folder or a root names nothing this run installed.
    if (!IsExpandedFolder(installDir)) {
        log->Log(LP_WARNING, kModule, kContext, u"INSTALLDIR is not an absolute folder: %s",
                 installDir.c_str());
        return;
    }
    JxEmptyFolders(GetCleanEmptyFolder()).AddFolder(installDir);

    const std::u16string programFiles = ExpandProperties(u"[ProgramFilesFolder]");
    const std::u16string programFiles64 = ExpandProperties(u"[ProgramFiles64Folder]");
    const std::u16string windows = ExpandProperties(u"[WindowsFolder]");
    if (programFiles.empty() || windows.empty())
        return;
    std::vector<std::u16string> protectedFolders;
    for (const std::u16string* folder : {&programFiles, &programFiles64, &windows}) {
        if (!folder->empty())
            protectedFolders.push_back(*folder);
    }
    BlackListSystemFolders();
    const std::set<std::u16string>& blackList = GetCleanEmptyFolder().m_BlackList;

    std::u16string current = start;
    std::u16string child; // the name of the folder the walk came from, when it still exists
    while (true) {
        log->Log(LP_INFO, kModule, kContext, u"Is current directory a known system direcotry: %s",
                 current.c_str());
        // By file identity: a system folder written another way, or reached through a link, counts.
        if (JxEmptyFolders::ContainsFolder(current, blackList) ||
            IsProtectedFolder(current, protectedFolders)) {
            log->Log(LP_INFO, kModule, kContext,
                     u"Current directory is a system directory. Don't delete it! %s", current.c_str());
            return;
        }
        const size_t separator = current.rfind(u'\\');
        if (separator == std::u16string::npos || !IsResolvedFolder(current)) {
            log->Log(LP_INFO, kModule, kContext, u"Directory is root. Don't delete it! %s", current.c_str());
            return;
        }
        const DWORD attributes = GetFileAttributesW(current.c_str());
        std::u16string nextChild;
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            log->Log(LP_INFO, kModule, kContext, u"Path found: %s", current.c_str());
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                log->Log(LP_INFO, kModule, kContext, u"Path ist not a directory: %s", current.c_str());
                return;
            }
            const int contents = _installdir_Contents(current, child);
            if (contents == 0) {
                log->Log(LP_INFO, kModule, kContext, u"Directory is empty: %s", current.c_str());
                if (RemoveDirectoryW(current.c_str())) {
                    log->Log(LP_INFO, kModule, kContext, u"Directory deleted: %s", current.c_str());
                } else {
                    log->Log(LP_INFO, kModule, kContext,
                             u"Failed to delete directory. Delete it after Reboot: %s", current.c_str());
                    _installdir_ScheduleAtReboot(log, current);
                    nextChild = current.substr(separator + 1);
                }
            } else if (contents == 1) {
                // Only the folder the walk came from, which goes at the reboot: this one follows it.
                log->Log(LP_INFO, kModule, kContext,
                         u"Directory is not empty. Try to delete it after reboot. %s", current.c_str());
                _installdir_ScheduleAtReboot(log, current);
                nextChild = current.substr(separator + 1);
            } else {
                log->Log(LP_INFO, kModule, kContext, u"Directory holds other files. Don't delete it! %s",
                         current.c_str());
                return;
            }
        }
        child = nextChild;
        current = separator == 2 ? current.substr(0, 3) : current.substr(0, separator);
    }
}

} // namespace JxSetup::Data
