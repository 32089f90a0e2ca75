// Disk steps of the package operations: listings, joins and replacing a file by another.
#include <algorithm>

#include "JxData_Packages.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// Closes a file handle at the end of its scope.
struct CPkgHandle {
    HANDLE handle;
    ~CPkgHandle() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

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

// The stand-in has no MoveFileExW yet: the content and times are written over the target, then the
// source is deleted. A target that is open elsewhere without sharing fails the move.
bool _pkg_MoveReplacing(const std::u16string& from, const std::u16string& to) {
    FILETIME created = {}, accessed = {}, written = {};
    {
        CPkgHandle source{CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (source.handle == INVALID_HANDLE_VALUE)
            return false;
        CPkgHandle target{CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (target.handle == INVALID_HANDLE_VALUE)
            return false;
        std::vector<BYTE> buffer(1 << 16);
        for (;;) {
            DWORD got = 0, put = 0;
            if (!ReadFile(source.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
                return false;
            if (got == 0)
                break;
            if (!WriteFile(target.handle, buffer.data(), got, &put, nullptr) || put != got)
                return false;
        }
        GetFileTime(source.handle, &created, &accessed, &written);
        SetFileTime(target.handle, &created, &accessed, &written);
    }
    return DeleteFileW(from.c_str()) != FALSE;
}

} // namespace JxSetup::Data
