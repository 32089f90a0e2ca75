// Disk steps of the package operations: listings and joins.
#include <algorithm>

#include "JxData_Packages.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

} // namespace

std::vector<CPkgDiskFile> _pkg_ListFiles(const std::u16string& folder, const std::u16string& pattern) {
    std::vector<CPkgDiskFile> files;
    WIN32_FIND_DATAW data = {};
    HANDLE search = FindFirstFileW(_pkg_Join(folder, pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        files.push_back({_pkg_Join(folder, data.cFileName), data.ftLastWriteTime});
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return files;
}

bool _pkg_FileExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::u16string _pkg_Join(const std::u16string& folder, const std::u16string& name) {
    size_t start = 0;
    while (start < name.size() && IsSeparator(name[start]))
        ++start;
    std::u16string joined = folder;
    while (!joined.empty() && IsSeparator(joined.back()))
        joined.pop_back();
    if (start == name.size())
        return joined.empty() ? folder : joined + u"\\";
    if (joined.empty())
        return name.substr(start);
    return joined + u"\\" + name.substr(start);
}

} // namespace JxSetup::Data
