// The install and uninstall lists of applications: each row that its component, activation and
// condition let through is started with ExecAppWait, and a result equal to the row's reboot code
// asks for a restart.
#include <windows.h>

#include "JxData_ExecApp.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::ExecuteAppSequence";

bool _exec_IsTrueNoCase(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

} // namespace

void JxData::ExecuteAppSequence(const std::vector<JxApplication>& apps, const std::u16string& mode,
                                const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"Mode: %s", mode.c_str());
    for (const JxApplication& app : apps) {
        JxFeature feature;
        GetFeature(feature, app.featurename);
        const JxComponent component = GetComponentOfFeature(app.componentid, feature);
        if (_exec_IsTrueNoCase(component.extractaswpk)) {
            log->Log(LP_INFO, kModule, kContext, u"Skip action of component: %s", app.componentid.c_str());
            continue;
        }
        JxActivationPermissions permissions;
        permissions.m_bEnableFeature = app.enablefeature;
        permissions.m_bDisableFeature = app.disablefeature;
        if (!IsComponentToBeProcessed(component, feature, action, permissions))
            continue;
        if (!GetConditionResult(app.condition))
            continue;

        // The flags of this list count only in exactly this spelling.
        const bool useShell = app.useshellexecute == u"true";
        const bool hidden = app.hidden == u"true";
        const bool wait = app.wait == u"true";
        const bool is64Bit = app.plattform.find(u"x64") != std::u16string::npos;
        DWORD timeout = kExecNoTimeLimit;
        if (!app.timeout.empty()) {
            const std::optional<DWORD> seconds = _exec_ParseTimeout(app.timeout);
            if (!seconds) {
                // A row that cannot be read ends the list: the action fails, no later row runs.
                log->Log(LP_ERROR, kModule, kContext, u"Invalid timeout \"%s\" of application %s.",
                         app.timeout.c_str(), app.path.c_str());
                m_SequenceData.FailAction(action.m_Name, u"Invalid timeout of application " + app.path);
                break;
            }
            timeout = *seconds;
        }
        const std::u16string arguments = ExpandProperties(app.argument);
        std::u16string commandLine = u"\"" + ExpandProperties(app.path) + u"\" " + arguments;

        if (jxtext::EqualsNoCase(mode, u"Install") && _exec_IsTrueNoCase(app.execonlyifcopied)) {
            if (!ComponentFileWasCopied(app.componentid, app.featurename)) {
                log->Log(LP_INFO, kModule, kContext,
                         u"No file of component %s has been copied. Canceling execution.",
                         app.componentid.c_str());
                continue;
            }
            log->Log(LP_INFO, kModule, kContext,
                     u"At least one file of component %s has already been copied. Executing app.",
                     app.componentid.c_str());
        }

        int32_t result = 0;
        bool start = true;
        DWORD limit = kExecNoTimeLimit; // only a packaged program gets a time limit
        if (_exec_IsTrueNoCase(app.execfromwrap)) {
            VFS_PREPARED_FILE* prepared =
                m_Vfs ? m_Vfs->PrepareForExecution(app.path, nullptr, true) : nullptr;
            if (!prepared) {
                // Not started; its result counts as 0, so a reboot code of 0 still asks for a restart.
                log->Log(LP_WARNING, kModule, kContext, u"Packaged file %s not found.", app.path.c_str());
                start = false;
            } else {
                commandLine = u"\"" + prepared->diskPath + u"\" " + arguments;
                limit = timeout;
            }
        }
        if (start)
            result = ExecAppWait(u"", commandLine, useShell, hidden, wait, is64Bit, limit);

        if (_exec_IsTrueNoCase(app.ignorereturncode))
            continue;
        log->Log(LP_INFO, kModule, kContext, u"Analyzing return code was set.");
        if (app.rebootcode.empty())
            continue;
        const std::optional<long long> rebootCode = jxtext::TryParseInt(app.rebootcode);
        if (!rebootCode || *rebootCode < INT32_MIN || *rebootCode > INT32_MAX) {
            log->Log(LP_WARNING, kModule, kContext, u"Exception while reading rebootcode from config.");
            continue;
        }
        if (*rebootCode == result) {
            log->Log(LP_INFO, kModule, kContext, u"App requires a reboot!");
            SetRestart(true);
        }
    }
    log->Log(LOG_END, kModule, kContext, u"");
}

} // namespace JxSetup::Data
