// Path texts, the existence test, the program's own path and writable string buffers.
#include <algorithm>

#include "jxbase/files.h"

std::u16string JoinFolderPath(const WCHAR* folder, std::u16string_view name) {
    std::u16string_view left = folder ? std::u16string_view(folder) : std::u16string_view();
    while (!left.empty() && (left.back() == u'\\' || left.back() == u'/'))
        left.remove_suffix(1);
    while (!name.empty() && (name.front() == u'\\' || name.front() == u'/'))
        name.remove_prefix(1);
    std::u16string joined(left);
    joined.push_back(u'\\');
    joined.append(name);
    return joined;
}

std::u16string GetFileNameFromPath(const std::u16string& path) {
    const WCHAR* name = PathFindFileNameW(path.c_str());
    if (!name)
        return std::u16string();
    return std::u16string(name);
}

bool FileExists(const std::u16string& path) {
    std::u16string unquoted(path);
    unquoted.erase(std::remove(unquoted.begin(), unquoted.end(), u'"'), unquoted.end());
    if (unquoted.empty())
        return false;
    WIN32_FIND_DATAW found{};
    HANDLE handle = FindFirstFileW(unquoted.c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FindClose(handle);
    return true;
}

std::u16string GetExecutablePath() {
    std::u16string path;
    const DWORD length = GetModuleFileNameW(nullptr, GetStringBuffer(path, MAX_PATH), MAX_PATH);
    ReleaseStringBuffer(path, static_cast<long long>(std::min<DWORD>(length, MAX_PATH)));
    return path;
}

WCHAR* GetStringBuffer(std::u16string& text, size_t length) {
    text.resize(length, u'\0');
    return text.data();
}

void ReleaseStringBuffer(std::u16string& text, long long length) {
    if (length < 0) {
        const size_t zero = text.find(u'\0');
        if (zero != std::u16string::npos)
            text.resize(zero);
        return;
    }
    text.resize(static_cast<size_t>(length), u'\0');
}
