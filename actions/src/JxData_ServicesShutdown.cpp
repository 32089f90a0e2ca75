// The shutdown of the product's services before its files are replaced or removed: the repair
// entry in RunOnce, optional minidumps of the service processes, the definition's shutdown
// actions, then each service in the merged shutdown order, through an add-on of the product ("CA")
// or by disabling and stopping it ("SCM"). Outside an uninstallation a failure tells the user and
// brings the services back.
#include "jxactions/JxServiceControl.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {

namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kEngineKey = u"Software\\Tolvane\\JxSetupEngine";
constexpr const WCHAR* kRunOnceKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The transient action whose rules decide whether a service goes away in this run: maintenance,
// uninstall, update, upgrade and disable-feature runs, counts its own steps, skipped on resume.
constexpr uint32_t kFinalShutdownFlags = 478;

// The stop wait: the state is looked at before each pause and once more after the last one.
constexpr DWORD kStopWaitPauseMs = 500;
constexpr DWORD kStopWaitPauses = 3599;
// The time-out in whole minutes, as the log line states it.
constexpr DWORD kStopWaitMinutes = (kStopWaitPauses * kStopWaitPauseMs + 30000) / 60000;

std::u16string Context(const WCHAR* operation) {
    return std::u16string(u"JxSetup::Data::JxData::") + operation;
}

const WCHAR* BoolText(bool value) {
    return value ? u"true" : u"false";
}

bool IsTrueText(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

DWORD CancelUpdateSetting() {
    return CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kEngineKey, u"CancelUpdate", 0, 0);
}

} // namespace

void JxData::_shutdown_WriteRepairEntry() {
    std::u16string program;
    if (IsTrueText(ExpandProperties(u"[_IsDLLMode]"))) {
        program = JxFile::CombinePath(GetModuleDirectory(), u"setup.exe");
    } else {
        std::u16string path(MAX_PATH, u'\0');
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        program = path.substr(0, length);
    }
    const std::u16string command = u"\"" + program + u"\" /_QuietInstallation=true /_FixServices=true";
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kRunOnceKey,
                              (std::u16string(GetProductId()) + u"_FixSvc").c_str(), command,
                              CRegStringType::Sz, 0);
}

bool JxData::ShutdownActions() {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"ShutdownActions");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    bool ok = true;
    const bool uninstall = jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall");
    if (GetInstallMode() == u"Maintenance")
        _shutdown_WriteRepairEntry();
    const std::u16string preDumps = ExpandProperties(u"[_PreCreateMiniDumps]");
    if (!preDumps.empty())
        ShutdownCreateDumps(u"Pre_", preDumps);
    if (CancelUpdateSetting() >= 1) {
        log->Log(LP_WARNING, kModule, context.c_str(), u"CancelUpdate setted. Testing fallback scenario.");
        ok = false;
    }
    const auto notifyCallback = [this] {
        if (m_ProgressCallback.m_Function)
            m_ProgressCallback.m_Function(m_ProgressCallback.m_Context, -1, 0, nullptr);
    };
    for (const JxSequenceEntry& row : m_PropertyActions) {
        notifyCallback();
        if (!IsTrueText(row.shutdownaction))
            continue;
        const std::u16string argument = ExpandProperties(row.argument);
        if (ok) {
            log->Log(LP_INFO, kModule, context.c_str(), u"Executing shutdown action %s, %s, %s.",
                     row.modulename.c_str(), row.functionname.c_str(), argument.c_str());
            ok = ExecuteAddOn(row.modulename, row.functionname, row.argument);
            notifyCallback();
        } else {
            log->Log(LP_ERROR, kModule, context.c_str(),
                     u"Prior ShutdownAction failed. Skipping current action %s, %s, %s.",
                     row.modulename.c_str(), row.functionname.c_str(), argument.c_str());
        }
    }
    // A failed shutdown action leaves every service as it is.
    bool done = ok && ShutdownServices(GetConfiguredShutdownOrder());
    if (!done) {
        const std::u16string dumps = ExpandProperties(u"[_CreateMiniDumps]");
        if (!dumps.empty())
            ShutdownCreateDumps(u"", dumps);
        if (uninstall) {
            log->Log(LP_INFO, kModule, context.c_str(),
                     u"InstallMode is Uninstall. Ignore shutdown failure.");
            done = true;
        } else {
            if (m_Gui) {
                const std::u16string button = GetPropertyValue(u"DLG_OK");
                m_Gui->PrepareMessageBox(0);
                m_Gui->MessageBoxWithButtons(ExpandProperties(u"[PRODUCTNAME]"),
                                             GetPropertyValue(u"JX_MSG_SETUP_ACTIVE_COMPONENTS"),
                                             MB_ICONERROR, button, button);
            }
            FallBackReactivateServices();
            SetAllFeaturesActivated(false);
            LaunchAppsAtEndOfSetup();
        }
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(done));
    return done;
}

