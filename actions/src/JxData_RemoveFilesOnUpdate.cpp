// DeleteOnUpdateWithFileMask: files an update replaces by a wildcard mask ("deleteonupdate" rows).
#include "JxData_RemoveFiles.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kDeleteOnUpdate = u"JxSetup::Data::JxData::DeleteOnUpdateWithFileMask";

} // namespace

void JxData::DeleteOnUpdateWithFileMask(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRemoveModule, kDeleteOnUpdate, u"");
    const std::vector<JxFile> rows = m_Files;
    for (const JxFile& row : rows) {
        if (row.copymode != u"deleteonupdate" || row.name.find(u'*') == std::u16string::npos)
            continue;
        JxFeature feature;
        JxComponent component;
        if (!_remove_LookUpComponent(*this, row, feature, component, kDeleteOnUpdate))
            continue;
        if (!IsComponentToBeProcessed(component, feature, action, JxActivationPermissions{}) ||
            !GetConditionResult(row.condition))
            continue;
        const std::u16string folder = ExpandProperties(row.targetdir);
        const std::u16string name = ExpandProperties(row.name);
        log->Log(LP_INFO, kRemoveModule, kDeleteOnUpdate, u"Deleting %s in %s", name.c_str(), folder.c_str());
        // A file left to the next reboot asks for no restart here.
        bool rebootNeeded = false;
        _remove_DeleteFiles(folder, name, kDeleteOnUpdate, rebootNeeded);
    }
    log->Log(LOG_END, kRemoveModule, kDeleteOnUpdate, u"");
}

} // namespace JxSetup::Data
