// The checks every removal of installed files passes before it touches the disk.
#include "JxData_RemoveFiles.h"

#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {

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
    // An expanded property that came out empty, relative or unresolved must never make a removal
    // act on the current folder or a whole drive.
    if (!IsExpandedFolder(folder) || !IsPathInsideFolder(name, true) || mask.empty()) {
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
