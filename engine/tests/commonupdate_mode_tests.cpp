// The web operations of the setup data for the user-interface module: the common-update mode, the
// connection test and the billboards.
#include <gtest/gtest.h>

#include "commonupdate_support.h"
#include "jxsetupdata/JxCommonUpdateSettings.h"
#include "jxtest/log_capture.h"

using namespace jxcutest;
using namespace JxSetup::Data;

namespace {

JxCommonUpdateSettings Settings() {
    JxCommonUpdateSettings s;
    s.m_ProductVersion = u"2.1.0.0";
    s.m_Component = u"Core";
    s.m_DownloadFolder = u"C:\\cu";
    s.m_ProductId = u"{11111111-2222-3333-4444-555555555555}";
    return s;
}

std::vector<int> g_positions;
void Record(LPVOID context, int position, int, const WCHAR*) {
    EXPECT_EQ(context, &g_positions);
    g_positions.push_back(position);
}

class CommonUpdateMode : public ::testing::Test {
protected:
    void SetUp() override { data.SetProperty(u"_UpdateServer", jxtext::W(server.Host()), 1); }
    CommonUpdateServer server;
    jxtest::CLogCapture log;
    JxData data;
};

} // namespace

TEST_F(CommonUpdateMode, RunsOnlyWhenPrepared) {
    EXPECT_FALSE(data.ExecuteCommonUpdate());
    EXPECT_EQ(data.GetCommonUpdateVersion(), u"");
    EXPECT_TRUE(server.machine.Server().Requests().empty());

    ASSERT_TRUE(data.InitCommonUpdateMode(Settings(), nullptr, nullptr));
    JxCommonUpdateSettings incomplete = Settings();
    incomplete.m_Component.clear();
    EXPECT_FALSE(data.InitCommonUpdateMode(incomplete, nullptr, nullptr));
    EXPECT_FALSE(data.ExecuteCommonUpdate());
    EXPECT_TRUE(server.machine.Server().Requests().empty());
}

// The mode takes a newer setup without asking, and reports the download's progress to the caller.
TEST_F(CommonUpdateMode, FetchesTheNewerSetupWithProgress) {
    server.Offer({"setup.exe", std::string(70000, 's')});
    JxCommonUpdateSettings settings = Settings();
    settings.m_NoCertCheck = 2;
    g_positions.clear();
    ASSERT_TRUE(data.InitCommonUpdateMode(settings, Record, &g_positions));
    EXPECT_EQ(data.GetPropertyValue(u"_NoCertCheck"), u"false");
    EXPECT_EQ(data.GetPropertyValue(u"JXCU_SIGNATURE_DIR"), u"C:\\cu");
    EXPECT_EQ(data.GetPropertyValue(u"_forceDownloadCommonUpdate"), u"true");
    EXPECT_EQ(data.GetCommonUpdateVersion(), u"2.1.0.1");
    ASSERT_TRUE(data.ExecuteCommonUpdate()) << log.Dump();
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\cu\\setup.exe"));
    ASSERT_FALSE(g_positions.empty());
    EXPECT_EQ(g_positions.back(), 100);
    EXPECT_EQ(server.Components(), (std::vector<std::string>{"Core", "Core"}));

    settings.m_NoCertCheck = 1;
    ASSERT_TRUE(data.InitCommonUpdateMode(settings, nullptr, nullptr));
    EXPECT_EQ(data.GetPropertyValue(u"_NoCertCheck"), u"true");
}

TEST_F(CommonUpdateMode, TestsTheConnectionToTheUpdateServer) {
    server.machine.Serve("/api/update/region", [](const Request&) {
        pb::RegionResult answer;
        answer.set_resultcode(0);
        return Answer(200, answer.SerializeAsString(), {{"Content-Type", "application/x-protobuf"}});
    });
    EXPECT_TRUE(data.CheckInternetConnection());
    data.SetProperty(u"_UpdateServer", jxtext::W(jxwebtest::ServerName("127.0.0.2")), 1);
    EXPECT_FALSE(data.CheckInternetConnection());
    EXPECT_EQ(log.Count("END", "false"), 1u);
}

TEST_F(CommonUpdateMode, BillboardsUntilTheFirstMissingOne) {
    const std::string base = "https://" + server.Host();
    server.machine.ServeFixed("/bb/1.png", 200, "first");
    server.machine.ServeFixed("/bb/2.png", 200, "second");
    server.machine.ServeFixed("/bb/3.png", 404, "");
    data.SetProperty(u"BILLBOARDURL", jxtext::W(base + "/bb/%n.png"), 1);
    const auto& billboards = data.DownloadBillboards();
    ASSERT_EQ(billboards.size(), 2u);
    EXPECT_EQ(std::string(billboards[1]->m_Data.begin(), billboards[1]->m_Data.end()), "second");
    // They accumulate until cleared.
    EXPECT_EQ(data.DownloadBillboards().size(), 4u);
    data.ClearBillboards();
    EXPECT_TRUE(data.DownloadBillboards().size() == 2u);

    // An empty answer ends the list like an error.
    data.ClearBillboards();
    server.machine.ServeFixed("/bb/1.png", 200, "");
    EXPECT_TRUE(data.DownloadBillboards().empty());
}

// An address without a number is asked once; a server that always answers gives at most 100.
TEST_F(CommonUpdateMode, BillboardsAreBounded) {
    server.machine.ServeFixed("/bb/same.png", 200, "same");
    data.SetProperty(u"BILLBOARDURL", jxtext::W("https://" + server.Host() + "/bb/same.png"), 1);
    EXPECT_EQ(data.DownloadBillboards().size(), 1u);
    EXPECT_EQ(server.machine.Hits("/bb/same.png"), 1);

    data.ClearBillboards();
    server.machine.Serve("/bb/", [](const Request&) { return Answer(200, "any"); });
    for (int n = 1; n <= 101; ++n)
        server.machine.ServeFixed("/bb/" + std::to_string(n), 200, "billboard");
    data.SetProperty(u"BILLBOARDURL", jxtext::W("https://" + server.Host() + "/bb/%n"), 1);
    EXPECT_EQ(data.DownloadBillboards().size(), 100u);
    EXPECT_EQ(server.machine.Hits("/bb/101"), 0);
}
