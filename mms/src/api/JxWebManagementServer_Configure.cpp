// The configuration of the management server and the drop of its database.
#include "MmsLogBracket.h"
#include "jxbase/textconv.h"
#include "jxmms/JxWebManagementServer.h"
#include "jxmms/MmsAnswers.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "mmssetup.pb.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

namespace JxSetup::Data {
namespace {

pb::MmsServerType _cfg_Role(const std::u16string& text) {
    if (jxtext::EqualsNoCase(text, u"SubnetMMS"))
        return pb::SubnetMMS;
    if (jxtext::EqualsNoCase(text, u"SecondaryMMS"))
        return pb::SecondaryMMS;
    return pb::MainMMS;
}

} // namespace

bool JxWebManagementServer::ConfigureManamgementServer() {
    CMmsBracket op(m_Owner.GetLog(), u"JxSetup::Data::JxWebManagementServer::ConfigureManamgementServer");
    if (m_ApiUrl.empty()) {
        op.Log(LP_WARNING, u"API uri is empty.");
        return op.Result(false);
    }
    const std::u16string url = m_ApiUrl + m_PathApply;
    auto property = [&](const char16_t* name) {
        return m_Owner.ExpandProperties(u"[" + std::u16string(name) + u"]");
    };
    const pb::MmsServerType role = _cfg_Role(property(u"MMS_SERVER_TYPE"));
    const std::u16string mainHost = property(u"MMS_MAIN_HOST_NAME");
    JxWebSqlDBRequest sql;
    sql.m_Server = property(u"MMS_DATABASE_SERVER");
    sql.m_Database = property(u"MMS_DATABASE_NAME");
    sql.m_UseWindowsAuthentication =
        jxtext::EqualsNoCase(property(u"MMS_DATABASE_USE_WINDOWS_AUTHENTICATION"), u"true");
    sql.m_User = property(u"__MMS_USER");
    sql.m_Password = property(u"__MMS_PASSWORD");
    // Expanded as the server's other settings are; no field of the request carries them.
    property(u"MMS_DATABASE_TYPE");
    property(u"MMS_MAIL_CODEPAGE");
    const bool importLegacy = jxtext::EqualsNoCase(property(u"MMS_IMPORT_LEGACY_DB"), u"true");
    const std::u16string legacyPath = property(u"MMS_IMPORT_LEGACY_DB_PATH");
    const std::u16string isoLanguage = property(u"ISOLANG");
    const std::u16string language = property(u"LANGUAGE");
    const std::u16string mail = property(u"MMS_MAIL_AMBULANCE");
    const std::u16string clientComputer = property(u"_CLIENT_COMPUTERNAME");

    const int test = CheckSQLConnection(sql);
    if (test != kSqlResultRunning && test != kSqlResultSuccess) {
        op.Log(LP_WARNING, u"SQL Connection test failed.");
        return op.Result(false);
    }

    pb::ApplySetupPropertiesReq request;
    if (role == pb::SubnetMMS)
        request.set_clientcomputername(WideToUtf8(clientComputer));
    request.set_servertype(role);
    request.set_mainhostname(WideToUtf8(mainHost));
    request.set_databaseserver(WideToUtf8(sql.m_Server));
    request.set_databasename(WideToUtf8(sql.m_Database));
    request.set_usewindowsauthentication(sql.m_UseWindowsAuthentication);
    request.set_databaseuser(WideToUtf8(sql.m_User));
    request.set_databasepassword(WideToUtf8(sql.m_Password));
    request.set_importlegacydatabase(importLegacy);
    request.set_legacydatabasepath(WideToUtf8(legacyPath));
    request.set_isolanguage(WideToUtf8(isoLanguage));
    request.set_language(WideToUtf8(language));
    request.set_mailambulance(WideToUtf8(mail));

    op.Log(LP_INFO, u"Request: %s", url.c_str());
    pb::ApplySetupPropertiesResp answer;
    const HttpClient::Result result = m_WebClient->Post(request, answer, url);
    if (result.error != 0 || (result.status != 200 && result.status != 202)) {
        _mms_LogFailure(u"ConfigureManamgementServer", result);
        return op.Result(false);
    }
    if (answer.success()) {
        op.Log(LP_INFO, u"MMS configured.");
        return op.Result(true);
    }
    // A configuration the server refused is a failure of the configuration.
    op.Log(LP_WARNING, u"Failed to configure MMS: %s", Utf8ToWide(answer.errormessage()).c_str());
    return op.Result(false);
}

void JxWebManagementServer::DeleteDB() {
    CMmsBracket op(m_Owner.GetLog(), u"JxSetup::Data::JxWebManagementServer::DeleteDB");
    if (m_ApiUrl.empty())
        return;
    pb::DbSettingsMsg settings;
    HttpClient::Result result = m_WebClient->Get(settings, m_ApiUrl + m_PathDbSettings);
    if (result.error != 0 || result.status != 200) {
        _mms_LogFailure(u"DeleteDB", result);
        return;
    }
    op.Log(LP_INFO, u"Requested db settings.");
    if (!StopJxMmsService() || !StartJxMmsService())
        return;
    m_BearerToken.clear();
    logon();
    result = m_WebClient->Post(settings, m_ApiUrl + m_PathDropDb);
    if (result.error != 0 || result.status != 200)
        _mms_LogFailure(u"DeleteDB", result);
    else
        op.Log(LP_INFO, u"DB deleted.");
}

} // namespace JxSetup::Data
