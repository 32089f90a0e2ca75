// The install mode ("InstallMode"), the names of the update modes and the install state the pages show.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

} // namespace

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
    // JX_NOT_BUILT: the preparation text goes to the GUI object's SetProgress (position -1) with the
    // GUI bridge.
    GetLog()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxData::SetInstallState",
                  u"IJxExternalGUI::SetProgress is not built yet");
    if (install)
        SetProperty(u"SelectedLanguage", m_Properties.GetLanguage(), 1);
}

} // namespace JxSetup::Data
