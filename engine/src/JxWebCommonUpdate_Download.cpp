// The common update's downloads: each selected file into its cache folder, at most three attempts,
// accepted only with a matching SHA-256; and the check of every listed file after the run.
#include "jxbase/guards.h"
#include "jxengine/JxWebCommonUpdate.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "upcommon.pb.h"

namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
constexpr int kAttempts = 3;
// A download is written under this suffix and takes its name only once its checksum matched, so
// an interrupted or corrupt download never lies at the name a later run looks at.
const WCHAR* const kPartSuffix = u".part";

bool _cu_SameSha(const std::u16string& computed, const std::u16string& expected) {
    // CalcSHA256 gives "" for a file it cannot read: that is never a match.
    return !computed.empty() && jxtext::EqualsNoCase(computed, expected);
}

} // namespace

std::u16string ComponentIdOfPackageName(const std::u16string& name) {
    if (name.empty() || name[0] != u'{' || jxtext::FindNoCase(name, u"}.wpk") == std::u16string::npos)
        return {};
    std::u16string id = name;
    for (size_t at; (at = jxtext::FindNoCase(id, u".wpk")) != std::u16string::npos;)
        id.erase(at, 4);
    return id;
}

std::u16string JxWebCommonUpdate::GetDownloadUrl(const JxWebDownloadEntry& entry) const {
    return GetDownloadEntryUrl(entry, m_CommonUpdateInfo.m_ContentStoreUrl);
}

