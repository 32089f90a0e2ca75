// The common update: before it installs, the setup asks the update server where the common-update
// information of a component lies, reads it and the "SetupInformation.xml" files it leads to,
// selects the setup files that are newer or missing, downloads them into cache folders and checks
// their SHA-256 checksums. A newer setup makes the engine restart from the downloaded one.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jxsetupdata/JxFile.h"
#include "jxweb/JxWebClient.h"
#include "jxweb/JxWebCommonUpdateInfo.h"

namespace JxSetup::Data {

class JxData;

class JxWebCommonUpdate {
public:
    explicit JxWebCommonUpdate(JxData* owner);
    ~JxWebCommonUpdate();
    JxWebCommonUpdate(const JxWebCommonUpdate&) = delete;
    JxWebCommonUpdate& operator=(const JxWebCommonUpdate&) = delete;

    // The whole run for the component; an empty component has nothing to fetch.
    bool ExecuteCommonUpdate(const std::u16string& component, bool withProgress);
    // The version the update server offers for the component; "" when it cannot be read.
    std::u16string GetCommonUpdateVersion(const std::u16string& component, bool withProgress);
    // The folders of the signature selections.
    std::vector<std::u16string> GetSignatureFolders() const { return m_SignatureFolders; }
    // Checks every listed file again: corrupt or missing files are extracted from the mounted
    // packages or downloaded again.
    bool CheckDownloadedFiles();

    // The steps of the run.
    void InitWebClient(bool withProgress);
    bool LoadCommonUpdateInfo(const std::u16string& component);
    bool LoadSetupInformation();
    bool LoadUninstallerSetupInformation(std::vector<JxWebSetupInformation>& list);
    bool LoadRedirectedSetupInformation(const std::u16string& url, std::vector<JxWebSetupInformation>& list,
                                        int depth);
    bool DownloadAllSelectedFiles();
    bool DownloadFile(const std::u16string& url, const JxWebDownloadEntry& entry);
    std::u16string GetDownloadUrl(const JxWebDownloadEntry& entry) const;
    std::u16string GetDefaultDownloadFolder() const;
    void InitProgress();
    bool OnDownloadProgress(DWORD chunk, DWORD received, DWORD total);

    // The selection of the files to fetch.
    bool SelectFilesForDownload(const std::vector<JxWebSetupInformation>& list);
    bool SelectSoftwareFilesForDownload(const JxWebSetupInformation& record);
    bool SelectSignatureFilesForDownload(const JxWebSetupInformation& record);
    bool SelectUninstallerFilesForDownload(const JxWebSetupInformation& record);
    bool AcceptNewerSetup(const JxWebSetupInformation& record);
    void AddToDownloadList(const JxWebSetupInformationSetupFile& file, const std::u16string& folder,
                           const JxWebSetupInformation& record, bool alreadyDownloaded);
    bool WasFileAlreadyDownloaded(const JxWebSetupInformationSetupFile& file, const std::u16string& folder);
    bool IsFileRequiredForSetup(const JxWebSetupInformationSetupFile& file);
    bool HasComponentAnyFileInfos(const JxWebSetupInformationSetupFile& file);
    bool IsFeatureAllowedForSetup(const JxWebSetupInformationSetupFile& file);
    bool IsFileMissingInVFS(const JxWebSetupInformationSetupFile& file);
    bool IsFileInfoDifferentToMountedFile(const JxWebSetupInformationComponentFile& file);
    void BuildMountedFileIndex();
    void SetInstallActionForNewFeatures(const JxWebSetupInformation& record);

    const std::vector<JxWebDownloadEntry>& GetDownloadList() const { return m_DownloadList; }
    const JxWebCommonUpdateInfo& GetCommonUpdateInfo() const { return m_CommonUpdateInfo; }
    const std::u16string& GetHost() const { return m_Host; }

private:
    bool _cu_FetchSetupInformation(JxWebSetupInformation& record);
    std::u16string _cu_TargetFolder(const WCHAR* property) const;
    bool _cu_IsTrue(const WCHAR* property) const;
    bool _cu_HasProgressReceiver() const;
    // Asks the user interface whether the user cancelled; true once the run is cancelled.
    bool _cu_UserCancelled();

    std::unique_ptr<JxWebClient> m_WebClient;
    JxData* m_pOwner;
    bool m_Initialized = false;
    HttpClient::ProgressCallback m_ProgressCallback;
    std::u16string m_Host;
    JxWebCommonUpdateInfo m_CommonUpdateInfo;
    std::vector<JxWebDownloadEntry> m_DownloadList;
    std::map<std::u16string, JxFile> m_MountedFiles;
    std::vector<std::u16string> m_SignatureFolders;
    DWORD m_BytesDownloaded = 0;
    DWORD m_BytesTotal = 0;
    int m_LastPercentage = 0;
    int m_ProgressState = 0; // 0 preparing, 1 downloading
};

// The component id of a component package name ("{X}.wpk" in any letter case); "" for any other name.
std::u16string ComponentIdOfPackageName(const std::u16string& name);

} // namespace JxSetup::Data
