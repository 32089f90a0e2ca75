// The common update's "SetupInformation.xml" files: the uninstaller's one, or those of the
// redirection list (following at most three redirections by package code), from the content store
// when the information names one.
#include "jxengine/JxWebCommonUpdate.h"
#include "jxbase/textconv.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
constexpr int kMaxRedirections = 3;

} // namespace

bool JxWebCommonUpdate::LoadSetupInformation() {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::LoadSetupInformation";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"%s", u"");
    if (!m_CommonUpdateInfo.IsValid())
        log->Log(LP_WARNING, kModule, context, u"CommonUpdateInfo invalid.");
    std::vector<JxWebSetupInformation> list;
    bool result = false;
    if (!m_CommonUpdateInfo.m_UninstallerUrl.empty())
        result = LoadUninstallerSetupInformation(list);
    else if (!m_CommonUpdateInfo.m_RedirectionUrl.empty())
        result = LoadRedirectedSetupInformation(m_CommonUpdateInfo.m_RedirectionUrl, list, 0);
    else
        log->Log(LP_WARNING, kModule, context, u"No Redirection configured");
    if (result)
        result = SelectFilesForDownload(list);
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

bool JxWebCommonUpdate::_cu_FetchSetupInformation(JxWebSetupInformation& record) {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::_cu_FetchSetupInformation";
    JxLog* log = Instance();
    bool fetched = false;
    if (!m_CommonUpdateInfo.m_ContentStoreUrl.empty()) {
        log->Log(LP_INFO, kModule, context, u"Use akamai to get SetupInformation.xml");
        std::u16string sha = m_WebClient->GetAsString(record.GetShaUrl());
        // The checksum file may end with a line break.
        TrimString(sha, u" \t\r\n");
        if (!sha.empty()) {
            log->Log(LP_INFO, kModule, context, u"SetupInformation.sha: %s", sha.c_str());
            const std::u16string url = m_CommonUpdateInfo.GetCdnFileUrl(sha);
            if (!url.empty()) {
                log->Log(LP_INFO, kModule, context, u"Download: %s", url.c_str());
                const std::u16string xml = m_WebClient->GetAsString(url);
                if (!xml.empty()) {
                    record.ParseFromXMLString(xml);
                    fetched = true;
                }
            }
        }
    }
    if (!fetched)
        record.ParseFromXMLString(m_WebClient->GetAsString(record.GetXmlUrl()));
    if (record.m_SetupFiles.empty()) {
        log->Log(LP_WARNING, kModule, context, u"No SetupFiles found.");
        return false;
    }
    return true;
}

bool JxWebCommonUpdate::LoadUninstallerSetupInformation(std::vector<JxWebSetupInformation>& list) {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::LoadUninstallerSetupInformation";
    Instance()->Log(LOG_BEGIN, kModule, context, u"%s", m_CommonUpdateInfo.m_UninstallerUrl.c_str());
    JxWebSetupInformation record;
    record.m_BaseUrl = m_CommonUpdateInfo.m_UninstallerUrl;
    record.m_Type = CommonUpdateUninstall;
    record.m_Version = m_CommonUpdateInfo.m_Version;
    const bool result = _cu_FetchSetupInformation(record);
    list.push_back(record);
    Instance()->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

bool JxWebCommonUpdate::LoadRedirectedSetupInformation(const std::u16string& url,
                                                       std::vector<JxWebSetupInformation>& list, int depth) {
    const WCHAR* context = u"JxSetup::Data::JxWebCommonUpdate::LoadRedirectedSetupInformation";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"%s", url.c_str());
    bool result = false;
    std::u16string content;
    std::vector<JxWebCommonUpdateItem> items;
    if (url.empty()) {
        log->Log(LP_WARNING, kModule, context, u"Request uri is empty.");
    } else if (_cu_UserCancelled()) {
        log->Log(LP_WARNING, kModule, context, u"Canceled by user.");
    } else if ((content = m_WebClient->GetAsString(url)).empty()) {
        log->Log(LP_WARNING, kModule, context, u"Failed to load redirection content");
    } else if ((items = JxWebCommonUpdateItem::ParseItemsFromXMLString(content)).empty()) {
        log->Log(LP_WARNING, kModule, context, u"No redirection items found.");
    } else {
        const std::u16string packageCode = m_pOwner->GetPackageCode();
        const JxWebCommonUpdateItem* redirect = nullptr;
        for (const JxWebCommonUpdateItem& item : items)
            if (!item.m_PackageCode.empty() && jxtext::EqualsNoCase(item.m_PackageCode, packageCode)) {
                redirect = &item;
                break;
            }
        if (redirect && depth >= kMaxRedirections) {
            log->Log(LP_WARNING, kModule, context, u"Redirection canceled.");
        } else if (redirect) {
            result = LoadRedirectedSetupInformation(redirect->m_Url, list, depth + 1);
        } else {
            result = true;
            for (const JxWebCommonUpdateItem& item : items) {
                if (!item.m_PackageCode.empty())
                    continue;
                JxWebSetupInformation record;
                record.m_BaseUrl = item.m_Url;
                record.m_Type = item.m_Type;
                record.m_Version = item.m_Version;
                if (!_cu_FetchSetupInformation(record))
                    result = false;
                list.push_back(record);
            }
        }
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data
