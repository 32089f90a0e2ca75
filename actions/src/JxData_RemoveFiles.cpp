// DeleteFiles: the installed files and shortcuts of the components an uninstallation removes.
#include "JxData_RemoveFiles.h"

#include "JxData_Files.h"
#include "JxFile_ShortcutGroups.h"

#include "jxbase/wow64guard.h"
#include "jxplat/shlobj.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kDeleteFiles = u"JxSetup::Data::JxData::DeleteFiles";
constexpr int kUpdateModeUpdate = 1;

// A file left to the next reboot asks for a restart, unless the row ignores that in an update.
void _remove_HandleRestart(JxData& data, const JxFile& row, bool rebootNeeded) {
    if (!rebootNeeded)
        return;
    if (jxtext::EqualsNoCase(row.ignorerebootrequest, u"true") && data.m_UpdateMode == kUpdateModeUpdate)
        data.GetLog()->Log(LP_INFO, kRemoveModule, kDeleteFiles, u"Restart needed and ignored.");
    else
        data.SetRestart(true);
}

// The folder of a shell special folder; empty when the machine has none.
std::u16string _remove_SpecialFolder(int csidl) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list)
        return {};
    WCHAR path[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(list, path);
    ILFree(list);
    return found ? std::u16string(path) : std::u16string();
}

void _remove_Shortcut(JxData& data, const JxFile& row) {
    // Only the exact "programs" means the programs menu; anything else is the desktop.
    const int csidl = row.sctarget == u"programs" ? CSIDL_COMMON_PROGRAMS : CSIDL_COMMON_DESKTOPDIRECTORY;
    const std::u16string folder = _remove_SpecialFolder(csidl);
    if (folder.empty()) {
        data.GetLog()->Log(LP_WARNING, kRemoveModule, kDeleteFiles, u"Shell folder %d not found.", csidl);
        return;
    }
    const std::u16string link = data.ExpandProperties(row.scname) + u".lnk";
    const std::u16string path = JxFile::CombinePath(folder, link);
    bool ignored = false;
    if (_remove_DeleteFiles(JxFile::GetPathPart(path), JxFile::GetFilePart(path), kDeleteFiles, ignored))
        _lnk_RemoveEmptiedGroups(folder, link, kDeleteFiles);
}

void _remove_InFolder(JxData& data, const JxFile& row, const std::u16string& folder,
                      const std::u16string& name) {
    data.GetLog()->Log(LP_INFO, kRemoveModule, kDeleteFiles, u"Deleting files %s in %s", name.c_str(),
                       folder.c_str());
    bool rebootNeeded = false;
    _remove_DeleteFiles(folder, name, kDeleteFiles, rebootNeeded);
    _remove_HandleRestart(data, row, rebootNeeded);
}

// The temporary copies a copy that ended half-way left beside the targets (or in the component's
// alternative folder) go with the product, also one that waited for a restart.
void _remove_Temporaries(const std::u16string& folder, const std::u16string& alternative,
                         const std::u16string& name) {
    _files_RemoveLeftTemporaries(folder, name, false, kDeleteFiles);
    if (!alternative.empty())
        _files_RemoveLeftTemporaries(alternative, name, false, kDeleteFiles);
}

void _remove_RowFiles(JxData& data, const JxFile& row, const JxComponent& component) {
    if (row.copymode == u"never")
        return;
    if (row.copymode == u"delete") {
        if (!data.GetConditionResult(row.condition))
            return;
        const std::u16string target = data.ExpandProperties(row.targetdir);
        const std::u16string folder =
            !target.empty() ? target : data.ExpandProperties(component.destinationdir);
        _remove_InFolder(data, row, folder, data.ExpandProperties(row.name));
        return;
    }
    // Every other mode removed what it installed, whatever the row's condition says now.
    if (row.resource == u"true" && row.installallcontainedlanguages == u"true") {
        for (const std::u16string& code : jxtext::Split(data.m_ProductInfo.languages, u',')) {
            const std::u16string language = jxtext::Trim(code);
            if (language.empty())
                continue;
            const std::u16string folder =
                data.ExpandPropertiesForLanguage(component.destinationdir, language);
            const std::u16string name = data.ExpandPropertiesForLanguage(row.name, language);
            _remove_InFolder(data, row, folder, name);
            _remove_Temporaries(folder, data.ExpandPropertiesForLanguage(component.mvexaltdir, language),
                                name);
        }
        return;
    }
    const std::u16string folder = data.ExpandProperties(component.destinationdir);
    const std::u16string name = data.ExpandProperties(row.name);
    _remove_InFolder(data, row, folder, name);
    _remove_Temporaries(folder, data.ExpandProperties(component.mvexaltdir), name);
}

} // namespace

void JxData::DeleteFiles(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRemoveModule, kDeleteFiles, u"");
    const std::vector<JxFile> rows = m_SetupFiles;
    for (const JxFile& row : rows) {
        JxFeature feature;
        JxComponent component;
        if (!_remove_LookUpComponent(*this, row, feature, component, kDeleteFiles))
            continue;
        if (!IsComponentToBeProcessed(component, feature, action, JxActivationPermissions{}))
            continue;
        if (!row.scname.empty())
            _remove_Shortcut(*this, row);
        CWow64FsRedirectionGuard redirection(false);
        if (jxtext::EqualsNoCase(row.is64bit, u"true") && !ExpandProperties(u"[VersionNT64]").empty())
            redirection.Disable();
        _remove_RowFiles(*this, row, component);
    }
    log->Log(LOG_END, kRemoveModule, kDeleteFiles, u"");
}

} // namespace JxSetup::Data
