// The Windows environment of the process: the variables Windows sets from the machine (folders,
// computer and user names), then the host's environment for any other name; names match ignoring
// case. ExpandEnvironmentStringsW replaces "%NAME%" by the value and leaves unknown names as written.
#include <cstdlib>
#include <optional>

#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/shlobj.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/errhandling.h"

namespace {

std::u16string _env_Folder(int csidl) {
    WCHAR path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))
               ? std::u16string(path)
               : std::u16string();
}

std::optional<std::u16string> _env_MachineVariable(const std::u16string& name) {
    struct Entry {
        const char16_t* name;
        std::u16string (*value)();
    };
    static const Entry kEntries[] = {
        {u"SystemDrive", [] { return std::u16string(u"C:"); }},
        {u"SystemRoot", [] { return std::u16string(u"C:\\Windows"); }},
        {u"windir", [] { return std::u16string(u"C:\\Windows"); }},
        {u"ProgramFiles", [] { return _env_Folder(CSIDL_PROGRAM_FILES); }},
        {u"ProgramFiles(x86)",
         [] {
             return jxplat::Machine().is64Bit ? std::u16string(u"C:\\Program Files (x86)") : std::u16string();
         }},
        {u"ProgramW6432",
         [] { return jxplat::Machine().is64Bit ? std::u16string(u"C:\\Program Files") : std::u16string(); }},
        {u"CommonProgramFiles", [] { return _env_Folder(CSIDL_PROGRAM_FILES_COMMON); }},
        {u"ProgramData", [] { return _env_Folder(CSIDL_COMMON_APPDATA); }},
        {u"ALLUSERSPROFILE", [] { return _env_Folder(CSIDL_COMMON_APPDATA); }},
        {u"PUBLIC", [] { return std::u16string(u"C:\\Users\\Public"); }},
        {u"USERPROFILE", [] { return _env_Folder(CSIDL_PROFILE); }},
        {u"APPDATA", [] { return _env_Folder(CSIDL_APPDATA); }},
        {u"LOCALAPPDATA", [] { return _env_Folder(CSIDL_LOCAL_APPDATA); }},
        {u"HOMEDRIVE", [] { return std::u16string(u"C:"); }},
        {u"HOMEPATH", [] { return _env_Folder(CSIDL_PROFILE).substr(2); }},
        {u"TEMP", [] { return _env_Folder(CSIDL_LOCAL_APPDATA) + u"\\Temp"; }},
        {u"TMP", [] { return _env_Folder(CSIDL_LOCAL_APPDATA) + u"\\Temp"; }},
        {u"COMPUTERNAME", [] { return jxtext::Utf8ToUtf16(jxplat::Machine().computerName); }},
        {u"USERNAME", [] { return jxtext::Utf8ToUtf16(jxplat::Machine().user.name); }},
    };
    for (const Entry& entry : kEntries) {
        if (jxtext::EqualsNoCase(name, entry.name)) {
            std::u16string value = entry.value();
            if (value.empty())
                return std::nullopt; // not set on this machine
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> _env_Lookup(const std::u16string& name) {
    if (std::optional<std::u16string> value = _env_MachineVariable(name))
        return value;
    const std::string host = jxtext::Utf16ToUtf8(name);
    if (const char* value = std::getenv(host.c_str()))
        return jxtext::Utf8ToUtf16(value);
    return std::nullopt;
}

} // namespace

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
    if (!source) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string text(source);
    std::u16string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find(u'%', at);
        if (open == std::u16string::npos) {
            out.append(text, at, std::u16string::npos);
            break;
        }
        out.append(text, at, open - at);
        const size_t close = text.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            out.append(text, open, std::u16string::npos);
            break;
        }
        const std::u16string name = text.substr(open + 1, close - open - 1);
        const std::optional<std::u16string> value = name.empty() ? std::nullopt : _env_Lookup(name);
        if (value) {
            out += *value;
            at = close + 1;
        } else {
            // An unknown name stays as written; its closing "%" may open the next name.
            out.append(text, open, close - open);
            at = close;
        }
    }
    const DWORD needed = static_cast<DWORD>(out.size() + 1);
    if (destination && size >= needed) {
        out.copy(destination, out.size());
        destination[out.size()] = 0;
    }
    return needed;
}