bool JxData::ShutdownServices(const std::vector<std::u16string>& list) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"ShutdownServices");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    bool ok = true;
    const std::vector<std::u16string> merged = GetMergedShutdownOrder(list);
    const bool all = CanAllServicesShutdown();
    for (const std::u16string& name : merged) {
        if (!ok)
            log->Log(LP_INFO, kModule, context.c_str(),
                     u"Prior service shutdown failed. Skipping shutdown of service: %s", name.c_str());
        else if (all || CanServiceShutdown(name))
            ok = ShutdownService(name);
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(ok));
    return ok;
}

bool JxData::CanAllServicesShutdown() {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"CanAllServicesShutdown");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    bool all = false;
    const std::u16string mode = GetInstallMode();
    if (mode == u"Maintenance" && (m_UpdateMode == 1 || m_UpdateMode == 2)) {
        log->Log(LP_INFO, kModule, context.c_str(),
                 u"Maintenance - Update or Upgrade => Shutdown all services.");
        all = true;
    } else if (mode == u"Uninstall") {
        log->Log(LP_INFO, kModule, context.c_str(), u"Uninstall => Shutdown all services.");
        all = true;
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(all));
    return all;
}

bool JxData::CanServiceShutdown(const std::u16string& serviceName) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"CanServiceShutdown");
    GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", serviceName.c_str());
    bool result = false;
    for (const JxService& row : m_InstallServices) {
        if (!jxtext::EqualsNoCase(row.name, serviceName) || !FeatureHasValidAction(row.featurename))
            continue;
        result = !IsServiceComponentExtractedAsWpk(*this, row);
        break;
    }
    GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(result));
    return result;
}

bool JxData::ShutdownService(const std::u16string& serviceName) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"ShutdownService");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", serviceName.c_str());
    bool ok = true;
    for (const JxService& row : m_InstallServices) {
        if (!jxtext::EqualsNoCase(row.name, serviceName))
            continue;
        std::u16string componentId;
        if (IsServiceComponentExtractedAsWpk(*this, row, &componentId)) {
            log->Log(LP_INFO, kModule, context.c_str(),
                     u"Do not shutdown service %s. Component is extracted as wpk: %s", serviceName.c_str(),
                     componentId.c_str());
            continue;
        }
        if (jxtext::EqualsNoCase(row.shutdownoption, u"CA"))
            ok = ShutdownServiceUsingCA(row);
        else if (jxtext::EqualsNoCase(row.shutdownoption, u"SCM"))
            ok = ShutdownServiceUsingSCM(row);
        else
            log->Log(LP_INFO, kModule, context.c_str(), u"Classical shutdown option set. Nothing to do.");
        break;
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(ok));
    return ok;
}

bool JxData::ShutdownServiceUsingCA(const JxService& row) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"ShutdownServiceUsingCA");
    GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", row.name.c_str());
    const bool final = IsFinalShutdown(row.name);
    std::u16string parameter = row.shutdownparam;
    if (!parameter.empty())
        parameter += u";";
    parameter += BoolText(final);
    const bool result = ExecuteAddOn(row.shutdownmodule, row.shutdownfunction, parameter);
    GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(result));
    return result;
}

