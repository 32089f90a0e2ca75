// Fuzz target of the socket transport's answer decoding: the frame check, the decryption under a
// fixed key and the parse of the answer. Hostile input must be refused without a crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jxmms/MmsCmdFrame.h"
#include "mmscmd.pb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string key = "0123456789abcdef";
    // Raw input tests the check and the decryption of hostile ciphertext; input that starts with
    // 'E' is first made a well-formed frame, so that the answer parsers see its plaintext.
    std::vector<BYTE> frame(data, data + size);
    if (size > 0 && data[0] == 'E')
        MmsCmdFrame::Encrypt(key, data + 1, size - 1, frame);
    MmsCmdFrame::Check(frame.data(), frame.size());
    std::vector<BYTE> plain;
    if (MmsCmdFrame::Decrypt(key, frame.data(), frame.size(), plain)) {
        Tolvane::Corvata::Business::Server::Service::Protobuf::MmsCmdResp answer;
        answer.ParseFromArray(plain.data(), static_cast<int>(plain.size()));
        Tolvane::Corvata::Business::Server::Service::Protobuf::MmsCmdLegacyResp legacy;
        legacy.ParseFromString(answer.body());
    }
    return 0;
}
