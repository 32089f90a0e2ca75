// SHCreateDirectoryExW: a folder with every missing parent, through the file calls (so redirection
// and the mapping of drives apply as they do to CreateDirectoryW).
#include <string>
#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/shlobj.h"
#include "jxplat/winerror.h"

namespace {

bool _shell_IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool _shell_IsAbsolute(std::u16string_view path) {
    if (path.size() >= 3 && path[1] == u':' && _shell_IsSeparator(path[2]))
        return true;
    return path.size() >= 2 && _shell_IsSeparator(path[0]) && _shell_IsSeparator(path[1]);
}

} // namespace

int SHCreateDirectoryExW(HWND, LPCWSTR path, const SECURITY_ATTRIBUTES*) {
    if (!path || !_shell_IsAbsolute(path)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return ERROR_BAD_PATHNAME;
    }
    std::u16string full(path);
    while (full.size() > 3 && _shell_IsSeparator(full.back()))
        full.pop_back();
    if (full.size() >= MAX_PATH - 12) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return ERROR_FILENAME_EXCED_RANGE;
    }
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const int error = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
        SetLastError(static_cast<DWORD>(error));
        return error;
    }
    // The folders from the first missing one down to the wanted one.
    std::vector<std::u16string> missing;
    std::u16string current = full;
    while (GetFileAttributesW(current.c_str()) == INVALID_FILE_ATTRIBUTES) {
        missing.push_back(current);
        const size_t separator = current.find_last_of(u"\\/");
        if (separator == std::u16string::npos || separator < 3)
            break;
        current.resize(separator);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!CreateDirectoryW(it->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            const DWORD error = GetLastError();
            return static_cast<int>(error);
        }
    }
    SetLastError(ERROR_SUCCESS);
    return ERROR_SUCCESS;
}
