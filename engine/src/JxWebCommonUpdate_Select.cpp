// The common update's selection: which newer setup software the user takes, which component
// packages differ from the running setup or are missing from it, which signature and uninstaller
// files are not yet in their cache folders, and which new features are installed afterwards.
#include "jxbase/FileVer64.h"
#include "jxbase/guards.h"
#include "jxengine/JxWebCommonUpdate.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// BEGIN and END lines of one selection step.
class CStepLog {
public:
    CStepLog(const WCHAR* step, const std::u16string& argument)
        : m_Context(std::u16string(u"JxSetup::Data::JxWebCommonUpdate::") + step) {
        Instance()->Log(LOG_BEGIN, kModule, m_Context.c_str(), u"%s", argument.c_str());
    }
    bool End(bool result) {
        Instance()->Log(LOG_END, kModule, m_Context.c_str(), u"%s", result ? u"true" : u"false");
        return result;
    }
    void Line(int level, const WCHAR* text) {
        Instance()->Log(level, kModule, m_Context.c_str(), u"%s", text);
    }
    const WCHAR* Context() const { return m_Context.c_str(); }

private:
    std::u16string m_Context;
};

bool _select_Contains(const std::u16string& text, const WCHAR* part) {
    return jxtext::FindNoCase(text, part) != std::u16string::npos;
}

bool _select_StartsWith(const std::u16string& text, char16_t c) {
    return !text.empty() && text[0] == c;
}

std::u16string _select_Key(const std::u16string& id, const std::u16string& language,
                           const std::u16string& name) {
    return jxtext::ToLower(id + language + name);
}

} // namespace

std::u16string JxWebCommonUpdate::_cu_TargetFolder(const WCHAR* property) const {
    const std::u16string folder = m_pOwner->ExpandProperties(std::u16string(u"[") + property + u"]");
    return folder.empty() ? GetDefaultDownloadFolder() : folder;
}

bool JxWebCommonUpdate::SelectFilesForDownload(const std::vector<JxWebSetupInformation>& list) {
    CStepLog step(u"SelectFilesForDownload", u"");
    m_DownloadList.clear();
    bool result = true;
    for (const JxWebSetupInformation& record : list) {
        if (!result)
            break;
        if (m_pOwner->m_UserCancelled) {
            result = false;
            break;
        }
        if (record.m_SetupFiles.empty()) {
            step.Line(LP_WARNING, u"No SetupFile information found.");
            result = false;
            continue;
        }
        // Names from the server become file names in the cache folders: a name that is not one
        // plain file name (a path, "..", a drive, a device) would write elsewhere.
        for (const JxWebSetupInformationSetupFile& file : record.m_SetupFiles)
            if (!IsPlainFileName(file.m_Name)) {
                Instance()->Log(LP_WARNING, kModule, step.Context(),
                                u"Invalid file name from the update server: %s", file.m_Name.c_str());
                result = false;
            }
        if (!result)
            continue;
        switch (record.m_Type) {
        case CommonUpdateUninstall:
            result = SelectUninstallerFilesForDownload(record);
            break;
        case CommonUpdateSignature:
            result = SelectSignatureFilesForDownload(record);
            break;
        case CommonUpdateSoftware:
            if (AcceptNewerSetup(record))
                result = SelectSoftwareFilesForDownload(record);
            break;
        default:
            step.Line(LP_WARNING, u"CommonUpdateType unknown.");
            result = false;
        }
    }
    return step.End(result);
}

bool JxWebCommonUpdate::AcceptNewerSetup(const JxWebSetupInformation& record) {
    JxData& data = *m_pOwner;
    if (_cu_IsTrue(u"_WebSetup")) {
        data.SetProperty(u"_forceDownloadCommonUpdate", u"true", 1);
        return true;
    }
    CFileVersion offered, product;
    if (!offered.Parse(record.m_Version) || !product.Parse(data.GetProductVersion()))
        return false;
    if (!(offered > product))
        return false;
    if (_cu_IsTrue(u"_forceDownloadCommonUpdate"))
        return true;
    data.SetProperty(u"_CommonUpdateVersion", record.m_Version, 1);
    if (data.ShowMessage(data.ExpandProperties(u"[QST_NEWVERSION_TITLE]"),
                         data.ExpandProperties(u"[QST_NEWVERSION_DESCRIPTION]"), 36, 0) == 1)
        return true;
    data.SetProperty(u"_SkipCommonUpdateWarning", u"true", 1);
    return false;
}

