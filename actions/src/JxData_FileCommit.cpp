// CleanUp: every temporary copy is moved onto its target; a target that cannot be replaced now is
// moved aside (when its row asks for it) or replaced at the next reboot.
#include "JxData_Files.h"

#include "jxbase/wow64guard.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kCommit = u"JxSetup::Data::JxData::CommitCopiedFiles";
const WCHAR* const kMove = u"JxSetup::Data::JxData::moveFile";
const WCHAR* const kRenameExistent = u"JxSetup::Data::JxData::renameExistentFile";
const WCHAR* const kRenameLocked = u"JxSetup::Data::JxData::renameLockedFile";

} // namespace

void JxData::CommitCopiedFiles() {
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kFilesModule, kCommit, u"");
    for (JxFileCopyRecord& record : m_FileActionState->m_Copied) {
        if (record.m_bCommitted || record.m_bRolledBack)
            continue;
        _commit_MoveFile(record);
        if (m_FileActionState->m_HookForTesting)
            m_FileActionState->m_HookForTesting("committed");
    }
    GetLog()->Log(LOG_END, kFilesModule, kCommit, u"");
}

void JxData::_commit_Warn(const std::u16string& detail) {
    JxSequenceData& sequence = m_SequenceData;
    if (!sequence.m_bWarning) {
        sequence.m_Warning = JxErrorInfo();
        sequence.m_Warning.m_Title = u"[PRODUCTNAME]";
        sequence.m_Warning.m_ActionName = m_FileActionState->m_Action.m_Name;
        sequence.m_Warning.m_Description = detail;
    }
    sequence.m_bWarning = true;
}

void JxData::_commit_MoveFile(JxFileCopyRecord& record) {
    JxLog* log = GetLog();
    if (record.m_TargetPath.empty() || record.m_TemporaryPath.empty()) {
        log->Log(LOG_END, kFilesModule, kMove, u"No valid copy info available. Component: %s, File: %s",
                 record.m_Definition->componentid.c_str(), record.m_Definition->name.c_str());
        return;
    }
    CWow64FsRedirectionGuard redirection(record.m_b64Bit);
    if (!_files_Exists(record.m_TemporaryPath)) {
        record.m_bCommitted = true; // nothing was extracted: the target stays as it is
        return;
    }
    bool needsReboot = false;
    const JxFile& row = *record.m_Definition;
    if (_files_IsTrue(row.renameexistentfile) && !row.renameexistentfileto.empty())
        _commit_RenameExistent(record);

    if (!_files_PrepareDestinationDir(record.m_TargetPath, record.m_b64Bit)) {
        log->Log(LP_ERROR, kFilesModule, kMove, u"Failed to create contained folder: %s",
                 record.m_TargetPath.c_str());
        _commit_Warn(u"Failed to create contained folder: " + record.m_TargetPath);
    } else if (_files_IsTrue(row.renameiflocked) && GetConditionResult(u"[VersionNT]>=600") &&
               _files_Exists(record.m_TargetPath)) {
        if (!_commit_ReplaceAside(record, needsReboot))
            _commit_MoveAtReboot(record, needsReboot);
    } else if (MoveFileExW(record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str(),
                           MOVEFILE_REPLACE_EXISTING)) {
        log->Log(LP_INFO, kFilesModule, kMove, u"Successfully moved file %s to %s.",
                 record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str());
        record.m_bCommitted = true;
    } else {
        // Locked, read-only or otherwise not replaceable now.
        _commit_MoveAtReboot(record, needsReboot);
    }

    if (_files_IsTrue(row.forcerebootrequest)) {
        log->Log(LP_INFO, kFilesModule, kMove, u"Force reboot request for file: %s",
                 record.m_TargetPath.c_str());
        needsReboot = true;
    }
    if (_files_IsTrue(row.ignorerebootrequest)) {
        log->Log(LP_INFO, kFilesModule, kMove, u"Ignore reboot request for file: %s",
                 record.m_TargetPath.c_str());
        needsReboot = false;
    }
    if (needsReboot)
        SetRestart(true);
}