bool JxData::IsFinalShutdown(const std::u16string& serviceName) {
    const std::u16string context = Context(u"IsFinalShutdown");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", serviceName.c_str());
    const std::u16string mode = GetInstallMode();
    if (mode == u"Install" || mode == u"Uninstall") {
        const bool final = mode == u"Uninstall";
        log->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(final));
        return final;
    }
    const JxSequenceAction finalShutdown(u"FinalShutdown", u"", kFinalShutdownFlags);
    for (const JxService& row : m_UninstallServices) {
        if (!jxtext::EqualsNoCase(row.name, serviceName))
            continue;
        JxFeature feature;
        GetFeature(feature, row.featurename);
        const JxComponent component = GetComponentOfFeature(row.componentid, feature);
        if (IsTrueText(component.extractaswpk)) {
            log->Log(LP_INFO, kModule, context.c_str(), u"Skip action of component: %s",
                     component.id.c_str());
            continue;
        }
        if (IsComponentToBeProcessed(component, feature, finalShutdown,
                                     JxActivationPermissions{row.enablefeature, row.disablefeature})) {
            log->Log(LOG_END, kModule, context.c_str(), u"%s", u"true");
            return true;
        }
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s", u"false");
    return false;
}

bool JxData::ShutdownServiceUsingSCM(const JxService& row) {
    CJxDataLock lock(*this);
    const std::u16string context = Context(u"ShutdownServiceUsingSCM");
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", row.name.c_str());
    // A run that disables a service and then ends abnormally leaves the product off: outside an
    // uninstallation the repair run is scheduled before the first service is disabled.
    if (!jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall"))
        _shutdown_WriteRepairEntry();
    if (DisableService(row.name, nullptr))
        log->Log(LP_INFO, kModule, context.c_str(), u"Disabled service %s", row.name.c_str());
    else
        log->Log(LP_WARNING, kModule, context.c_str(), u"Failed to disable service %s", row.name.c_str());
    ServiceController service;
    bool result = true;
    if (!service.Open(row.name.c_str(), nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS)) {
        // A service that cannot be opened counts as shut down.
        log->Log(LP_INFO, kModule, context.c_str(), u"Can't open service.");
        log->Log(LOG_END, kModule, context.c_str(), u"%s", u"true");
        return true;
    }
    log->Log(LP_INFO, kModule, context.c_str(), u"Opened service.");
    const auto disable = [&] {
        return service.ChangeConfig(SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr);
    };
    if (service.IsInState(SERVICE_RUNNING)) {
        log->Log(LP_INFO, kModule, context.c_str(), u"Service is running.");
        if (!disable()) {
            log->Log(LP_ERROR, kModule, context.c_str(), u"Failed to disable service.");
            result = false;
        } else {
            log->Log(LP_INFO, kModule, context.c_str(), u"Disabled service.");
            if (!service.Stop(false)) {
                log->Log(LP_ERROR, kModule, context.c_str(), u"Failed to stop service.");
                result = false;
            } else {
                bool stopped = service.IsInState(SERVICE_STOPPED);
                for (DWORD pause = 0; !stopped && pause < kStopWaitPauses; ++pause) {
                    PauseServiceWait(kStopWaitPauseMs);
                    stopped = service.IsInState(SERVICE_STOPPED);
                }
                if (stopped) {
                    log->Log(LP_INFO, kModule, context.c_str(), u"Stopped service.");
                } else {
                    log->Log(LP_ERROR, kModule, context.c_str(),
                             u"Timeout! Failed to stop service after %lu minutes.", kStopWaitMinutes);
                    result = false;
                }
            }
        }
    } else {
        log->Log(LP_INFO, kModule, context.c_str(), u"Service is not running");
        if (disable()) {
            log->Log(LP_INFO, kModule, context.c_str(), u"Disabled service.");
        } else {
            log->Log(LP_ERROR, kModule, context.c_str(), u"Failed to disable service.");
            result = false;
        }
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s", BoolText(result));
    service.Close();
    return result;
}

} // namespace JxSetup::Data
