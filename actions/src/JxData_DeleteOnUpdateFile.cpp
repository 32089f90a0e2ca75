// One file that an update deletes: where it lies, and its deletion now or at the next reboot.
#include "JxData_DeleteOnUpdate.h"

#include "JxData_RemoveFiles.h"
#include "jxbase/guards.h"
#include "jxbase/wow64guard.h"

namespace JxSetup::Data {
namespace {

std::u16string _delete_ReplaceIsoLang(std::u16string text, const std::u16string& language) {
    constexpr std::u16string_view kIsoLang = u"[ISOLANG]";
    for (size_t at = jxtext::FindNoCase(text, kIsoLang); at != std::u16string::npos;
         at = jxtext::FindNoCase(text, kIsoLang, at + language.size()))
        text.replace(at, kIsoLang.size(), language);
    return text;
}

} // namespace

CUpdateFileDeleter::CUpdateFileDeleter(JxData& data, const WCHAR* context)
    : m_Data(data), m_Context(context) {
    for (const JxFileCopyRecord& record : data.GetFileActionState().m_Copied)
        if (!record.m_bRolledBack)
            m_CopiedTargets.insert(jxtext::Fold(record.m_TargetPath));
}

JxDeleteTarget CUpdateFileDeleter::GetDeletePath(const JxFile& row, const JxComponent& component,
                                                 std::u16string language) {
    const std::u16string& folder =
        row.IsDeleteAction() && !row.targetdir.empty() ? row.targetdir : component.destinationdir;
    if (language.empty())
        language = m_Data.GetCurrentLanguage();
    JxDeleteTarget target;
    target.m_Folder = m_Data.ExpandPropertiesForLanguage(_delete_ReplaceIsoLang(folder, language), language);
    const std::u16string name =
        m_Data.ExpandPropertiesForLanguage(_delete_ReplaceIsoLang(row.name, language), language);
    target.m_Path = name.empty() ? std::u16string() : JxFile::CombinePath(target.m_Folder, name);
    return target;
}

// The folder must be one the removals accept, and the file must lie below it: a name that came out
// empty, unresolved or climbing out of the folder deletes nothing.
bool CUpdateFileDeleter::_delete_IsRefused(const JxDeleteTarget& target) {
    const std::u16string& path = target.m_Path;
    if (IsExpandedFolder(target.m_Folder) && IsFolderBelow(path, target.m_Folder))
        return false;
    m_Data.GetLog()->Log(LP_WARNING, kFilesModule, m_Context, u"Invalid path \"%s\" in %s: nothing deleted.",
                         path.c_str(), target.m_Folder.c_str());
    return true;
}

void CUpdateFileDeleter::Delete(const JxDeleteTarget& target, bool is64Bit, bool rebootOnDelay,
                                bool renameIfLocked) {
    const std::u16string& path = target.m_Path;
    if (path.find(u'*') != std::u16string::npos || _delete_IsRefused(target))
        return;
    JxLog* log = m_Data.GetLog();
    CWow64FsRedirectionGuard redirection(is64Bit);
    if (!_files_Exists(path))
        return;
    if (_files_IsFolder(path)) {
        log->Log(LP_WARNING, kFilesModule, m_Context, u"%s is a folder: nothing deleted.", path.c_str());
        return;
    }
    // The commit has run: a path this run copied holds the new file now, or gets it at the reboot.
    if (m_CopiedTargets.count(jxtext::Fold(path)) != 0) {
        log->Log(LP_INFO, kFilesModule, m_Context, u"File %s was installed by this run: kept.", path.c_str());
        return;
    }
    if (_files_DeleteFile(path)) {
        log->Log(LP_INFO, kFilesModule, m_Context, u"File deleted on update: %s", path.c_str());
        return;
    }
    // A file in use can often be renamed though it cannot be deleted: its name is free at once and
    // what was renamed goes at the reboot.
    std::u16string pending = path;
    if (renameIfLocked && MoveFileExW(path.c_str(), (path + u".alt").c_str(), MOVEFILE_REPLACE_EXISTING))
        pending = path + u".alt";
    if (!MoveFileExW(pending.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        log->Log(LP_WARNING, kFilesModule, m_Context, u"Failed to delete file using MoveFileEx: %s",
                 pending.c_str());
        return;
    }
    log->Log(LP_INFO, kFilesModule, m_Context, u"File deleted on update using MoveFileEx: %s",
             pending.c_str());
    if (rebootOnDelay)
        m_Data.SetRestart(true);
}

} // namespace JxSetup::Data
