// The sample's COM server through the runs of the setup: registered on installation, registered
// again on update, unregistered on uninstallation; a server that refuses leaves the run going.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

const std::string kCore = "{5A3E9C21-0001-4000-8000-000000000001}";
const std::u16string kClassKey = u"SOFTWARE\\Classes\\CLSID\\{5A3E9C21-00C0-4000-8000-0000000000C1}";
const std::u16string kServer = jxe2e::kInstallDir + u"\\quillpreview.dll";
// The server as the setup names it: the folder of the component (ending in a separator), a
// separator and the file name.
const std::string kServerArgument = jxtext::N(jxe2e::kInstallDir) + "\\\\quillpreview.dll";

class ComServerRuns : public ::testing::Test {
protected:
    ComServerRuns() : m_Root(jxe2e::TrustingMachine()) {
        // The machine's registration program in its 32-bit and 64-bit system folders.
        for (const char* folder : {"SysWOW64", "System32"}) {
            const fs::path target = fs::path(m_Root.Path()) / "drive_c" / "Windows" / folder / "regsvr32.exe";
            fs::create_directories(target.parent_path());
            fs::copy_file(jxtest::BuildDir() + "/tests/programs/regsvr32.exe", target);
        }
    }
    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }
    int Run(const std::string& setup, std::vector<std::string> args = {}) {
        args.insert(args.begin(), "/_QuietInstallation=true");
        const auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result.exitCode;
    }
    std::string Runs() const { return jxtest::ReadHostFile(m_Root.Path() + "/selfreg.runs"); }
    static std::u16string InprocServer() {
        return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, (kClassKey + u"\\InprocServer32").c_str(), u"",
                                           u"", KEY_WOW64_32KEY);
    }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

TEST_F(ComServerRuns, TheServerIsRegisteredOnInstallAndUpdateAndUnregisteredOnUninstall) {
    const std::string twice = "32 unregister " + kServerArgument + "\n32 register " + kServerArgument + "\n";
    ASSERT_EQ(Run(Pack(jxe2e::ProductVariant(), "first")), 0);
    EXPECT_EQ(Runs(), twice);
    EXPECT_EQ(InprocServer(), kServer);
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kClassKey.c_str(), KEY_WOW64_64KEY));

    // A newer build replaces the server and registers it again.
    jxe2e::ProductVariant newer;
    EXPECT_EQ(jxe2e::ReplaceAll(newer.definition, "1.0.0.1", "1.0.0.2"), 2);
    EXPECT_EQ(jxe2e::ReplaceAll(newer.definition, "PKG-SAMPLE-1", "PKG-SAMPLE-1.0.0.2"), 1);
    ASSERT_EQ(Run(Pack(newer, "newer")), 0);
    EXPECT_EQ(Runs(), twice + twice);
    EXPECT_EQ(InprocServer(), kServer);

    const std::string copy = jxplat::WindowsToHostPath(
        u"C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}\\setup.exe");
    fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);
    ASSERT_EQ(Run(copy, {"/InstallMode=Uninstall"}), 0);
    EXPECT_EQ(Runs(), twice + twice + "32 unregister " + kServerArgument + "\n");
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kClassKey.c_str(), KEY_WOW64_32KEY));
    EXPECT_FALSE(fs::exists(jxplat::WindowsToHostPath(kServer)));
}

// A server that refuses its registration: the program's exit code is logged, the rest of the
// installation is done and the run succeeds, as the row asks nothing else.
TEST_F(ComServerRuns, AServerThatRefusesIsLoggedAndTheInstallationCompletes) {
    jxe2e::ProductVariant variant;
    variant.payload[kCore + "/quillpreview.dll"] =
        "CLSID={5A3E9C21-00C0-4000-8000-0000000000C1}\nName=Quillmere Notes Preview\nExitCode=5\n";
    ASSERT_EQ(Run(Pack(variant, "refusing")), 0);
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kClassKey.c_str(), KEY_WOW64_32KEY));
    EXPECT_NE(jxe2e::AllLogs(m_Root).find("Exit code is 5."), std::string::npos);
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, jxe2e::kUninstallKey.c_str(), 0));
}

} // namespace
