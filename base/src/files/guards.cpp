// The checks of paths and ids from input (see guards.h).
#include "jxbase/guards.h"

#include <vector>

#include "jxplat/text.h"

namespace {

constexpr size_t kGuidLength = 38;

bool _guard_IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool _guard_IsLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool _guard_IsHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The non-empty parts between separators (repeated separators count as one).
std::vector<std::u16string_view> _guard_Parts(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    size_t at = 0;
    while (at < path.size()) {
        while (at < path.size() && _guard_IsSeparator(path[at]))
            ++at;
        size_t end = at;
        while (end < path.size() && !_guard_IsSeparator(path[end]))
            ++end;
        if (end > at)
            parts.push_back(path.substr(at, end - at));
        at = end;
    }
    return parts;
}

// An absolute path: its root ("C:" or "\\server\share", as written) and the single segments below
// it. False for a relative path, a "\\?\" or "\\.\" path and a part that is not a single segment.
bool _guard_Split(std::u16string_view path, std::u16string_view& root,
                  std::vector<std::u16string_view>& parts) {
    if (path.size() >= 3 && _guard_IsLetter(path[0]) && path[1] == u':' && _guard_IsSeparator(path[2])) {
        root = path.substr(0, 2);
        parts = _guard_Parts(path.substr(3));
    } else if (path.size() >= 2 && _guard_IsSeparator(path[0]) && _guard_IsSeparator(path[1])) {
        // The server and the share make the root; "?" and "." would name a raw path or a device and
        // fail the segment test below.
        parts = _guard_Parts(path.substr(2));
        if (parts.size() < 2)
            return false;
        root = path.substr(0, static_cast<size_t>(parts[1].data() + parts[1].size() - path.data()));
    } else {
        return false;
    }
    for (std::u16string_view part : parts)
        if (!IsSinglePathSegment(part))
            return false;
    if (_guard_IsSeparator(root[0]))
        parts.erase(parts.begin(), parts.begin() + 2);
    return true;
}

bool _guard_SameRoot(std::u16string_view a, std::u16string_view b) {
    const std::vector<std::u16string_view> left = _guard_Parts(a), right = _guard_Parts(b);
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i)
        if (!jxtext::EqualsNoCase(left[i], right[i]))
            return false;
    return true;
}

} // namespace

bool IsGuidFormId(std::u16string_view id) {
    if (id.size() != kGuidLength || id.front() != u'{' || id.back() != u'}')
        return false;
    for (size_t i = 1; i + 1 < id.size(); ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? id[i] != u'-' : !_guard_IsHex(id[i]))
            return false;
    }
    return true;
}

bool IsSinglePathSegment(std::u16string_view name, bool allowWildcards) {
    if (name.empty() || name.back() == u'.' || name.back() == u' ')
        return false; // "." and ".." end in a dot
    for (char16_t c : name) {
        if (c < 0x20 || std::u16string_view(u"\\/:<>\"|").find(c) != std::u16string_view::npos)
            return false;
        if (!allowWildcards && (c == u'*' || c == u'?'))
            return false;
    }
    return true;
}

bool IsPlainFileName(std::u16string_view name) {
    if (!IsSinglePathSegment(name))
        return false;
    std::u16string base = jxtext::ToUpper(name.substr(0, name.find(u'.')));
    while (!base.empty() && base.back() == u' ')
        base.pop_back();
    for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (base == device)
            return false;
    return !(base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
             base[3] >= u'1' && base[3] <= u'9');
}

bool IsPathInsideFolder(std::u16string_view relativePath, bool lastIsPattern) {
    if (relativePath.empty() || _guard_IsSeparator(relativePath.front()))
        return false;
    const std::vector<std::u16string_view> parts = _guard_Parts(relativePath);
    for (size_t i = 0; i < parts.size(); ++i)
        if (!IsSinglePathSegment(parts[i], lastIsPattern && i + 1 == parts.size()))
            return false;
    return !parts.empty();
}

bool IsResolvedFolder(std::u16string_view folder) {
    std::u16string_view root;
    std::vector<std::u16string_view> parts;
    return _guard_Split(folder, root, parts) && !parts.empty();
}

bool IsExpandedFolder(std::u16string_view folder) {
    return IsResolvedFolder(folder) && folder.find(u'[') == std::u16string_view::npos;
}

bool IsLocalFolder(std::u16string_view folder) {
    if (!IsResolvedFolder(folder) || folder[1] != u':')
        return false;
    const std::u16string root{folder[0], u':', u'\\'};
    return GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
}

bool IsFolderBelow(std::u16string_view folder, std::u16string_view base) {
    std::u16string_view folderRoot, baseRoot;
    std::vector<std::u16string_view> folderParts, baseParts;
    if (!_guard_Split(folder, folderRoot, folderParts) || !_guard_Split(base, baseRoot, baseParts) ||
        folderParts.size() <= baseParts.size() || !_guard_SameRoot(folderRoot, baseRoot))
        return false;
    for (size_t i = 0; i < baseParts.size(); ++i)
        if (!jxtext::EqualsNoCase(folderParts[i], baseParts[i]))
            return false;
    return true;
}

bool IsFolderBelowWithoutLinks(std::u16string_view folder, std::u16string_view base) {
    if (!IsFolderBelow(folder, base))
        return false;
    std::u16string_view folderRoot, baseRoot;
    std::vector<std::u16string_view> folderParts, baseParts;
    _guard_Split(folder, folderRoot, folderParts);
    _guard_Split(base, baseRoot, baseParts);
    std::u16string path(folderRoot);
    for (size_t i = 0; i < folderParts.size(); ++i) {
        path += u'\\';
        path += folderParts[i];
        if (i < baseParts.size())
            continue;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
    }
    return true;
}
