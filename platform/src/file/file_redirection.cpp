// File-system redirection of the 32-bit engine on 64-bit Windows: C:\Windows\System32 is
// C:\Windows\SysWOW64 (except the folders Windows shares between both), and C:\Windows\Sysnative
// is the real System32, until the thread switches redirection off.
#include <vector>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

namespace jxplat {
namespace {

thread_local bool t_redirectionDisabled = false;

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

struct CComponent {
    size_t start;
    size_t length;
};

// Folders below System32 that both views share.
bool IsShared(std::u16string_view name, const std::vector<CComponent>& parts) {
    if (parts.size() < 3)
        return false;
    auto part = [&](size_t i) { return name.substr(parts[i].start, parts[i].length); };
    for (std::u16string_view shared : {u"catroot", u"catroot2", u"logfiles", u"spool"}) {
        if (jxtext::EqualsNoCase(part(2), shared))
            return true;
    }
    return parts.size() >= 4 && jxtext::EqualsNoCase(part(2), u"drivers") &&
           jxtext::EqualsNoCase(part(3), u"etc");
}

} // namespace

bool FileSystemRedirectionActive() {
    return Machine().is64Bit && !t_redirectionDisabled;
}

std::u16string RedirectedFileName(std::u16string_view name) {
    std::u16string out(name);
    if (!FileSystemRedirectionActive())
        return out;
    size_t at = 0;
    if (name.size() >= 4 && IsSeparator(name[0]) && IsSeparator(name[1]) && name[2] == u'?' &&
        IsSeparator(name[3]))
        at = 4;
    if (name.size() >= at + 2 && name[at + 1] == u':') {
        if (jxtext::ToUpperChar(name[at]) != u'C')
            return out;
        at += 2;
    } else if (at == 0 && (name.empty() || !IsSeparator(name[0]))) {
        return out; // relative to the current folder: not a path of the Windows folder
    }
    std::vector<CComponent> parts;
    while (at < name.size() && parts.size() < 4) {
        while (at < name.size() && IsSeparator(name[at]))
            ++at;
        size_t end = at;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (end > at)
            parts.push_back({at, end - at});
        at = end;
    }
    if (parts.size() < 2 || !jxtext::EqualsNoCase(name.substr(parts[0].start, parts[0].length), u"Windows"))
        return out;
    std::u16string_view folder = name.substr(parts[1].start, parts[1].length);
    if (jxtext::EqualsNoCase(folder, u"System32") && !IsShared(name, parts))
        out.replace(parts[1].start, parts[1].length, u"SysWOW64");
    else if (jxtext::EqualsNoCase(folder, u"Sysnative"))
        out.replace(parts[1].start, parts[1].length, u"System32");
    return out;
}

} // namespace jxplat

using namespace jxplat;

BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    if (!Machine().is64Bit) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!oldValue) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *oldValue = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(t_redirectionDisabled));
    t_redirectionDisabled = true;
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(PVOID oldValue) {
    if (!Machine().is64Bit) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    t_redirectionDisabled = reinterpret_cast<ULONG_PTR>(oldValue) != 0;
    return TRUE;
}

BOOL IsWow64Process(HANDLE process, BOOL* wow64Process) {
    if (!wow64Process) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wow64Process = Machine().is64Bit ? TRUE : FALSE;
    return TRUE;
}
