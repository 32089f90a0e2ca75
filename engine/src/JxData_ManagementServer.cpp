// The management-server operations the install sequence calls at its end. The management-server
// client is not there yet: each operation that has work fails the run.
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// JX_NOT_BUILT: the management-server client comes with the management-server integration.
bool ManagementServerNotBuilt(JxData& data, const WCHAR* operation) {
    const std::u16string context = std::u16string(u"JxSetup::Data::JxData::") + operation;
    data.GetLog()->Log(LOG_BEGIN, kModule, context.c_str(), u"");
    data.FailNotBuilt(context.c_str(), operation);
    data.GetLog()->Log(LOG_END, kModule, context.c_str(), u"%s", u"false");
    return false;
}

} // namespace

bool JxData::ConfigureManamgementServer() {
    CJxDataLock lock(*this);
    return ManagementServerNotBuilt(*this, u"ConfigureManamgementServer");
}

void JxData::SetAccessKey() {
    CJxDataLock lock(*this);
    ManagementServerNotBuilt(*this, u"SetAccessKey");
}

void JxData::AuthorizeClient() {
    CJxDataLock lock(*this);
    if (!ExpandProperties(u"[_AccessKey]").empty())
        ManagementServerNotBuilt(*this, u"AuthorizeClient");
}

void JxData::DeleteMMSDB() {
    CJxDataLock lock(*this);
    if (jxtext::EqualsNoCase(ExpandProperties(u"[_DeleteDB]"), u"true"))
        ManagementServerNotBuilt(*this, u"DeleteMMSDB");
}

} // namespace JxSetup::Data

namespace JxSetup::Data {

// The pages of a management-server setup ask through these.
void JxData::RequestSQLInstances(std::vector<std::u16string>& out) {
    out.clear();
    ManagementServerNotBuilt(*this, u"RequestSQLInstances");
}

void JxData::RequestSQLDatabases(std::vector<std::u16string>& out, const std::u16string& request) {
    out.clear();
    ManagementServerNotBuilt(*this, u"RequestSQLDatabases");
}

void JxData::CheckSQLConnection(int& result, const std::u16string& request) {
    result = -1;
    ManagementServerNotBuilt(*this, u"CheckSQLConnection");
}

bool JxData::CheckRemoteConnectionToMMS(const std::u16string& server) {
    return ManagementServerNotBuilt(*this, u"CheckRemoteConnectionToMMS");
}

bool JxData::CheckScanApplianceConnection(const std::u16string& argument) {
    return ManagementServerNotBuilt(*this, u"CheckScanApplianceConnection");
}

} // namespace JxSetup::Data
