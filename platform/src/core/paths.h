// What mapping a Windows name to its host path learns of that path on the way.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace jxplat {

// The host entry of a mapped name as the mapping saw it: present with its own status (a link not
// followed), missing from a folder that exists, or not known. It holds only within the call that
// mapped the name, so that this call need not ask the file system the same question again.
struct CHostEntry {
    enum class EKnown { Nothing, Present, Missing };
    EKnown known = EKnown::Nothing;
    struct stat status {};
};

// WindowsToHostPath, telling what it learnt of the mapped path's entry.
std::string WindowsToHostPath(std::u16string_view path, CHostEntry& entry);

} // namespace jxplat
