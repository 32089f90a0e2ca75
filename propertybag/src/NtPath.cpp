// NT-to-DOS path conversion.
#include "jxpropertybag/NtPath.h"
#include "jxplat/text.h"
#include "jxpropertybag/CCacheMap.h"
#include "jxpropertybag/CFastTree.h"
#include "jxpropertybag/DriverConnection.h"

namespace {

bool _nt_StartsNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && jxtext::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// A redirector path "\;X:<logon id>\server\share\path": the drive part joined
// with the text from the first backslash after a ":" (the third backslash when
// no ":" comes first), so that server and share stay.
std::u16string _nt_ReduceRedirector(std::u16string_view rest) {
    size_t cut = std::u16string_view::npos;
    const size_t colon = rest.find(u':');
    if (colon != std::u16string_view::npos)
        cut = rest.find(u'\\', colon);
    if (colon == std::u16string_view::npos || cut == std::u16string_view::npos) {
        cut = 0;
        for (int i = 0; i < 3 && cut != std::u16string_view::npos; ++i)
            cut = rest.find(u'\\', i == 0 ? 0 : cut + 1);
    }
    if (cut == std::u16string_view::npos)
        return std::u16string(rest);
    const size_t drive = rest.size() > 1 && rest[1] == u':' ? 2 : 1;
    return std::u16string(rest.substr(0, drive)) + std::u16string(rest.substr(cut));
}

bool _nt_PrefixRules(std::u16string_view path, std::u16string& out) {
    if (path.size() >= 9 && _nt_StartsNoCase(path, u"\\??\\UNC\\")) {
        out = u"\\" + std::u16string(path.substr(7));
        return true;
    }
    if (path.size() >= 13 && _nt_StartsNoCase(path, u"\\device\\mup\\")) {
        out = u"\\" + std::u16string(path.substr(11));
        const std::u16string_view redirector = u"\\\\;lanmanredirector\\;";
        if (out.size() > redirector.size() && _nt_StartsNoCase(out, redirector))
            out = _nt_ReduceRedirector(std::u16string_view(out).substr(redirector.size()));
        return true;
    }
    if (path.size() >= 26 && _nt_StartsNoCase(path, u"\\device\\lanmanredirector\\")) {
        out = u"\\" + std::u16string(path.substr(24));
        return true;
    }
    if (path.size() >= 7 && path[5] == u':' &&
        (path.substr(0, 4) == u"\\??\\" || path.substr(0, 4) == u"\\\\?\\")) {
        out = std::u16string(path.substr(4));
        return true;
    }
    return false;
}

bool _nt_Exists(const std::u16string& candidate) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(candidate.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

std::u16string _nt_Fallbacks(std::u16string_view path, const std::u16string& windows) {
    if ((path.size() > 4 && path.substr(0, 4) == u"\\??\\") || path.substr(0, 4) == u"\\\\?\\")
        return std::u16string(path.substr(4));
    if (path.size() >= 10 && _nt_StartsNoCase(path, u"\\Windows\\"))
        return windows + std::u16string(path.substr(9));
    if (path.size() >= 13 && _nt_StartsNoCase(path, u"\\DosDevices\\"))
        return std::u16string(path.substr(12));
    if (path.size() >= 13 && _nt_StartsNoCase(path, u"\\SystemRoot\\"))
        return windows + std::u16string(path.substr(12));
    if (path.size() >= 10 && _nt_StartsNoCase(path, u"System32\\"))
        return windows + std::u16string(path);
    if (path.empty() || path[0] != u'\\' || (path.size() > 1 && path[1] == u'\\'))
        return std::u16string(path);
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if ((drives & (1u << letter)) == 0)
            continue;
        const std::u16string drive = {static_cast<char16_t>(u'A' + letter), u':'};
        const UINT type = GetDriveTypeW(drive.c_str());
        if (type != DRIVE_FIXED && type != DRIVE_RAMDISK)
            continue;
        if (_nt_StartsNoCase(path, u"\\Device\\")) {
            const size_t slash = path.find(u'\\', 8);
            if (slash != std::u16string_view::npos && _nt_Exists(drive + std::u16string(path.substr(slash))))
                return drive + std::u16string(path.substr(slash));
        }
        if (_nt_Exists(drive + std::u16string(path)))
            return drive + std::u16string(path);
    }
    return std::u16string(path);
}

} // namespace

void ConvertNtPathToDosPath(const WCHAR* ntPath, std::u16string& dosPath) {
    dosPath.clear();
    DriverConnectionRegistry& registry = DriverConnectionRegistry::Instance();
    // The shared lock keeps the last disconnection from freeing the members while
    // they are used.
    CSharedMutexHold hold(registry.Mutex(), false);
    const std::u16string_view path = ntPath ? std::u16string_view(ntPath) : std::u16string_view();
    auto getDosName = reinterpret_cast<PFN_FilterGetDosName>(registry.FilterGetDosNameFunction());
    if (!getDosName && !path.empty()) {
        dosPath = path;
        return;
    }
    const std::u16string windows = registry.WindowsDirectory();
    CCacheMap* volumes = registry.VolumeCache();
    if (path.empty())
        return;
    if (_nt_PrefixRules(path, dosPath))
        return;
    if (getDosName) {
        if (++registry.PathCallCounter() % 10 == 0)
            volumes->Purge();
        size_t third = 0;
        for (int i = 0; i < 3 && third != std::u16string_view::npos; ++i)
            third = path.find(u'\\', i == 0 ? 0 : third + 1);
        const std::u16string volume(path.substr(0, third));
        const std::u16string rest =
            third == std::u16string_view::npos ? u"" : std::u16string(path.substr(third));
        std::u16string dosName;
        if (!volumes->Lookup(volume.c_str(), dosName)) {
            WCHAR buffer[256] = {};
            if (SUCCEEDED(getDosName(volume.c_str(), buffer, 256)) && buffer[0]) {
                dosName = buffer;
                volumes->Insert(volume.c_str(), dosName);
            }
        }
        if (!dosName.empty()) {
            dosPath = dosName + rest;
            return;
        }
    }
    dosPath = _nt_Fallbacks(path, windows);
}
