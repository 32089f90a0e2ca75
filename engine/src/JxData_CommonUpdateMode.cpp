// The web operations of the setup data for an outside caller (the user-interface module): the
// common-update mode with its offered version and its run, the connection test to the update
// server, and the billboards fetched from the address in "BILLBOARDURL".
#include "jxengine/JxWebCommonUpdate.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxweb/JxWebClient.h"
#include "upcommon.pb.h"

namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
// An address without "%n" would repeat its one request for as long as the server answers: one
// request then, and never more billboards than this.
constexpr size_t kMaxBillboards = 100;

void _cumode_SetProxy(JxData& data, JxWebClient& client) {
    client.SetProxy(data.ExpandProperties(u"[_ProxyUrl]"), data.ExpandProperties(u"[_ProxyUser]"),
                    data.ExpandProperties(u"[_ProxyPw]"));
}

} // namespace

bool JxData::InitCommonUpdateMode(const JxCommonUpdateSettings& settings, JxProgressCallbackFn callback,
                                  LPVOID context) {
    CJxDataLock lock(*this);
    m_CommonUpdateMode = false;
    if (!settings.IsComplete())
        return false;
    m_ProgressCallback = JxProgressCallback();
    if (callback) {
        m_ProgressCallback = {callback, context};
        SetProgressText(u"");
    }
    m_ProductInfo.productid = settings.m_ProductId;
    m_ProductInfo.version = settings.m_ProductVersion;
    if (settings.m_OpenLog) {
        GetLog()->OpenLogFile();
        if (!settings.m_LogFileName.empty())
            GetLog()->ChangeLogFile(settings.m_LogFileName.c_str());
    }
    InitProperties();
    SetProperty(u"_forceDownloadCommonUpdate", u"true", 1);
    for (const WCHAR* folder : {u"JXCU_UNINSTALL_DIR", u"JXCU_SIGNATURE_DIR", u"JXCU_SOFTWARE_DIR"})
        SetProperty(folder, settings.m_DownloadFolder, 1);
    SetProperty(u"_CommonUpdateComponent", settings.m_Component, 1);
    SetProperty(u"_ProxyUrl", settings.m_ProxyUrl, 1);
    SetProperty(u"_ProxyUser", settings.m_ProxyUser, 1);
    SetProperty(u"_ProxyPw", settings.m_ProxyPassword, 1);
    SetProperty(u"_NoCertCheck", settings.m_NoCertCheck == 1 ? u"true" : u"false", 1);
    m_CommonUpdateMode = true;
    return true;
}

std::u16string JxData::GetCommonUpdateVersion() {
    CJxDataLock lock(*this);
    if (!m_CommonUpdateMode)
        return {};
    JxWebCommonUpdate update(this);
    return update.GetCommonUpdateVersion(ExpandProperties(u"[_CommonUpdateComponent]"),
                                         HasProgressCallback());
}

bool JxData::ExecuteCommonUpdate() {
    CJxDataLock lock(*this);
    if (!m_CommonUpdateMode)
        return false;
    JxWebCommonUpdate update(this);
    return update.ExecuteCommonUpdate(ExpandProperties(u"[_CommonUpdateComponent]"), HasProgressCallback());
}

bool JxData::CheckInternetConnection() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::CheckInternetConnection";
    JxWebClient client({}, 65536);
    Instance()->Log(LOG_BEGIN, kModule, context, u"%s", u"");
    _cumode_SetProxy(*this, client);
    const std::u16string host =
        client.GetUpdateServerHost(ExpandProperties(u"[ServerRegion]"), ExpandProperties(u"[_UpdateServer]"));
    const bool result = client.CheckConnectionToUpdateServer(host);
    Instance()->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

const std::vector<std::unique_ptr<JxWebDownloadObject>>& JxData::DownloadBillboards() {
    CJxDataLock lock(*this);
    const std::u16string address = ExpandProperties(u"[BILLBOARDURL]");
    if (address.empty())
        return m_Billboards;
    JxWebClient client({}, 65536);
    _cumode_SetProxy(*this, client);
    const bool numbered = address.find(u"%n") != std::u16string::npos;
    for (size_t n = 1; n <= kMaxBillboards; ++n) {
        std::u16string url = address;
        const std::u16string number = jxtext::ToText(static_cast<unsigned long long>(n));
        for (size_t at = 0; (at = url.find(u"%n", at)) != std::u16string::npos; at += number.size())
            url.replace(at, 2, number);
        pb::ErrorResult error;
        const HttpClient::Result r = client.Get(error, url);
        if (r.status != 200 || r.bodyLength == 0 || !r.body)
            break;
        auto billboard = std::make_unique<JxWebDownloadObject>();
        billboard->m_Data.assign(r.body->begin(), r.body->begin() + r.bodyLength);
        m_Billboards.push_back(std::move(billboard));
        if (!numbered)
            break;
    }
    return m_Billboards;
}

void JxData::ClearBillboards() {
    CJxDataLock lock(*this);
    m_Billboards.clear();
}

} // namespace JxSetup::Data
