// The action list of the install sequence: a fixed head, one action per matching ExecuteAction row
// of the definition, and a fixed tail. Each action is bound to its handler.
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

using Handler = void (JxData::*)(const JxSequenceAction&);

struct CActionRow {
    const WCHAR* name;
    const WCHAR* textKey; // property whose value is the display text
    uint32_t flags;
    Handler handler;
};

const CActionRow kHead[] = {
    // Not skipped on resume: the run that left for a prerequisite's reboot cancelled its point,
    // and the resumed run, which installs the files, opens its own.
    {u"CreateSysRestore", u"AT_CREATESYSRESTORE", 0x01b, &JxData::action_SystemRestore},
    {u"RebootOnFeatureCondition", u"AT_REBOOTONFEATURECONDITION", 0x067,
     &JxData::action_RebootOnFeatureCondition},
    {u"PrepareUninstallActions", u"AT_PREPAREUNINSTALLACTIONS", 0x004,
     &JxData::action_PrepareUninstallActions},
    {u"SearchRestoreRegValues", u"AT_SEARCHRESTOREREGVALUES", 0x09b, &JxData::action_SearchRestoreRegValues},
    {u"StopProcesses", u"AT_STOPPROCESSES", 0x07f, &JxData::action_StopProcesses},
    {u"UninstallSetupSVC", u"AT_UNINSTALLSETUPSVC", 0x004, &JxData::action_UninstallSetupSVC},
    {u"SelfUnregOnUpdate", u"AT_SELFUNREGONUPDATE", 0x17f, &JxData::action_SelfUnregOnUpdate},
    {u"InstallSetupSVC", u"AT_INSTALLSETUPSVC", 0x11b, &JxData::action_InstallSetupSVC},
    {u"InstallPrerequisite", u"AT_INSTALLPREREQUISITE", 0x19b, &JxData::action_InstallPrerequisite},
    {u"CopyFiles", u"AT_COPYFILES", 0x19b, &JxData::action_CopyFiles},
    {u"DisableCancelButton", u"AT_DISABLECANCELBUTTON", 0x07f, &JxData::action_DisableCancelButton},
    {u"ExtractAsWPK", u"AT_EXTRACTASWPK", 0x19b, &JxData::action_ExtractAsWPK},
    {u"CleanUp", u"AT_CLEANUP", 0x11f, &JxData::action_CleanUp},
    {u"DeleteUnneededResourceFiles", u"AT_DELETEUNNEEDEDRESOURCEFILES", 0x11f,
     &JxData::action_DeleteUnneededResourceFiles},
    {u"SelfUnRegServiceOnUpdate", u"AT_SELFUNREGSERVICEONUPDATE", 0x1bb,
     &JxData::action_SelfUnRegServiceOnUpdate},
    {u"DeleteFilesOnUpdate", u"AT_DELETEFILESONUPDATE", 0x19f, &JxData::action_DeleteFilesOnUpdate},
    {u"StoreLocalSetup", u"AT_StoreLocalSetup", 0x19b, &JxData::action_StoreLocalSetup},
    {u"StoreCustomizedConfig", u"AT_STORECUSTOMIZEDCONFIG", 0x11b, &JxData::action_StoreCustomizedConfig},
    {u"DeleteRegValuesOnUpdate", u"AT_DELETEREGVALUESONUPDATE", 0x11f,
     &JxData::action_DeleteRegValuesOnUpdate},
    {u"AddRegValues", u"AT_ADDREGVALUES", 0x1bb, &JxData::action_AddRegValues},
    {u"ReconfigXml", u"AT_RECONFIGXML", 0x13b, &JxData::action_ReconfigXml},
};

// ExecuteAction rows, by their name ignoring case.
struct CKeywordRow {
    const WCHAR* rowName;
    CActionRow action;
};

const CKeywordRow kMiddle[] = {
    {u"SelfRegFiles", {u"SelfRegFile", u"AT_SELFREGFILE", 0x1bb, &JxData::action_SelfRegFile}},
    {u"SelfRegServices", {u"SelfRegService", u"AT_SELFREGSERVICE", 0x1bb, &JxData::action_SelfRegService}},
    {u"ExecuteInstallApps",
     {u"ExecuteAppSequenceInst", u"AT_EXECUTEAPPSEQUENCEINST", 0x1bb,
      &JxData::action_ExecuteAppSequenceInst}},
    {u"ExecuteUnInstallApps",
     {u"ExecuteAppSequenceUninst", u"AT_EXECUTEAPPSEQUENCEUNINST", 0x1de,
      &JxData::action_ExecuteAppSequenceUninst}},
    {u"SelfUnRegServices",
     {u"SelfUnRegService", u"AT_SELFUNREGSERVICE", 0x1de, &JxData::action_SelfUnRegService}},
    {u"SelfUnRegFiles", {u"SelfUnRegFile", u"AT_SELFUNREGFILE", 0x1de, &JxData::action_SelfUnRegFile}},
    {u"DeleteRegKeys", {u"DeleteRegValues", u"AT_DELETEREGVALUES", 0x1de, &JxData::action_DeleteRegValues}},
};

