// The checks every removal of installed files passes before it touches the disk.
#include "JxData_RemoveFiles.h"

#include <vector>

#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

bool _remove_IsLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The non-empty parts of a path after its first `skip` characters.
std::vector<std::u16string> _remove_Parts(const std::u16string& path, size_t skip) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (size_t i = skip; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\' || path[i] == u'/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part.push_back(path[i]);
        }
    }
    return parts;
}

} // namespace

bool _remove_IsSafeFolder(const std::u16string& folder) {
    if (folder.empty() || folder.find(u'[') != std::u16string::npos)
        return false;
    std::vector<std::u16string> parts;
    size_t minimum = 0;
    if (folder.size() >= 3 && _remove_IsLetter(folder[0]) && folder[1] == u':' &&
        (folder[2] == u'\\' || folder[2] == u'/')) {
        parts = _remove_Parts(folder, 3);
        minimum = 1; // "C:\x"
    } else if (folder.size() > 2 && (folder[0] == u'\\' || folder[0] == u'/') &&
               (folder[1] == u'\\' || folder[1] == u'/')) {
        parts = _remove_Parts(folder, 2);
        // "\\?\" and "\\.\" prefixes name devices and raw paths: never a product folder.
        if (!parts.empty() && (parts[0] == u"?" || parts[0] == u"."))
            return false;
        minimum = 3; // "\\server\share\x"
    } else {
        return false;
    }
    for (const std::u16string& part : parts)
        if (part == u"." || part == u"..")
            return false;
    return parts.size() >= minimum;
}

bool _remove_DeleteFiles(const std::u16string& folder, const std::u16string& name, const WCHAR* context,
                         bool& rebootNeeded) {
    rebootNeeded = false;
    if (name.empty() || name.find(u'[') != std::u16string::npos) {
        Instance()->Log(LP_WARNING, kRemoveModule, context,
                        u"Invalid file name \"%s\" in %s: nothing deleted.", name.c_str(), folder.c_str());
        return false;
    }
    // A name with folders of its own: the removal works in the folder that holds the file.
    const std::u16string path = JxFile::CombinePath(folder, name);
    const std::u16string where = JxFile::GetPathPart(path);
    const std::u16string mask = JxFile::GetFilePart(path);
    if (!_remove_IsSafeFolder(folder) || !_remove_IsSafeFolder(where) || mask.empty()) {
        Instance()->Log(LP_WARNING, kRemoveModule, context, u"Invalid folder \"%s\" for %s: nothing deleted.",
                        folder.c_str(), name.c_str());
        return false;
    }
    return JxFile::DeleteFiles(where, mask, false, rebootNeeded);
}

bool _remove_LookUpComponent(JxData& data, const JxFile& row, JxFeature& feature, JxComponent& component,
                             const WCHAR* context) {
    data.GetFeature(feature, row.featurename);
    component = data.GetComponentOfFeature(row.componentid, feature);
    if (jxtext::EqualsNoCase(component.extractaswpk, u"true")) {
        data.GetLog()->Log(LP_INFO, kRemoveModule, context, u"Skip action of component: %s",
                           row.componentid.c_str());
        return false;
    }
    return true;
}

} // namespace JxSetup::Data
