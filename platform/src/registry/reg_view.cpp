// The 32-bit registry view: the table of keys Windows 10 shares between the views, and the
// mapping of key paths.
#include "registry/reg_view.h"

#include "jxplat/text.h"

namespace jxplat::registry {

namespace {

constexpr char16_t kRegWow64Node[] = u"WOW6432Node";

// Keys below HKLM\SOFTWARE that both views share (Windows 10).
constexpr const char16_t* kRegSharedKeys[] = {
    u"Classes",
    u"Clients",
    u"Microsoft\\COM3",
    u"Microsoft\\Cryptography\\Calais\\Current",
    u"Microsoft\\Cryptography\\Calais\\Readers",
    u"Microsoft\\Cryptography\\Services",
    u"Microsoft\\CTF\\SystemShared",
    u"Microsoft\\CTF\\TIP",
    u"Microsoft\\DFS",
    u"Microsoft\\Driver Signing",
    u"Microsoft\\EnterpriseCertificates",
    u"Microsoft\\EventSystem",
    u"Microsoft\\MSMQ",
    u"Microsoft\\Non-Driver Signing",
    u"Microsoft\\Notepad\\DefaultFonts",
    u"Microsoft\\OLE",
    u"Microsoft\\RAS",
    u"Microsoft\\RPC",
    u"Microsoft\\Shared Tools\\MSInfo",
    u"Microsoft\\SystemCertificates",
    u"Microsoft\\TermServLicensing",
    u"Microsoft\\Transaction Server",
    u"Microsoft\\Windows\\CurrentVersion\\App Paths",
    u"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    u"Microsoft\\Windows\\CurrentVersion\\Group Policy",
    u"Microsoft\\Windows\\CurrentVersion\\Policies",
    u"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Setup",
    u"Microsoft\\Windows\\CurrentVersion\\Telephony",
    u"Microsoft\\Windows NT\\CurrentVersion\\Console",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    u"Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    u"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    u"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    u"Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    u"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    u"Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    u"Microsoft\\Windows NT\\CurrentVersion\\Ports",
    u"Microsoft\\Windows NT\\CurrentVersion\\Print",
    u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    u"Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    u"Policies",
    u"RegisteredApplications",
};

// Subkeys of a Classes key that the 32-bit view sees below Classes\WOW6432Node.
constexpr const char16_t* kRegRedirectedClasses[] = {
    u"CLSID", u"DirectShow", u"Interface", u"Media Type", u"MediaFoundation",
};

bool _RegSame(const std::u16string& a, std::u16string_view b) {
    return jxtext::EqualsNoCase(a, b);
}

// The shared keys as name lists.
const std::vector<CRegPath>& _RegSharedTable() {
    static const auto* table = [] {
        auto* paths = new std::vector<CRegPath>;
        for (const char16_t* key : kRegSharedKeys)
            paths->push_back(jxtext::Split(key, u'\\'));
        return paths;
    }();
    return *table;
}

// Whether path[from..] lies in (or is) one of the shared keys.
bool _RegIsShared(const CRegPath& path, size_t from) {
    for (const CRegPath& shared : _RegSharedTable()) {
        if (path.size() - from < shared.size())
            continue;
        bool match = true;
        for (size_t i = 0; i < shared.size() && match; ++i)
            match = _RegSame(path[from + i], shared[i]);
        if (match)
            return true;
    }
    return false;
}

// path[at] is the first name below a Classes key: its COM subkeys move below WOW6432Node.
CRegPath _RegMapClasses(const CRegPath& path, size_t at, RegView view) {
    if (view != RegView::Wow32 || path.size() <= at)
        return path;
    for (const char16_t* redirected : kRegRedirectedClasses) {
        if (_RegSame(path[at], redirected)) {
            CRegPath mapped(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(at));
            mapped.push_back(kRegWow64Node);
            mapped.insert(mapped.end(), path.begin() + static_cast<std::ptrdiff_t>(at), path.end());
            return mapped;
        }
    }
    return path;
}

CRegPath _RegMapMachine(const CRegPath& path, RegView view) {
    if (path.empty() || !_RegSame(path[0], u"SOFTWARE"))
        return path;
    if (path.size() >= 2 && _RegSame(path[1], kRegWow64Node)) {
        // Already the 32-bit tree. Its Classes key is a link to SOFTWARE\Classes\WOW6432Node.
        if (path.size() >= 3 && _RegSame(path[2], u"Classes")) {
            CRegPath mapped{path[0], path[2], path[1]};
            mapped.insert(mapped.end(), path.begin() + 3, path.end());
            return mapped;
        }
        return path;
    }
    if (view != RegView::Wow32)
        return path;
    if (path.size() >= 2 && _RegSame(path[1], u"Classes"))
        return _RegMapClasses(path, 2, view);
    if (path.size() >= 2 && _RegIsShared(path, 1))
        return path;
    CRegPath mapped{path[0], kRegWow64Node};
    mapped.insert(mapped.end(), path.begin() + 1, path.end());
    return mapped;
}

// HKEY_USERS\<SID>\Software\Classes has the same COM redirection; the rest of a user's hive is
// shared by both views.
CRegPath _RegMapUsers(const CRegPath& path, RegView view) {
    if (path.size() >= 3 && _RegSame(path[1], u"Software") && _RegSame(path[2], u"Classes"))
        return _RegMapClasses(path, 3, view);
    return path;
}

} // namespace

CRegPath RegMapView(RegHiveId hive, const CRegPath& path, RegView view) {
    if (view == RegView::Flat)
        return path;
    return hive == RegHiveId::Machine ? _RegMapMachine(path, view) : _RegMapUsers(path, view);
}

} // namespace jxplat::registry
