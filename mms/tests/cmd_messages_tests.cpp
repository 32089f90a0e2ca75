// The command channel's messages on the wire: golden bytes from the message tables, read back by the
// generated parser and cross-checked by protoc's own decoder.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "jxtest/run_program.h"
#include "mmsauth.pb.h"
#include "mmscmd.pb.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

// protoc --decode=<type> (or --decode_raw for an empty type) over the bytes.
std::string Protoc(const std::string& type, const std::string& bytes) {
    char path[] = "/tmp/jxmmsproto-XXXXXX";
    const int fd = mkstemp(path);
    FILE* f = fdopen(fd, "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    const std::string mode = type.empty() ? "--decode_raw"
                                          : "--decode=Tolvane.Corvata.Business.Server.Service.Protobuf." +
                                                type + " mmsauth.proto mmscmd.proto";
    const std::string out =
        jxtest::CommandOutput(std::string(JX_PROTOC) + " -I" + JX_PROTO_DIR + " " + mode + " < " + path);
    std::remove(path);
    return out;
}

} // namespace

TEST(CmdMessages, DefaultsAndPresence) {
    pb::MmsCmdReq req;
    EXPECT_EQ(req.SerializeAsString(), "");
    EXPECT_EQ(req.method(), pb::MmsCmdReq::Post);
    req.set_method(pb::MmsCmdReq::Post); // set explicitly, it is written
    EXPECT_EQ(req.SerializeAsString(), Bytes({0x08, 0x05}));

    pb::MmsCmdResp resp;
    ASSERT_TRUE(resp.ParseFromString(Bytes({0x22, 0x01, 'x'})));
    EXPECT_EQ(resp.status(), 200);
    EXPECT_FALSE(resp.has_status());

    pb::MmsTokenReq token;
    EXPECT_EQ(token.authsubject(), -1);
    EXPECT_EQ(token.clienttype(), 1);
    EXPECT_EQ(pb::MmsTokenReq().GetTypeName(),
              "Tolvane.Corvata.Business.Server.Service.Protobuf.MmsTokenReq");
    token.set_authsubject(pb::MmsTokenReq::Subject_Secondary);
    token.Clear();
    EXPECT_EQ(token.authsubject(), -1);
}

// Enum values outside the valid set stay unknown fields and survive a re-serialization.
TEST(CmdMessages, UnknownEnumValuesAreKeptAsUnknownFields) {
    struct Case {
        std::string wire;
        bool known;
    };
    for (const Case& c :
         {Case{Bytes({0x20, 100}), true},
          Case{Bytes({0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}), true},
          Case{Bytes({0x20, 6}), false}, Case{Bytes({0x30, 6}), false}, Case{Bytes({0x30, 7}), true}}) {
        pb::MmsTokenReq token;
        ASSERT_TRUE(token.ParseFromString(c.wire));
        EXPECT_EQ(token.has_authsubject() || token.has_clienttype(), c.known);
        EXPECT_EQ(token.SerializeAsString(), c.wire);
    }
    pb::MmsCmdReq req;
    ASSERT_TRUE(req.ParseFromString(Bytes({0x08, 0x08, 0x12, 0x01, 'p'})));
    EXPECT_FALSE(req.has_method());
    EXPECT_EQ(req.method(), pb::MmsCmdReq::Post);
    EXPECT_EQ(req.SerializeAsString(), Bytes({0x12, 0x01, 'p', 0x08, 0x08})); // unknown fields go last
}

TEST(CmdMessages, ProtocReadsTheBytesAsTheTablesSay) {
    pb::MmsCmdReq req;
    req.set_method(pb::MmsCmdReq::Delete);
    req.set_path("api/auth/token");
    auto* header = req.add_headers();
    header->set_name("Accept");
    header->set_value("a/b");
    req.set_body(std::string("\x00\x01", 2));
    req.set_requestid(std::string(16, '\x11'));
    req.set_sequence(1);
    EXPECT_EQ(
        Protoc("MmsCmdReq", req.SerializeAsString()),
        "Method: Delete\nPath: \"api/auth/token\"\nHeaders {\n  Name: \"Accept\"\n  Value: \"a/b\"\n}\n"
        "Body: \"\\000\\001\"\nRequestId: \"\\021\\021\\021\\021\\021\\021\\021\\021\\021\\021\\021\\021\\021"
        "\\021\\021\\021\"\nSequence: 1\n");

    pb::MmsTokenReq token;
    token.set_accesskey("k");
    token.add_machinename("a");
    token.add_machinename("b");
    token.set_authsubject(pb::MmsTokenReq::Subject_Setup);
    token.set_clienttype(pb::MmsTokenReq::ClientType_1);
    const std::string wire = token.SerializeAsString();
    EXPECT_EQ(wire, Bytes({0x0A, 1, 'k', 0x1A, 1, 'a', 0x1A, 1, 'b', 0x20, 100, 0x30, 1}));
    EXPECT_EQ(Protoc("", wire), "1: \"k\"\n3: \"a\"\n3: \"b\"\n4: 100\n6: 1\n");

    pb::MmsCmdLegacyResp legacy;
    legacy.set_filesize("200000");
    legacy.set_result(0);
    EXPECT_EQ(Protoc("MmsCmdLegacyResp", legacy.SerializeAsString()), "FileSize: \"200000\"\nResult: 0\n");
}
