// Program groups of the product's shortcuts: an emptied group goes with its last link.
#include "JxFile_ShortcutGroups.h"

#include <vector>

#include <windows.h>

#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

bool _lnk_IsDotName(const WCHAR* name) {
    return (name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0);
}

} // namespace

bool _lnk_FolderIsEmpty(const std::u16string& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(JxFile::CombinePath(folder, u"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool empty = true;
    do
        empty = _lnk_IsDotName(found.cFileName);
    while (empty && FindNextFileW(search, &found));
    FindClose(search);
    return empty;
}

void _lnk_RemoveEmptiedGroups(const std::u16string& shellFolder, const std::u16string& linkName,
                              const char16_t* context) {
    // The folders of the name, outermost first; a name that leaves the shell folder names none.
    const std::u16string relative = JxFile::GetPathPart(linkName);
    if (relative.empty() || !IsPathInsideFolder(JxFile::RemoveTrailingBackslash(relative)))
        return;
    std::vector<std::u16string> folders;
    std::u16string folder = shellFolder;
    for (const std::u16string& part : jxtext::Split(JxFile::RemoveTrailingBackslash(relative), u'\\')) {
        folder = JxFile::CombinePath(folder, part);
        folders.push_back(folder);
    }
    if (!jxtext::MatchesWildcard(JxFile::GetFilePart(folders.front()), kProductGroupPattern))
        return;
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        const DWORD attributes = GetFileAttributesW(it->c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue; // gone already; its parent may be empty now
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !_lnk_FolderIsEmpty(*it))
            return;
        Instance()->Log(LP_INFO, u"lib", context, u"Program group %s is empty, deleting it.", it->c_str());
        if (!JxFile::DeleteEmptyDir(*it))
            return;
    }
}

} // namespace JxSetup::Data