// A custom action runs in maintenance, update, upgrade and activation runs; its row adds Install
// or Uninstall.
const CActionRow kCustomAction = {u"ExecuteCustomAction", u"AT_EXECUTECUSTOMACTION", 0x07a,
                                  &JxData::action_ExecuteCustomAction};

const CActionRow kTail[] = {
    {u"InstallCustomization", u"AT_INSTALLCUSTOMIZATION", 0x101, &JxData::action_InstallCustomization},
    {u"CheckServices", u"AT_CHECKSERVICES", 0x0bb, &JxData::action_CheckServices},
    {u"RestoreRegValues", u"AT_RESTOREREGVALUES", 0x0fb, &JxData::action_RestoreRegValues},
    {u"CreateShortcuts", u"AT_CREATESHORTCUTS", 0x1ff, &JxData::action_CreateShortcuts},
    {u"DeleteServiceStates", u"AT_DELETESERVICESTATES", 0x07f, &JxData::action_DeleteServiceStates},
    {u"DeleteFileOnUpdateFM", u"AT_DELETEFILEONUPDATEUSINGFILEMASK", 0x19f,
     &JxData::action_DeleteFileOnUpdateFM},
    {u"DeleteFiles", u"AT_DELETEFILES", 0x19e, &JxData::action_DeleteFiles},
    {u"SaveShareCounter", u"AT_SAVESHARECOUNTER", 0x01f, &JxData::action_SaveShareCounter},
    {u"SaveSettings", u"AT_SAVESETTINGS", 0x07f, &JxData::action_SaveSettings},
    {u"SetProductInstalled", u"AT_SETPRODUCTINSTALLED", 0x07f, &JxData::action_SetProductInstalled},
    {u"FinishSysRestore", u"AT_FINISHSYSRESTORE", 0x11f, &JxData::action_FinishSysRestore},
};

} // namespace

void JxData::_Sequence_Initialize_Actions() {
    const WCHAR* context = u"JxSetup::Data::JxData::_Sequence_Initialize_Actions";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, u"lib", context, u"");

    // The action is built first; its handler gets a copy of it as it stands (without a handler).
    auto append = [this](const CActionRow& row, const JxSequenceEntry* entry, uint32_t flags) {
        JxSequenceAction action(row.name, GetPropertyValue(row.textKey), flags);
        if (entry)
            action.m_Entry = *entry;
        const Handler handler = row.handler;
        action.m_Handler = [this, handler, bound = action]() { (this->*handler)(bound); };
        if (m_BindSequenceHandlerForTesting)
            m_BindSequenceHandlerForTesting(action);
        m_SequenceData.m_Actions.push_back(std::move(action));
    };

    for (const CActionRow& row : kHead)
        append(row, nullptr, row.flags);

    for (const JxSequenceEntry& row : m_ExecuteActions) {
        if (jxtext::EqualsNoCase(row.name, u"CustomAction")) {
            uint32_t flags = kCustomAction.flags;
            if (jxtext::EqualsNoCase(row.installmode, u"Install"))
                flags |= JX_SEQ_INSTALL;
            if (jxtext::EqualsNoCase(row.installmode, u"Uninstall"))
                flags |= JX_SEQ_UNINSTALL;
            // Name, condition and action text of the row stay behind.
            JxSequenceEntry entry;
            entry.modulename = row.modulename;
            entry.functionname = row.functionname;
            entry.argument = row.argument;
            entry.componentid = row.componentid;
            entry.featurename = row.featurename;
            entry.installmode = row.installmode;
            entry.enablefeature = row.enablefeature;
            entry.disablefeature = row.disablefeature;
            append(kCustomAction, &entry, flags);
            continue;
        }
        // Any other name adds nothing.
        for (const CKeywordRow& keyword : kMiddle)
            if (jxtext::EqualsNoCase(row.name, keyword.rowName))
                append(keyword.action, nullptr, keyword.action.flags);
    }

    for (const CActionRow& row : kTail)
        append(row, nullptr, row.flags);

    log->Log(LOG_END, u"lib", context, u"");
}

} // namespace JxSetup::Data
