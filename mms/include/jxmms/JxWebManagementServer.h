// The setup's client of the HTTPS API of the management server on this machine.
//
// A short-lived object: every management-server operation of the setup data builds one on its
// stack. Construction finds the API's port, makes sure the incoming access key exists, prepares
// the web client (proxy, no certificate check for the local server's own certificate), starts the
// service "jxmms" and logs on with the access key for a bearer token. Every call is a protobuf
// message over HTTPS with that token; failures are log lines and empty results, never exceptions.
// The access key and the token live only in this object and never reach the log.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "jxsetupdata/JxWebSqlDBRequest.h"
#include "jxweb/JxWebClient.h"

namespace Tolvane::Corvata::Business::Server::Service::Protobuf {
class ConfigurationMsg;
}

namespace JxSetup::Data {

class JxData;

class JxWebManagementServer {
public:
    explicit JxWebManagementServer(JxData& owner);

    virtual void getApiUrl();
    virtual std::u16string newGuidString();
    virtual void ensureIncomingAccessKey();
    virtual void initWebClient();
    virtual void logon();
    // A new message, owned by the caller.
    virtual Tolvane::Corvata::Business::Server::Service::Protobuf::ConfigurationMsg*
    buildConfiguration(const JxWebSqlDBRequest& request);
    virtual ~JxWebManagementServer();
    virtual bool ConfigureManamgementServer();
    virtual std::vector<std::u16string> RequestSQLServerInstances();
    virtual std::vector<std::u16string> RequestSQLDatabases(const JxWebSqlDBRequest& request);
    virtual int CheckSQLConnection(const JxWebSqlDBRequest& request);
    virtual void DeleteDB();
    virtual bool StartJxMmsService();
    virtual bool StopJxMmsService();

    JxWebManagementServer(const JxWebManagementServer&) = delete;
    JxWebManagementServer& operator=(const JxWebManagementServer&) = delete;

    const std::u16string& ApiUrl() const { return m_ApiUrl; }
    const std::u16string& AccessKey() const { return m_AccessKey; }
    bool HasBearerToken() const { return !m_BearerToken.empty(); }

    // The largest answer body the client takes; a longer one fails the request.
    static constexpr ULONGLONG kMaxAnswerBytes = 8ull << 20;

    // Seams of the tests: the pauses (between logons and service checks) and the time-outs of the
    // web client (connect, send, receive; 0 keeps the client's own).
    using SleepFn = std::function<void(DWORD milliseconds)>;
    static void SetSleepForTesting(SleepFn sleep);
    static void SetTimeoutForTesting(DWORD milliseconds);

protected:
    void _mms_Sleep(DWORD milliseconds);
    // Logs "Request: %s" and posts; false, with the failure line, unless the answer is a 200 whose
    // body parsed into the answer.
    bool _mms_Post(const google::protobuf::MessageLite& request, google::protobuf::MessageLite& answer,
                   const std::u16string& url, const char16_t* operation);
    // Logs the failure line of a request that failed or was answered with another status.
    void _mms_LogFailure(const char16_t* operation, const HttpClient::Result& result);

    JxData& m_Owner;
    std::unique_ptr<JxWebClient> m_WebClient;
    std::u16string m_ApiUrl;
    std::u16string m_AccessKey;
    std::u16string m_BearerToken;
    const std::u16string m_PathApply = u"/setup/apply";
    const std::u16string m_PathLocalConfig = u"/localconfig";
    const std::u16string m_PathSqlInstances = u"/sqlserverinstances";
    const std::u16string m_PathSqlDatabases = u"/sqlserverdatabases";
    const std::u16string m_PathOpenDatabase = u"/opendatabase";
    const std::u16string m_PathToken = u"/auth/token";
    const std::u16string m_ServiceName = u"jxmms";
    const std::u16string m_PathDbSettings = u"/setup/getdeldbsettings";
    const std::u16string m_PathDropDb = u"/setup/dropdb";
};

} // namespace JxSetup::Data
