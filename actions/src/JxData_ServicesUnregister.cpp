// Unregistration of the definition's services: each service program removes itself when run with
// its row's argument; a service that is still there afterwards is deleted.
#include "jxactions/JxServiceControl.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {

namespace {
constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::SelfUnRegServices";
constexpr DWORD kUnregistrationTimeLimit = 60; // seconds
} // namespace

void JxData::SelfUnRegServices(const JxSequenceAction& action) {
    _svc_UnRegisterRows(action, false);
}

void JxData::SelfUnRegServicesOnUpdate(const JxSequenceAction& action) {
    _svc_UnRegisterRows(action, true);
}

void JxData::_svc_UnRegisterRows(const JxSequenceAction& action, bool onUpdateOnly) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, u"lib", kContext, u"");
    for (const JxService& row : m_UninstallServices) {
        if (onUpdateOnly && !jxtext::EqualsNoCase(row.deleteserviceonupdate, u"true"))
            continue;
        JxFeature feature;
        GetFeature(feature, row.featurename);
        const JxComponent component = GetComponentOfFeature(row.componentid, feature);
        if (jxtext::EqualsNoCase(component.extractaswpk, u"true")) {
            log->Log(LP_INFO, u"lib", kContext, u"Skip action of component: %s", component.id.c_str());
            continue;
        }
        if (!IsComponentToBeProcessed(component, feature, action,
                                      JxActivationPermissions{row.enablefeature, row.disablefeature}))
            continue;
        for (const JxFile& file : m_Files) {
            if (!jxtext::EqualsNoCase(file.componentid, component.id) ||
                !jxtext::EqualsNoCase(file.featurename, row.featurename) ||
                !jxtext::EqualsNoCase(file.name, row.file))
                continue;
            if (!ServiceController::IsRegistered(row.name.c_str(), nullptr)) {
                log->Log(LP_INFO, u"lib", kContext, u"Service %s not registered.", row.name.c_str());
                continue;
            }
            const std::u16string path =
                JxFile::CombinePath(ExpandProperties(component.destinationdir), ExpandProperties(file.name));
            log->Log(LP_INFO, u"lib", kContext, u"Unregister service using file %s.", path.c_str());
            if (ExecAppWait(path, ExpandProperties(row.argument), false, true, true, false,
                            kUnregistrationTimeLimit) < 0)
                log->Log(LP_WARNING, u"lib", kContext, u"Failed to unregister service %s", row.name.c_str());
            if (ServiceController::IsRegistered(row.name.c_str(), nullptr)) {
                if (RemoveService(row.name, nullptr))
                    log->Log(LP_INFO, u"lib", kContext, u"Service deleted.");
                else
                    log->Log(LP_WARNING, u"lib", kContext, u"Failed to delete service");
            } else {
                log->Log(LP_INFO, u"lib", kContext, u"Service %s is already unregistered.", row.name.c_str());
            }
        }
    }
    log->Log(LOG_END, u"lib", kContext, u"");
}

} // namespace JxSetup::Data
