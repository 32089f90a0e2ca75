// Checks of the ids and folders that the uninstall entry's clean-up puts into paths.
#include "JxData_UninstallEntry.h"

#include <vector>

#include "jxbase/guards.h"
#include "jxplat/text.h"

namespace JxSetup::Data {

std::u16string _cpl_EntryKey(const std::u16string& productId) {
    return std::u16string(kUninstallKey) + u"\\" + productId;
}

bool _cpl_IsGuidId(JxLog* log, const WCHAR* context, const std::u16string& id) {
    const bool safe = IsGuidFormId(id);
    if (!safe)
        log->Log(LP_WARNING, kUninstallModule, context, u"Product id %s is not in GUID form. Skipped.",
                 id.c_str());
    return safe;
}

bool _cpl_IsOwnedSourceFolder(const std::u16string& folder, const std::u16string& commonAppData,
                              const std::u16string& windows, const std::u16string& productCode) {
    if (!IsResolvedFolder(folder))
        return false;
    if ((!commonAppData.empty() && IsFolderBelow(folder, commonAppData + u"\\Tolvane")) ||
        (!windows.empty() && IsFolderBelow(folder, windows + u"\\Installer")))
        return true;
    // A folder of the path named after the product code.
    if (productCode.empty())
        return false;
    for (size_t at = 0; (at = jxtext::FindNoCase(folder, productCode, at)) != std::u16string::npos; ++at) {
        const size_t end = at + productCode.size();
        const bool startsPart = at > 0 && (folder[at - 1] == u'\\' || folder[at - 1] == u'/');
        const bool endsPart = end == folder.size() || folder[end] == u'\\' || folder[end] == u'/';
        if (startsPart && endsPart)
            return true;
    }
    return false;
}

} // namespace JxSetup::Data
