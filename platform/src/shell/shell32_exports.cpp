// What GetProcAddress finds in the built-in "Shell32.dll".
#include <cstring>

#include "jxplat/machine.h"
#include "jxplat/shlobj.h"
#include "kernel/modules.h"

namespace jxplat {

FARPROC FindShell32Export(const char* name) {
    // Export names are case-sensitive, as on Windows. Windows before Vista had no known folders.
    if (std::strcmp(name, "SHGetKnownFolderPath") == 0 && Machine().windowsMajor >= 6)
        return reinterpret_cast<FARPROC>(&SHGetKnownFolderPath);
    if (std::strcmp(name, "SHGetFolderPathW") == 0)
        return reinterpret_cast<FARPROC>(&SHGetFolderPathW);
    return nullptr;
}

} // namespace jxplat
