// The setup's client of the command channel: the server information by host name and kind, and the
// secondary-server check of the local management service's configuration files.
#include "cmd_fixture.h"
#include "jxmms/MmsCmd.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "mmssetup.pb.h"

using namespace cmdtest;

namespace {

const char16_t kFolder[] = u"C:\\Program Files\\Tolvane\\Jxmms";

void InstallService(const std::string& configXml, const std::string& appConfig) {
    SetMachineString(u"SYSTEM\\CurrentControlSet\\Services\\Jxmms", u"ImagePath",
                     u"\"" + std::u16string(kFolder) + u"\\Jxmms.exe\"");
    jxtest::WriteMachineFile(std::u16string(kFolder) + u"\\Jxmms.exe");
    if (!configXml.empty())
        jxtest::WriteMachineFile(std::u16string(kFolder) + u"\\Config.xml", configXml);
    if (!appConfig.empty())
        jxtest::WriteMachineFile(std::u16string(kFolder) + u"\\Jxmms.exe.config", appConfig);
}

std::string ConfigXml(const std::string& value) {
    return "<config><group name='Server'><setting name='IsSecondaryMMS' value='" + value +
           "'/></group></config>";
}

std::string AppConfig(const std::string& value) {
    return "<configuration><applicationSettings><Tolvane.Corvata.Business.Server.Jxmms.Properties.Settings>"
           "<setting name='IsSecondaryMMS'><value>" +
           value +
           "</value></setting></Tolvane.Corvata.Business.Server.Jxmms.Properties.Settings>"
           "</applicationSettings></configuration>";
}

} // namespace

TEST_F(CmdChannelTest, TheSecondaryCheckReadsConfigXmlThenTheProgramConfiguration) {
    EXPECT_FALSE(IsSecondaryMMS()); // no service
    struct Case {
        std::string configXml, appConfig;
        bool secondary;
    };
    for (const Case& c :
         {Case{ConfigXml("True"), AppConfig("false"), true},
          Case{ConfigXml("false"), AppConfig("TRUE"), false}, Case{"<config/>", AppConfig("TRUE"), true},
          Case{"<broken", AppConfig("true"), true}, Case{"<config/>", "", false},
          Case{"", AppConfig("no"), false}}) {
        SCOPED_TRACE(c.configXml + c.appConfig);
        DeleteFileW((std::u16string(kFolder) + u"\\Config.xml").c_str());
        DeleteFileW((std::u16string(kFolder) + u"\\Jxmms.exe.config").c_str());
        InstallService(c.configXml, c.appConfig);
        EXPECT_EQ(IsSecondaryMMS(), c.secondary);
    }
}

TEST_F(CmdChannelTest, ServerInformationIsAskedOfTheNamedHostAsItsSubject) {
    CommandServer server(2);
    server.SetHandler([](const pb::MmsCmdReq& r) {
        pb::MmsCmdLegacyResp info; // a message of the test's choice in the body
        info.set_filesize(r.path());
        return Answer(200, info.SerializeAsString());
    });
    struct Case {
        std::u16string kind;
        std::string configXml;
        int subject;
    };
    for (const Case& c :
         {Case{u"MMS", ConfigXml("TRUE"), 5}, Case{u"mms", ConfigXml("no"), 4}, Case{u"", "", 1}}) {
        InstallService(c.configXml.empty() ? "<config/>" : c.configXml, "");
        pb::MmsCmdLegacyResp answer;
        EXPECT_EQ(MmsClient::GetServerInfo(std::u16string(server.Address().begin(), server.Address().end()),
                                           answer, c.kind, nullptr),
                  200);
        EXPECT_EQ(answer.filesize(), "api/common/serverinfo");
        EXPECT_EQ(MmsAuthSubject.load(), c.subject);
    }
    EXPECT_EQ(server.Requests().back().method(), pb::MmsCmdReq::Get);
    EXPECT_FALSE(server.Requests().back().has_body());
    ASSERT_EQ(MmsCmdHostRegistry::Instance().Hosts().size(), 1u);
    EXPECT_EQ(MmsCmdHostRegistry::Instance().Hosts()[0]->Role(), MmsHostMain);
    MmsCmdHostRegistry::Instance().SetHosts({});
}

TEST_F(CmdChannelTest, TheRemoteConnectionCheckNeedsTheServerText) {
    CommandServer server(2);
    std::string text = "Server 1";
    server.SetHandler([&](const pb::MmsCmdReq&) {
        Tolvane::Corvata::Business::Server::Service::Protobuf::ServerInfoRespMsg info;
        info.set_servertext(text);
        return Answer(200, info.SerializeAsString());
    });
    JxSetup::Data::JxData data;
    jxtest::CLogCapture log(true);
    const std::u16string host(server.Address().begin(), server.Address().end());
    data.SetProperty(u"_MMS_SETUP", u"TRUE", 0);
    EXPECT_TRUE(data.CheckRemoteConnectionToMMS(host));
    EXPECT_EQ(MmsAuthSubject.load(), 4);
    text.clear();
    data.SetProperty(u"_MMS_SETUP", u"", 0);
    EXPECT_FALSE(data.CheckRemoteConnectionToMMS(host));
    EXPECT_EQ(MmsAuthSubject.load(), 1);
    EXPECT_FALSE(data.CheckRemoteConnectionToMMS(u""));
    const std::string lines = log.Dump();
    for (const char* line :
         {"MmsClient::GetServerInfo|Set AuthSubject to Sub MMS",
          "JxData::CheckRemoteConnectionToMMS|GetServerInfo: 200",
          "JxData::CheckRemoteConnectionToMMS|Hostname empty", "JxData::CheckRemoteConnectionToMMS|true",
          "JxData::CheckRemoteConnectionToMMS|false"})
        EXPECT_NE(lines.find(line), std::string::npos) << line;
    MmsCmdHostRegistry::Instance().SetHosts({});
}
