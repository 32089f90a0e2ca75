// The install mode ("InstallMode") and the names of the update modes.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

std::u16string JxData::GetInstallMode() {
    CJxDataLock lock(*this);
    std::u16string mode = GetPropertyValue(u"InstallMode");
    return mode.empty() ? u"Install" : mode;
}

bool JxData::SetInstallMode(const std::u16string& mode) {
    CJxDataLock lock(*this);
    return SetProperty(u"InstallMode", mode, 1);
}

void JxData::GetUpdateModeName(std::u16string& out) {
    static const WCHAR* const names[] = {u"NOUPDATE", u"UPDATE", u"UPGRADE", u"EXITSETUP", u"RELOADCONFIG"};
    out = m_UpdateMode >= 0 && m_UpdateMode <= 4 ? names[m_UpdateMode] : u"";
}

} // namespace JxSetup::Data
