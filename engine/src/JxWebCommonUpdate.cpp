// The common update's run: the web client and the update-server host, the common-update
// information, and the download progress.
#include "jxengine/JxWebCommonUpdate.h"

#include "jxbase/textconv.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "upupdate.pb.h"

namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

std::u16string _cu_Context(const WCHAR* step) {
    return std::u16string(u"JxSetup::Data::JxWebCommonUpdate::") + step;
}

} // namespace

JxWebCommonUpdate::JxWebCommonUpdate(JxData* owner) : m_pOwner(owner) {}

JxWebCommonUpdate::~JxWebCommonUpdate() = default;

bool JxWebCommonUpdate::_cu_IsTrue(const WCHAR* property) const {
    return jxtext::EqualsNoCase(m_pOwner->ExpandProperties(std::u16string(u"[") + property + u"]"), u"true");
}

bool JxWebCommonUpdate::_cu_UserCancelled() {
    m_pOwner->CheckUserCancel();
    return m_pOwner->m_UserCancelled;
}

bool JxWebCommonUpdate::_cu_HasProgressReceiver() const {
    return m_pOwner->HasGui() || m_pOwner->HasProgressCallback();
}

bool JxWebCommonUpdate::ExecuteCommonUpdate(const std::u16string& component, bool withProgress) {
    const std::u16string context = _cu_Context(u"ExecuteCommonUpdate");
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", component.c_str());
    if (component.empty()) {
        log->Log(LOG_END, kModule, context.c_str(), u"No Component set.");
        return true;
    }
    if (!m_pOwner) {
        log->Log(LP_ERROR, kModule, context.c_str(), u"No owner defined.");
        return false;
    }
    InitWebClient(withProgress);
    bool result = LoadCommonUpdateInfo(component);
    if (result)
        result = LoadSetupInformation();
    if (result)
        result = DownloadAllSelectedFiles();
    log->Log(LOG_END, kModule, context.c_str(), u"%s", result ? u"true" : u"false");
    return result;
}

std::u16string JxWebCommonUpdate::GetCommonUpdateVersion(const std::u16string& component, bool withProgress) {
    if (!m_pOwner)
        return {};
    InitWebClient(withProgress);
    return LoadCommonUpdateInfo(component) ? m_CommonUpdateInfo.m_Version : std::u16string();
}

void JxWebCommonUpdate::InitWebClient(bool withProgress) {
    if (m_Initialized)
        return;
    m_ProgressState = 0;
    m_ProgressCallback = nullptr;
    if (withProgress) {
        InitProgress();
        m_ProgressCallback = [this](DWORD chunk, DWORD received, DWORD total) {
            return OnDownloadProgress(chunk, received, total);
        };
    }
    m_WebClient = std::make_unique<JxWebClient>(m_ProgressCallback, 65536);
    JxData& data = *m_pOwner;
    if (_cu_IsTrue(u"_NoCertCheck")) {
        Instance()->Log(LP_INFO, kModule, _cu_Context(u"InitWebClient").c_str(), u"NoCertCheck");
        m_WebClient->SetCertificateCheck(false);
    }
    m_WebClient->SetProxy(data.ExpandProperties(u"[_ProxyUrl]"), data.ExpandProperties(u"[_ProxyUser]"),
                          data.ExpandProperties(u"[_ProxyPw]"));
    m_Host = m_WebClient->GetUpdateServerHost(data.ExpandProperties(u"[ServerRegion]"),
                                              data.ExpandProperties(u"[_UpdateServer]"));
    m_Initialized = true;
}

void JxWebCommonUpdate::InitProgress() {
    if (!_cu_HasProgressReceiver())
        return;
    m_pOwner->SetProgressRange(100);
    m_pOwner->SetProgress(-1, 100, m_pOwner->ExpandProperties(u"[PREPARESETUP]"));
}

bool JxWebCommonUpdate::OnDownloadProgress(DWORD chunk, DWORD, DWORD) {
    if (_cu_UserCancelled())
        return false;
    if (m_ProgressState == 0) {
        m_LastPercentage = 0;
        return true;
    }
    if (chunk != HttpClient::kProgressEnd)
        m_BytesDownloaded += chunk;
    if (m_BytesTotal == 0)
        return true;
    // Retries and repeated downloads count their bytes again: the bar stops at its end.
    int percentage = static_cast<int>(static_cast<double>(m_BytesDownloaded) / m_BytesTotal * 100.0);
    if (percentage > 100)
        percentage = 100;
    if (percentage > m_LastPercentage) {
        m_LastPercentage = percentage;
        if (_cu_HasProgressReceiver())
            m_pOwner->SetProgress(percentage, 100, m_pOwner->ExpandProperties(u"[JX_DOWNLOADCOMPONENTS]"));
    }
    return true;
}

std::u16string JxWebCommonUpdate::GetDefaultDownloadFolder() const {
    return JxFile::CombinePath(m_pOwner->ExpandProperties(u"[CommonAppDataFolder]"),
                               u"Tolvane\\Setups\\CommonUpdate", m_pOwner->GetProductId());
}

bool JxWebCommonUpdate::LoadCommonUpdateInfo(const std::u16string& component) {
    const std::u16string context = _cu_Context(u"LoadCommonUpdateInfo");
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context.c_str(), u"%s", component.c_str());
    bool result = false;
    if (m_Host.empty() || !m_WebClient) {
        log->Log(LP_WARNING, kModule, context.c_str(), u"No host defined.");
    } else {
        pb::CommonUpdateInfo request;
        request.set_component(WideToUtf8(component));
        pb::CommonUpdateInfoResult answer;
        const HttpClient::Result r =
            m_WebClient->Post(request, answer, m_WebClient->GetServiceUrl(m_Host, 0));
        bool ok = true;
        if (r.error != 0 || r.status != 200 || !answer.has_serverresult()) {
            log->Log(LP_WARNING, kModule, context.c_str(),
                     u"Failed to load CommonUpdateInfo. HttpStatus: %d, ErrorCode: %d",
                     static_cast<int>(r.status), static_cast<int>(r.error));
            ok = false;
        }
        if (answer.has_serverresult() && answer.serverresult() != 0) {
            log->Log(LP_WARNING, kModule, context.c_str(),
                     u"Failed to load CommonUpdateInfo. ServerResult: %d",
                     static_cast<int>(answer.serverresult()));
            ok = false;
        }
        if (ok && !answer.has_uri()) {
            log->Log(LP_WARNING, kModule, context.c_str(), u"No uri found in CommonUpdateInfo.");
        } else if (ok && !answer.has_configfile()) {
            log->Log(LP_WARNING, kModule, context.c_str(), u"No ConfigFile found in CommonUpdateInfo.");
        } else if (ok) {
            std::u16string uri = Utf8ToWide(answer.uri());
            for (size_t at = 0; (at = uri.find(u"%host%", at)) != std::u16string::npos; at += m_Host.size())
                uri.replace(at, 6, m_Host);
            if (uri.size() > 2 && uri.compare(0, 2, u"//") == 0)
                uri = u"https:" + uri;
            std::u16string configFile = Utf8ToWide(answer.configfile());
            for (auto& c : configFile)
                if (c == u'\\')
                    c = u'|';
            m_CommonUpdateInfo =
                JxWebCommonUpdateInfo::ParseFromXMLString(m_WebClient->GetAsString(uri + configFile));
            result = m_CommonUpdateInfo.IsValid();
            if (!result)
                log->Log(LP_WARNING, kModule, context.c_str(), u"Can't parse configFile");
        }
    }
    log->Log(LOG_END, kModule, context.c_str(), u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data
