// The helper's list of clients and the settings it forwards.
#include "jxweb/HttpClientHelper.h"

HttpClientHelper::HttpClientHelper(HttpClient::FileTargetCallback fileTarget,
                                   HttpClient::ProgressCallback progress, DWORD initialReceiveBufferSize,
                                   bool asynchronous, LONG bandwidthLimit)
    : m_FileTargetCallback(std::move(fileTarget)), m_ProgressCallback(std::move(progress)),
      m_InitialReceiveBufferSize(initialReceiveBufferSize), m_Asynchronous(asynchronous),
      m_BandwidthLimit(bandwidthLimit) {}

HttpClientHelper::~HttpClientHelper() {
    // A worker that still runs finds its client on the invalid list and leaves it alone; the work
    // item's shared handle keeps the client alive until then.
    for (const auto& client : m_Clients)
        if (client->m_WorkerRunning)
            HttpClient::AddInvalidHttpClient(client.get());
}

std::shared_ptr<HttpClient> HttpClientHelper::GetActualClient() {
    if (m_Clients.empty() || m_Clients.back()->m_WorkerRunning) {
        auto client = std::make_shared<HttpClient>(m_ProgressCallback, m_InitialReceiveBufferSize);
        client->m_FileTargetCallback = m_FileTargetCallback;
        client->m_BandwidthLimit = m_BandwidthLimit;
        m_Clients.push_back(client);
    }
    while (m_Clients.size() >= 2 && !m_Clients.front()->m_WorkerRunning)
        m_Clients.erase(m_Clients.begin());
    return m_Clients.back();
}

HttpClient::Result HttpClientHelper::Send(int method, const std::u16string& url, bool toFile,
                                          const std::u16string& filePath) {
    const auto client = GetActualClient();
    return m_Asynchronous ? client->SendAwait(method, url, toFile, filePath)
                          : client->Send(method, url, toFile, filePath, true);
}

void HttpClientHelper::SetRequestBody(const void* data, DWORD length, bool copy) {
    GetActualClient()->SetRequestBody(data, length, copy);
}

void HttpClientHelper::ClearRequestBody() {
    GetActualClient()->ClearRequestBody();
}

void HttpClientHelper::SetRequestHeader(const std::u16string& name, const std::u16string& value) {
    GetActualClient()->SetRequestHeader(name, value);
}

void HttpClientHelper::SetProxy(const std::u16string& url, const std::u16string& user,
                                const std::u16string& password) {
    if (!url.empty())
        GetActualClient()->SetProxy(url, user, password);
}

void HttpClientHelper::SetCertificateCheck(bool check) {
    GetActualClient()->m_CheckCertificates = check;
}

void HttpClientHelper::SetBearerToken(const std::u16string& token) {
    SetRequestHeader(u"Authorization", u"Bearer " + token);
}
