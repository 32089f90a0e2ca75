// SelfDelete: the end of an uninstallation removes the product's uninstaller, update and
// maintenance folders. The running setup program in the maintenance folder cannot delete itself,
// so a script in its own command processor deletes it once this process has ended.
#include "JxData_SelfDelete.h"

#include "JxData_RemoveFiles.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kSelfDelete = u"JxSetup::Data::JxData::SelfDelete";

std::u16string _selfdel_Parent(const std::u16string& folder) {
    return JxFile::GetPathPart(JxFile::RemoveTrailingBackslash(folder));
}

bool _selfdel_IsFolder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder's own files; what is locked goes at the next reboot (no restart asked for).
void _selfdel_EmptyFolder(const std::u16string& folder) {
    if (folder.empty())
        return;
    bool ignored = false;
    _remove_DeleteFiles(folder, u"*.*", kSelfDelete, ignored);
}

// The stored customization ("$CUSTOMIZE" with its theme folder), the one folder the engine keeps in
// the maintenance folder, goes with it, also what is locked (at the next reboot). Only when the
// maintenance folder is no link, nor one on the way to it below the setups folder; a link at
// "$CUSTOMIZE" or inside it is removed itself, never followed.
void _selfdel_RemoveCustomization(JxLog* log, const std::u16string& maintenance,
                                  const std::u16string& setups) {
    const std::u16string folder = JxFile::CombinePath(maintenance, u"$CUSTOMIZE");
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    const std::u16string base = IsFolderBelow(maintenance, setups) ? setups : _selfdel_Parent(maintenance);
    if (!IsFolderBelowWithoutLinks(maintenance, base)) {
        log->Log(LP_WARNING, kRemoveModule, kSelfDelete, u"Invalid folder \"%s\": not removed.",
                 folder.c_str());
        return;
    }
    bool ignored = false;
    JxFile::DeleteFiles(folder, u"*.*", true, ignored);
}

void _selfdel_RemoveIfEmpty(const std::u16string& folder) {
    if (IsResolvedFolder(folder))
        JxFile::DeleteEmptyDir(folder);
}

bool _selfdel_WriteScript(const std::u16string& path, const std::string& text) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

} // namespace

void JxData::SelfDelete() {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRemoveModule, kSelfDelete, u"");
    if (m_UserCancelled) {
        log->Log(LOG_END, kRemoveModule, kSelfDelete, u"Cancelled by the user.");
        return;
    }
    const std::u16string productId = GetProductId();
    if (!IsGuidFormId(productId)) {
        // Without the product's own subfolder the removal would work in the folder of all setups.
        log->Log(LP_WARNING, kRemoveModule, kSelfDelete, u"Product id \"%s\" is no GUID: nothing removed.",
                 productId.c_str());
        log->Log(LOG_END, kRemoveModule, kSelfDelete, u"");
        return;
    }
    const std::u16string setups = ExpandProperties(u"[CommonAppDataFolder]\\Tolvane\\Setups");
    std::u16string maintenance = JxFile::CombinePath(setups, productId);
    const std::u16string configured = ExpandProperties(u"[_MaintenanceDir]");
    if (!configured.empty() && configured.find(u'[') == std::u16string::npos)
        maintenance = configured;
    if (!IsResolvedFolder(maintenance)) {
        // A command line can set the folder: a root or relative one is never emptied.
        log->Log(LP_WARNING, kRemoveModule, kSelfDelete, u"Invalid maintenance folder \"%s\": not removed.",
                 maintenance.c_str());
        maintenance.clear();
    }
    const std::u16string update = JxFile::CombinePath(
        ExpandProperties(u"[CommonAppDataFolder]\\Tolvane\\Setups\\CommonUpdate"), productId);
    const std::u16string uninstaller = JxFile::CombinePath(
        ExpandProperties(u"[CommonAppDataFolder]\\Tolvane\\Setups\\Uninstaller"), productId);

    _selfdel_EmptyFolder(uninstaller);
    _selfdel_EmptyFolder(update);
    _selfdel_EmptyFolder(maintenance);
    if (!maintenance.empty())
        _selfdel_RemoveCustomization(log, maintenance, setups);
    for (const std::u16string& folder : {uninstaller, update, maintenance}) {
        if (folder.empty())
            continue;
        _selfdel_RemoveIfEmpty(folder);
        _selfdel_RemoveIfEmpty(_selfdel_Parent(folder));
    }

    if (!maintenance.empty() && _selfdel_IsFolder(maintenance)) {
        const std::u16string setup = JxFile::CombinePath(maintenance, u"setup.exe");
        const std::u16string script = JxFile::CombinePath(maintenance, u"delme.bat");
        if (!_selfdel_WriteScript(script, _selfdel_ScriptText(setup, script, maintenance))) {
            log->Log(LP_WARNING, kRemoveModule, kSelfDelete, u"Failed to write file %s", script.c_str());
            log->Log(LOG_END, kRemoveModule, kSelfDelete, u"");
            return;
        }
        // "/c": the command processor ends with the script.
        ExecAppWait(ExpandProperties(u"[SystemFolder]\\cmd.exe"), u"/c \"" + script + u"\"", false, true,
                    false, false, kExecNoTimeLimit);
        MoveFileExW(script.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExW(maintenance.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } else if (!maintenance.empty()) {
        log->Log(LP_INFO, kRemoveModule, kSelfDelete, u"Directory not found: %s", maintenance.c_str());
    }
    log->Log(LOG_END, kRemoveModule, kSelfDelete, u"");
}

} // namespace JxSetup::Data
