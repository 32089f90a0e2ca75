// Checks of the ids and folders that the uninstall entry's clean-up puts into paths.
#include "JxData_UninstallEntry.h"

#include <vector>

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

// An absolute path split into its root ("C:" or "\\server\share") and the folders below it.
struct CSplitPath {
    std::u16string root;
    std::vector<std::u16string> parts;
};

bool _cpl_Split(std::u16string path, CSplitPath& split) {
    for (char16_t& c : path)
        if (c == u'/')
            c = u'\\';
    std::vector<std::u16string> segments;
    size_t start = 0;
    const bool unc = path.rfind(u"\\\\", 0) == 0;
    const bool drive = path.size() >= 3 && path[1] == u':' && path[2] == u'\\' &&
                       ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
    if (!unc && !drive)
        return false;
    for (size_t end; start <= path.size(); start = end + 1) {
        end = path.find(u'\\', start);
        if (end == std::u16string::npos)
            end = path.size();
        if (end > start)
            segments.push_back(path.substr(start, end - start));
    }
    const size_t rootSegments = unc ? 2 : 1;
    if (segments.size() < rootSegments)
        return false;
    for (const std::u16string& segment : segments)
        if (segment == u"." || segment == u"..")
            return false;
    for (size_t i = 0; i < rootSegments; ++i)
        split.root += (unc ? u"\\" : u"") + segments[i];
    split.parts.assign(segments.begin() + rootSegments, segments.end());
    return true;
}

// The folder lies strictly below base.
bool _cpl_IsBelow(const CSplitPath& folder, const std::u16string& base) {
    CSplitPath split;
    if (base.empty() || !_cpl_Split(base, split) || !jxtext::EqualsNoCase(folder.root, split.root) ||
        folder.parts.size() <= split.parts.size())
        return false;
    for (size_t i = 0; i < split.parts.size(); ++i)
        if (!jxtext::EqualsNoCase(folder.parts[i], split.parts[i]))
            return false;
    return true;
}

} // namespace

std::u16string _cpl_EntryKey(const std::u16string& productId) {
    return std::u16string(kUninstallKey) + u"\\" + productId;
}

bool _cpl_IsSafeSegment(JxLog* log, const WCHAR* context, const std::u16string& id) {
    const bool safe = !id.empty() && id.find_first_of(u"\\/:*?") == std::u16string::npos &&
                      id.find(u"..") == std::u16string::npos;
    if (!safe)
        log->Log(LP_WARNING, kUninstallModule, context, u"Product id %s cannot be used in a path. Skipped.",
                 id.c_str());
    return safe;
}

bool _cpl_IsOwnedSourceFolder(const std::u16string& folder, const std::u16string& commonAppData,
                              const std::u16string& windows, const std::u16string& productCode) {
    CSplitPath split;
    if (!_cpl_Split(folder, split) || split.parts.empty())
        return false;
    if (_cpl_IsBelow(split, commonAppData + u"\\Tolvane") || _cpl_IsBelow(split, windows + u"\\Installer"))
        return true;
    for (const std::u16string& part : split.parts)
        if (!productCode.empty() && jxtext::EqualsNoCase(part, productCode))
            return true;
    return false;
}

} // namespace JxSetup::Data
