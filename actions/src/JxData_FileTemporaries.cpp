// The engine's own temporary copies that a run ended half-way left beside their targets.
#include <set>

#include "JxData_Files.h"
#include "JxData_RemoveFiles.h"
#include "jxbase/files.h"
#include "jxbase/guards.h"

namespace JxSetup::Data {

void _files_RemoveLeftTemporaries(const std::u16string& folder, const std::u16string& name, bool keepWaiting,
                                  const WCHAR* context) {
    JxLog* log = Instance();
    if (name.empty() || name.find(u'[') != std::u16string::npos)
        return;
    const std::u16string pattern = JoinFolderPath(folder.c_str(), name + kTemporaryCopySuffix);
    const std::u16string where = JxFile::GetPathPart(pattern);
    if (!IsResolvedFolder(folder) || !IsResolvedFolder(where))
        return;
    std::set<std::u16string> waiting;
    if (keepWaiting)
        for (const auto& [source, target] : GetRestartFileOperations())
            if (!target.empty())
                waiting.insert(jxtext::Fold(source));
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::u16string path = JoinFolderPath(where.c_str(), found.cFileName);
        // Only the engine's names: the pattern may match more than "<target>.jxtmp" ("*" does).
        if (!jxtext::EndsWithNoCase(path, kTemporaryCopySuffix))
            continue;
        if (waiting.count(jxtext::Fold(path))) {
            log->Log(LP_INFO, kFilesModule, context, u"Temporary copy %s waits for the restart.",
                     path.c_str());
            continue;
        }
        if (_files_DeleteFile(path))
            log->Log(LP_INFO, kFilesModule, context, u"Left temporary copy %s deleted.", path.c_str());
        else
            log->Log(LP_WARNING, kFilesModule, context,
                     u"Failed to delete the left temporary copy %s. Errorcode: %d", path.c_str(),
                     static_cast<int>(GetLastError()));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace JxSetup::Data
