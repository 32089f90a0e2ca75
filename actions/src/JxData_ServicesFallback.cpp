// After a shutdown that failed: the services get their configured start types back, first in the
// registry, then through the Service Control Manager, which also starts them; the stored start
// types are forgotten. Also the minidumps of the service processes that the shutdown asks for.
#include "jxactions/JxServiceControl.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {

namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kServicesKey = u"SYSTEM\\CurrentControlSet\\Services\\";

std::u16string Context(const WCHAR* operation) {
    return std::u16string(u"JxSetup::Data::JxData::") + operation;
}

// "QrvWCtl" stays as it is when the user's setting "CancelUpdate" is above 1.
bool IsSkippedByUserSetting(JxData& data, const std::u16string& serviceName, const std::u16string& context) {
    if (!jxtext::EqualsNoCase(serviceName, u"QrvWCtl") ||
        CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"CancelUpdate", 0,
                                 0) <= 1)
        return false;
    data.GetLog()->Log(LP_WARNING, kModule, context.c_str(), u"Skipped by user setting!");
    return true;
}

} // namespace

bool JxData::ShutdownCreateDumps(const std::u16string& prefix, const std::u16string& level) {
    const std::u16string context = Context(u"ShutdownCreateDumps");
    GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    CJxDataLock lock(*this);
    const std::u16string folder =
        JxFile::CombinePath(ExpandProperties(u"[CommonAppDataFolder]"), u"Tolvane\\Setups\\Logs");
    std::u16string names;
    for (const JxService& row : m_InstallServices)
        names += (names.empty() ? u"" : u",") + row.file;
    const std::u16string settings = u"/destination=\"" + folder + u"\" /fileprefix=\"" + prefix +
                                    u"\" /dumplevel=\"" + level + u"\" /processname=\"" + names + u"\"";
    if (ExpandProperties(u"[VersionNT64]").empty()) {
        _shutdown_DumpInProcess(settings);
    } else if (m_Vfs) {
        if (VFS_PREPARED_FILE* helper =
                m_Vfs->PrepareForExecution(u"$SETUP\\JxSetupHlp64.exe", nullptr, true))
            ExecAppWait(u"", u"\"" + helper->diskPath + u"\" " + settings, false, true, true, false,
                        kExecNoTimeLimit);
    }
    GetLog()->Log(LOG_END, kModule, context.c_str(), u"");
    return true;
}

void JxData::FallBackReactivateServices() {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"FallBackReactivateServices");
    GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    // Unlike the shutdown, the order is taken as written, unresolved references too: names that
    // no row declares drop out of the merged order.
    const std::u16string order = GetPropertyValue(u"_ShutdownOrder");
    const std::vector<std::u16string> merged =
        GetMergedShutdownOrder(order.empty() ? std::vector<std::u16string>() : jxtext::Split(order, u','));
    for (const std::u16string& name : merged)
        if (CanRevertServiceState(name))
            FallBackActivateServiceByReg(name);
    for (const std::u16string& name : merged)
        if (CanRevertServiceState(name))
            FallBackActivateServiceByServiceController(name);
    const std::u16string productKey = u"JxSetup\\" + std::u16string(GetProductId());
    CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, productKey.c_str(), u"ServiceStates", 0);
    CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"ServiceStates", 0);
    GetLog()->Log(LOG_END, kModule, context.c_str(), u"");
}

bool JxData::CanRevertServiceState(const std::u16string& serviceName) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"CanRevertServiceState");
    GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", serviceName.c_str());
    bool result = false;
    for (const JxService& row : m_InstallServices) {
        if (jxtext::EqualsNoCase(row.name, serviceName)) {
            result = !IsServiceComponentExtractedAsWpk(*this, row);
            break;
        }
    }
    GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", result ? u"true" : u"false");
    return result;
}

void JxData::FallBackActivateServiceByReg(const std::u16string& serviceName) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"FallBackActivateServiceByReg");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", serviceName.c_str());
    const DWORD startType = GetConfiguredStartTypeByName(serviceName);
    if (IsSkippedByUserSetting(*this, serviceName, context))
        return;
    const std::u16string key = kServicesKey + serviceName;
    if (CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"ImagePath", 0)) {
        log->Log(HP_INFO, kModule, context.c_str(), u"Changing starttype");
        CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"Start", startType, 0);
        log->Log(HP_INFO, kModule, context.c_str(), u"Starttype changed to new value (%d)", startType);
    }
    log->Log(LOG_END, kModule, context.c_str(), u"");
}

void JxData::FallBackActivateServiceByServiceController(const std::u16string& serviceName) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"FallBackActivateServiceByServiceController");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", serviceName.c_str());
    const DWORD startType = GetConfiguredStartTypeByName(serviceName);
    if (IsSkippedByUserSetting(*this, serviceName, context))
        return;
    ServiceController service;
    if (service.Open(serviceName.c_str(), nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS)) {
        log->Log(HP_INFO, kModule, context.c_str(), u"Service is registered.");
        if (SetStartTypeIfDifferent(service, startType)) {
            log->Log(HP_INFO, kModule, context.c_str(), u"Service enabled using starttype %d", startType);
            if (service.Start(false, 30, 1000))
                log->Log(HP_INFO, kModule, context.c_str(), u"Service started.");
            else
                log->Log(LP_ERROR, kModule, context.c_str(), u"Can't start service.");
        } else {
            log->Log(LP_ERROR, kModule, context.c_str(), u"Can't set starttype of service");
        }
        service.Close();
    }
    log->Log(LOG_END, kModule, context.c_str(), u"");
}

} // namespace JxSetup::Data
