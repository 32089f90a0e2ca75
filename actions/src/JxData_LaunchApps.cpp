// The applications started at the end of a run: the end-of-setup list and the finish-page list.
// Every check of a row is made and logged, even after one has already decided against it.
#include <optional>

#include <windows.h>

#include "jxbase/wow64guard.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::LaunchASetup";

} // namespace

int JxData::LaunchASetup(const std::vector<JxApplication>& apps) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"");
    ReleaseGlobalLocks();
    for (const JxApplication& app : apps) {
        JxFeature feature;
        GetFeature(feature, app.featurename);
        const std::u16string path = ExpandProperties(app.path);
        const bool wait = jxtext::EqualsNoCase(app.wait, u"true");
        log->Log(LP_INFO, kModule, kContext, u"Run App %s?", path.c_str());
        bool run = true;
        if (!GetConditionResult(app.condition)) {
            log->Log(LP_INFO, kModule, kContext, u"Do not run app. Condition failed.");
            run = false;
        }
        if (feature.m_Activatable) {
            if (!IsFeatureActivated(app.featurename)) {
                log->Log(LP_INFO, kModule, kContext, u"Do not run app. Feature %s is not activated",
                         app.featurename.c_str());
                run = false;
            }
        } else {
            const std::u16string installMode = GetInstallMode();
            const std::u16string state = GetFeatureState(app.featurename);
            if (jxtext::EqualsNoCase(installMode, u"Install")) {
                if (!jxtext::EqualsNoCase(state, u"FeatureStateInstalled")) {
                    log->Log(LP_INFO, kModule, kContext, u"Do not run app. Feautre %s is not installed.",
                             app.featurename.c_str());
                    run = false;
                }
            } else if (jxtext::EqualsNoCase(installMode, u"Maintenance")) {
                if (jxtext::EqualsNoCase(state, u"FeatureStateAbsent")) {
                    log->Log(LP_INFO, kModule, kContext, u"Do not run app. Feature %s was uninstalled.",
                             app.featurename.c_str());
                    run = false;
                }
            }
        }
        std::optional<CWow64FsRedirectionGuard> redirection;
        if (jxtext::FindNoCase(app.plattform, u"64") != std::u16string::npos) {
            if (GetConditionResult(u"_[VersionNT64]")) {
                log->Log(LP_INFO, kModule, kContext, u"Disable FSRedirection");
                redirection.emplace(true);
            } else {
                log->Log(LP_INFO, kModule, kContext, u"Do not run app. 64 Bit app can't run on 32 Bit OS.");
                run = false;
            }
        }
        if (!JxFile::FileExists(path)) {
            log->Log(LP_INFO, kModule, kContext, u"Do not run app. App not found");
            run = false;
        }
        if (run) {
            const std::u16string arguments = ExpandProperties(app.argument);
            if (jxtext::EqualsNoCase(GetPropertyValue(u"_IsDLLMode"), u"true")) {
                log->Log(LP_INFO, kModule, kContext, u"Run app in active sessions");
                const size_t slash = path.find_last_of(u'\\');
                const std::u16string folder = slash == std::u16string::npos ? u"" : path.substr(0, slash);
                const std::u16string file = slash == std::u16string::npos ? u"" : path.substr(slash + 1);
                JxFile::LaunchFileInActiveSessions(folder, file, arguments, wait);
            } else {
                log->Log(LP_INFO, kModule, kContext, u"Run app in current session");
                ExecAppWait(path, arguments, false, false, wait, false, kExecNoTimeLimit);
            }
        }
        if (redirection) {
            log->Log(LP_INFO, kModule, kContext, u"Revert FSRedirection");
            redirection.reset();
        }
    }
    log->Log(LOG_END, kModule, kContext, u"");
    return 0;
}

void JxData::LaunchAppsAtEndOfSetup() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, u"JxSetup::Data::JxData::LaunchAppsAtEndOfSetup", u"");
    LaunchASetup(m_LaunchAtEndApps);
    log->Log(LOG_END, kModule, u"JxSetup::Data::JxData::LaunchAppsAtEndOfSetup", u"");
}

void JxData::LaunchFinishDialogApps() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, u"JxSetup::Data::JxData::LaunchFinishDialogApps", u"");
    LaunchASetup(m_FinishDialogApps);
    log->Log(LOG_END, kModule, u"JxSetup::Data::JxData::LaunchFinishDialogApps", u"");
}

} // namespace JxSetup::Data
