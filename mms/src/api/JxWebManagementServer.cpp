// The management-server API client: construction, the API URL, the incoming access key, the web
// client's preparation and the logon.
#include "jxmms/JxWebManagementServer.h"

#include <mutex>

#include "MmsLogBracket.h"
#include "jxbase/secretmask.h"
#include "jxbase/textconv.h"
#include "jxmms/MmsAccessKeys.h"
#include "jxmms/MmsPort.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "mmsauth.pb.h"
#include "mmslocalconfig.pb.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

namespace JxSetup::Data {
namespace {

constexpr int kLogonAttempts = 3;
constexpr DWORD kLogonPause = 10000;

std::mutex& _mms_SeamLock() {
    static std::mutex lock;
    return lock;
}
JxWebManagementServer::SleepFn& _mms_SleepSeam() {
    static JxWebManagementServer::SleepFn sleep;
    return sleep;
}
DWORD& _mms_TimeoutSeam() {
    static DWORD timeout = 0;
    return timeout;
}

std::u16string _mms_Context(const char16_t* operation) {
    return std::u16string(u"JxSetup::Data::JxWebManagementServer::") + operation;
}

} // namespace

void JxWebManagementServer::SetSleepForTesting(SleepFn sleep) {
    std::lock_guard<std::mutex> hold(_mms_SeamLock());
    _mms_SleepSeam() = std::move(sleep);
}

void JxWebManagementServer::SetTimeoutForTesting(DWORD milliseconds) {
    std::lock_guard<std::mutex> hold(_mms_SeamLock());
    _mms_TimeoutSeam() = milliseconds;
}

void JxWebManagementServer::_mms_Sleep(DWORD milliseconds) {
    SleepFn sleep;
    {
        std::lock_guard<std::mutex> hold(_mms_SeamLock());
        sleep = _mms_SleepSeam();
    }
    if (sleep)
        sleep(milliseconds);
    else
        Sleep(milliseconds);
}

void JxWebManagementServer::_mms_LogFailure(const char16_t* operation, const HttpClient::Result& result) {
    m_Owner.GetLog()->Log(LP_WARNING, kMmsModule, _mms_Context(operation).c_str(),
                          u"Failed with HTTP STATUS: %d - ErrorCode: %d", result.status,
                          static_cast<int>(result.error));
}

JxWebManagementServer::JxWebManagementServer(JxData& owner)
    : m_Owner(owner), m_WebClient(std::make_unique<JxWebClient>(HttpClient::ProgressCallback(), 65536)) {
    // The answers of the local server are small: a body beyond the limit fails its request.
    m_WebClient->GetActualClient()->m_MaxMemoryBody = kMaxAnswerBytes;
    DWORD timeout = 0;
    {
        std::lock_guard<std::mutex> hold(_mms_SeamLock());
        timeout = _mms_TimeoutSeam();
    }
    if (timeout)
        m_WebClient->GetActualClient()->SetTimeouts(timeout, timeout, timeout, timeout, timeout);
    getApiUrl();
    ensureIncomingAccessKey();
    initWebClient();
}

JxWebManagementServer::~JxWebManagementServer() = default;

void JxWebManagementServer::getApiUrl() {
    const int port = GetMmsPort(u"https");
    m_ApiUrl = u"https://localhost:" + jxtext::ToText(port) + u"/tolvane/mms/api";
    m_Owner.GetLog()->Log(LP_INFO, kMmsModule, _mms_Context(u"getApiUrl").c_str(), u"MMS API URI: %s",
                          m_ApiUrl.c_str());
}

std::u16string JxWebManagementServer::newGuidString() {
    GUID guid{};
    CoCreateGuid(&guid);
    LPOLESTR text = nullptr;
    std::u16string result;
    if (StringFromCLSID(guid, &text) == S_OK && text) {
        result = text;
        CoTaskMemFree(text);
    }
    return result;
}

void JxWebManagementServer::ensureIncomingAccessKey() {
    m_AccessKey = ReadAccessKey(100);
    if (m_AccessKey.empty()) {
        m_AccessKey = newGuidString();
        std::erase(m_AccessKey, u'{');
        std::erase(m_AccessKey, u'}');
        if (!WriteAccessKey(m_AccessKey, 100))
            m_AccessKey.clear();
    }
    // The key is a secret of this machine: masked wherever a masked line would show it.
    if (!m_AccessKey.empty())
        RememberSecret(m_AccessKey);
}

void JxWebManagementServer::initWebClient() {
    const std::u16string proxyUrl = m_Owner.ExpandProperties(u"[_ProxyUrl]");
    const std::u16string proxyUser = m_Owner.ExpandProperties(u"[_ProxyUser]");
    const std::u16string proxyPassword = m_Owner.ExpandProperties(u"[_ProxyPw]");
    // The local server's certificate is its own: accepted whatever its checks say.
    m_WebClient->SetCertificateCheck(false);
    if (!proxyUrl.empty())
        m_WebClient->SetProxy(proxyUrl, proxyUser, proxyPassword);
    if (StartJxMmsService())
        logon();
}

void JxWebManagementServer::logon() {
    const std::u16string context = _mms_Context(u"logon");
    JxLog* log = m_Owner.GetLog();
    if (m_AccessKey.empty()) {
        log->Log(LP_WARNING, kMmsModule, context.c_str(), u"Failed to login. AccessKey not set.");
        return;
    }
    for (int attempt = 1; attempt <= kLogonAttempts; ++attempt) {
        pb::MmsTokenReq request;
        request.set_accesskey(WideToUtf8(m_AccessKey));
        request.set_authsubject(pb::MmsTokenReq_AuthenticationSubjectEnum_Subject_Setup);
        pb::MmsTokenResp response;
        const std::u16string url = m_ApiUrl + m_PathToken;
        log->Log(LP_INFO, kMmsModule, context.c_str(), u"Calling authlogin: %s", url.c_str());
        const HttpClient::Result result = m_WebClient->Post(request, response, url);
        log->Log(LP_INFO, kMmsModule, context.c_str(), u"Request succeeded: %s",
                 result.error == 0 ? u"true" : u"false");
        log->Log(LP_INFO, kMmsModule, context.c_str(), u"HTTP STATUS: %d", result.status);
        log->Log(LP_INFO, kMmsModule, context.c_str(), u"ErrorCode: %d", static_cast<int>(result.error));
        if (result.error == 0 && result.status == 200 && response.has_token()) {
            m_BearerToken = Utf8ToWide(response.token());
            // The token is a live credential: the line stays, its value is masked.
            if (!m_BearerToken.empty())
                RememberSecret(m_BearerToken);
            log->Log(LP_INFO, kMmsModule, context.c_str(), u"Token: %s",
                     MaskProtectedArguments(m_BearerToken).c_str());
            if (!m_BearerToken.empty()) {
                m_WebClient->SetBearerToken(m_BearerToken);
                return;
            }
        } else {
            log->Log(LP_WARNING, kMmsModule, context.c_str(), u"Failed to loginin. HTTP STATUS: %d",
                     result.status);
        }
        if (attempt < kLogonAttempts)
            _mms_Sleep(kLogonPause);
    }
}

pb::ConfigurationMsg* JxWebManagementServer::buildConfiguration(const JxWebSqlDBRequest& request) {
    auto* configuration = new pb::ConfigurationMsg();
    configuration->set_databaseserver(WideToUtf8(request.m_Server));
    configuration->set_databasename(WideToUtf8(request.m_Database));
    configuration->set_usewindowsauthentication(request.m_UseWindowsAuthentication);
    configuration->set_databaseuser(WideToUtf8(request.m_User));
    configuration->set_databasepassword(WideToUtf8(request.m_Password));
    configuration->set_additionalsetting(WideToUtf8(request.m_AdditionalSetting));
    return configuration;
}

} // namespace JxSetup::Data
