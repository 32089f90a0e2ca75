// Empty-folder clean-up at the end of a run.
#include "jxactions/JxEmptyFolders.h"

#include <algorithm>
#include <vector>

#include "jxbase/guards.h"
#include "jxplat/fileapi.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kModule[] = u"lib";

bool _ef_Exists(const std::u16string& path) {
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool _ef_IsFolder(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The parent of a normalized folder; empty for a drive root.
std::u16string _ef_Parent(const std::u16string& folder) {
    if (!IsResolvedFolder(folder))
        return {};
    const size_t slash = folder.rfind(u'\\');
    if (slash == std::u16string::npos)
        return {};
    if (slash == 2 && folder[1] == u':')
        return folder.substr(0, 3);
    return folder.substr(0, slash);
}

bool _ef_InFoldedSet(const std::set<std::u16string>& folded, const std::u16string& path) {
    return folded.count(jxtext::Fold(path)) != 0;
}

// Whether the folder holds nothing but entries whose paths are in `allowed` (folded). Any other
// entry, a file, a folder or a link, stops the walk; links are listed, never entered. A folder
// that cannot be listed counts as holding something.
bool _ef_HoldsOnly(const std::u16string& folder, const std::set<std::u16string>& allowed) {
    const std::u16string pattern = folder + (folder.back() == u'\\' ? u"*" : u"\\*");
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool only = true;
    do {
        const std::u16string name(data.cFileName);
        if (name == u"." || name == u"..")
            continue;
        const std::u16string entry = folder + (folder.back() == u'\\' ? u"" : u"\\") + name;
        if (!_ef_InFoldedSet(allowed, entry)) {
            only = false;
            break;
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return only;
}

size_t _ef_Depth(const std::u16string& folder) {
    return static_cast<size_t>(std::count(folder.begin(), folder.end(), u'\\'));
}

} // namespace

std::u16string JxEmptyFolders::NormalizeFolder(std::u16string_view path) {
    std::u16string text(path);
    std::replace(text.begin(), text.end(), u'/', u'\\');
    if (text.size() < 3 || text[1] != u':' || text[2] != u'\\')
        return {};
    const bool letter = (text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z');
    if (!letter)
        return {};
    std::vector<std::u16string> parts;
    size_t start = 3;
    while (start <= text.size()) {
        size_t end = text.find(u'\\', start);
        if (end == std::u16string::npos)
            end = text.size();
        const std::u16string part = text.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::u16string result{jxtext::ToUpperChar(text[0]), u':', u'\\'};
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i != 0)
            result.push_back(u'\\');
        result += parts[i];
    }
    return result;
}

void JxEmptyFolders::AddFolder(const std::u16string& path) {
    constexpr WCHAR kContext[] = u"JxSetup::Data::CleanEmptyFolder::AddFolder";
    Instance()->Log(LOG_BEGIN, kModule, kContext, u"%s", path.c_str());
    // A folder written with ".", ".." or trailing dots could name a drive root or another tree.
    if (!path.empty() && !IsResolvedFolder(path)) {
        Instance()->Log(LOG_END, kModule, kContext,
                        u"Not an absolute, resolved folder below a root: never cleaned.");
        return;
    }
    AddToFolderSet(path, m_Sets.m_Folders);
    Instance()->Log(LOG_END, kModule, kContext, u"");
}

void JxEmptyFolders::AddFolderToBlackList(const std::u16string& path) {
    constexpr WCHAR kContext[] = u"JxSetup::Data::CleanEmptyFolder::AddFolderToBlackList";
    Instance()->Log(LOG_BEGIN, kModule, kContext, u"%s", path.c_str());
    AddToFolderSet(path, m_Sets.m_BlackList);
    Instance()->Log(LOG_END, kModule, kContext, u"");
}

bool JxEmptyFolders::AddToFolderSet(const std::u16string& path, std::set<std::u16string>& set) {
    constexpr WCHAR kContext[] = u"JxSetup::Data::CleanEmptyFolder::AddToFolderSet";
    Instance()->Log(LOG_BEGIN, kModule, kContext, u"%s", path.c_str());
    if (path.empty()) {
        Instance()->Log(LOG_END, kModule, kContext, u"parameter is empty");
        return false;
    }
    std::u16string folder = NormalizeFolder(path);
    if (folder.empty()) {
        Instance()->Log(LOG_END, kModule, kContext, u"Not an absolute path.");
        return false;
    }
    if (ContainsFolder(folder, set)) {
        Instance()->Log(LOG_END, kModule, kContext, u"Folder already added.");
        return false;
    }
    if (!_ef_Exists(folder)) {
        Instance()->Log(LOG_END, kModule, kContext, u"Folder not found.");
        return false;
    }
    if (!_ef_IsFolder(folder)) {
        folder = _ef_Parent(folder);
        Instance()->Log(LP_INFO, kModule, kContext, u"Removed filename from parameter: %s", folder.c_str());
        if (ContainsFolder(folder, set)) {
            Instance()->Log(LOG_END, kModule, kContext, u"Folder already added.");
            return false;
        }
    }
    Instance()->Log(LOG_END, kModule, kContext, u"Folder added: %s", folder.c_str());
    set.insert(folder);
    return true;
}

bool JxEmptyFolders::ContainsFolder(const std::u16string& path, const std::set<std::u16string>& set) {
    constexpr WCHAR kContext[] = u"JxSetup::Data::CleanEmptyFolder::ContainsFolder";
    Instance()->Log(LOG_BEGIN, kModule, kContext, u"%s", path.c_str());
    // By the file system's identity: another spelling of a listed folder, or a link to it, matches.
    const bool found = IsProtectedFolder(path, set);
    Instance()->Log(LOG_END, kModule, kContext, found ? u"true" : u"false");
    return found;
}

void JxEmptyFolders::CleanFolder() {
    constexpr WCHAR kContext[] = u"JxSetup::Data::CleanEmptyFolder::CleanFolder";
    Instance()->Log(LOG_BEGIN, kModule, kContext, u"");
    // Entries that do not count as "anything else" in a parent: the folders to clean and the
    // folders already chosen for deletion.
    std::set<std::u16string> allowed;
    for (const auto& folder : m_Sets.m_Folders)
        allowed.insert(jxtext::Fold(NormalizeFolder(folder)));
    std::vector<std::u16string> chosen;
    std::set<std::u16string> chosenFolded;
    for (const auto& start : m_Sets.m_Folders) {
        std::u16string folder = NormalizeFolder(start);
        bool first = true;
        while (!folder.empty()) {
            // A drive root is never removed: the walk ends below it.
            if (!IsResolvedFolder(folder) || ContainsFolder(folder, m_Sets.m_BlackList))
                break;
            if (!first && !_ef_HoldsOnly(folder, allowed))
                break;
            first = false;
            if (_ef_Exists(folder) && chosenFolded.insert(jxtext::Fold(folder)).second) {
                chosen.push_back(folder);
                allowed.insert(jxtext::Fold(folder));
            }
            folder = _ef_Parent(folder);
        }
    }
    // Windows carries the registrations out in order: a folder must come after its sub-folders.
    std::stable_sort(chosen.begin(), chosen.end(), [](const std::u16string& a, const std::u16string& b) {
        return _ef_Depth(a) > _ef_Depth(b);
    });
    for (const auto& folder : chosen) {
        Instance()->Log(LP_INFO, kModule, kContext, u"Clean empty folder after reboot: %s", folder.c_str());
        if (!MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            Instance()->Log(LP_ERROR, kModule, kContext, u"Failed to clean folder after reboot.");
    }
    Instance()->Log(LOG_END, kModule, kContext, u"");
}

} // namespace JxSetup::Data