void JxData::_commit_MoveAtReboot(JxFileCopyRecord& record, bool& needsReboot) {
    JxLog* log = GetLog();
    if (!MoveFileExW(record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        log->Log(LP_ERROR, kFilesModule, kMove, u"Failed to move file from %s to %s",
                 record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str());
        _commit_Warn(u"Failed to move file from " + record.m_TemporaryPath + u" to " + record.m_TargetPath);
        return;
    }
    log->Log(LP_INFO, kFilesModule, kMove, u"Successfully moved file %s to %s but needs reboot.",
             record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str());
    record.m_bCommitted = true;
    // A package file waiting beside its locked target is moved into place by the next run.
    if (jxtext::EndsWithNoCase(record.m_TemporaryPath, u".wpk.jxtmp"))
        AddTmpWPKDir(record.m_TargetPath);
    else
        needsReboot = true;
}

void JxData::_commit_RenameExistent(const JxFileCopyRecord& record) {
    if (!_files_Exists(record.m_TargetPath))
        return;
    const std::u16string renamed =
        JxFile::CombinePath(JxFile::GetPathPart(record.m_TargetPath),
                            ExpandProperties(record.m_Definition->renameexistentfileto));
    JxLog* log = GetLog();
    log->Log(LP_INFO, kFilesModule, kRenameExistent, u"rename file %s to %s", record.m_TargetPath.c_str(),
             renamed.c_str());
    if (MoveFileExW(record.m_TargetPath.c_str(), renamed.c_str(), 0))
        return;
    if (!CopyFileW(record.m_TargetPath.c_str(), renamed.c_str(), TRUE))
        log->Log(LP_WARNING, kFilesModule, kRenameExistent, u"Failed to rename file %s to %s",
                 record.m_TargetPath.c_str(), renamed.c_str());
}

bool JxData::_commit_ReplaceAside(JxFileCopyRecord& record, bool& needsReboot) {
    JxLog* log = GetLog();
    const std::u16string aside = record.m_TargetPath + u".alt";
    // A target in use can often be renamed though it cannot be replaced: the new file goes in under
    // its name and the old one, aside, goes as soon as it can.
    if (!MoveFileExW(record.m_TargetPath.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        log->Log(LP_WARNING, kFilesModule, kRenameLocked, u"Failed to rename file: %s",
                 record.m_TargetPath.c_str());
        // Not renamed: the target is still there and may yet be replaced in place.
        if (!MoveFileExW(record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str(),
                         MOVEFILE_REPLACE_EXISTING))
            return false;
        log->Log(LP_INFO, kFilesModule, kMove, u"Successfully moved file %s to %s.",
                 record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str());
        record.m_bCommitted = true;
        return true;
    }
    if (!MoveFileExW(record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        // The old file goes back, so the product is never left without it; the reboot replaces it.
        if (!MoveFileExW(aside.c_str(), record.m_TargetPath.c_str(), MOVEFILE_REPLACE_EXISTING))
            log->Log(LP_ERROR, kFilesModule, kRenameLocked, u"Failed to rename file %s to %s", aside.c_str(),
                     record.m_TargetPath.c_str());
        return false;
    }
    log->Log(LP_INFO, kFilesModule, kMove, u"Successfully moved file %s to %s.",
             record.m_TemporaryPath.c_str(), record.m_TargetPath.c_str());
    record.m_bCommitted = true;
    if (DeleteFileW(aside.c_str()))
        return true;
    if (MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        needsReboot = true;
    else
        log->Log(LP_WARNING, kFilesModule, kRenameLocked, u"Failed to delete file using MoveFileEx: %s",
                 aside.c_str());
    return true;
}

} // namespace JxSetup::Data
