// The activation of the product's services after the installation: each service of the register
// list, in the reverse of the shutdown order, is registered again when its registration did not
// hold, gets its start type (protected services through their own program), and is started when
// its row asks for it. Then the startup actions run and the stored start types are forgotten.
#include <algorithm>

#include "jxactions/JxServiceControl.h"
#include "jxbase/files.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {

namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kServicesKey = u"SYSTEM\\CurrentControlSet\\Services\\";
// The protected services when the definition names none.
constexpr const WCHAR* kDefaultPplServices = u"$QrvProxy$,$QrvWCtl$,$JxScan$,$JxFwSvc$";
constexpr DWORD kRegistrationTimeLimit = 30; // seconds
// After a start that succeeded, the running state is awaited in pauses of 500 ms.
constexpr DWORD kStartWaitPauseMs = 500;
constexpr DWORD kStartWaitPauses = 119;

std::u16string Context(const WCHAR* operation) {
    return std::u16string(u"JxSetup::Data::JxData::") + operation;
}

bool IsTrueText(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

} // namespace

void JxData::CheckAndActivateServices() {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"CheckAndActivateServices");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    // The services come back in the opposite order of their shutdown; those missing from the
    // order, shut down first, come last.
    std::vector<std::u16string> order = GetMergedShutdownOrder(GetConfiguredShutdownOrder());
    std::reverse(order.begin(), order.end());
    for (const std::u16string& name : order) {
        for (const JxService& row : m_InstallServices) {
            if (!jxtext::EqualsNoCase(row.name, name))
                continue;
            JxFeature feature;
            GetFeature(feature, row.featurename);
            const JxComponent component = GetComponentOfFeature(row.componentid, feature);
            if (IsTrueText(component.extractaswpk)) {
                log->Log(LP_INFO, kModule, context.c_str(),
                         u"(ExtractAsWpk) Skip check and activate service: %s", row.name.c_str());
                continue;
            }
            if (!GetConditionResult(component.condition)) {
                log->Log(LP_INFO, kModule, context.c_str(),
                         u"(Condition) Skip check and activate service: %s", row.name.c_str());
                continue;
            }
            CheckAndActivateService(row, component);
        }
    }
    ExecuteCustomStartupActions();
    DeleteServiceStates();
    log->Log(LOG_END, kModule, context.c_str(), u"");
}

void JxData::CheckAndActivateService(const JxService& row, const JxComponent& component) {
    const std::u16string context = Context(u"CheckAndActivateService");
    JxLog* log = GetLog();
    for (const JxFile& file : m_Files) {
        if (!jxtext::EqualsNoCase(file.componentid, component.id) ||
            !jxtext::EqualsNoCase(file.name, row.file))
            continue;
        const std::u16string path =
            JxFile::CombinePath(ExpandProperties(component.destinationdir), file.name);
        if (!FileExists(path.c_str())) {
            log->Log(LP_INFO, kModule, context.c_str(),
                     u"Imagefile %s not found. Skip registratin check and service activation.", path.c_str());
            continue;
        }
        if (row.m_RegisteredInThisRun)
            CheckServiceRegistration(row, path);
        else
            log->Log(
                LP_INFO, kModule, context.c_str(),
                u"Service %s was not registered during the installation process. Skip registration check.",
                row.name.c_str());
        ActivateAndStartService(row, path);
    }
}

void JxData::CheckServiceRegistration(const JxService& row, const std::u16string& path) {
    const std::u16string context = Context(u"CheckServiceRegistration");
    JxLog* log = GetLog();
    const std::u16string key = kServicesKey + row.name;
    bool registered = true;
    if (!CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"ImagePath", 0)) {
        log->Log(LP_INFO, kModule, context.c_str(), u"ImagePath of service %s not found in registry.",
                 row.name.c_str());
        registered = false;
    } else if (!ServiceController::IsRegistered(row.name.c_str(), nullptr)) {
        log->Log(LP_INFO, kModule, context.c_str(), u"Service not found in Service Controller: %s.",
                 row.name.c_str());
        registered = false;
    }
    if (CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"DeleteFlag", 0)) {
        log->Log(LP_INFO, kModule, context.c_str(), u"Remove DeleteFlag of service %s", row.name.c_str());
        CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DeleteFlag", 0);
    }
    if (registered) {
        log->Log(LP_INFO, kModule, context.c_str(), u"Serivce %s is already registered. ", row.name.c_str());
        return;
    }
    log->Log(LP_INFO, kModule, context.c_str(), u"Register service %s.", row.name.c_str());
    // The argument is expanded as the registration in the sequence expands it.
    const DWORD limit =
        IsTrueText(ExpandProperties(u"[_NoServiceTimeout]")) ? kExecNoTimeLimit : kRegistrationTimeLimit;
    ExecAppWait(path, ExpandProperties(row.argument), false, true, true, false, limit);
}

