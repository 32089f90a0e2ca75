// Folder texts that no delete, move or recursive operation may ever act on, as a definition, a
// property, the command line or the registry could hand them over: roots written every way,
// relative folders, "." and ".." parts that resolve to a root or another tree, trailing dots and
// blanks that Windows drops, raw and device paths, and unexpanded properties. Every public
// operation that deletes runs its refusal table over this list (header only).
#pragma once

#include <string>
#include <vector>

namespace jxtest {

inline const std::vector<std::u16string>& HostileFolders() {
    static const std::vector<std::u16string> folders = {
        u"",
        u" ",
        u".",
        u"..",
        u"relative",
        u"relative\\x",
        u"C:",
        u"C:x",
        u"C:\\",
        u"C:\\\\",
        u"C:/",
        u"C:\\.",
        u"C:\\..",
        u"C:\\x\\..",
        u"C:\\x\\.\\..",
        u"C:\\x\\..\\.",
        u"C:\\x\\. ",
        u"C:\\x\\.. ",
        u"C:\\x\\...",
        u"C:\\x.",
        u"C:\\x ",
        u"\\x",
        u"\\\\?\\C:\\",
        u"\\\\?\\C:\\x",
        u"\\\\.\\C:",
        u"\\\\server",
        u"\\\\server\\share",
        u"\\\\server\\share\\..",
        u"[Unset]",
        u"[Unset]\\x",
    };
    return folders;
}

} // namespace jxtest
