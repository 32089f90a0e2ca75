// Restart requests and run state of the data object.
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"

#include "jxbase/trace.h"
#include "jxplat/security.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
}

bool JxData::IsQuiet() {
    // Any non-empty text makes the run quiet, "false" included.
    return !GetPropertyValue(u"_QuietUpdate").empty() || !GetPropertyValue(u"_QuietInstallation").empty();
}

bool JxData::IsRestartRequired() {
    return !GetPropertyValue(u"_RestartRequired").empty();
}

bool JxData::IsRestartConfirmed() {
    if (jxtext::EqualsNoCase(GetPropertyValue(u"_IsSystemContext"), u"true") ||
        jxtext::EqualsNoCase(GetPropertyValue(u"_IsDLLMode"), u"true"))
        return GetPropertyValue(u"_RestartRequired") == u"1";
    return jxtext::EqualsNoCase(GetPropertyValue(u"_PerformRestartConfirmed"), u"true");
}

bool JxData::SetRestart(bool required) {
    CJxDataLock lock(*this);
    if (required)
        GetLog()->Log(HP_INFO, kModule, u"JxSetup::Data::JxData::SetRestart", u"Restart required: %s",
                      u"true");
    bool result = IsRestartRequired();
    if (jxtext::EqualsNoCase(GetPropertyValue(u"RESTARTONUPGRADE"), u"true")) {
        // Installations and upgrades always report a restart; an empty mode is an installation.
        const std::u16string mode = GetInstallMode();
        if (mode.empty() || jxtext::EqualsNoCase(mode, u"Install"))
            result = true;
        else if (jxtext::EqualsNoCase(mode, u"Maintenance") && m_UpdateMode == 2)
            result = true;
    }
    SetProperty(u"_RestartRequired", required ? u"1" : u"", 1);
    return result;
}

int JxData::CheckUserCancel() {
    if (!m_Gui)
        return 0;
    int answer = m_Gui->IsCancelRequested();
    if (answer == 0) {
        // A busy GUI (a dialog of its own is open) answers once it is done; it is waited for
        // without a limit.
        while (m_Gui->GetBusyState() == 1) {
            JX_ENGINE_TRACE(8, u"JxSetup::Data::JxData::CheckUserCancel", u"The GUI is busy; waiting.\n");
            Sleep(100);
        }
        answer = m_Gui->IsCancelRequested();
        if (answer == 0)
            return 0;
    }
    m_UserCancelled = true;
    return answer;
}

void JxData::UnbindGui() {
    m_Gui = nullptr;
}

void JxData::PerformRestart() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::PerformRestart";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    if (jxtext::EqualsNoCase(GetPropertyValue(u"_IsDLLMode"), u"true")) {
        log->Log(LP_INFO, kModule, context, u"Setup is running in dll mode.");
        return;
    }
    if (IsQuiet()) {
        log->Log(LP_INFO, kModule, context, u"Setup is running in silent mode.");
        return;
    }
    if (!EnablePrivilege(u"SeShutdownPrivilege")) {
        log->Log(LOG_END, kModule, context, u"Failed to shutdown.");
        return;
    }
    log->Log(LOG_END, kModule, context, u"Shutdown.");
    log->Release();
    // Planned, application, maintenance.
    ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_MAJOR_APPLICATION |
                                                    SHTDN_REASON_MINOR_MAINTENANCE);
}

bool JxData::EnablePrivilege(const WCHAR* privilegeName) {
    CJxDataLock lock(*this);
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        GetLog()->Log(LP_WARNING, kModule, u"JxSetup::Data::JxData::EnablePrivilege",
                      u"The process token cannot be opened. Error %d", static_cast<int>(GetLastError()));
        return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // A partial assignment (ERROR_NOT_ALL_ASSIGNED) still counts as success.
    bool result = LookupPrivilegeValueW(nullptr, privilegeName, &privileges.Privileges[0].Luid) &&
                  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
    return result;
}

void JxData::SetSkipCommonUpdate(bool flag) {
    if (!m_SkipCommonUpdate && flag)
        SetProperty(u"_SkipCommonUpdate", u"true", 1);
    m_SkipCommonUpdate = flag;
}

} // namespace JxSetup::Data
