// The common update against a loopback update server: the information, the selection, the
// downloads with their checksums, and the check of the downloaded files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "commonupdate_support.h"
#include "jxengine/JxWebCommonUpdate.h"
#include "jxweb/HttpClient.h"
#include "jxsetupdata/JxFile.h"
#include "jxtest/log_capture.h"

using namespace jxcutest;
using namespace JxSetup::Data;

namespace {

const std::string kSetup = "MZ the newer setup program";

class CommonUpdate : public ::testing::Test {
protected:
    void SetUp() override { server.Prepare(data); }
    bool Run() { return JxWebCommonUpdate(&data).ExecuteCommonUpdate(u"Core", true); }
    std::string Cached(const std::string& name) {
        return jxtest::ReadHostFile(jxplat::WindowsToHostPath(u"C:\\cu\\" + jxtext::W(name)));
    }
    bool Exists(const std::u16string& path) { return jxtest::MachinePathExists(path); }

    CommonUpdateServer server;
    jxtest::CLogCapture log;
    JxData data;
};

} // namespace

TEST_F(CommonUpdate, DownloadsAndVerifiesANewerSetupAndAsksForTheRestart) {
    server.Offer({"setup.exe", kSetup});
    JxWebCommonUpdate update(&data);
    ASSERT_TRUE(update.ExecuteCommonUpdate(u"Core", true)) << log.Dump();
    EXPECT_EQ(server.Components(), std::vector<std::string>{"Core"});
    EXPECT_EQ(Cached("setup.exe"), kSetup);
    EXPECT_FALSE(Exists(u"C:\\cu\\setup.exe.part"));
    EXPECT_TRUE(data.m_SkipCommonUpdate);
    EXPECT_EQ(data.GetPropertyValue(u"_SkipCommonUpdate"), u"true");
    EXPECT_EQ(data.GetPropertyValue(u"_CommonUpdateVersion"), u"2.1.0.1");
    EXPECT_EQ(data.GetPropertyValue(u"_CU_SetupExecutionDir"), u"C:\\cu");
    EXPECT_TRUE(update.CheckDownloadedFiles());
    EXPECT_EQ(log.Count("LP_INFO", "Download ok."), 1u);

    // A later run finds the program in the cache with its checksum: listed, not fetched again, and
    // still a reason to restart.
    JxData later;
    server.Prepare(later);
    JxWebCommonUpdate again(&later);
    ASSERT_TRUE(again.ExecuteCommonUpdate(u"Core", true));
    ASSERT_EQ(again.GetDownloadList().size(), 1u);
    EXPECT_FALSE(again.GetDownloadList()[0].m_DownloadNeeded);
    EXPECT_TRUE(later.m_SkipCommonUpdate);
    EXPECT_EQ(server.machine.Hits("/sw/setup.exe"), 1);
}

TEST_F(CommonUpdate, TheSameVersionIsNotTaken) {
    server.version = "2.1.0.0";
    server.Offer({"setup.exe", kSetup});
    EXPECT_TRUE(Run());
    EXPECT_FALSE(data.m_SkipCommonUpdate);
    EXPECT_EQ(server.machine.Hits("/sw/setup.exe"), 0);
    EXPECT_EQ(data.GetPropertyValue(u"_CommonUpdateVersion"), u"");
}

// A download whose checksum does not match is refused three times; it never takes the name a
// later run would look at, and the files after it are not fetched.
TEST_F(CommonUpdate, ACorruptDownloadIsRefusedAndNeverUsed) {
    server.Offer({"setup.exe", kSetup, Sha256Hex("what the server meant")});
    server.Offer({"$CORE.wpk", "package"});
    EXPECT_FALSE(Run());
    EXPECT_EQ(server.machine.Hits("/sw/setup.exe"), 3);
    EXPECT_EQ(server.machine.Hits("/sw/$CORE.wpk"), 0);
    EXPECT_EQ(log.Count("LP_INFO", "Download failed. Retry."), 2u);
    EXPECT_EQ(log.Count("WARNING", "Download failed. Cancel."), 1u);
    EXPECT_FALSE(Exists(u"C:\\cu\\setup.exe"));
    EXPECT_FALSE(Exists(u"C:\\cu\\setup.exe.part"));
}

TEST_F(CommonUpdate, ADownloadThatSucceedsOnTheThirdAttemptIsTaken) {
    int calls = 0;
    server.Offer({"setup.exe", kSetup});
    server.machine.Serve("/sw/setup.exe", [&calls](const jxwebtest::Request&) {
        return Answer(200, ++calls < 3 ? std::string("broken") : kSetup);
    });
    EXPECT_TRUE(Run());
    EXPECT_EQ(log.Count("LP_INFO", "Download failed. Retry."), 2u);
    EXPECT_EQ(Cached("setup.exe"), kSetup);
}

