// Start types of the definition's services and the order in which services are shut down.
#include "jxbase/ServiceController.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

DWORD JxData::GetStartTypeFromText(const std::u16string& text) {
    // Only the German spelling means a manual start; "manual" is any other text: automatic.
    if (jxtext::EqualsNoCase(text, u"manuell"))
        return SERVICE_DEMAND_START;
    if (jxtext::EqualsNoCase(text, u"disabled"))
        return SERVICE_DISABLED;
    return SERVICE_AUTO_START;
}

DWORD JxData::GetConfiguredServiceStartType(const JxService& service) {
    const DWORD configured = GetStartTypeFromText(service.starttype);
    const DWORD stored = static_cast<DWORD>(service.m_StoredStartType);
    if (stored == 0 || service.startservicewithconfigsettings || GetInstallMode() == u"Install") {
        GetLog()->Log(LP_INFO, u"lib", u"JxSetup::Data::JxData::GetConfiguredServiceStartType",
                      u"Setting starttype of service %s to configured value: %d...", service.name.c_str(),
                      configured);
        return configured;
    }
    GetLog()->Log(LP_INFO, u"lib", u"JxSetup::Data::JxData::GetConfiguredServiceStartType",
                  u"Setting starttype of service %s to system setted value: %d...", service.name.c_str(),
                  stored);
    return stored;
}

DWORD JxData::GetConfiguredStartTypeByName(const std::u16string& serviceName) {
    CJxDataLock lock(*this);
    for (const JxService& row : m_InstallServices) {
        if (!jxtext::EqualsNoCase(row.name, serviceName))
            continue;
        return row.starttype.empty() ? SERVICE_AUTO_START : GetStartTypeFromText(row.starttype);
    }
    return SERVICE_AUTO_START;
}

bool JxData::FixServices() {
    constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::FixServices";
    JxLog* log = GetLog();
    bool fixed = true;
    for (const JxService& row : m_InstallServices) {
        const DWORD startType = GetStartTypeFromText(row.starttype);
        if (ConfigureServiceStartType(row.name, nullptr, startType)) {
            log->Log(LP_INFO, u"lib", kContext, u"Service %s setted to StartType %i", row.name.c_str(),
                     startType);
        } else {
            log->Log(LP_ERROR, u"lib", kContext, u"Can't enable service %s. Errorcode %i", row.name.c_str(),
                     GetLastError());
            fixed = false;
        }
        if (!jxtext::EqualsNoCase(row.starttype, u"delayed"))
            continue;
        log->Log(LP_INFO, u"lib", kContext, u"Service %s is set to Autostart - Delayed", row.name.c_str());
        ServiceController service;
        if (!service.Open(row.name.c_str(), nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS))
            log->Log(LP_WARNING, u"lib", kContext, u"Failed to open service %s", row.name.c_str());
        if (service.SetDelayedAutoStart(true))
            log->Log(LP_INFO, u"lib", kContext, u"Service %s set do delayed autostart mode.",
                     row.name.c_str());
        else
            log->Log(LP_WARNING, u"lib", kContext, u"Failed to set service %s to delayed autostart mode.",
                     row.name.c_str());
        if (!service.Close())
            log->Log(LP_WARNING, u"lib", kContext, u"Failed to close service %s", row.name.c_str());
    }
    return fixed;
}

std::vector<std::u16string> JxData::GetConfiguredShutdownOrder() {
    const std::u16string order = GetPropertyValue(u"_ShutdownOrder");
    // A text with brackets is a property reference that did not resolve.
    if (order.empty() || order.find(u'[') != std::u16string::npos || order.find(u']') != std::u16string::npos)
        return {};
    return jxtext::Split(order, u',');
}

std::vector<std::u16string> JxData::GetUnsetServices(const std::vector<std::u16string>& list) {
    CJxDataLock lock(*this);
    std::vector<std::u16string> unset;
    for (const JxService& row : m_InstallServices) {
        bool listed = false;
        for (const std::u16string& name : list)
            listed = listed || jxtext::EqualsNoCase(name, row.name);
        if (listed)
            continue;
        GetLog()->Log(LP_INFO, u"lib", u"JxSetup::Data::JxData::GetUnsetServices",
                      u"Service not defined in order list: %s", row.name.c_str());
        unset.push_back(row.name);
    }
    return unset;
}

std::vector<std::u16string> JxData::GetMergedShutdownOrder(const std::vector<std::u16string>& list) {
    CJxDataLock lock(*this);
    constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::GetMergedShutdownOrder";
    JxLog* log = GetLog();
    std::vector<std::u16string> merged;
    log->Log(LP_INFO, u"lib", kContext, u"Adding unset services to merged order list");
    for (const std::u16string& name : GetUnsetServices(list)) {
        log->Log(LP_INFO, u"lib", kContext, u"Adding service: %s", name.c_str());
        merged.push_back(name);
    }
    log->Log(LP_INFO, u"lib", kContext, u"Adding ordered services to merged order list");
    for (const std::u16string& name : list) {
        bool known = false;
        for (const JxService& row : m_InstallServices)
            known = known || jxtext::EqualsNoCase(row.name, name);
        if (known) {
            log->Log(LP_INFO, u"lib", kContext, u"Adding service: %s", name.c_str());
            merged.push_back(name);
        } else {
            log->Log(LP_INFO, u"lib", kContext, u"Service is unknown in current setup configuration: %s",
                     name.c_str());
        }
    }
    return merged;
}

} // namespace JxSetup::Data
