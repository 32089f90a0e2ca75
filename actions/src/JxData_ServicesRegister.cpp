// Registration of the definition's services: each service program registers itself when run with
// its row's argument; the service's registry configuration is repaired afterwards.
#include "jxactions/JxServiceControl.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {

namespace {

constexpr const WCHAR* kRegContext = u"JxSetup::Data::JxData::SelfRegService";
constexpr const WCHAR* kFixContext = u"JxSetup::Data::JxData::FixServiceConfiguration";
constexpr DWORD kRegistrationTimeLimit = 600; // seconds

bool _svc_IsTrue(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

} // namespace

void JxData::_svc_ReportRegistrationFailure(const JxService& row, const JxSequenceAction& action) {
    const std::u16string name = ExpandProperties(row.name);
    std::u16string displayName = GetPropertyValue(u"Service_" + name);
    if (displayName.empty())
        displayName = name;
    SetProperty(u"_FailedServiceName", displayName, 1);
    JxErrorInfo error;
    error.m_Title = ExpandProperties(u"[PRODUCTNAME]");
    error.m_Message = ExpandProperties(u"[MSG_ERR_INSTALLSERVICE]");
    error.m_ActionName = action.m_Name;
    error.m_FeatureName = row.featurename;
    if (_svc_IsTrue(ExpandProperties(u"[AbortOnRegSvcFail]"))) {
        m_SequenceData.m_bFailure = true;
        m_SequenceData.m_Error = error;
    } else {
        m_SequenceData.m_bWarning = true;
        m_SequenceData.m_Warning = error;
    }
}

void JxData::SelfRegService(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, u"lib", kRegContext, u"");
    for (JxService& row : m_InstallServices) {
        // After a registration that failed the run, no further service is touched.
        if (m_SequenceData.m_bFailure)
            continue;
        row.m_RegisteredInThisRun = false;
        JxFeature feature;
        GetFeature(feature, row.featurename);
        const JxComponent component = GetComponentOfFeature(row.componentid, feature);
        if (_svc_IsTrue(component.extractaswpk)) {
            log->Log(LP_INFO, u"lib", kRegContext, u"Skip action of component: %s", component.id.c_str());
            continue;
        }
        if (!IsComponentToBeProcessed(component, feature, action,
                                      JxActivationPermissions{row.enablefeature, row.disablefeature}))
            continue;
        const JxFile* file = nullptr;
        for (const JxFile& candidate : m_Files) {
            if (jxtext::EqualsNoCase(candidate.componentid, component.id) &&
                jxtext::EqualsNoCase(candidate.featurename, row.featurename) &&
                jxtext::EqualsNoCase(candidate.name, row.file)) {
                file = &candidate;
                break;
            }
        }
        if (!file)
            continue;
        const std::u16string path =
            JxFile::CombinePath(ExpandProperties(component.destinationdir), ExpandProperties(file->name));
        const std::u16string argument = ExpandProperties(row.argument);
        const std::u16string name = ExpandProperties(row.name);
        if (!JxFile::FileExists(path)) {
            log->Log(LP_INFO, u"lib", kRegContext, u"File %s not found on target.", path.c_str());
            continue;
        }
        log->Log(LP_INFO, u"lib", kRegContext, u"Registering service using file %s.", path.c_str());
        const DWORD timeLimit =
            _svc_IsTrue(ExpandProperties(u"[_NoServiceTimeout]")) ? kExecNoTimeLimit : kRegistrationTimeLimit;
        // A negative result: the program could not be started, or crashed, or did not end in time.
        const bool failed = ExecAppWait(path, argument, false, true, true, false, timeLimit) < 0;
        if (failed) {
            _svc_ReportRegistrationFailure(row, action);
            // The service may not exist at all: a repair would only leave a stray key behind.
            log->Log(LP_ERROR, u"lib", kRegContext,
                     u"Registration of service %s failed; its configuration is not fixed.", name.c_str());
        } else {
            FixServiceConfiguration(name, path);
        }
        if (!_svc_IsTrue(row.deleteserviceonupdate)) {
            log->Log(LP_INFO, u"lib", kRegContext, u"Scheduling service %s for registration check.",
                     name.c_str());
            row.m_RegisteredInThisRun = true;
        }
        if (!failed && _svc_IsTrue(ExpandProperties(u"[DisableServiceAfterReg]")) &&
            ServiceController::IsRegistered(name.c_str(), nullptr)) {
            if (DisableService(name, nullptr))
                log->Log(LP_INFO, u"lib", kRegContext, u"Disabled service %s.", name.c_str());
            else
                log->Log(LP_WARNING, u"lib", kRegContext, u"Failed to disable service %s.", name.c_str());
        }
    }
    log->Log(LOG_END, u"lib", kRegContext, u"");
}

void JxData::FixServiceConfiguration(const std::u16string& serviceName, const std::u16string& path) {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, u"lib", kFixContext, u"%s - %s", serviceName.c_str(), path.c_str());
    SetLastError(ERROR_SUCCESS);
    const std::u16string keyPath = u"SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
        // Only a service that exists is repaired; writing its values would make a bogus service key.
        log->Log(LP_WARNING, u"lib", kFixContext, u"Service %s is not registered; nothing to fix.",
                 serviceName.c_str());
        log->Log(LOG_END, u"lib", kFixContext, u"");
        return;
    }
    if (RegQueryValueExW(key, u"DeleteFlag", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        log->Log(LP_WARNING, u"lib", kFixContext, u"Removing DeleteFlag of service %s", serviceName.c_str());
        const LONG removed = RegDeleteValueW(key, u"DeleteFlag");
        if (removed == ERROR_SUCCESS)
            log->Log(LP_INFO, u"lib", kFixContext, u"DeleteFlag of service %s removed.", serviceName.c_str());
        else
            log->Log(LP_INFO, u"lib", kFixContext,
                     u"Failed to remove DeleteFlag of service %s with error %d.", serviceName.c_str(),
                     removed);
    }
    if (_svc_IsTrue(GetPropertyValue(serviceName + u"SkipFixImagePath"))) {
        RegCloseKey(key);
        log->Log(LOG_END, u"lib", kFixContext, u"Skip fix ImagePath for service %s", serviceName.c_str());
        return;
    }
    log->Log(LP_WARNING, u"lib", kFixContext, u"Set ImagePath of service %s: %s", serviceName.c_str(),
             path.c_str());
    // The image path is the program alone, quoted: the arguments it registered with are dropped.
    std::u16string imagePath = u"\"" + path + u"\"";
    const std::u16string alternative = GetPropertyValue(serviceName + u"ImagePath");
    if (!alternative.empty()) {
        log->Log(LP_INFO, u"lib", kFixContext, u"Alternative ImagePath defined for service %s: %s",
                 serviceName.c_str(), alternative.c_str());
        imagePath = u"\"" + alternative + u"\"";
    }
    const LONG written =
        RegSetValueExW(key, u"ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(imagePath.c_str()),
                       static_cast<DWORD>((imagePath.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    if (written == ERROR_SUCCESS)
        log->Log(LP_INFO, u"lib", kFixContext, u"ImagePath of service %s set: %s", serviceName.c_str(),
                 imagePath.c_str());
    else
        log->Log(LP_WARNING, u"lib", kFixContext, u"Failed to set ImagePath of service %s: with error %d",
                 serviceName.c_str(), written);
    log->Log(LOG_END, u"lib", kFixContext, u"");
}

} // namespace JxSetup::Data
