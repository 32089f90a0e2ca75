// Whether a component's files lie in the mounted packages. A component's files lie in the
// top-level folder of the virtual file system named by the component id (the id is the name of
// its package); resource files lie one level deeper, in the folder of the current language.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// The copy modes that bring a file from the packages; the file actions judge a row by the same
// list (any other mode, "delete" for one, needs no packaged file).
bool _features_IsCopyMode(const std::u16string& mode) {
    for (const char16_t* copying : {u"bycrc", u"byversion", u"bydate", u"nooverwrite", u"always"})
        if (jxtext::EqualsNoCase(mode, copying))
            return true;
    return false;
}

// The packaged path is present in the attached virtual file system.
bool _features_InPackages(JxData& data, const std::u16string& path) {
    return data.m_Vfs && data.m_FindPackagedFile && data.m_FindPackagedFile(*data.m_Vfs, path);
}

} // namespace

bool JxData::IsComponentIncluded(const std::u16string& componentId) {
    CJxDataLock lock(*this);
    if (!m_Vfs)
        return false;
    const std::u16string folder = u"\\" + componentId + u"\\";
    for (const JxFile& file : m_Files) {
        if (file.componentid != componentId)
            continue;
        const std::u16string name = ExpandProperties(file.name);
        if (_features_InPackages(*this, folder + name) ||
            _features_InPackages(*this, folder + m_Properties.GetLanguage() + u"\\" + name))
            return true;
    }
    return false;
}

bool JxData::IsComponentIncludedEx(const std::u16string& componentId) {
    const WCHAR* context = u"JxSetup::Data::JxData::IsComponentIncludedEx";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    if (!m_Vfs) {
        log->Log(LP_ERROR, kModule, context, u"VFS not mounted.");
        return false;
    }
    bool hasRows = false;
    const JxFile* deciding = nullptr;
    for (const JxFile& file : m_Files) {
        if (!jxtext::EqualsNoCase(file.componentid, componentId))
            continue;
        hasRows = true;
        if (_features_IsCopyMode(file.copymode)) {
            deciding = &file;
            break;
        }
    }
    if (!hasRows) {
        log->Log(LP_INFO, kModule, context,
                 u"No file rules found for component %s. No package file required.", componentId.c_str());
        return true;
    }
    if (!deciding) {
        log->Log(LP_INFO, kModule, context,
                 u"No valid copy actions found for component %s. No package file required.",
                 componentId.c_str());
        return true;
    }
    log->Log(LP_INFO, kModule, context, u"At least one valid copy action was found in component %s",
             componentId.c_str());
    std::u16string path = u"\\" + componentId + u"\\";
    if (jxtext::EqualsNoCase(deciding->resource, u"true"))
        path += m_Properties.GetLanguage() + u"\\";
    path += ExpandProperties(deciding->name);
    log->Log(LP_INFO, kModule, context, u"Searching for file %s in mounted packages.", path.c_str());
    if (!_features_InPackages(*this, path)) {
        log->Log(LP_WARNING, kModule, context,
                 u"Copy action valid but no file of component %s found in mounted packages",
                 componentId.c_str());
        return false;
    }
    log->Log(LP_INFO, kModule, context, u"File %s found in mounted packages.", path.c_str());
    log->Log(LP_INFO, kModule, context,
             u"Copy action valid and at least one file of component %s found in mounted packages.",
             componentId.c_str());
    return true;
}

} // namespace JxSetup::Data
