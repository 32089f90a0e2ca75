// The sample product installed quietly with a system restore point and with an installed
// configuration file that the setup fills in: the point wraps the installation on a machine with
// a restore service, the run goes on without one, and a run resumed after a prerequisite's reboot
// opens the point around the files it installs.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxplat/srrestoreptapi.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

using jxe2e::kInstallDir;
const std::string kSettings = "{5A3E9C21-0002-4000-8000-000000000002}";

class RestorePointRuns : public ::testing::Test {
protected:
    RestorePointRuns() : m_Root(jxe2e::TrustingMachine()) {}

    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }

    int Run(const std::string& setup, std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"/_QuietInstallation=true", "/_CreateSysRestorePoint=true"});
        const auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result.exitCode;
    }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

TEST_F(RestorePointRuns, AnInstallKeepsOneRestorePointAndFillsInItsConfiguration) {
    m_Machine.systemRestore = true;
    jxe2e::ProductVariant variant;
    ASSERT_EQ(jxe2e::ReplaceAll(variant.definition, "copymode=\"nooverwrite\"/>",
                                "copymode=\"nooverwrite\" reconfigxml=\"true\"/>"),
              1);
    variant.payload[kSettings + "/settings.xml"] = "<Settings home=\"\xC2\xA7INSTALLDIR\xC2\xA7\"/>\n";

    ASSERT_EQ(Run(Pack(variant, "sample")), 0);

    const auto points = jxplat::ReadRestorePoints();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].description.rfind(u"Quillmere Notes (", 0), 0u) << jxtext::N(points[0].description);
    EXPECT_EQ(points[0].state, "kept");
    std::string home = jxtext::N(kInstallDir) + "\\"; // INSTALLDIR ends with its separator
    jxe2e::ReplaceAll(home, "\\", "\\\\");
    EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(kInstallDir + u"\\data\\settings.xml")),
              "<Settings home=\"" + home + "\"/>\n");
}

TEST_F(RestorePointRuns, WithoutARestoreServiceTheInstallGoesOn) {
    ASSERT_EQ(Run(Pack(jxe2e::ProductVariant(), "sample")), 0);
    EXPECT_TRUE(jxplat::ReadRestorePoints().empty());
    const std::string logs = jxe2e::AllLogs(m_Root);
    EXPECT_NE(logs.find("BeginSystemRestorePoint failed."), std::string::npos);
    EXPECT_NE(logs.find("EndSystemRestorePoint failed."), std::string::npos);
    EXPECT_TRUE(fs::exists(jxplat::WindowsToHostPath(kInstallDir + u"\\notes.txt")));
}

TEST_F(RestorePointRuns, TheRunResumedAfterAPrerequisitesRebootHasItsOwnPoint) {
    m_Machine.systemRestore = true;
    const std::string setup = Pack(jxe2e::WithRebootingPrerequisite(), "prerequisite");

    ASSERT_EQ(Run(setup), 4);
    // The run that leaves for the reboot installed no files: its point is discarded.
    ASSERT_EQ(jxplat::ReadRestorePoints().size(), 1u);
    EXPECT_EQ(jxplat::ReadRestorePoints()[0].state, "cancelled");

    ASSERT_EQ(Run(setup, {"/_SeqLastState=InstallPrerequisite"}), 0);
    const auto points = jxplat::ReadRestorePoints();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1].state, "kept");
    EXPECT_TRUE(fs::exists(jxplat::WindowsToHostPath(kInstallDir + u"\\notes.txt")));
}

} // namespace