bool JxWebCommonUpdate::SelectSoftwareFilesForDownload(const JxWebSetupInformation& record) {
    CStepLog step(u"SelectSoftwareFilesForDownload", u"");
    JxData& data = *m_pOwner;
    const std::u16string folder = _cu_TargetFolder(u"JXCU_SOFTWARE_DIR");
    BuildMountedFileIndex();
    for (const JxWebSetupInformationSetupFile& file : record.m_SetupFiles) {
        if (_cu_UserCancelled()) {
            step.Line(LP_WARNING, u"Canceled by user.");
            return step.End(false);
        }
        bool already = true;
        if (WasFileAlreadyDownloaded(file, folder)) {
            if (_select_Contains(file.m_Name, u"setup.exe") ||
                (_select_Contains(file.m_Name, u"$") && _select_Contains(file.m_Name, u".wpk")))
                data.SetSkipCommonUpdate(true);
        } else if (IsFileRequiredForSetup(file)) {
            if (!HasComponentAnyFileInfos(file)) {
                already = false;
                data.SetSkipCommonUpdate(true);
            } else if (IsFeatureAllowedForSetup(file)) {
                for (const JxWebSetupInformationComponentFile& component : file.m_ComponentFiles)
                    if (IsFileInfoDifferentToMountedFile(component) || IsFileMissingInVFS(file)) {
                        already = false;
                        data.SetSkipCommonUpdate(true);
                        break;
                    }
            }
        }
        if (IsFileRequiredForSetup(file) &&
            (!HasComponentAnyFileInfos(file) || IsFeatureAllowedForSetup(file)))
            AddToDownloadList(file, folder, record, already);
    }
    SetInstallActionForNewFeatures(record);
    data.SetProperty(u"_CU_SetupExecutionDir", folder, 1);
    return step.End(true);
}

bool JxWebCommonUpdate::SelectSignatureFilesForDownload(const JxWebSetupInformation& record) {
    CStepLog step(u"SelectSignatureFilesForDownload", u"");
    const std::u16string folder = _cu_TargetFolder(u"JXCU_SIGNATURE_DIR");
    m_SignatureFolders.push_back(folder);
    for (const JxWebSetupInformationSetupFile& file : record.m_SetupFiles) {
        if (_cu_UserCancelled()) {
            step.Line(LP_WARNING, u"Canceled by user.");
            return step.End(false);
        }
        if (IsFileMissingInVFS(file))
            AddToDownloadList(file, folder, record, WasFileAlreadyDownloaded(file, folder));
    }
    return step.End(true);
}

bool JxWebCommonUpdate::SelectUninstallerFilesForDownload(const JxWebSetupInformation& record) {
    CStepLog step(u"SelectUninstallerFilesForDownload", u"");
    const std::u16string folder = _cu_TargetFolder(u"JXCU_UNINSTALL_DIR");
    for (const JxWebSetupInformationSetupFile& file : record.m_SetupFiles) {
        if (_cu_UserCancelled()) {
            step.Line(LP_WARNING, u"Canceled by user.");
            return step.End(false);
        }
        AddToDownloadList(file, folder, record, WasFileAlreadyDownloaded(file, folder));
    }
    return step.End(true);
}

void JxWebCommonUpdate::AddToDownloadList(const JxWebSetupInformationSetupFile& file,
                                          const std::u16string& folder, const JxWebSetupInformation& record,
                                          bool alreadyDownloaded) {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::AddToDownloadList";
    Instance()->Log(LOG_BEGIN, kModule, context, u"File %s => URL: %s", file.m_Name.c_str(),
                    record.m_BaseUrl.c_str());
    JxWebDownloadEntry entry;
    entry.m_BaseUrl = record.m_BaseUrl;
    entry.m_FileName = file.m_Name;
    entry.m_TargetFolder = folder;
    entry.m_Sha = file.m_Sha;
    entry.m_Size = file.m_Size;
    entry.m_DownloadNeeded = !alreadyDownloaded;
    m_DownloadList.push_back(entry);
    Instance()->Log(LOG_END, kModule, context, u"%s", u"");
}

bool JxWebCommonUpdate::WasFileAlreadyDownloaded(const JxWebSetupInformationSetupFile& file,
                                                 const std::u16string& folder) {
    CStepLog step(u"WasFileAlreadyDownloaded", u"");
    JxFile onDisk;
    std::u16string path = JxFile::CombinePath(folder, file.m_Name);
    m_pOwner->CollectFileInformation(onDisk, path, false);
    JxFile candidate;
    candidate.name = file.m_Name;
    candidate.sha = file.m_Sha;
    candidate.size = jxtext::ToText(static_cast<long long>(file.m_Size));
    candidate.copymode = u"bycrc";
    return step.End(!candidate.IsFileDifferentTo(onDisk));
}

bool JxWebCommonUpdate::IsFileRequiredForSetup(const JxWebSetupInformationSetupFile& file) {
    CStepLog step(u"IsFileRequiredForSetup", file.m_Name);
    const std::u16string& name = file.m_Name;
    bool required = true;
    if (_select_Contains(name, u".wpk") && !_select_StartsWith(name, u'$') && !_select_StartsWith(name, u'{'))
        required = jxtext::EqualsNoCase(name, m_pOwner->GetCurrentProductType() + u".wpk");
    return step.End(required);
}

