// Owns the HTTP clients of one higher-level client and forwards its settings to the current one.
// Requests go out synchronously, or on a work item while the calling thread dispatches its window
// messages; a client whose worker still runs is never given a new request.
#pragma once

#include <memory>
#include <vector>

#include "jxweb/HttpClient.h"

class HttpClientHelper {
public:
    HttpClientHelper(HttpClient::FileTargetCallback fileTarget, HttpClient::ProgressCallback progress,
                     DWORD initialReceiveBufferSize, bool asynchronous, LONG bandwidthLimit);
    virtual ~HttpClientHelper();
    HttpClientHelper(const HttpClientHelper&) = delete;
    HttpClientHelper& operator=(const HttpClientHelper&) = delete;

    std::shared_ptr<HttpClient> GetActualClient();
    HttpClient::Result Send(int method, const std::u16string& url, bool toFile,
                            const std::u16string& filePath);
    void SetRequestBody(const void* data, DWORD length, bool copy);
    void ClearRequestBody();
    void SetRequestHeader(const std::u16string& name, const std::u16string& value);
    void SetProxy(const std::u16string& url, const std::u16string& user, const std::u16string& password);
    void SetCertificateCheck(bool check);
    void SetBearerToken(const std::u16string& token);

    size_t ClientCount() const { return m_Clients.size(); }

private:
    HttpClient::FileTargetCallback m_FileTargetCallback;
    HttpClient::ProgressCallback m_ProgressCallback;
    DWORD m_InitialReceiveBufferSize;
    bool m_Asynchronous;
    LONG m_BandwidthLimit;
    std::vector<std::shared_ptr<HttpClient>> m_Clients;
};
