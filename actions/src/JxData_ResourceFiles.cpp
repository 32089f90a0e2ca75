// DeleteUnneededResourceFiles: the language copies of resource files for the languages the product
// does not need (every product language for a row that installs them all, else the current one).
#include <set>

#include "JxData_DeleteOnUpdate.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kDeleteUnneeded = u"JxSetup::Data::JxData::DeleteUnneededResourceFiles";

bool _resource_HasIsoLang(const std::u16string& text) {
    return jxtext::FindNoCase(text, u"[ISOLANG]") != std::u16string::npos;
}

bool _resource_Contains(const std::vector<std::u16string>& languages, const std::u16string& language) {
    for (const std::u16string& entry : languages)
        if (jxtext::EqualsNoCase(jxtext::Trim(entry), language))
            return true;
    return false;
}

// The row's files in the installed languages that are not needed. A path that a needed language
// also uses stays, whatever the row's folders make of the language (a "[ISOLANG]" only in a
// "targetdir" that is not used, for one).
void _resource_DeleteRow(JxData& data, CUpdateFileDeleter& deleter, const JxFile& row,
                         const JxComponent& component, const std::vector<std::u16string>& installed,
                         const std::vector<std::u16string>& needed) {
    std::set<std::u16string> kept;
    for (const std::u16string& language : needed)
        kept.insert(jxtext::Fold(deleter.GetDeletePath(row, component, jxtext::Trim(language)).m_Path));
    for (const std::u16string& language : installed) {
        if (language.empty() || _resource_Contains(needed, language))
            continue;
        const JxDeleteTarget target = deleter.GetDeletePath(row, component, language);
        if (kept.count(jxtext::Fold(target.m_Path)) != 0)
            data.GetLog()->Log(LP_INFO, kFilesModule, kDeleteUnneeded, u"File %s is needed: kept.",
                               target.m_Path.c_str());
        else
            deleter.Delete(target, _files_IsTrue(row.is64bit), false, false);
    }
}

} // namespace

void JxData::DeleteUnneededResourceFiles() {
    CJxDataLock lock(*this);
    // Nothing here asks whether a component is processed, which is what keeps a counting pass
    // from acting.
    if (IsCountingProcessSteps())
        return;
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kFilesModule, kDeleteUnneeded, u"");
    std::vector<std::u16string> installed;
    GetInstalledLanguageIsoCodes(installed);
    std::vector<std::u16string> product;
    GetProductLanguages(product);
    const std::vector<std::u16string> current{GetCurrentLanguage()};
    CUpdateFileDeleter deleter(*this, kDeleteUnneeded);
    const auto& groups = m_FileActionState->m_DefinitionRows;
    const std::vector<JxFeature> features = m_Features;
    for (const JxFeature& feature : features) {
        for (const JxComponent& component : feature.components) {
            const auto found = groups.find(component.id);
            if (_files_IsTrue(component.extractaswpk) || found == groups.end())
                continue;
            for (const JxFile& row : found->second) {
                if (!_files_IsTrue(row.resource) ||
                    !(_resource_HasIsoLang(row.name) || _resource_HasIsoLang(component.destinationdir) ||
                      _resource_HasIsoLang(row.targetdir)))
                    continue;
                _resource_DeleteRow(*this, deleter, row, component, installed,
                                    _files_IsTrue(row.installallcontainedlanguages) ? product : current);
            }
        }
    }
    log->Log(LOG_END, kFilesModule, kDeleteUnneeded, u"");
}

} // namespace JxSetup::Data
