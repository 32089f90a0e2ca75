// The removal of what a run did not commit: the temporary copies that were never moved onto their
// targets, then the folders the file actions made, when nothing else is left in them. Committed
// files, files moved aside and folders that were there before the run are never touched.
#include "JxData_Files.h"

#include <algorithm>

#include "jxbase/guards.h"
#include "jxbase/wow64guard.h"
#include "jxactions/JxEmptyFolders.h"
#include "jxbase/win32errortext.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kRollback = u"JxSetup::Data::JxData::RollbackCopiedFiles";

} // namespace

bool JxData::HasUncommittedFileCopies() const {
    const auto& copied = m_FileActionState->m_Copied;
    return std::any_of(copied.begin(), copied.end(), [](const JxFileCopyRecord& record) {
        return !record.m_bCommitted && !record.m_bRolledBack;
    });
}

void JxData::RollbackCopiedFiles() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kFilesModule, kRollback, u"");
    for (JxFileCopyRecord& record : m_FileActionState->m_Copied) {
        if (record.m_bCommitted || record.m_bRolledBack)
            continue;
        record.m_bRolledBack = true;
        CWow64FsRedirectionGuard redirection(record.m_b64Bit);
        if (!_files_Exists(record.m_TemporaryPath))
            continue;
        if (_files_DeleteFile(record.m_TemporaryPath)) {
            log->Log(LP_INFO, kFilesModule, kRollback, u"File deleted: %s", record.m_TemporaryPath.c_str());
            continue;
        }
        log->Log(LP_WARNING, kFilesModule, kRollback, u"Failed to delete file: %s",
                 record.m_TemporaryPath.c_str());
        // Held open by someone: it goes at the next reboot, and its folder with it when empty then.
        if (MoveFileExW(record.m_TemporaryPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            JxEmptyFolders(m_CleanEmptyFolder).AddFolder(JxFile::GetPathPart(record.m_TemporaryPath));
    }
    _rollback_RemoveCreatedFolders();
    log->Log(LOG_END, kFilesModule, kRollback, u"");
}

void JxData::_rollback_RemoveCreatedFolders() {
    JxLog* log = GetLog();
    auto& folders = m_FileActionState->m_CreatedFolders;
    // Deepest first: the reverse of the order in which the levels were made.
    std::vector<JxFileCreatedFolder> kept;
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        CWow64FsRedirectionGuard redirection(folder->m_b64Bit);
        const std::u16string& path = folder->m_Path;
        if (!IsResolvedFolder(path) || JxEmptyFolders::ContainsFolder(path, m_CleanEmptyFolder.m_BlackList)) {
            log->Log(LP_WARNING, kFilesModule, kRollback, u"System folder %s is never deleted.",
                     path.c_str());
            continue;
        }
        if (!_files_IsFolder(path))
            continue;
        // Only an empty folder goes: what is left in it was committed or is not this run's.
        if (RemoveDirectoryW(path.c_str())) {
            log->Log(LP_INFO, kFilesModule, kRollback, u"Folder deleted: %s", path.c_str());
            continue;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_DIR_NOT_EMPTY)
            log->Log(LP_INFO, kFilesModule, kRollback, u"Folder %s is not empty and stays.", path.c_str());
        else
            log->Log(LP_WARNING, kFilesModule, kRollback, u"Failed to delete folder %s - Error %s",
                     path.c_str(),
                     CWin32ErrorText(error, CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs).c_str());
        kept.insert(kept.begin(), *folder);
    }
    folders = std::move(kept);
}

} // namespace JxSetup::Data
