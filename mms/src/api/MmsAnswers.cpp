// Reading the management server's answers.
#include "jxmms/MmsAnswers.h"

#include "jxbase/textconv.h"
#include "jxplat/text.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

namespace JxSetup::Data {

const char16_t* SqlResultText(int code) {
    switch (code) {
    case 1:
        return u"Running";
    case 2:
        return u"Success";
    case 4:
        return u"UnsupportedDb";
    case 5:
        return u"InvalidRights";
    case 6:
        return u"ConnectionFailed";
    default:
        return u"Error";
    }
}

std::vector<std::u16string> SqlInstancesOfAnswer(const pb::SqlServerInstancesResp& answer) {
    std::vector<std::u16string> list;
    for (const pb::SqlServerInstancesResp::SqlServerMachine& machine : answer.machines()) {
        const std::u16string name = Utf8ToWide(machine.servermachinename());
        for (const std::string& instance : machine.instancenames()) {
            const std::u16string text = Utf8ToWide(instance);
            list.push_back(jxtext::EqualsNoCase(text, u"MSSQLSERVER") ? name : name + u"\\" + text);
        }
    }
    return list;
}

std::vector<std::u16string> SqlDatabasesOfAnswer(const pb::SqlServerDatabasesResp& answer) {
    std::vector<std::u16string> list;
    list.reserve(static_cast<size_t>(answer.databasenames_size()));
    for (const std::string& name : answer.databasenames())
        list.push_back(Utf8ToWide(name));
    return list;
}

int SqlResultOfAnswer(const pb::OpenDatabaseResp& answer) {
    if (!answer.has_returnvalue())
        return kSqlResultRunning;
    const pb::ReturnValueMsg& value = answer.returnvalue();
    return value.has_code() ? static_cast<int>(value.code()) : kSqlResultError;
}

} // namespace JxSetup::Data
