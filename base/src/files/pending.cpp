// The list of file operations Windows carries out at the next restart, as the engine reads it.
#include <cstring>

#include "jxbase/files.h"
#include "jxplat/text.h"

namespace {

const WCHAR* const kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const WCHAR* const kPendingRenames = u"PendingFileRenameOperations";

} // namespace

std::vector<std::u16string> GetPendingFileRenameOperations(DWORD maxBytes) {
    std::vector<std::u16string> pieces;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return pieces;
    DWORD size = 0;
    DWORD type = 0;
    LSTATUS status = RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    if (status == ERROR_SUCCESS && size > 0)
        status = RegQueryValueExW(key, kPendingRenames, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size <= 1)
        return pieces;
    if (maxBytes != 0 && size > maxBytes)
        size = maxBytes;
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(char16_t));
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find(u'\0', begin);
        pieces.push_back(text.substr(begin, end == std::u16string::npos ? end : end - begin));
        if (end == std::u16string::npos)
            break;
        begin = end + 1;
    }
    return pieces;
}

std::vector<std::pair<std::u16string, std::u16string>> GetRestartFileOperations() {
    const auto bare = [](std::u16string_view path) {
        if (!path.empty() && path.front() == u'!')
            path.remove_prefix(1);
        if (path.substr(0, 4) == u"\\??\\")
            path.remove_prefix(4);
        return std::u16string(path);
    };
    std::vector<std::pair<std::u16string, std::u16string>> operations;
    const std::vector<std::u16string> pieces = GetPendingFileRenameOperations();
    for (size_t i = 0; i + 1 < pieces.size(); i += 2)
        if (!pieces[i].empty())
            operations.emplace_back(bare(pieces[i]), bare(pieces[i + 1]));
    return operations;
}