bool JxWebCommonUpdate::HasComponentAnyFileInfos(const JxWebSetupInformationSetupFile& file) {
    CStepLog step(u"HasComponentAnyFileInfos", file.m_Name);
    return step.End(_select_Contains(file.m_Name, u".wpk") && _select_StartsWith(file.m_Name, u'{') &&
                    !file.m_Features.empty() && !file.m_ComponentFiles.empty());
}

bool JxWebCommonUpdate::IsFeatureAllowedForSetup(const JxWebSetupInformationSetupFile& file) {
    CStepLog step(u"IsFeatureAllowedForSetup", file.m_Name);
    JxData& data = *m_pOwner;
    const std::u16string prohibited = data.ExpandProperties(u"[FeatureActionProhibited]");
    const int32_t setupLevel = data.GetProductLevel(data.GetCurrentProductType());
    int32_t componentLevel = -1;
    size_t start = 0;
    while (start <= file.m_ProductTypes.size()) {
        size_t comma = file.m_ProductTypes.find(u',', start);
        if (comma == std::u16string::npos)
            comma = file.m_ProductTypes.size();
        const int32_t level = data.GetProductLevel(file.m_ProductTypes.substr(start, comma - start));
        componentLevel = componentLevel < 0 ? level : std::min(componentLevel, level);
        start = comma + 1;
    }
    Instance()->Log(LP_INFO, kModule, step.Context(), u"ProductLevel Setup: %d, ProductLevel Component: %d",
                    static_cast<int>(setupLevel), static_cast<int>(componentLevel));
    bool featureAllowed = false;
    for (const JxWebSetupInformationIFeature& feature : file.m_Features)
        if (!_select_Contains(prohibited, (u"$" + feature.m_Name + u"$").c_str()))
            featureAllowed = true;
    return step.End(setupLevel >= componentLevel && featureAllowed);
}

bool JxWebCommonUpdate::IsFileMissingInVFS(const JxWebSetupInformationSetupFile& file) {
    CStepLog step(u"IsFileMissingInVFS", file.m_Name);
    const std::u16string component = ComponentIdOfPackageName(file.m_Name);
    if (component.empty()) {
        step.Line(LP_INFO, u"File is not a component package.");
        return step.End(true);
    }
    return step.End(!m_pOwner->IsComponentIncluded(component));
}

bool JxWebCommonUpdate::IsFileInfoDifferentToMountedFile(const JxWebSetupInformationComponentFile& file) {
    CStepLog step(u"IsFileInfoDifferentToMountedFile", file.m_FileName);
    const auto found = m_MountedFiles.find(_select_Key(file.m_Id, file.m_Language, file.m_FileName));
    if (found == m_MountedFiles.end()) {
        step.Line(LP_INFO, u"File not found in current setup package.");
        return step.End(true);
    }
    if (!jxtext::EqualsNoCase(found->second.sha, file.m_Sha)) {
        step.Line(LP_INFO, u"Different checksums found.");
        return step.End(true);
    }
    return step.End(false);
}

void JxWebCommonUpdate::BuildMountedFileIndex() {
    for (const JxFile& record : m_pOwner->GetFileMetaInformation())
        m_MountedFiles.emplace(_select_Key(record.componentid, record.language, record.name), record);
}

void JxWebCommonUpdate::SetInstallActionForNewFeatures(const JxWebSetupInformation& record) {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::SetInstallActionForNewFeatures";
    JxLog* log = Instance();
    JxData& data = *m_pOwner;
    log->Log(LOG_BEGIN, kModule, context, u"%s", u"");
    const std::u16string mode = data.GetInstallMode();
    if (mode != u"Install") {
        log->Log(LOG_END, kModule, context, u"InstallMode is: %s", mode.c_str());
        return;
    }
    std::u16string install = data.ExpandProperties(u"[FeatureActionInstall]");
    std::u16string absent = data.ExpandProperties(u"[FeatureStateAbsent]");
    for (const JxWebSetupInformationSetupFile& file : record.m_SetupFiles) {
        if (!IsFileRequiredForSetup(file) || !HasComponentAnyFileInfos(file) ||
            !IsFeatureAllowedForSetup(file))
            continue;
        for (const JxWebSetupInformationIFeature& feature : file.m_Features) {
            if (data.IsFeatureIncluded(feature.m_Name))
                continue;
            log->Log(LP_INFO, kModule, context, u"Recognized new feature (%s). Install it after downloading.",
                     feature.m_Name.c_str());
            const std::u16string token = u"$" + feature.m_Name + u"$";
            JxData::AddTokenToList(token, install);
            JxData::AddTokenToList(token, absent);
            data.SetProperty(u"FeatureActionInstall", install, 1);
            data.SetProperty(u"FeatureStateAbsent", absent, 1);
        }
    }
    log->Log(LOG_END, kModule, context, u"%s", u"");
}

} // namespace JxSetup::Data
