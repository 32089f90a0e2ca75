// The service-control operations that the service actions, the setup service and the
// management-server part share.
#include "jxactions/JxServiceControl.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

namespace {
// SERVICE_QUERY_CONFIG, SERVICE_CHANGE_CONFIG, SERVICE_QUERY_STATUS, SERVICE_INTERROGATE.
constexpr DWORD kConfigureAccess = 0x87;
// SERVICE_CHANGE_CONFIG, SERVICE_QUERY_STATUS, SERVICE_INTERROGATE.
constexpr DWORD kDisableAccess = 0x86;
// DELETE, SERVICE_STOP, SERVICE_QUERY_STATUS, SERVICE_INTERROGATE.
constexpr DWORD kRemoveAccess = 0x100A4;
// SERVICE_QUERY_STATUS, SERVICE_INTERROGATE.
constexpr DWORD kStateAccess = 0x84;
void (*g_PauseServiceWait)(DWORD) = nullptr;
} // namespace

void PauseServiceWait(DWORD milliseconds) {
    if (g_PauseServiceWait)
        g_PauseServiceWait(milliseconds);
    else
        Sleep(milliseconds);
}

void SetServiceWaitForTesting(void (*pause)(DWORD milliseconds)) {
    g_PauseServiceWait = pause;
}

bool IsServiceComponentExtractedAsWpk(JxData& data, const JxService& row, std::u16string* componentId) {
    JxFeature feature;
    data.GetFeature(feature, row.featurename);
    const JxComponent component = data.GetComponentOfFeature(row.componentid, feature);
    if (componentId)
        *componentId = component.id;
    return jxtext::EqualsNoCase(component.extractaswpk, u"true");
}

bool SetStartTypeIfDifferent(ServiceController& service, DWORD startType) {
    std::vector<BYTE> buffer;
    if (service.QueryConfig(buffer) &&
        reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data())->dwStartType == startType)
        return true;
    return service.ChangeConfig(SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr);
}

bool DisableService(const std::u16string& serviceName, const WCHAR* machineName) {
    ServiceController service;
    if (!service.Open(serviceName.c_str(), machineName, SC_MANAGER_ALL_ACCESS, kDisableAccess))
        return false;
    return service.ChangeConfig(SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool RemoveService(const std::u16string& serviceName, const WCHAR* machineName) {
    ServiceController service;
    if (!service.Open(serviceName.c_str(), machineName, SC_MANAGER_ALL_ACCESS, kRemoveAccess))
        return false;
    return service.Delete();
}

bool JxData::ConfigureServiceStartType(const std::u16string& serviceName, const WCHAR* machineName,
                                       DWORD startType) {
    if (ServiceController::QueryStartType(serviceName.c_str(), machineName) == static_cast<int>(startType))
        return true;
    ServiceController service;
    if (!service.Open(serviceName.c_str(), machineName, SC_MANAGER_ALL_ACCESS, kConfigureAccess))
        return false;
    return SetStartTypeIfDifferent(service, startType);
}

bool JxData::IsServiceInState(DWORD state, const std::u16string& serviceName, const WCHAR* machineName) {
    ServiceController service;
    if (!service.Open(serviceName.c_str(), machineName, GENERIC_READ, kStateAccess))
        return false;
    return service.IsInState(state);
}

} // namespace JxSetup::Data
