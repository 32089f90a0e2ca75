// Loading the setup definition "setup.jxsetup" into the data object: the order of the steps,
// and what happens when the definition cannot be read or does not parse.
#include "jxsetupdata/JxData.h"

#include "jxbase/trace.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::LoadConfiguration";
const WCHAR* const kDefinitionName = u"setup.jxsetup";
const WCHAR* const kErrorDumpName = u"errordata.txt";

} // namespace

bool JxData::LoadConfiguration() {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"");
    CJxDataLock lock(*this);
    auto fail = [&] {
        log->Log(LOG_END, kModule, kContext, u"%s", u"false");
        return false;
    };

    if (!m_ConfigDocument.Create()) {
        log->Log(LP_ERROR, kModule, kContext, u"Can't initialize MSXML.");
        return fail();
    }

    // The definition's defaults replace every property, except this one switch.
    const std::u16string skipCleaning = GetPropertyValue(u"_SkipCleaningTaskAction");
    log->Log(LP_INFO, kModule, kContext, u"_SkipCleaningTaskAction = %s", skipCleaning.c_str());
    m_Properties.Clear();
    SetProperty(u"_SkipCleaningTaskAction", skipCleaning, 1);
    // A second load replaces the rows of the first one instead of adding them again.
    _load_ResetLists();

    std::u16string text;
    const std::u16string diskPath = m_appDir + kDefinitionName;
    if (_disk_FileExists(diskPath))
        GetXMLContentFromFile(text, diskPath, false);
    else
        GetXMLContentFromFile(text, std::u16string(u"\\$CONFIG\\") + kDefinitionName, true);
    if (text.empty()) {
        log->Log(LP_ERROR, kModule, kContext, u"XML content is empty.");
        return fail();
    }

    m_ConfigurationXml = std::move(text);
    m_ConfigRoot = m_ConfigDocument.LoadXml(m_ConfigurationXml.c_str());
    if (!m_NoWrapString)
        m_WrapString.clear();
    if (m_ConfigRoot.IsEmpty()) {
        _load_ReportParseError();
        return fail();
    }

    _load_Product();
    _load_Conditions();
    _load_Sequences();
    _load_Features();
    _load_Properties();
    _load_Strings();
    _load_Files();
    _load_Registry();
    _load_SelfRegFiles();
    _load_Services();
    _load_Applications();

    log->Log(LOG_END, kModule, kContext, u"%s", u"true");
    return true;
}

void JxData::_load_ResetLists() {
    m_ProductInfo = JxProductInfo();
    m_SetupSvc = JxSetupSVCData();
    m_Features.clear();
    m_Components.clear();
    m_Files.clear();
    m_SetupFiles.clear();
    m_WatchProcessFiles.clear();
    m_Prerequisites.clear();
    m_RegValuesInstall.clear();
    m_RegValuesUninstall.clear();
    m_RegValuesSetProperty.clear();
    m_RegValuesFeatureCheck.clear();
    m_RegValuesDeleteOnUpdate.clear();
    m_RegValuesRestore.clear();
    m_SelfRegFiles.clear();
    m_SelfUnregFiles.clear();
    m_InstallServices.clear();
    m_UninstallServices.clear();
    m_InstallApps.clear();
    m_UninstallApps.clear();
    m_LaunchAtEndApps.clear();
    m_FinishDialogApps.clear();
    m_ExecuteActions.clear();
    m_PropertyActions.clear();
    m_InstallConditions.clear();
    m_SystemRecommendations.clear();
}

void JxData::_load_ReportParseError() {
    JxLog* log = GetLog();
    const CXMLDOMParseError error = m_ConfigDocument.GetParseError();
    const LONG code = error.IsEmpty() ? 0 : error.GetErrorCode();
    if (code != 0 && code != -1)
        log->Log(LP_ERROR, kModule, kContext, u"Error %08X at line: %li (c: %li): %s",
                 static_cast<DWORD>(code), error.GetLine(), error.GetLinePos(), error.GetReason().c_str());
    else
        log->Log(LP_ERROR, kModule, kContext, u"Error loading XML.");

    if (g_JxSetupEngineLibDebugLevel <= 5)
        return;
    // In the current folder, for the developer who asked for detailed traces.
    log->Log(LP_ERROR, kModule, kContext, u"Dumping XML file and error information to %s.", kErrorDumpName);
    if (!_disk_WriteUtf16File(kErrorDumpName, u"(No detailed error information)\n" + m_ConfigurationXml))
        log->Log(LP_ERROR, kModule, kContext, u"Failed to write %s.", kErrorDumpName);
}

} // namespace JxSetup::Data