bool JxWebCommonUpdate::DownloadAllSelectedFiles() {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::DownloadAllSelectedFiles";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"%s", u"");
    m_BytesDownloaded = 0;
    m_BytesTotal = 0;
    for (const JxWebDownloadEntry& entry : m_DownloadList)
        if (entry.m_DownloadNeeded && entry.m_Size > 0)
            m_BytesTotal += static_cast<DWORD>(entry.m_Size);
    m_ProgressState = 1;
    bool result = true;
    for (const JxWebDownloadEntry& entry : m_DownloadList) {
        if (_cu_UserCancelled()) {
            result = false;
            break;
        }
        if (!entry.m_DownloadNeeded) {
            log->Log(LP_INFO, kModule, context, u"File already downloaded: %s", entry.m_FileName.c_str());
            continue;
        }
        JxFile::PrepareDestinationDirectory(entry.m_TargetFolder);
        const std::u16string url = GetDownloadUrl(entry);
        bool downloaded = false;
        for (int attempt = 1; attempt <= kAttempts && !downloaded; ++attempt) {
            downloaded = DownloadFile(url, entry);
            if (downloaded)
                log->Log(LP_INFO, kModule, context, u"Download ok.");
            else if (attempt < kAttempts)
                log->Log(LP_INFO, kModule, context, u"Download failed. Retry.");
            else
                log->Log(LP_WARNING, kModule, context, u"Download failed. Cancel.");
        }
        if (!downloaded) {
            result = false;
            break;
        }
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

bool JxWebCommonUpdate::DownloadFile(const std::u16string& url, const JxWebDownloadEntry& entry) {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::DownloadFile";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"%s", u"");
    bool result = false;
    const std::u16string path = JxFile::CombinePath(entry.m_TargetFolder, entry.m_FileName);
    if (!IsPlainFileName(entry.m_FileName)) {
        log->Log(LP_WARNING, kModule, context, u"Invalid file name from the update server: %s",
                 entry.m_FileName.c_str());
    } else if (m_WebClient) {
        log->Log(LP_INFO, kModule, context, u"Downloading File %s from %s", path.c_str(), url.c_str());
        const std::u16string partial = path + kPartSuffix;
        DeleteFileW(partial.c_str());
        pb::ErrorResult error;
        const HttpClient::Result r = m_WebClient->GetAsFile(error, url, partial);
        if (r.error != 0 || r.status != 200 || r.downloadPath != partial) {
            log->Log(LP_WARNING, kModule, context, u"Failed to download file %s from %s. HttpStatus: %d",
                     path.c_str(), url.c_str(), static_cast<int>(r.status));
        } else {
            const std::u16string sha = JxFile::CalcSHA256(partial);
            if (!_cu_SameSha(sha, entry.m_Sha)) {
                log->Log(LP_INFO, kModule, context,
                         u"Download failed. File: %s - Checksum Server: %s - Checksum downloaded file: %s",
                         path.c_str(), entry.m_Sha.c_str(), sha.c_str());
            } else if (!MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                log->Log(LP_WARNING, kModule, context, u"Failed to move %s to %s: %u", partial.c_str(),
                         path.c_str(), static_cast<unsigned>(GetLastError()));
            } else {
                log->Log(LP_INFO, kModule, context, u"Download succeeded. File: %s", path.c_str());
                result = true;
            }
        }
        DeleteFileW(partial.c_str());
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

bool JxWebCommonUpdate::CheckDownloadedFiles() {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::CheckDownloadedFiles";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"%s", u"");
    bool result = true;
    for (const JxWebDownloadEntry& entry : m_DownloadList) {
        if (_cu_UserCancelled()) {
            result = false;
            break;
        }
        const std::u16string path = JxFile::CombinePath(entry.m_TargetFolder, entry.m_FileName);
        const std::u16string url = GetDownloadUrl(entry);
        bool ok = true;
        if (!IsPlainFileName(entry.m_FileName)) {
            log->Log(LP_WARNING, kModule, context, u"Invalid file name from the update server: %s",
                     entry.m_FileName.c_str());
            ok = false;
        } else if (JxFile::FileExists(path)) {
            if (!_cu_SameSha(JxFile::CalcSHA256(path), entry.m_Sha)) {
                log->Log(LP_WARNING, kModule, context,
                         u"File %s is corrupt or out of date. Try to download the file again.", path.c_str());
                ok = DownloadFile(url, entry);
            }
        } else {
            log->Log(LP_WARNING, kModule, context,
                     u"File %s not found. Check if component is mounted and try to extract.", path.c_str());
            const std::u16string component = ComponentIdOfPackageName(entry.m_FileName);
            if (component.empty()) {
                log->Log(LP_WARNING, kModule, context,
                         u"File %s is not a component package. File is missing on target system. Try to "
                         u"download the file again.",
                         path.c_str());
                ok = DownloadFile(url, entry);
            } else if (!m_pOwner->IsComponentDefined(component)) {
                log->Log(LP_INFO, kModule, context,
                         u"Component %s is not defined in current setup rules. Skip check",
                         component.c_str());
            } else if (m_pOwner->IsComponentIncluded(component)) {
                log->Log(LP_INFO, kModule, context,
                         u"Component %s mounted. Extracting to destination dir: %s", component.c_str(),
                         entry.m_TargetFolder.c_str());
                m_pOwner->ExtractWPK(component, entry.m_TargetFolder);
                if (!JxFile::FileExists(path)) {
                    log->Log(LP_ERROR, kModule, context, u"Failed to extract file %s", path.c_str());
                    ok = false;
                } else if (_cu_SameSha(JxFile::CalcSHA256(path), entry.m_Sha)) {
                    log->Log(LP_INFO, kModule, context, u"Extracted file is ok: %s", path.c_str());
                } else {
                    log->Log(LP_WARNING, kModule, context,
                             u"File %s is corrupt or out of date. Try to download file again.", path.c_str());
                    ok = DownloadFile(url, entry);
                }
            } else {
                log->Log(LP_WARNING, kModule, context,
                         u"Component %s is not mounted. File is missing on target system. Try to download "
                         u"the file again.",
                         component.c_str());
                ok = DownloadFile(url, entry);
            }
        }
        if (!ok) {
            result = false;
            break;
        }
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data
