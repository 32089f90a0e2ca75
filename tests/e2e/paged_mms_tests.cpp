// The GUI module's pages call the management-server operations through the data object's table:
// the scripted module finds the local test management server, starts its service, lists SQL
// servers and databases, tests the connection and configures the server; a refused configuration
// and a server that is not there are failures the page sees. The access key and the bearer token
// never reach the log or the trace.
#include <gtest/gtest.h>

#include "jxmms/MmsAccessKeys.h"
#include "mmsmachine.h"
#include "paged_support.h"

namespace {

using jxe2e::kAcceptLicence;
using jxe2e::PagedRuns;

const std::string kCalls = "call Welcome instances\n"
                           "call Welcome databases server=SQLHOST\\SQLEXPRESS user=sa password=Pw-e2e-1\n"
                           "call Welcome check server=SQLHOST database=JxMms windows=true\n"
                           "call Welcome configure\n";

class PagedMmsRuns : public PagedRuns {
protected:
    PagedMmsRuns() {
        m_Machine.readyServices = {"jxmms"};
        m_Root.Describe(m_Machine);
        m_Server = std::make_unique<jxmmstest::MmsMachine>(m_Root.Path());
    }
    ~PagedMmsRuns() override { m_Server.reset(); }
    std::unique_ptr<jxmmstest::MmsMachine> m_Server;
};

TEST_F(PagedMmsRuns, ThePagesConfigureTheLocalServer) {
    m_Server->RegisterService();
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    const auto run = Run(setup, kAcceptLicence + kCalls);
    EXPECT_EQ(run.exitCode, 0) << jxe2e::ReadText(Journal());
    EXPECT_EQ(Steps({"call "}), (std::vector<std::string>{"call instances -> SQLHOST|SQLHOST\\SQLEXPRESS",
                                                          "call databases -> master|JxMms", "call check -> 2",
                                                          "call configure -> true"}));
    EXPECT_TRUE(m_Server->ServiceRunning());
    std::vector<std::string> paths;
    for (const auto& request : m_Server->Requests())
        if (request.path != "/auth/token")
            paths.push_back(request.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/localconfig/sqlserverinstances",
                                               "/localconfig/sqlserverdatabases", "/localconfig/opendatabase",
                                               "/localconfig/opendatabase", "/setup/apply"}));
    const std::string logs = jxe2e::AllLogs(m_Root), trace = jxe2e::Trace(m_Root);
    ASSERT_NE(logs.find("MMS configured."), std::string::npos);
    const std::string key = jxtext::N(ReadAccessKey(100));
    ASSERT_EQ(key.size(), 36u);
    for (const std::string& secret : {key, std::string("jx-test-token-5f1c9a")}) {
        EXPECT_EQ(logs.find(secret), std::string::npos) << secret;
        EXPECT_EQ(trace.find(secret), std::string::npos) << secret;
    }
}

TEST_F(PagedMmsRuns, ARefusedConfigurationAndAMissingServerAreFailuresOfThePage) {
    m_Server->RegisterService();
    jxmmstest::MmsServerSettings settings = m_Server->Settings();
    settings.applySuccess = false;
    settings.applyError = "the database is in use";
    m_Server->WriteSettings(settings);
    const std::string setup = Pack(jxe2e::ProductVariant(), "sample");
    // Cancelled after its calls, so that the next run installs again.
    Run(setup, "call Welcome configure\npage Licence cancel\n");
    EXPECT_EQ(Steps({"call "}), std::vector<std::string>{"call configure -> false"});
    EXPECT_NE(jxe2e::AllLogs(m_Root).find("Failed to configure MMS: the database is in use"),
              std::string::npos);

    m_Server->UnregisterService();
    jxmmstest::MmsMachine::RemoveReservations();
    Run(setup, kCalls + "page Licence cancel\n");
    EXPECT_EQ(Steps({"call "}), (std::vector<std::string>{"call instances -> ", "call databases -> ",
                                                          "call check -> 3", "call configure -> false"}));
}

} // namespace
