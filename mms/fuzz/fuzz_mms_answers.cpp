// Fuzz target of the management-server answer decoders: any bytes of an answer body are decoded as
// each answer the setup reads; what the setup takes from them must stay in its range, and a message
// that parses must serialise and parse back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "jxmms/MmsAnswers.h"
#include "jxweb/ProtobufHttpClient.h"
#include "mmsauth.pb.h"
#include "mmslocalconfig.pb.h"
#include "mmssetup.pb.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;
using namespace JxSetup::Data;

namespace {

template <typename Message> bool _fuzz_Decode(const HttpClient::Result& answer, Message& message) {
    if (!ParseProtobufAnswer(answer, message))
        return false;
    const std::string once = message.SerializeAsString();
    Message again;
    if (!again.ParseFromString(once) || again.SerializeAsString() != once)
        std::abort();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HttpClient::Result answer;
    answer.body = std::make_shared<std::vector<BYTE>>(data, data + size);
    answer.bodyLength = static_cast<DWORD>(size);
    pb::SqlServerInstancesResp instances;
    if (_fuzz_Decode(answer, instances)) {
        size_t names = 0;
        for (const auto& machine : instances.machines())
            names += static_cast<size_t>(machine.instancenames_size());
        if (SqlInstancesOfAnswer(instances).size() != names)
            std::abort();
    }
    pb::SqlServerDatabasesResp databases;
    if (_fuzz_Decode(answer, databases) &&
        SqlDatabasesOfAnswer(databases).size() != static_cast<size_t>(databases.databasenames_size()))
        std::abort();
    pb::OpenDatabaseResp open;
    if (_fuzz_Decode(answer, open)) {
        const int code = SqlResultOfAnswer(open);
        if (code < 1 || code > 6)
            std::abort();
        SqlResultText(code);
    }
    pb::ApplySetupPropertiesResp apply;
    _fuzz_Decode(answer, apply);
    pb::DbSettingsMsg settings;
    _fuzz_Decode(answer, settings);
    pb::ServerInfoRespMsg info;
    _fuzz_Decode(answer, info);
    pb::MmsTokenResp token;
    _fuzz_Decode(answer, token);
    return 0;
}
