// Windows paths and host paths: drive letters live below the machine root ("C:" is drive_c),
// the host itself is drive Z:, names match ignoring case as on Windows.
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "core/dircache.h"
#include "core/paths.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"

namespace jxplat {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool EntryExists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool EntryExists(const std::string& path, CHostEntry& entry) {
    if (::lstat(path.c_str(), &entry.status) != 0)
        return false;
    entry.known = CHostEntry::EKnown::Present;
    return true;
}

// Appends one name to a host folder, taking the existing entry's own case when one matches.
std::string JoinMatchingCase(const std::string& folder, const std::u16string& name) {
    const std::string exact = folder + "/" + jxtext::Utf16ToUtf8(name);
    if (EntryExists(exact))
        return exact;
    struct stat status {};
    if (::stat(folder.empty() ? "/" : folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return exact;
    const std::optional<std::string> own = FindNameIgnoringCase(folder, status, name);
    return own ? folder + "/" + *own : exact;
}

// The common cases cost one or two lookups: the path exists as written, or only its last name is
// missing or spelt in another case. Paths with "." or ".." take the walk name by name.
bool TryDirectMapping(const std::string& base, std::u16string_view rest, std::string& host,
                      CHostEntry& entry) {
    std::vector<std::u16string> names;
    std::u16string name;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || rest[i] == u'\\' || rest[i] == u'/') {
            if (name == u"." || name == u"..")
                return false;
            if (!name.empty())
                names.push_back(std::move(name));
            name.clear();
        } else
            name += rest[i];
    }
    if (names.empty())
        return false;
    std::string parent = base;
    for (size_t i = 0; i + 1 < names.size(); ++i)
        parent += "/" + jxtext::Utf16ToUtf8(names[i]);
    const std::string exact = parent + "/" + jxtext::Utf16ToUtf8(names.back());
    if (EntryExists(exact, entry)) {
        host = exact;
        return true;
    }
    const bool missing = errno == ENOENT;
    struct stat status {};
    if (::stat(parent.empty() ? "/" : parent.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    const std::optional<std::string> own = FindNameIgnoringCase(parent, status, names.back());
    host = own ? parent + "/" + *own : exact;
    // No entry of the folder matches in any case: the name is missing from a folder that exists.
    if (!own && missing)
        entry.known = CHostEntry::EKnown::Missing;
    return true;
}

} // namespace

std::string WindowsToHostPath(std::u16string_view path) {
    CHostEntry entry;
    return WindowsToHostPath(path, entry);
}

std::string WindowsToHostPath(std::u16string_view path, CHostEntry& entry) {
    entry = CHostEntry();
    // Long-path prefix "\\?\" is dropped; device paths ("\\.\") have no host file.
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == u'?' &&
        IsSeparator(path[3]))
        path.remove_prefix(4);
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
        return "";
    std::string host;
    size_t start = 0;
    if (path.size() >= 2 && path[1] == u':') {
        char16_t drive = jxtext::ToLowerChar(path[0]);
        if (drive < u'a' || drive > u'z')
            return "";
        host = drive == u'z' ? "" : MachineRoot() + "/drive_" + static_cast<char>(drive);
        start = 2;
    } else if (!path.empty() && IsSeparator(path[0])) {
        // A rooted path without a drive is on the system drive.
        host = MachineRoot() + "/drive_c";
    } else {
        // Relative: relative to the current folder of the process.
        std::string rel;
        for (char16_t c : path)
            rel += c == u'\\' ? std::string("/") : jxtext::Utf16ToUtf8(std::u16string(1, c));
        return rel;
    }
    bool onHost = host.empty();
    std::string direct;
    if (TryDirectMapping(host, path.substr(start), direct, entry))
        return direct;
    std::u16string name;
    auto flush = [&]() {
        if (name.empty() || name == u".")
            ;
        else if (name == u"..") {
            auto pos = host.find_last_of('/');
            if (pos != std::string::npos && (onHost || pos >= MachineRoot().size() + 8))
                host.erase(pos);
        } else
            host = JoinMatchingCase(host, name);
        name.clear();
    };
    for (size_t i = start; i < path.size(); ++i) {
        if (IsSeparator(path[i]))
            flush();
        else
            name += path[i];
    }
    flush();
    if (host.empty())
        host = onHost ? "/" : host;
    return host;
}

std::u16string HostToWindowsPath(const std::string& hostPath) {
    std::string absolute = std::filesystem::absolute(hostPath).lexically_normal().string();
    const std::string& root = MachineRoot();
    std::string prefix = root + "/drive_";
    if (absolute.size() >= prefix.size() + 1 && absolute.compare(0, prefix.size(), prefix) == 0 &&
        (absolute.size() == prefix.size() + 1 || absolute[prefix.size() + 1] == '/')) {
        std::u16string out(1, jxtext::ToUpperChar(static_cast<char16_t>(absolute[prefix.size()])));
        out += u":";
        std::string rest = absolute.substr(prefix.size() + 1);
        if (rest.empty())
            rest = "/";
        for (char& c : rest)
            if (c == '/')
                c = '\\';
        return out + jxtext::Utf8ToUtf16(rest);
    }
    std::string rest = absolute;
    for (char& c : rest)
        if (c == '/')
            c = '\\';
    return u"Z:" + jxtext::Utf8ToUtf16(rest);
}

} // namespace jxplat
