// Whether a component's files lie in the mounted packages.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

bool JxData::IsComponentIncluded(const std::u16string& componentId) {
    CJxDataLock lock(*this);
    if (!m_Vfs)
        return false;
    // JX_NOT_BUILT: the search in the mounted packages comes with the virtual file system.
    for (const JxFile& file : m_Files) {
        if (file.componentid == componentId) {
            GetLog()->Log(LP_ERROR, u"lib", u"JxSetup::Data::JxData::IsComponentIncluded",
                          u"IsComponentIncluded is not built yet");
            break;
        }
    }
    return false;
}

} // namespace JxSetup::Data
