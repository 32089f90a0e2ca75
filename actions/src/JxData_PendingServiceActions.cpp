// The activation of the product's services after the installation. Not there yet: a run that has
// work for it fails, naming it; a run with nothing for it to do goes on.
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kServicesKey = u"SYSTEM\\CurrentControlSet\\Services\\";
// The protected services when the definition names none.
const WCHAR* const kDefaultPplServices = u"$QrvProxy$,$QrvWCtl$,$JxScan$,$JxFwSvc$";

bool IsTrueText(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

bool IsPplService(JxData& data, const JxService& row) {
    std::u16string list = data.GetPropertyValue(u"_PPLServices");
    if (list.empty())
        list = kDefaultPplServices;
    return data.GetConditionResult(u"[VersionNT]>=1000") &&
           jxtext::FindNoCase(list, u"$" + row.name + u"$") != std::u16string::npos;
}

// Whether activating this service would change or start anything: a registered service whose
// program is in place and that is to lose its deletion flag, get another start type, be registered
// as a protected service, be flagged as delayed, or be started.
bool ServiceNeedsActivation(JxData& data, const JxService& row) {
    JxFeature feature;
    data.GetFeature(feature, row.featurename);
    const JxComponent component = data.GetComponentOfFeature(row.componentid, feature);
    if (IsTrueText(component.extractaswpk) || !data.GetConditionResult(component.condition))
        return false;
    const std::u16string program =
        JxFile::CombinePath(data.ExpandProperties(component.destinationdir), row.file);
    const DWORD attributes = GetFileAttributesW(program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const std::u16string key = kServicesKey + row.name;
    const bool registered = CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"ImagePath", 0) &&
                            ServiceController::IsRegistered(row.name.c_str(), nullptr);
    // A service that its registration in this run left unregistered was already reported there
    // (a warning); one that is registered but flagged for deletion still has its flag to lose.
    if (!registered)
        return false;
    if (row.m_RegisteredInThisRun && CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"DeleteFlag", 0))
        return true;
    const DWORD startType = data.GetConfiguredServiceStartType(row);
    if (startType == SERVICE_DISABLED)
        return false;
    if (IsPplService(data, row) || jxtext::EqualsNoCase(row.starttype, u"delayed"))
        return true;
    if (ServiceController::QueryStartType(row.name.c_str(), nullptr) != static_cast<int>(startType))
        return true;
    return IsTrueText(row.start) && !data.IsServiceInState(SERVICE_RUNNING, row.name, nullptr);
}

// The activation's work: a service of the register list that needs it, or a startup action.
bool HasActivationWork(JxData& data) {
    for (const JxSequenceEntry& row : data.m_PropertyActions)
        if (IsTrueText(row.startupaction))
            return true;
    for (const JxService& row : data.m_InstallServices)
        if (ServiceNeedsActivation(data, row))
            return true;
    return false;
}

// JX_NOT_BUILT: the activation of services comes with the installation actions for services.
bool ServiceActionNotBuilt(JxData& data, const WCHAR* operation, bool hasWork) {
    const std::u16string context = std::u16string(u"JxSetup::Data::JxData::") + operation;
    data.GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    if (!hasWork) {
        data.GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", u"true");
        return true;
    }
    data.FailNotBuilt(context.c_str(), operation);
    data.GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", u"false");
    return false;
}

} // namespace

bool JxData::CheckAndActivateServices() {
    CJxDataLock lock(*this);
    if (!ServiceActionNotBuilt(*this, u"CheckAndActivateServices", HasActivationWork(*this)))
        return false;
    // Nothing to activate: the start types stored for the activation are done with.
    CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"ServiceStates", 0);
    return true;
}

} // namespace JxSetup::Data
