// The common update of the sample against a loopback update server: a quiet first install that
// finds a newer setup, downloads and verifies it and restarts from it, and a paged install that
// fetches signature files with its progress shown by the GUI module, and a paged install the user
// cancels while the download runs.
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

// A paged install whose update server offers one signature package of the size; the GUI module
// follows the script, and the progress of the downloads is shown with the text "Fetching".
jxtest::ProgramResult PagedSignatureRun(CommonUpdateServer& server, size_t size,
                                        const std::string& guiScript) {
    Trust(server);
    server.redirect =
        "<list><item version=\"7\" type=\"signature\" url=\"https://" + server.Host() + "/sw/\"/></list>";
    server.Offer({"$SIGNATURES.wpk", std::string(size, 'g')});
    jxe2e::WriteText(std::filesystem::path(server.machine.Path()) / "gui-script.txt", guiScript);
    server.machine.Describe([](jxplat::MachineDescription& d) { d.guiScript = "gui-script.txt"; });
    return jxtest::RunProgram(SampleSetup(), {"/ServerComponent=Core", "/_UpdateServer=" + server.Host(),
                                              "/JX_DOWNLOADCOMPONENTS=Fetching"});
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
    const auto run = PagedSignatureRun(server, 300000, jxe2e::kAcceptLicence);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0) << Problems(server);
    EXPECT_TRUE(Exists(u"C:\\ProgramData\\Tolvane\\Setups\\CommonUpdate\\" + jxtext::W(kProductId) +
                       u"\\$SIGNATURES.wpk"));
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
    const std::string journal =
        jxe2e::ReadText(std::filesystem::path(server.machine.Path()) / "gui-journal.txt");
    EXPECT_NE(journal.find("SetProgress 100"), std::string::npos) << journal;
}

// The user cancels on the progress page while the common update downloads: the run ends cancelled,
// installs nothing, and the cut download lies nowhere under its name, so no later run trusts it.
TEST(CommonUpdateRun, ACancelDuringTheDownloadEndsThePagedRunCancelled) {
    CommonUpdateServer server;
    const auto run = PagedSignatureRun(server, 3000000, jxe2e::kAcceptLicence + "cancel text Fetching\n");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1) << Problems(server);

    const std::string journal =
        jxe2e::ReadText(std::filesystem::path(server.machine.Path()) / "gui-journal.txt");
    const size_t shown = journal.find("Fetching");
    ASSERT_NE(shown, std::string::npos) << journal;
    EXPECT_NE(journal.find("IsCancelRequested 1", shown), std::string::npos) << journal;
    EXPECT_EQ(journal.find("SetProgress 100 Fetching"), std::string::npos) << journal;

    const std::u16string cache = u"C:\\ProgramData\\Tolvane\\Setups\\CommonUpdate\\" + jxtext::W(kProductId);
    EXPECT_FALSE(Exists(cache + u"\\$SIGNATURES.wpk"));
    EXPECT_FALSE(Exists(cache + u"\\$SIGNATURES.wpk.jxpart"));
    EXPECT_FALSE(Exists(kInstallDir + u"\\notes.txt"));
    EXPECT_TRUE(jxplat::ReadProcessTable().empty()); // no restarted setup
    const auto logs = Logs(server);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].find("Download ok."), std::string::npos);
    EXPECT_EQ(logs[0].find("Download succeeded."), std::string::npos);
}
