// The start types of the product's services as they were before a setup changed them, kept in
// HKEY_CLASSES_ROOT "JxSetup\ServiceStates" (one DWORD per service) until the services are active
// again. The first look wins; a later, lower start type replaces it, a higher one never does.
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

namespace {
constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::GetStoredServiceStartType";
constexpr const WCHAR* kServiceStatesKey = u"JxSetup\\ServiceStates";
} // namespace

DWORD JxData::GetStoredServiceStartType(const std::u16string& serviceName) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, u"lib", kContext, u"%s", serviceName.c_str());
    DWORD result = 0;
    ServiceController service;
    std::vector<BYTE> buffer;
    if (!service.Open(serviceName.c_str(), nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS)) {
        log->Log(LP_INFO, u"lib", kContext, u"Service not found.\n");
    } else if (service.QueryConfig(buffer)) {
        const DWORD current = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data())->dwStartType;
        log->Log(LP_INFO, u"lib", kContext, u"SCM StartType: %d\n", current);
        result = current;
        if (CReg::ValueExists(HKEY_CLASSES_ROOT, kServiceStatesKey, serviceName.c_str(), 0)) {
            const DWORD stored =
                CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, kServiceStatesKey, serviceName.c_str(), 0, 0);
            log->Log(LP_INFO, u"lib", kContext, u"Temprary stored StartType: %d.\n", stored);
            // A stored 0 cannot be told from nothing stored: the current start type stands.
            if (stored != 0 && current < stored) {
                log->Log(LP_INFO, u"lib", kContext,
                         u"The stored value is invalid and will be restored by current value.\n");
                CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, kServiceStatesKey, serviceName.c_str(), current, 0);
            } else if (stored != 0 && current > stored) {
                log->Log(LP_INFO, u"lib", kContext,
                         u"The current StartType is invalid and will be restored by stored value.\n");
                result = stored;
            }
        } else if (m_SkipSaveServiceStates) {
            log->Log(LP_INFO, u"lib", kContext, u"Save service state skipped: %s", serviceName.c_str());
        } else {
            log->Log(LP_INFO, u"lib", kContext, u"No temporary stored StartType found.\n");
            CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, kServiceStatesKey, serviceName.c_str(), current, 0);
        }
    }
    service.Close();
    log->Log(LOG_END, u"lib", kContext, u"%d", result);
    return result;
}

} // namespace JxSetup::Data
