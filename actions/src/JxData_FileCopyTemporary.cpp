// CopyFiles: one temporary copy, extracted from the packages beside its target, and the folders
// made for it.
#include "JxData_Files.h"

#include <vector>

#include "jxbase/wow64guard.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kExecute = u"JxSetup::Data::JxData::executeTemporaryCopyActions";
const WCHAR* const kPrepare = u"JxSetup::Data::JxData::prepareDestinationDir";

} // namespace

void JxData::_copy_Fail(const std::u16string& messageKey, const std::u16string& detail) {
    JxSequenceData& sequence = m_SequenceData;
    if (!sequence.m_bFailure) {
        sequence.m_Error = JxErrorInfo();
        sequence.m_Error.m_Title = u"[PRODUCTNAME]";
        sequence.m_Error.m_Message = messageKey;
        sequence.m_Error.m_ActionName = m_FileActionState->m_Action.m_Name;
        sequence.m_Error.m_Description = detail;
    }
    sequence.m_bFailure = true;
    sequence.m_bRollback = true;
}

bool JxData::_files_PrepareDestinationDir(const std::u16string& path, bool is64Bit) {
    if (path.empty()) {
        GetLog()->Log(LP_WARNING, kFilesModule, kPrepare, u"Empty path!");
        return true;
    }
    const std::u16string parent = JxFile::GetPathPart(path);
    if (!IsResolvedFolder(parent) || _files_IsFolder(parent))
        return true;
    // The missing levels, deepest first; the walk stops at the first folder that exists and never
    // reaches the volume's root.
    std::vector<std::u16string> missing;
    for (std::u16string folder = parent; IsResolvedFolder(folder); folder = JxFile::GetPathPart(folder)) {
        if (_files_IsFolder(folder))
            break;
        missing.push_back(folder);
    }
    // Each level made here is recorded, so that only folders this run made are ever removed again;
    // one that appeared meanwhile (ERROR_ALREADY_EXISTS) was not made by this run.
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        if (CreateDirectoryW(level->c_str(), nullptr)) {
            m_FileActionState->m_CreatedFolders.push_back(JxFileCreatedFolder{*level, is64Bit});
            continue;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS && _files_IsFolder(*level))
            continue;
        GetLog()->Log(LP_WARNING, kFilesModule, kPrepare, u"Failed to create folder %s (%lu).",
                      level->c_str(), static_cast<unsigned long>(error));
        return false;
    }
    return true;
}

void JxData::_copy_ExecuteTemporary(JxFileCopyRecord& record) {
    CWow64FsRedirectionGuard redirection(record.m_b64Bit);
    JxLog* log = GetLog();
    if (!_files_PrepareDestinationDir(record.m_TemporaryPath, record.m_b64Bit)) {
        log->Log(LP_ERROR, kFilesModule, kExecute, u"Failed to create contained folder: %s",
                 record.m_TemporaryPath.c_str());
        _copy_Fail(u"[ERR_CREATE_FOLDER]", u"Failed to create contained folder: " + record.m_TemporaryPath);
        return;
    }
    const bool mounted = IsFileMountedInVfs(record.m_SourcePath);
    const long long size = record.m_SourceSize;
    log->Log(LP_INFO, kFilesModule, kExecute, u"File: %s => Size: %I64d", record.m_SourcePath.c_str(), size);
    // A temporary copy left by an earlier run that ended early is never committed by this one.
    if (_files_Exists(record.m_TemporaryPath) && !_files_DeleteFile(record.m_TemporaryPath))
        log->Log(LP_WARNING, kFilesModule, kExecute, u"Failed to delete file: %s",
                 record.m_TemporaryPath.c_str());
    if (!mounted) {
        log->Log(LP_WARNING, kFilesModule, kExecute,
                 u"File %s is not in the mounted packages; nothing is copied.", record.m_SourcePath.c_str());
        return;
    }
    // An empty file is a file too: it is extracted like any other.
    if (!ExtractFileTo(record.m_SourcePath, record.m_TemporaryPath)) {
        log->Log(LP_ERROR, kFilesModule, kExecute, u"Failed to extract file: %s",
                 record.m_TemporaryPath.c_str());
        _copy_Fail(u"[ERR_COPY_FILE]", u"Failed to extract file: " + record.m_TemporaryPath);
        return;
    }
    if (m_FileActionState->m_HookForTesting)
        m_FileActionState->m_HookForTesting("extracted");
}

} // namespace JxSetup::Data
