// The update-server messages on the wire: golden bytes written from the message tables, read back
// by the generated parser and cross-checked by protoc's own decoder.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "upcommon.pb.h"
#include "upupdate.pb.h"

namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

// Runs protoc on the bytes (--decode_raw, or --decode=<type> with the project's .proto files).
std::string Protoc(const std::string& mode, const std::string& bytes) {
    char path[] = "/tmp/jxproto-XXXXXX";
    const int fd = mkstemp(path);
    FILE* f = fdopen(fd, "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    const std::string command = std::string(JX_PROTOC) + " -I" + JX_PROTO_DIR + " " + mode +
                                (mode == "--decode_raw" ? "" : " upupdate.proto upcommon.proto") + " < " +
                                path;
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
            out.append(buffer, n);
        pclose(p);
    }
    std::remove(path);
    return out;
}

} // namespace

TEST(UpdateMessages, RequestsEncodeByteForByte) {
    pb::CommonUpdateInfo info;
    info.set_component("abc");
    EXPECT_EQ(info.SerializeAsString(), Bytes({0x0A, 0x03, 'a', 'b', 'c'}));
    EXPECT_EQ(pb::CommonUpdateInfo().SerializeAsString(), ""); // nothing set, nothing sent

    pb::RegionResult negative;
    negative.set_resultcode(-1); // sign-extended: ten bytes after the tag
    EXPECT_EQ(negative.SerializeAsString(),
              Bytes({0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}));

    pb::UpdateInfoResult update; // fields go out in number order, the bool as a varint
    update.set_field19(true);
    update.set_field2("x");
    update.set_resultcode(0);
    EXPECT_EQ(update.SerializeAsString(), Bytes({0x08, 0x00, 0x12, 0x01, 'x', 0x98, 0x01, 0x01}));

    pb::ProductInfoResult product; // repeated int32 unpacked, one tag each
    product.add_values(1);
    product.add_values(300);
    EXPECT_EQ(product.SerializeAsString(), Bytes({0x10, 0x01, 0x10, 0xAC, 0x02}));
}

TEST(UpdateMessages, AnswersDecodeAndKeepUnknownFields) {
    pb::RegionResult region;
    ASSERT_TRUE(region.ParseFromString(Bytes({0x08, 0x00})));
    EXPECT_TRUE(region.has_resultcode());
    EXPECT_FALSE(region.has_region());

    ASSERT_TRUE(region.ParseFromString(""));
    EXPECT_FALSE(region.has_resultcode());

    // A field 9 the message does not declare stays and is written back after the declared ones.
    const std::string withNine = Bytes({0x48, 0x07, 0x08, 0x00, 0x12, 0x02, 'e', 'u'});
    ASSERT_TRUE(region.ParseFromString(withNine));
    EXPECT_EQ(region.region(), "eu");
    EXPECT_EQ(region.SerializeAsString(), Bytes({0x08, 0x00, 0x12, 0x02, 'e', 'u', 0x48, 0x07}));

    pb::ProductInfoResult packed, unpacked;
    ASSERT_TRUE(packed.ParseFromString(Bytes({0x12, 0x03, 0x01, 0x02, 0x03})));
    ASSERT_TRUE(unpacked.ParseFromString(Bytes({0x10, 0x01, 0x10, 0x02, 0x10, 0x03})));
    ASSERT_EQ(packed.values_size(), 3);
    EXPECT_EQ(packed.SerializeAsString(), unpacked.SerializeAsString());

    EXPECT_FALSE(region.ParseFromString(Bytes({0x0A, 0x05, 'a'}))); // a length past the end
    EXPECT_EQ(pb::ErrorResult().GetTypeName(), "Tolvane.Corvata.UpdateServer.Service.Protobuf.ErrorResult");
}

TEST(UpdateMessages, ProtocReadsTheBytesAsTheTablesSay) {
    pb::CommonUpdateInfoResult answer;
    answer.set_serverresult(0);
    answer.set_configfile("config.xml");
    answer.set_uri("//%host%/cu/");
    const std::string bytes = answer.SerializeAsString();
    EXPECT_EQ(Protoc("--decode_raw", bytes), "1: 0\n3: \"config.xml\"\n4: \"//%host%/cu/\"\n");
    EXPECT_EQ(Protoc("--decode=Tolvane.Corvata.UpdateServer.Service.Protobuf.CommonUpdateInfoResult", bytes),
              "serverResult: 0\nconfigFile: \"config.xml\"\nuri: \"//%host%/cu/\"\n");
}
