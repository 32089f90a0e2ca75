// The common update of the sample against a loopback update server: a quiet first install that
// finds a newer setup, downloads and verifies it and restarts from it, and a paged install that
// fetches signature files with its progress shown by the GUI module.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "commonupdate_support.h"
#include "e2e_support.h"
#include "paged_support.h"
#include "jxtest/run_program.h"

namespace {

using jxcutest::CommonUpdateServer;
using jxe2e::kInstallDir;

const std::string kProductId = "{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}";

std::string SampleSetup() {
    return jxtest::BuildDir() + "/samples/setup.exe";
}

bool Exists(const std::u16string& windowsPath) {
    return std::filesystem::exists(jxplat::WindowsToHostPath(windowsPath));
}

// The machine trusts the sample's setup (and so the same bytes downloaded as the newer setup).
void Trust(CommonUpdateServer& server) {
    server.machine.Describe([](jxplat::MachineDescription& d) {
        for (const std::string& program : {jxe2e::Program(), SampleSetup()}) {
            jxplat::MachineTrustedFile trusted;
            trusted.sha256 = jxe2e::HostFileSha256(program);
            trusted.signer = "Tolvane Software GmbH";
            d.trustedFiles.push_back(trusted);
        }
    });
}

std::vector<std::string> Logs(const CommonUpdateServer& server) {
    return jxe2e::RunLogs(server.machine.Root());
}

// The warnings and errors of the run logs, for a failure's message.
std::string Problems(const CommonUpdateServer& server) {
    std::string problems;
    for (const std::string& log : Logs(server)) {
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line, '>');)
            if (line.find("WARNING") != std::string::npos || line.find("ERROR") != std::string::npos)
                problems += line + "\n";
    }
    return problems;
}

} // namespace

TEST(CommonUpdateRun, AFirstInstallRestartsFromTheNewerSetupItDownloaded) {
    CommonUpdateServer server;
    Trust(server);
    server.version = "1.0.0.2";
    server.Offer({"setup.exe", jxtest::ReadHostFile(SampleSetup())});
    const auto first = jxtest::RunProgram(SampleSetup(), {"/_QuietInstallation=true", "/ServerComponent=Core",
                                                          "/_UpdateServer=" + server.Host()});
    ASSERT_TRUE(first.started);
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(server.Components(), std::vector<std::string>{"Core"});

    // The first run started the downloaded setup and ended; the restarted run installs.
    const std::u16string cache = u"C:\\ProgramData\\Tolvane\\Setups\\CommonUpdate\\" + jxtext::W(kProductId);
    const auto table = jxplat::ReadProcessTable();
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].path, cache + u"\\setup.exe");
    const std::string commandLine = jxtext::N(table[0].commandLine);
    EXPECT_NE(commandLine.find("/_cuRestart=\"true\""), std::string::npos) << commandLine;
    HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, table[0].processId);
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(WaitForSingleObject(child, 300000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(child, &code);
    CloseHandle(child);
    EXPECT_EQ(code, 0u);

    EXPECT_EQ(jxe2e::HostFileSha256(jxplat::WindowsToHostPath(cache + u"\\setup.exe")),
              jxe2e::HostFileSha256(SampleSetup()));
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
    EXPECT_EQ(server.machine.Hits("/sw/setup.exe"), 1);
    const auto logs = Logs(server);
    ASSERT_EQ(logs.size(), 2u);
    const std::string all = logs[0] + logs[1];
    EXPECT_NE(all.find("Download succeeded. File: " + jxtext::N(cache) + "\\setup.exe"), std::string::npos);
    EXPECT_NE(all.find("CommonUpdate skipped."), std::string::npos);
    EXPECT_EQ(all.find("is not built yet"), std::string::npos);
}

TEST(CommonUpdateRun, APagedInstallShowsTheDownloadsProgress) {
    CommonUpdateServer server;
    Trust(server);
    server.redirect =
        "<list><item version=\"7\" type=\"signature\" url=\"https://" + server.Host() + "/sw/\"/></list>";
    server.Offer({"$SIGNATURES.wpk", std::string(300000, 'g')});
    std::filesystem::path script = std::filesystem::path(server.machine.Path()) / "gui-script.txt";
    jxe2e::WriteText(script, jxe2e::kAcceptLicence);
    server.machine.Describe([](jxplat::MachineDescription& d) { d.guiScript = "gui-script.txt"; });
    const auto run =
        jxtest::RunProgram(SampleSetup(), {"/ServerComponent=Core", "/_UpdateServer=" + server.Host()});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0) << Problems(server);
    EXPECT_TRUE(Exists(u"C:\\ProgramData\\Tolvane\\Setups\\CommonUpdate\\" + jxtext::W(kProductId) +
                       u"\\$SIGNATURES.wpk"));
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
    const std::string journal =
        jxe2e::ReadText(std::filesystem::path(server.machine.Path()) / "gui-journal.txt");
    EXPECT_NE(journal.find("SetProgress 100"), std::string::npos) << journal;
}
