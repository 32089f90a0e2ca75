// Support modes: one-shot tasks asked for by properties instead of an installation. A mode that was
// asked for counts as run even when its work failed; the failure is remembered, so that the run
// does not end as a success.
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

bool IsFlagSet(JxData& data, const WCHAR* name) {
    return jxtext::EqualsNoCase(data.GetPropertyValue(name), u"true");
}

} // namespace

bool JxData::IsSupportModeRequested() {
    return !ExpandProperties(u"[ExtractTo]").empty() || IsFlagSet(*this, u"_DumpRegValues") ||
           IsFlagSet(*this, u"_FixServices") || IsFlagSet(*this, u"_RunCreateShortcut") ||
           IsFlagSet(*this, u"_ShutdownServices");
}

bool JxData::ExecuteSupportFunctions() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::ExecuteSupportFunctions";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    m_bSupportModeFailed = false;
    // Each mode runs whatever the others did.
    bool ran = _support_ExtractTo();
    ran = _support_DumpRegValues() || ran;
    ran = _support_FixServices() || ran;
    ran = _support_RunCreateShortcut() || ran;
    ran = _support_ShutdownServices() || ran;
    if (ran)
        SetProperty(u"_CloseSecondInstance", u"true", 1);
    GetLog()->Log(LOG_END, kModule, context, u"%s", ran ? u"true" : u"false");
    return ran;
}

bool JxData::_support_ExtractTo() {
    if (ExpandProperties(u"[ExtractTo]").empty())
        return false;
    if (!ExtractAll())
        m_bSupportModeFailed = true;
    m_SequenceData.m_bSkipFinish = true;
    return true;
}

bool JxData::_support_DumpRegValues() {
    if (!IsFlagSet(*this, u"_DumpRegValues"))
        return false;
    if (!DumpRegValuesToFile(ExpandProperties(u"[_DumpRegFile]")))
        m_bSupportModeFailed = true;
    m_SequenceData.m_bSkipFinish = true;
    return true;
}

bool JxData::_support_FixServices() {
    if (!IsFlagSet(*this, u"_FixServices"))
        return false;
    if (!FixServices())
        m_bSupportModeFailed = true;
    m_SequenceData.m_bSkipFinish = true;
    return true;
}

bool JxData::_support_RunCreateShortcut() {
    if (!IsFlagSet(*this, u"_RunCreateShortcut"))
        return false;
    LoadRequirements();
    if (!ExternCreateShortcut())
        m_bSupportModeFailed = true;
    m_SequenceData.m_bSkipFinish = true;
    return true;
}

bool JxData::_support_ShutdownServices() {
    if (!IsFlagSet(*this, u"_ShutdownServices"))
        return false;
    AcquireShutdownLocks();
    // The services come back below whatever the shutdown did; a failed one still fails the mode.
    const bool shutDown = ShutdownActions();
    m_SkipRebootQuery = true;
    SetInstallMode(u"Install");
    const bool fixed = FixServices();
    LaunchAppsAtEndOfSetup();
    if (!shutDown || !fixed)
        m_bSupportModeFailed = true;
    m_SequenceData.m_bSkipFinish = true;
    return true;
}

} // namespace JxSetup::Data
