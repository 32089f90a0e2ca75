// The management-server operations of the setup data. Each builds a short-lived API client on its
// stack (its construction finds the API, ensures the incoming access key, starts the service and
// logs on), calls one of its operations and destroys it again; the data lock is held throughout.
#include "MmsLogBracket.h"
#include "jxbase/secretmask.h"
#include "jxmms/JxWebManagementServer.h"
#include "jxmms/MmsAccessKeys.h"
#include "jxmms/MmsAnswers.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
std::vector<std::u16string> JxData::RequestSQLInstances() {
    CJxDataLock lock(*this);
    CMmsBracket bracket(GetLog(), u"JxSetup::Data::JxData::RequestSQLInstances");
    JxWebManagementServer client(*this);
    return client.RequestSQLServerInstances();
}

std::vector<std::u16string> JxData::RequestSQLDatabases(const JxWebSqlDBRequest& request) {
    CJxDataLock lock(*this);
    CMmsBracket bracket(GetLog(), u"JxSetup::Data::JxData::RequestSQLDatabases");
    JxWebManagementServer client(*this);
    return client.RequestSQLDatabases(request);
}

int JxData::CheckSQLConnection(const JxWebSqlDBRequest& request) {
    CJxDataLock lock(*this);
    CMmsBracket bracket(GetLog(), u"JxSetup::Data::JxData::CheckSQLConnection");
    JxWebManagementServer client(*this);
    return client.CheckSQLConnection(request);
}

bool JxData::ConfigureManamgementServer() {
    CJxDataLock lock(*this);
    CMmsBracket bracket(GetLog(), u"JxSetup::Data::JxData::ConfigureManamgementServer");
    // The client in every install mode: the service starts and the setup logs on in any case.
    JxWebManagementServer client(*this);
    bool result = true;
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Install")) {
        result = client.ConfigureManamgementServer();
        SetProperty(u"_RestartMMS", u"true", 1);
    }
    bracket.Result(result);
    return result;
}

void JxData::DeleteMMSDB() {
    CJxDataLock lock(*this);
    CMmsBracket bracket(GetLog(), u"JxSetup::Data::JxData::DeleteMMSDB");
    if (!jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall") ||
        !jxtext::EqualsNoCase(ExpandProperties(u"[_DeleteDB]"), u"true"))
        return;
    JxWebManagementServer client(*this);
    client.DeleteDB();
}

void JxData::SetAccessKey() {
    CJxDataLock lock(*this);
    CMmsBracket bracket(GetLog(), u"JxSetup::Data::JxData::SetAccessKey");
    JxWebManagementServer client(*this);
}

void JxData::AuthorizeClient() {
    CJxDataLock lock(*this);
    CMmsBracket bracket(GetLog(), u"JxSetup::Data::JxData::AuthorizeClient");
    if (!jxtext::EqualsNoCase(GetInstallMode(), u"Install"))
        return;
    const std::u16string key = ExpandProperties(u"[_AccessKey]");
    const std::u16string subject = ExpandProperties(u"[_AuthenticationSubject]");
    if (key.empty() || subject.empty())
        return;
    RememberSecret(key);
    MmsAccessKeyType kind = 0;
    if (!ParseAccessKeySubject(subject, kind)) {
        bracket.Log(LP_WARNING, u"The authentication subject is not a number: %s. No access key is stored.",
                    subject.c_str());
        return;
    }
    // A key stored before for the subject is never replaced.
    if (ReadAccessKeyForSubject(subject).empty() && !WriteAccessKeyForSubject(key, subject))
        bracket.Log(LP_WARNING, u"Failed to store the access key of subject %s.", subject.c_str());
}

bool JxData::CheckScanApplianceConnection(const std::u16string& argument) {
    return ExecuteAddOn(u"JxNetworkHelper.dll", u"CheckJxRemoteScanServerConnection", argument);
}

} // namespace JxSetup::Data