void JxData::ActivateAndStartService(const JxService& row, const std::u16string& path) {
    const std::u16string context = Context(u"ActivateAndStartService");
    JxLog* log = GetLog();
    if (!ServiceController::IsRegistered(row.name.c_str(), nullptr)) {
        log->Log(LP_INFO, kModule, context.c_str(), u"Service is not registered: %s", row.name.c_str());
        return;
    }
    const DWORD startType = GetConfiguredServiceStartType(row);
    if (startType == SERVICE_DISABLED) {
        log->Log(LP_INFO, kModule, context.c_str(),
                 u"Configured start type is disabled. Do not activate and start service.");
        return;
    }
    std::u16string protectedList = GetPropertyValue(u"_PPLServices");
    if (protectedList.empty())
        protectedList = kDefaultPplServices;
    const bool isProtected =
        GetConditionResult(u"[VersionNT]>=1000") &&
        jxtext::FindNoCase(protectedList, u"$" + row.name + u"$") != std::u16string::npos;
    if (isProtected)
        RegisterServiceAsPPL(row, path, startType);
    else
        EnableServiceWithStartType(row, startType);
    StartTolvaneService(row);
}

void JxData::RegisterServiceAsPPL(const JxService& row, const std::u16string& path, DWORD startType) {
    const std::u16string context = Context(u"RegisterServiceAsPPL");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"Register service as PPL: %s", row.name.c_str());
    // The program sets its own start type; the delayed flag stays as it is.
    const int32_t result = ExecAppWait(path, u"/pplreg:" + jxtext::ToText(static_cast<int>(startType)), false,
                                       true, true, false, kExecNoTimeLimit);
    if (result == 0)
        log->Log(LOG_END, kModule, context.c_str(), u"OK.");
    else
        log->Log(LOG_END, kModule, context.c_str(), u"Failed with error: %d", result);
}

void JxData::EnableServiceWithStartType(const JxService& row, DWORD startType) {
    const std::u16string context = Context(u"EnableServiceWithStartType");
    JxLog* log = GetLog();
    ServiceController service;
    if (!service.Open(row.name.c_str(), nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS)) {
        log->Log(LP_ERROR, kModule, context.c_str(), u"(Systen) Failed to open service: %s",
                 row.name.c_str());
        return;
    }
    // A protected service refuses the change unless the setup holds a connection to the driver.
    if (!SetStartTypeThroughDriver(service, row.name, startType, log, context.c_str())) {
        service.Close();
        return;
    }
    const bool delayed = jxtext::EqualsNoCase(row.starttype, u"delayed");
    const bool result = service.SetDelayedAutoStart(delayed);
    log->Log(LP_INFO, kModule, context.c_str(), u"Set Service %s as delayed: %s - Returned: %s",
             row.name.c_str(), delayed ? u"true" : u"false", result ? u"true" : u"false");
    service.Close();
}

void JxData::StartTolvaneService(const JxService& row) {
    const std::u16string context = Context(u"StartTolvaneService");
    JxLog* log = GetLog();
    if (!IsTrueText(row.start)) {
        log->Log(LP_INFO, kModule, context.c_str(), u"(Configuration) Do not start service: %s",
                 row.name.c_str());
        return;
    }
    ServiceController service;
    if (!service.Open(row.name.c_str(), nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS)) {
        log->Log(LP_ERROR, kModule, context.c_str(), u"Failed to open service %s with error: %d",
                 row.name.c_str(), GetLastError());
        return;
    }
    if (service.IsInState(SERVICE_RUNNING)) {
        log->Log(LP_INFO, kModule, context.c_str(), u"(System) Service is already running: %s",
                 row.name.c_str());
    } else {
        SetLastError(ERROR_SUCCESS);
        log->Log(LP_INFO, kModule, context.c_str(), u"Start service: %s", row.name.c_str());
        if (service.Start(false, 30, 1000)) {
            bool running = service.IsInState(SERVICE_RUNNING);
            for (DWORD pause = 0; !running && pause < kStartWaitPauses; ++pause) {
                PauseServiceWait(kStartWaitPauseMs);
                running = service.IsInState(SERVICE_RUNNING);
            }
            if (running)
                log->Log(LP_INFO, kModule, context.c_str(), u"Service started: %s", row.name.c_str());
            else
                log->Log(LP_WARNING, kModule, context.c_str(),
                         u"(Timeout) Failed to start service %s with error %d", row.name.c_str(),
                         GetLastError());
        } else {
            log->Log(LP_WARNING, kModule, context.c_str(),
                     u"(System) Failed to start service %s with error %d", row.name.c_str(), GetLastError());
        }
    }
    service.Close();
}

void JxData::ExecuteCustomStartupActions() {
    const std::u16string context = Context(u"ExecuteCustomStartupActions");
    JxLog* log = GetLog();
    log->Log(LP_INFO, kModule, context.c_str(), u"Execute StartupActions");
    for (const JxSequenceEntry& row : m_PropertyActions) {
        if (!IsTrueText(row.startupaction))
            continue;
        log->Log(LP_INFO, kModule, context.c_str(), u"Executing StartupAction %s, %s, %s",
                 row.modulename.c_str(), row.functionname.c_str(), ExpandProperties(row.argument).c_str());
        ExecuteAddOn(row.modulename, row.functionname, row.argument);
    }
}

void JxData::DeleteServiceStates() {
    CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, u"JxSetup", u"ServiceStates", 0);
}

} // namespace JxSetup::Data
