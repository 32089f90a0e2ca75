// One prerequisite: its component's package folder is extracted into the working folder, the
// installer runs hidden and is waited for, and its result is read against the row's codes.
#include <stdexcept>

#include "JxData_Prerequisites.h"
#include "jxbase/secretmask.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

// The install warning of a row, recorded before any other check.
void _prq_CheckInstallWarning(JxData& data, const JxSequenceAction& action, const JxFile& row,
                              const JxFeature& feature) {
    if (!_prq_IsTrue(row.checkremotewarning) || !data.GetConditionResult(row.remotewarningcondition))
        return;
    data.GetLog()->Log(LP_WARNING, kPrqModule, kPrqItemContext, u"Prq detected install warning: %s",
                       row.remotewarningcomponent.c_str());
    JxSequenceData& state = data.m_SequenceData;
    state.m_bWarning = true;
    state.m_Warning.m_ActionName = action.m_Name;
    state.m_Warning.m_FeatureName = feature.name;
    state.m_Warning.m_Description = u"Prq detected install warning";
    state.m_Warning.m_nCode = -100;
    state.m_Warning.m_nSubCode = -10001;
    state.m_Warning.m_Keyword = row.remotewarningcomponent;
}

// The program part of the command line. An extracted installer in a folder with blanks is quoted,
// so that the start cannot pick up a program planted at the first blank; "prqcmd" stays as
// written, since it may carry its own arguments.
std::u16string _prq_Program(JxData& data, const JxFile& row, const std::u16string& installer) {
    const std::u16string command = data.ExpandProperties(row.prqcmd);
    if (!command.empty())
        return command;
    if (installer.find(u' ') != std::u16string::npos && installer.front() != u'"')
        return u"\"" + installer + u"\"";
    return installer;
}

} // namespace

bool JxData::ExecutePrerequisiteItem(const JxSequenceAction& action, const JxFile& row) {
    JxLog* log = GetLog();
    JxFeature feature;
    GetFeature(feature, row.featurename);
    const JxComponent component = GetComponentOfFeature(row.componentid, feature);

    _prq_CheckInstallWarning(*this, action, row, feature);

    std::u16string folder = ExpandProperties(u"[_ExecPrqDir]");
    if (folder.empty())
        folder = ExpandProperties(component.destinationdir);
    const std::u16string installer = _prq_JoinPath(folder, ExpandProperties(row.name));

    bool result = true;
    // Every way out after the look-up empties the working folder.
    struct CCleanUp {
        JxData& m_Data;
        ~CCleanUp() { _prq_CleanUpWorkingFolder(m_Data); }
    } cleanUp{*this};

    if (_prq_IsTrue(component.extractaswpk)) {
        log->Log(LP_INFO, kPrqModule, kPrqItemContext, u"Skip action of component: %s",
                 row.componentid.c_str());
        return result;
    }
    if (!IsComponentToBeProcessed(component, feature, action, JxActivationPermissions{}))
        return result;

    if (!row.prqactiontext.empty() && HasGui())
        SetProgressText(ExpandProperties(row.prqactiontext));

    const WCHAR* problem = nullptr;
    if (folder.empty())
        problem = u"No destination defined for PRQ Installer.";
    else if (!m_Vfs)
        problem = u"VirtualFS is not initialized.";
    if (problem) {
        log->Log(LP_ERROR, kPrqModule, kPrqItemContext, u"%s", problem);
        _prq_RecordError(m_SequenceData, action, row);
        return false;
    }
    if (!IsComponentIncludedEx(row.componentid)) {
        log->Log(LP_ERROR, kPrqModule, kPrqItemContext, u"Required component is not mounted: %s",
                 row.componentid.c_str());
        _prq_RecordError(m_SequenceData, action, row);
        return false;
    }

    const CPrqExistingFiles existing = _prq_SetAsideExistingFiles(*this, row.componentid, folder);
    ExtractDir(row.componentid, folder, false);
    if (!JxFile::FileExists(installer)) {
        log->Log(LP_ERROR, kPrqModule, kPrqItemContext, u"File not found: %s", installer.c_str());
        _prq_RecordError(m_SequenceData, action, row);
        _prq_RemoveExtractedFiles(*this, row.componentid, folder, existing);
        return false;
    }

    DWORD timeout = kExecNoTimeLimit;
    try {
        timeout = _prq_ParseTimeout(row.prqtimeout);
    } catch (const std::logic_error&) {
        log->Log(LP_ERROR, kPrqModule, kPrqItemContext, u"Invalid timeout \"%s\" of prerequisite %s.",
                 row.prqtimeout.c_str(), row.name.c_str());
        _prq_RemoveExtractedFiles(*this, row.componentid, folder, existing);
        throw;
    }
    const std::u16string commandLine =
        _prq_Program(*this, row, installer) + u" " + ExpandProperties(row.prerequisitearg);
    log->Log(LP_INFO, kPrqModule, kPrqItemContext, u"Starting prerequisite: %s",
             MaskProtectedArguments(commandLine).c_str());
    const int32_t code = ExecAppWait(u"", commandLine, false, true, true, _prq_IsTrue(row.prq64bit), timeout);
    log->Log(LP_INFO, kPrqModule, kPrqItemContext, u"Prerequisite %s returned %d.", row.name.c_str(),
             static_cast<int>(code));

    _prq_RemoveExtractedFiles(*this, row.componentid, folder, existing);
    _prq_EvaluateResult(*this, action, row, code);
    return result;
}

} // namespace JxSetup::Data
