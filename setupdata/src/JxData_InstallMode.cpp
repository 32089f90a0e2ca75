// The install mode ("InstallMode"), the names of the update modes and the install state the pages show.
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

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

void JxData::SetInstallState() {
    const std::u16string mode = GetInstallMode();
    const bool install = jxtext::EqualsNoCase(mode, u"Install");
    // Stored as a reference: the page texts expand it in their language.
    std::u16string state = u"[IS_CONFIG]";
    if (install)
        state = u"[IS_INSTALL]";
    else if (jxtext::EqualsNoCase(mode, u"Maintenance"))
        state = m_UpdateMode == 1 || m_UpdateMode == 2 ? u"[IS_UPDATE]" : u"[IS_MODIFY]";
    else if (jxtext::EqualsNoCase(mode, u"Uninstall"))
        state = u"[IS_UNINSTALL]";
    SetProperty(u"_INSTALLSTATE", state, 1);

    if (!HasGui()) {
        if (HasProgressCallback())
            m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, -1, 0, nullptr);
        return;
    }
    m_Gui->SetProgress(-1, ExpandProperties(u"[PREPARESETUP]"));
    if (install)
        SetProperty(u"SelectedLanguage", m_Properties.GetLanguage(), 1);
}

} // namespace JxSetup::Data
