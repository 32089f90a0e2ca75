// The start dialog of a paged run: shown while the engine initializes and recorded by the
// stand-in as the picture the user saw; `/_noInitDlg="true"` in any letter case leaves it out.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/synchapi.h"
#include "jxplat/winbase.h"
#include "jxtest/png_files.h"
#include "jxtest/run_program.h"

namespace fs = std::filesystem;

namespace {

class StartDialogRuns : public ::testing::Test {
protected:
    StartDialogRuns() : m_Root(jxe2e::TrustingMachine()) {
        m_Machine.guiScript = "gui-script.txt";
        m_Root.Describe(m_Machine);
        jxe2e::WriteText(fs::path(m_Root.Path()) / "gui-script.txt", "page Welcome cancel\n");
    }
    fs::path Screen() const { return fs::path(m_Root.Path()) / "screen.png"; }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

TEST_F(StartDialogRuns, APagedRunShowsTheDialogAndNoInitDlgLeavesItOut) {
    const std::string setup = jxe2e::PackTrusted(
        jxe2e::ProductVariant(), fs::path(m_Root.Path()) / "packs" / "sample", m_Machine, m_Root);
    ASSERT_FALSE(setup.empty());

    // The option as a user types it: the Windows command line holds its double quotes as they are.
    std::u16string line = u"\"" + jxplat::HostToWindowsPath(setup) + u"\" /_noInitDlg=\"TRUE\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 1u); // cancelled on its first page
    EXPECT_FALSE(fs::exists(Screen()));

    ASSERT_EQ(jxtest::RunProgram(setup, {}).exitCode, 1);
    ASSERT_TRUE(fs::exists(Screen()));
    const std::string bytes = jxe2e::ReadText(Screen());
    const jxtest::PngImage picture = jxtest::ReadPngRgba(jxtest::PngBytes(bytes.begin(), bytes.end()));
    // The 230 × 230 image with the shadow's spread of 46 around it: opaque in the middle,
    // transparent in the corners.
    ASSERT_EQ(picture.width, 276);
    ASSERT_EQ(picture.height, 276);
    EXPECT_EQ(picture.rgba[(size_t(138) * 276 + 138) * 4 + 3], 255);
    EXPECT_EQ(picture.rgba[3], 0);
}

} // namespace