// A connection that breaks in the middle of the body leaves nothing at the file's name: the next
// run downloads the file again.
TEST_F(CommonUpdate, AnInterruptedDownloadIsNeverTrustedLater) {
    server.Offer({"setup.exe", kSetup});
    server.machine.Serve("/sw/setup.exe", [](const jxwebtest::Request&) {
        return std::string("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\nMZ half");
    });
    EXPECT_FALSE(Run());
    EXPECT_FALSE(Exists(u"C:\\cu\\setup.exe"));
    EXPECT_FALSE(Exists(u"C:\\cu\\setup.exe.part"));

    server.machine.ServeFixed("/sw/setup.exe", 200, kSetup);
    JxData later;
    server.Prepare(later);
    JxWebCommonUpdate again(&later);
    EXPECT_TRUE(again.ExecuteCommonUpdate(u"Core", true));
    ASSERT_EQ(again.GetDownloadList().size(), 1u);
    EXPECT_TRUE(again.GetDownloadList()[0].m_DownloadNeeded);
    EXPECT_EQ(Cached("setup.exe"), kSetup);
}

// A server that refuses every connection ends the run at once with the information's warning.
TEST_F(CommonUpdate, AServerThatRefusesConnectionsEndsTheRun) {
    data.SetProperty(u"_UpdateServer", jxtext::W(jxwebtest::ServerName("127.0.0.2")), 1);
    EXPECT_FALSE(Run());
    EXPECT_EQ(log.Count("WARNING", "Failed to load CommonUpdateInfo. HttpStatus: 0, ErrorCode: 12029"), 1u)
        << log.Dump();
}

// A server that takes the request and never answers: the run ends with the information's warning
// at the receive time-out, not a hang.
TEST_F(CommonUpdate, AServerThatNeverAnswersEndsAtItsTimeOut) {
    HttpClient::SetDefaultTimeoutsForTesting(300, 300, 300, 300, 300);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    server.machine.Serve("/api/update/commoninfo", [released](const jxwebtest::Request&) {
        released.wait_for(std::chrono::seconds(20));
        return std::string();
    });
    const auto start = std::chrono::steady_clock::now();
    const bool ok = Run();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    release.set_value();
    HttpClient::SetDefaultTimeoutsForTesting(0, 0, 0, 0, 0);
    EXPECT_FALSE(ok);
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_EQ(log.Count("WARNING", "Failed to load CommonUpdateInfo. HttpStatus: 0, ErrorCode: 12002"), 1u)
        << log.Dump();
}

TEST_F(CommonUpdate, AServerResultFailsTheRun) {
    server.serverResult = 5;
    EXPECT_FALSE(Run());
    EXPECT_EQ(log.Count("WARNING", "Failed to load CommonUpdateInfo. ServerResult: 5"), 1u);
}

// Names from the server are file names in the cache folder, nothing else.
TEST_F(CommonUpdate, HostileFileNamesAreRefused) {
    for (const std::string name :
         {"..\\evil.dll", "../evil.dll", "C:\\evil.dll", "C:evil.dll", "\\\\srv\\s\\e.dll", "sub\\evil.dll",
          "..", "CON", "nul.wpk", "COM1.txt"}) {
        SCOPED_TRACE(name);
        CommonUpdateServer hostile;
        JxData run;
        hostile.Prepare(run, u"C:\\cache\\cu");
        hostile.Offer({name, "evil"});
        jxtest::CLogCapture lines;
        EXPECT_FALSE(JxWebCommonUpdate(&run).ExecuteCommonUpdate(u"Core", true));
        EXPECT_EQ(lines.Count("WARNING", "Invalid file name from the update server"), 1u) << lines.Dump();
        EXPECT_FALSE(run.m_SkipCommonUpdate);
        EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\cache\\cu"));
        EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\cache\\evil.dll"));
        EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\evil.dll"));
    }
}

TEST_F(CommonUpdate, ARedirectionToItselfIsFollowedThreeTimes) {
    server.redirect =
        "<list><r packagecode=\"{pkg}\" url=\"https://" + server.Host() + "/cu/redirect.xml\"/></list>";
    EXPECT_FALSE(Run());
    EXPECT_EQ(server.machine.Hits("/cu/redirect.xml"), 4);
    EXPECT_EQ(log.Count("WARNING", "Redirection canceled."), 1u);
}

