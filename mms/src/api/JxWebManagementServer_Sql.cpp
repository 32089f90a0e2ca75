// The SQL calls of the management-server API client: instances, databases, the connection test.
#include "MmsLogBracket.h"
#include "jxmms/JxWebManagementServer.h"
#include "jxmms/MmsAnswers.h"
#include "mmslocalconfig.pb.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

namespace JxSetup::Data {

bool JxWebManagementServer::_mms_Post(const google::protobuf::MessageLite& request,
                                      google::protobuf::MessageLite& answer, const std::u16string& url,
                                      const char16_t* operation) {
    const std::u16string context = std::u16string(u"JxSetup::Data::JxWebManagementServer::") + operation;
    m_Owner.GetLog()->Log(LP_INFO, kMmsModule, context.c_str(), u"Request: %s", url.c_str());
    const HttpClient::Result result = m_WebClient->Post(request, answer, url);
    if (result.error == 0 && result.status == 200)
        return true;
    _mms_LogFailure(operation, result);
    return false;
}

int JxWebManagementServer::CheckSQLConnection(const JxWebSqlDBRequest& request) {
    if (m_ApiUrl.empty())
        return kSqlResultError;
    pb::OpenDatabaseReq message;
    message.set_allocated_configuration(buildConfiguration(request));
    message.set_flag2(false);
    pb::OpenDatabaseResp answer;
    if (!_mms_Post(message, answer, m_ApiUrl + m_PathLocalConfig + m_PathOpenDatabase, u"CheckSQLConnection"))
        return kSqlResultError;
    const int code = SqlResultOfAnswer(answer);
    m_Owner.GetLog()->Log(LP_INFO, kMmsModule, u"JxSetup::Data::JxWebManagementServer::CheckSQLConnection",
                          u"Result: %s", SqlResultText(code));
    return code;
}

std::vector<std::u16string> JxWebManagementServer::RequestSQLServerInstances() {
    if (m_ApiUrl.empty())
        return {};
    pb::SqlServerInstancesReq message;
    message.set_flag1(false);
    message.set_flag2(false);
    message.set_flag3(false);
    pb::SqlServerInstancesResp answer;
    if (!_mms_Post(message, answer, m_ApiUrl + m_PathLocalConfig + m_PathSqlInstances,
                   u"RequestSQLServerInstances"))
        return {};
    return SqlInstancesOfAnswer(answer);
}

std::vector<std::u16string> JxWebManagementServer::RequestSQLDatabases(const JxWebSqlDBRequest& request) {
    if (m_ApiUrl.empty())
        return {};
    pb::SqlServerDatabasesReq message;
    message.set_allocated_configuration(buildConfiguration(request));
    pb::SqlServerDatabasesResp answer;
    if (!_mms_Post(message, answer, m_ApiUrl + m_PathLocalConfig + m_PathSqlDatabases,
                   u"RequestSQLDatabases"))
        return {};
    return SqlDatabasesOfAnswer(answer);
}

} // namespace JxSetup::Data
