// Fuzz target of the answer decoder: any bytes of an answer body are parsed as each answer message
// of the update server; a message that parses must serialise and parse back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "jxweb/ProtobufHttpClient.h"
#include "upcommon.pb.h"
#include "upupdate.pb.h"

namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace {

template <typename Message> void _fuzz_Decode(const HttpClient::Result& answer) {
    Message message;
    if (!ParseProtobufAnswer(answer, message))
        return;
    const std::string once = message.SerializeAsString();
    Message again;
    if (!again.ParseFromString(once) || again.SerializeAsString() != once)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HttpClient::Result answer;
    answer.body = std::make_shared<std::vector<BYTE>>(data, data + size);
    answer.bodyLength = static_cast<DWORD>(size);
    _fuzz_Decode<pb::RegionResult>(answer);
    _fuzz_Decode<pb::CommonUpdateInfoResult>(answer);
    _fuzz_Decode<pb::ErrorResult>(answer);
    _fuzz_Decode<pb::UpgradeLinksResult>(answer);
    _fuzz_Decode<pb::ProductInfoResult>(answer);
    return 0;
}
