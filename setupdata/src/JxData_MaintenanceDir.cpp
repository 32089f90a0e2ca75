// The product's maintenance folder: where the engine keeps its copy for later runs.
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {

void JxData::GetMaintenanceDir(std::u16string& folder) {
    CJxDataLock lock(*this);
    // A set and fully resolved "_MaintenanceDir" replaces the default folder.
    const std::u16string configured = GetPropertyValue(u"_MaintenanceDir");
    if (!configured.empty() && configured.find(u'[') == std::u16string::npos) {
        folder = configured;
        return;
    }
    folder = JxFile::CombinePath(ExpandProperties(u"[CommonAppDataFolder]\\Tolvane\\Setups"), GetProductId());
}

} // namespace JxSetup::Data
