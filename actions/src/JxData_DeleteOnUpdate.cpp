// DeleteFilesOnUpdate: the files of the "deleteonupdate" rows of the components this run processes,
// in every installed language for a resource row.
#include "JxData_DeleteOnUpdate.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kDeleteFilesOnUpdate = u"JxSetup::Data::JxData::DeleteFilesOnUpdate";

} // namespace

void JxData::DeleteFilesOnUpdate(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kFilesModule, kDeleteFilesOnUpdate, u"");
    std::vector<std::u16string> languages;
    GetInstalledLanguageIsoCodes(languages);
    CUpdateFileDeleter deleter(*this, kDeleteFilesOnUpdate);
    const auto& groups = m_FileActionState->m_DefinitionRows;
    const std::vector<JxFeature> features = m_Features;
    for (const JxFeature& feature : features) {
        for (const JxComponent& component : feature.components) {
            if (_files_IsTrue(component.extractaswpk)) {
                log->Log(LP_INFO, kFilesModule, kDeleteFilesOnUpdate, u"Skip action of component: %s",
                         component.id.c_str());
                continue;
            }
            const auto found = groups.find(component.id);
            if (found == groups.end())
                continue;
            for (const JxFile& row : found->second) {
                if (!jxtext::EqualsNoCase(row.copymode, u"deleteonupdate"))
                    continue;
                // Each question is one progress step of this action.
                if (!IsComponentToBeProcessed(component, feature, action, JxActivationPermissions{}) ||
                    !GetConditionResult(row.condition))
                    continue;
                const bool is64Bit = _files_IsTrue(row.is64bit);
                const bool forceReboot = _files_IsTrue(row.forcerebootrequest);
                const bool renameIfLocked = _files_IsTrue(row.renameiflocked);
                const std::vector<std::u16string> rowLanguages =
                    _files_IsTrue(row.resource) ? languages : std::vector<std::u16string>{u""};
                for (const std::u16string& language : rowLanguages)
                    deleter.Delete(deleter.GetDeletePath(row, component, language), is64Bit, forceReboot,
                                   renameIfLocked);
            }
        }
    }
    log->Log(LOG_END, kFilesModule, kDeleteFilesOnUpdate, u"");
}

} // namespace JxSetup::Data
