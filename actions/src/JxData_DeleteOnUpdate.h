// Shared steps of the deletions that follow an update (JxData_DeleteOnUpdate.cpp,
// JxData_ResourceFiles.cpp): where a row's file lies in one language, and the deletion of one file.
#pragma once

#include <string>
#include <unordered_set>

#include "JxData_Files.h"

namespace JxSetup::Data {

// A file to delete: the folder of its row and the full path (the row's name may add folders).
struct JxDeleteTarget {
    std::u16string m_Folder;
    std::u16string m_Path;
};

class CUpdateFileDeleter {
public:
    CUpdateFileDeleter(JxData& data, const WCHAR* context);

    // The row's file in one language (empty: the current one): in the row's "targetdir" for a
    // delete row that has one, else in the component's folder; "[ISOLANG]" becomes the language
    // before both are expanded for it.
    JxDeleteTarget GetDeletePath(const JxFile& row, const JxComponent& component, std::u16string language);

    // Deletes one file now, or at the next reboot when it cannot go now (asking for a restart
    // only with rebootOnDelay). A path with "*" is left alone without a word; one whose folder is
    // not safe, or that names a folder or a file this run copied, is kept with a log line.
    void Delete(const JxDeleteTarget& target, bool is64Bit, bool rebootOnDelay, bool renameIfLocked);

private:
    bool _delete_IsRefused(const JxDeleteTarget& target);

    JxData& m_Data;
    const WCHAR* m_Context;
    // Folded targets of this run's copies: the commit ran before, so these hold the new files.
    std::unordered_set<std::u16string> m_CopiedTargets;
};

} // namespace JxSetup::Data
