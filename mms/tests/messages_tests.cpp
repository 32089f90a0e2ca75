// The management server's setup and local-configuration messages on the wire: the bytes the setup
// sends, defaults of absent fields, and values the runtime keeps as unknown data.
#include <string>

#include <gtest/gtest.h>

#include "mmslocalconfig.pb.h"
#include "mmssetup.pb.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

TEST(MmsMessages, TypeNamesCarryThePackage) {
    EXPECT_EQ(pb::ApplySetupPropertiesReq().GetTypeName(),
              "Tolvane.Corvata.Business.Server.Service.Protobuf.ApplySetupPropertiesReq");
    EXPECT_EQ(pb::SqlServerInstancesResp::SqlServerMachine().GetTypeName(),
              "Tolvane.Corvata.Business.Server.Service.Protobuf.SqlServerInstancesResp.SqlServerMachine");
}

TEST(MmsMessages, RequestsEncodePresentFieldsOnly) {
    pb::SqlServerInstancesReq instances;
    instances.set_flag1(false);
    instances.set_flag2(false);
    instances.set_flag3(false);
    EXPECT_EQ(instances.SerializeAsString(), Bytes({0x08, 0, 0x10, 0, 0x18, 0}));

    pb::ConfigurationMsg empty; // fields 1 to 6 present though empty
    empty.set_databaseserver("");
    empty.set_databasename("");
    empty.set_databaseuser("");
    empty.set_databasepassword("");
    empty.set_additionalsetting("");
    empty.set_usewindowsauthentication(false);
    EXPECT_EQ(empty.SerializeAsString(), Bytes({0x0A, 0, 0x12, 0, 0x18, 0, 0x22, 0, 0x2A, 0, 0x32, 0}));
}

TEST(MmsMessages, AnswersReadDefaultsAndKeepUnknownValues) {
    pb::OpenDatabaseResp open;
    ASSERT_TRUE(open.ParseFromString(Bytes({0x0A, 0x01, 'x'})));
    EXPECT_FALSE(open.has_returnvalue());
    EXPECT_EQ(open.returnvalue().code(), pb::ReturnValueMsg_ReturnValue_Running);

    pb::ReturnValueMsg code;
    ASSERT_TRUE(code.ParseFromString(Bytes({0x08, 0x09})));
    EXPECT_FALSE(code.has_code());
    EXPECT_EQ(code.code(), pb::ReturnValueMsg_ReturnValue_Running);
    EXPECT_EQ(code.SerializeAsString(), Bytes({0x08, 0x09}));

    pb::ApplySetupPropertiesReq role;
    ASSERT_TRUE(role.ParseFromString(Bytes({0x08, 0x07})));
    EXPECT_FALSE(role.has_servertype());
    EXPECT_EQ(role.servertype(), pb::MainMMS);
    EXPECT_EQ(role.SerializeAsString(), Bytes({0x08, 0x07}));

    // The database settings go back to the server as they came, unknown field 1 included.
    const std::string settings = Bytes({0x0A, 0x02, 'k', 'p', 0x1A, 0x01, 'S', 0x28, 0x01});
    pb::DbSettingsMsg db;
    ASSERT_TRUE(db.ParseFromString(settings));
    EXPECT_EQ(db.SerializeAsString(), Bytes({0x1A, 0x01, 'S', 0x28, 0x01, 0x0A, 0x02, 'k', 'p'}));

    pb::SqlServerInstancesResp::SqlServerMachine machine;
    ASSERT_TRUE(machine.ParseFromString(Bytes({0x0A, 0x01, 'M'})));
    EXPECT_EQ(machine.instancenames_size(), 0);

    pb::ServerInfoRespMsg info;
    ASSERT_TRUE(info.ParseFromString(""));
    EXPECT_EQ(info.servertext(), "");
}

} // namespace
