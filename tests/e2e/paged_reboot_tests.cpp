// A paged install of the sample whose prerequisite asks for a restart: the restart question is
// answered through the pages, the machine restarts, and the run that the restart starts goes on
// paged where the first one stopped, once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jxbase/reg.h"
#include "jxplat/shutdown.h"
#include "paged_support.h"

namespace {

using jxe2e::Exists;
using jxe2e::kAcceptLicence;
using jxe2e::kInstallDir;
using jxe2e::kUninstallKey;

const WCHAR* const kRunOnce = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::u16string kProductCode = u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}";

class PagedReboot : public jxe2e::PagedRuns {};

TEST_F(PagedReboot, TheRestartIsAnsweredOnThePagesAndTheResumedRunGoesOnPagedOnce) {
    const std::string setup = Pack(jxe2e::WithRebootingPrerequisite(), "prerequisite");
    const std::string runs = m_Root.Path() + "/prereq.runs";

    const auto first = Run(setup, kAcceptLicence + "box restart 1\n");
    EXPECT_EQ(first.exitCode, 4);
    EXPECT_EQ(Steps({"page "}), (std::vector<std::string>{"page Welcome", "page Licence", "page Features",
                                                          "page Folder", "page Progress"}));
    const std::vector<std::string> question = Steps({"MessageBox 36 "});
    ASSERT_EQ(question.size(), 1u) << jxe2e::ReadText(Journal());
    EXPECT_NE(question[0].find("Quillmere Notes needs to restart the computer"), std::string::npos)
        << question[0];
    EXPECT_EQ(question[0].substr(question[0].size() - 4), "-> 1");
    // The answer restarts the machine, and the setup is to start again after it.
    const std::vector<jxplat::ShutdownRequest> requests = jxplat::ReadShutdownRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests[0].reboot);
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, kProductCode.c_str(), 0));
    EXPECT_FALSE(Exists(kInstallDir + u"\\notes.txt"));

    std::filesystem::remove(Journal());
    const std::vector<jxplat::RunOnceResult> restarted = jxplat::RebootMachine();
    const auto resumed = std::find_if(restarted.begin(), restarted.end(),
                                      [](const auto& entry) { return entry.name == kProductCode; });
    ASSERT_NE(resumed, restarted.end());
    EXPECT_NE(resumed->command.find(u"/_SeqLastState=\"InstallPrerequisite\""), std::u16string::npos);
    EXPECT_TRUE(resumed->started);
    EXPECT_EQ(resumed->exitCode, 0u) << jxe2e::ReadText(Journal());
    // The resumed run shows the progress page straight away, runs the prerequisite again and
    // installs the product.
    EXPECT_EQ(Steps({"page ", "Finish"}),
              (std::vector<std::string>{"page Progress", "page Finish", "Finish 0"}));
    const std::string notes = jxtest::ReadHostFile(runs);
    EXPECT_EQ(std::count(notes.begin(), notes.end(), '\n'), 2) << notes;
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
    EXPECT_TRUE(Exists(kInstallDir + u"\\tools\\export.txt"));
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"UninstallString", 0));

    // Nothing starts the setup a second time.
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, kProductCode.c_str(), 0));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, (kProductCode + u"_TAG").c_str(), 0));
    EXPECT_TRUE(jxplat::RebootMachine().empty());
    EXPECT_EQ(jxtest::ReadHostFile(runs), notes);
}

// A "no" to the restart question keeps the machine running; the restart entry waits for the
// user's own restart.
TEST_F(PagedReboot, ARestartDeclinedOnThePagesKeepsTheMachineRunning) {
    const std::string setup = Pack(jxe2e::WithRebootingPrerequisite(), "prerequisite");
    const auto run = Run(setup, kAcceptLicence + "box restart 7\n");
    EXPECT_EQ(run.exitCode, 4);
    const std::vector<std::string> question = Steps({"MessageBox 36 "});
    ASSERT_EQ(question.size(), 1u) << jxe2e::ReadText(Journal());
    EXPECT_EQ(question[0].substr(question[0].size() - 4), "-> 7");
    EXPECT_TRUE(jxplat::ReadShutdownRequests().empty());
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kRunOnce, kProductCode.c_str(), 0));
}

} // namespace