// With a content store, "SetupInformation.xml" and the files are fetched by their checksums; the
// checksum file may end with a line break.
TEST_F(CommonUpdate, FetchesFromTheContentStoreByChecksum) {
    server.info = "<cu version=\"2.1.0.1\" redirection=\"https://" + server.Host() +
                  "/cu/redirect.xml\" akamaiuri=\"https://" + server.Host() + "/store\"/>";
    server.Offer({"setup.exe", kSetup});
    const std::string xml = server.SetupInformation();
    const std::string xmlSha = Sha256Hex(xml);
    server.machine.Serve("/sw/SetupInformation.sha", [xmlSha](const jxwebtest::Request&) {
        return CommonUpdateServer::Text(xmlSha + "\r\n");
    });
    const auto lower = [](std::string s) {
        for (auto& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    server.machine.Serve("/store/" + lower(xmlSha.substr(0, 2)) + "/" + lower(xmlSha) + ".bin",
                         [xml](const jxwebtest::Request&) { return CommonUpdateServer::Text(xml); });
    const std::string fileSha = lower(Sha256Hex(kSetup));
    server.machine.ServeFixed("/store/" + fileSha.substr(0, 2) + "/" + fileSha + ".bin", 200, kSetup);
    EXPECT_TRUE(Run()) << log.Dump();
    EXPECT_EQ(Cached("setup.exe"), kSetup);
    EXPECT_EQ(server.machine.Hits("/sw/SetupInformation.xml"), 0);
    EXPECT_EQ(server.machine.Hits("/sw/setup.exe"), 0);
}

namespace {
std::vector<int> g_positions;
void RecordProgress(LPVOID, int position, int, const WCHAR*) {
    g_positions.push_back(position);
}
} // namespace

// Retried bytes count again, but the bar never passes its end.
TEST_F(CommonUpdate, ProgressStopsAtItsEnd) {
    int calls = 0;
    const std::string bytes(200000, 'x');
    server.Offer({"setup.exe", bytes});
    server.machine.Serve("/sw/setup.exe", [&calls, bytes](const jxwebtest::Request&) {
        return Answer(200, ++calls < 2 ? std::string(bytes.size(), 'y') : bytes);
    });
    g_positions.clear();
    data.m_ProgressCallback = {RecordProgress, nullptr};
    EXPECT_TRUE(Run());
    // The range, then "preparing" without a position, then the percentages.
    ASSERT_GE(g_positions.size(), 3u);
    EXPECT_EQ(g_positions[0], 0);
    EXPECT_EQ(g_positions[1], -1);
    EXPECT_EQ(g_positions.back(), 100);
    for (int position : g_positions)
        EXPECT_LE(position, 100);
}

TEST_F(CommonUpdate, SignatureFilesGoToTheSignatureFolder) {
    server.redirect =
        "<list><item version=\"7\" type=\"signature\" url=\"https://" + server.Host() + "/sw/\"/></list>";
    data.SetProperty(u"JXCU_SIGNATURE_DIR", u"C:\\sig", 1);
    server.Offer({"$SIG.wpk", "signatures"});
    JxWebCommonUpdate update(&data);
    EXPECT_TRUE(update.ExecuteCommonUpdate(u"Core", false));
    EXPECT_EQ(update.GetSignatureFolders(), std::vector<std::u16string>{u"C:\\sig"});
    EXPECT_TRUE(Exists(u"C:\\sig\\$SIG.wpk"));
    EXPECT_FALSE(data.m_SkipCommonUpdate);
    EXPECT_TRUE(update.CheckDownloadedFiles());
    // A file that went bad in the cache is fetched again by the check.
    jxtest::WriteMachineFile(u"C:\\sig\\$SIG.wpk", "tampered");
    EXPECT_TRUE(update.CheckDownloadedFiles());
    EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(u"C:\\sig\\$SIG.wpk")), "signatures");
    EXPECT_EQ(log.Count("WARNING", "is corrupt or out of date"), 1u);
}

TEST(CommonUpdateNames, ComponentPackagesInAnyLetterCase) {
    EXPECT_EQ(ComponentIdOfPackageName(u"{A-1}.wpk"), u"{A-1}");
    EXPECT_EQ(ComponentIdOfPackageName(u"{A-1}.WPK"), u"{A-1}");
    EXPECT_EQ(ComponentIdOfPackageName(u"$SETUP.wpk"), u"");
    EXPECT_EQ(ComponentIdOfPackageName(u"setup.exe"), u"");
}
