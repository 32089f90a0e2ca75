// Whether the machine still waits for a restart that an earlier run, another installation or
// Windows asked for, before this run changes anything.
#include "jxsetupdata/JxData.h"

#include "jxbase/files.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::DetectPendingRestartRequest";
const WCHAR* const kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const WCHAR* const kPendingRenames = u"PendingFileRenameOperations";
const WCHAR* const kRunOnceKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr DWORD kRenameBufferBytes = 163830;

void _pending_RemoveAll(std::u16string& text, std::u16string_view what) {
    for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at))
        text.erase(at, what.size());
}

} // namespace

void JxData::DetectPendingRestartRequest() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"");
    bool pending = false;
    bool prior = false;
    const std::u16string productId = GetProductId();

    // 1. Renames at the next start that touch the product's own files.
    const std::vector<std::u16string> renames = GetPendingFileRenameOperations(kRenameBufferBytes);
    if (!renames.empty()) {
        log->Log(LP_INFO, kModule, kContext,
                 u"PendingFileRenameOperations found. Checking weather any operation matches own files.");
        for (const JxFile& file : m_Files) {
            JxFeature feature;
            GetFeature(feature, file.featurename);
            const JxComponent component = GetComponentOfFeature(file.componentid, feature);
            // A destination folder written with its closing backslash names the same file.
            const std::u16string target = JoinFolderPath(ExpandProperties(component.destinationdir).c_str(),
                                                         ExpandProperties(file.name));
            for (std::u16string piece : renames) {
                if (piece.empty())
                    continue;
                if (jxtext::Fold(piece).find(u"data.wpk") != std::u16string::npos) {
                    log->Log(LP_INFO, kModule, kContext, u"%s contains data.wpk", piece.c_str());
                    pending = true;
                    break;
                }
                // A replacing target keeps its "!" and never matches.
                _pending_RemoveAll(piece, u"\\??\\");
                if (jxtext::EqualsNoCase(piece, target)) {
                    log->Log(LP_INFO, kModule, kContext, u"%s equals %s", piece.c_str(), target.c_str());
                    pending = true;
                    break;
                }
            }
            if (pending)
                break;
        }
    }

    if (!productId.empty()) {
        // 2. An outdated entry of an earlier version.
        const std::u16string outdated = productId + u"_RebootPending";
        if (CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, outdated.c_str(), 0)) {
            log->Log(LP_INFO, kModule, kContext, u"Cleanup outdated reboot request.");
            CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kRunOnceKey, outdated.c_str(), 0);
        }
    }

    // 3. The request file of an earlier run, when it is scheduled for the restart.
    const std::u16string installDir = GetPropertyValue(u"INSTALLDIR");
    if (!installDir.empty()) {
        const std::u16string requestFile = JoinFolderPath(installDir.c_str(), u"SetupReboot.req");
        bool scheduled = false;
        for (const std::u16string& entry :
             CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, 0)) {
            if (jxtext::Fold(entry).find(jxtext::Fold(requestFile)) != std::u16string::npos) {
                log->Log(LP_INFO, kModule, kContext, u"SetupReboot.req is scheduled: %s", entry.c_str());
                scheduled = true;
            }
        }
        if (scheduled && GetFileAttributesW(requestFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
            log->Log(LP_INFO, kModule, kContext,
                     u"A reboot request was triggered by any prior setup process. (SetupReboot.req)");
            pending = prior = true;
        }
    }

    // 4. A tagged restart entry of an earlier run. The run that the restart entry started after the
    // restart (only that command line names the state to resume at) still finds the tag: Windows
    // runs the key's entries one after the other, and the tag's turn comes after this run. The
    // restart has taken place, so the tag is removed instead of stopping the run it resumes.
    const std::u16string tag = productId + u"_TAG";
    if (!productId.empty() && CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, tag.c_str(), 0)) {
        if (!GetPropertyValue(u"_SeqLastState").empty()) {
            log->Log(LP_INFO, kModule, kContext,
                     u"The restart that this run resumes from has taken place. Removing its tag.");
            CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kRunOnceKey, tag.c_str(), 0);
        } else {
            log->Log(LP_INFO, kModule, kContext,
                     u"Any prior tagged operation has scheduled a reboot request.");
            pending = prior = true;
        }
    }

    // 5. Windows' own servicing.
    if (CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE,
                                 u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing",
                                 u"RebootPending", 0, 0) != 0) {
        log->Log(LP_INFO, kModule, kContext, u"An external installation requests a reboot!");
        pending = true;
    }

    // 6. Services of the product marked for deletion.
    for (const JxService& service : m_InstallServices) {
        const std::u16string name = ExpandProperties(service.name);
        const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\" + name;
        if (!name.empty() && CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), u"DeleteFlag", 0)) {
            log->Log(LP_INFO, kModule, kContext, u"Service %s requires a reboot.", name.c_str());
            pending = true;
        }
    }

    // 7. From here on "prior" means that a property demands the restart.
    SetProperty(u"_PENDINGRESTARTREQUEST", u"", 1);
    if (prior)
        WriteAllTemporaryStoredProperties();
    prior = false;

    const std::u16string mode = GetInstallMode();
    // 8. Properties that ask for a restart when set.
    if (!jxtext::EqualsNoCase(mode, u"Uninstall")) {
        const std::u16string names = GetPropertyValue(u"CheckPendingRestartProperties");
        size_t begin = 0;
        while (begin <= names.size() && !names.empty()) {
            const size_t end = names.find_first_of(u",;", begin);
            const std::u16string piece = names.substr(begin, end == std::u16string::npos ? end : end - begin);
            if (!piece.empty() && !GetPropertyValue(piece).empty()) {
                log->Log(LP_INFO, kModule, kContext, u"Property %s was not empty. Reboot required.",
                         piece.c_str());
                pending = prior = true;
            }
            if (end == std::u16string::npos)
                break;
            begin = end + 1;
        }
    }

    // 9. What the run does about it.
    if (pending) {
        SetProperty(u"_PENDINGRESTARTREQUEST", u"true", 1);
        if (jxtext::EqualsNoCase(mode, u"Install") && !prior) {
            m_SequenceData.m_bFailure = true;
            JxErrorInfo& error = m_SequenceData.m_Error;
            error.m_Message = u"RestartRequest";
            error.m_ActionName = u"DetectPendingRestartRequest";
            error.m_Description = u"A prior operation needs a restart to complete.";
            error.m_nCode = -101;
            error.m_nSubCode = -1004;
            error.m_Keyword = u"RestartRequest";
        }
        if (!jxtext::EqualsNoCase(mode, u"Uninstall") && prior)
            m_SequenceData.m_bRebootRequired = true;
    }
    log->Log(LOG_END, kModule, kContext, u"");
}

bool JxData::FeatureHasValidAction(const std::u16string& featureName) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::FeatureHasValidAction";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", featureName.c_str());
    bool answer = false;
    for (const JxFeature& feature : m_Features) {
        if (!jxtext::EqualsNoCase(feature.name, featureName))
            continue;
        if (!m_FeatureActivationMode) {
            const std::u16string& action = GetFeatureAction(feature.name);
            if (action == u"FeatureActionInstall" || action == u"FeatureActionRemove") {
                answer = true;
                break;
            }
        }
        if (FeatureHasValidActivationAction(feature.name)) {
            answer = true;
            break;
        }
    }
    GetLog()->Log(LOG_END, kModule, context, u"%s", answer ? u"true" : u"false");
    return answer;
}

} // namespace JxSetup::Data
