// The sample product with a customization package: installed quietly, updated by a newer customized
// build, uninstalled; the machine is checked after each run.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;
using jxe2e::kInstallDir;
using jxe2e::kUninstallKey;

const std::u16string kMaintenance =
    u"C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}";
const std::u16string kStore = kMaintenance + u"\\$CUSTOMIZE";
const std::u16string kBrandKey = u"Software\\Acme\\Branding";

std::string HostPath(const std::u16string& windowsPath) {
    return jxplat::WindowsToHostPath(windowsPath);
}

bool Exists(const std::u16string& windowsPath) {
    return fs::exists(HostPath(windowsPath));
}

// The sample as build `version` with a customization: a product name, a file, a registry value in
// the 64-bit view and a program that notes each run in the machine root.
jxe2e::ProductVariant Customized(const std::string& version) {
    jxe2e::ProductVariant variant;
    EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "1.0.0.1", version), 2);
    EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "PKG-SAMPLE-1", "PKG-SAMPLE-" + version), 1);
    variant.customize["customize.xml"] =
        "<?xml version=\"1.0\"?>\n<Customization>\n"
        "  <Properties><Property name=\"PRODUCTNAME\" value=\"Acme Notes\"/></Properties>\n"
        "  <Files><File name=\"brand.txt\" destination=\"[INSTALLDIR]\"/></Files>\n"
        "  <Registry><Regkey root=\"HKLM\" key=\"Software\\Acme\\Branding\" valuename=\"Build\" value=\"" +
        version +
        "\" type=\"REG_SZ\" platform=\"x64\"/></Registry>\n"
        "  <ExecuteApps><ExecuteApp app=\"[INSTALLDIR]brand.txt\" arg=\"\" wait=\"true\" timeout=\"30\"/>"
        "</ExecuteApps>\n"
        "</Customization>\n";
    variant.customize["brand.txt"] = "#!/bin/sh\necho run >> \"$JX_MACHINE_ROOT/brand.runs\"\n";
    variant.customize["theme/colors.css"] = "body { color: teal; }\n";
    return variant;
}

class CustomizedSample : public ::testing::Test {
protected:
    CustomizedSample() : m_Root(jxe2e::TrustingMachine()) {}

    jxtest::ProgramResult Run(const std::string& setup, std::vector<std::string> args = {}) {
        args.insert(args.begin(), "/_QuietInstallation=true");
        auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result;
    }

    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty());
        return setup;
    }

    std::u16string Brand() {
        return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kBrandKey.c_str(), u"Build", u"",
                                           KEY_WOW64_64KEY);
    }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

TEST_F(CustomizedSample, InstallUpdateAndUninstall) {
    // Installed: the customization's name, file, registry value and program, and its stored copy.
    ASSERT_EQ(Run(Pack(Customized("1.0.0.1"), "first")).exitCode, 0) << jxe2e::AllLogs(m_Root);
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"DisplayName", u"", 0),
              u"Acme Notes");
    EXPECT_TRUE(Exists(kInstallDir + u"\\brand.txt"));
    EXPECT_TRUE(Exists(kInstallDir + u"\\notes.txt"));
    EXPECT_EQ(Brand(), u"1.0.0.1");
    EXPECT_EQ(jxtest::ReadHostFile(m_Root.Path() + "/brand.runs"), "run\n");
    EXPECT_TRUE(Exists(kStore + u"\\customize.xml"));
    EXPECT_EQ(jxtest::ReadHostFile(HostPath(kStore + u"\\theme\\colors.css")), "body { color: teal; }\n");

    // Updated by a newer customized build: both are customized, so the update goes ahead; the
    // customization stored at the installation is kept as it was. An update applies the new
    // customization's properties, but its files, registry values and programs only come with an
    // installation.
    ASSERT_EQ(Run(Pack(Customized("1.0.0.2"), "newer")).exitCode, 0) << jxe2e::AllLogs(m_Root);
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, jxe2e::kProductKey.c_str(), u"Version", u"", 0),
              u"1.0.0.2");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"DisplayName", u"", 0),
              u"Acme Notes");
    EXPECT_NE(jxtest::ReadHostFile(HostPath(kStore + u"\\customize.xml")).find("value=\"1.0.0.1\""),
              std::string::npos);
    EXPECT_TRUE(Exists(kInstallDir + u"\\brand.txt"));
    EXPECT_EQ(Brand(), u"1.0.0.1");
    EXPECT_EQ(jxtest::ReadHostFile(m_Root.Path() + "/brand.runs"), "run\n");

    // Uninstalled from the maintenance copy: the product is gone.
    const std::string copy = HostPath(kMaintenance + u"\\setup.exe");
    fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);
    ASSERT_EQ(Run(copy, {"/InstallMode=Uninstall"}).exitCode, 0) << jxe2e::AllLogs(m_Root);
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
    EXPECT_FALSE(Exists(kInstallDir + u"\\notes.txt"));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, jxe2e::kProductKey.c_str(), 0));
    // The stored customization goes with the maintenance folder.
    EXPECT_FALSE(Exists(kStore)) << jxe2e::AllLogs(m_Root);
    EXPECT_FALSE(Exists(kMaintenance));
}

// A customization folder beside the program wins over the packaged one.
TEST_F(CustomizedSample, AFolderBesideTheProgramWinsOverThePackage) {
    const std::string setup = Pack(Customized("1.0.0.1"), "beside");
    jxe2e::WriteText(
        fs::path(setup).parent_path() / "$CUSTOMIZE" / "customize.xml",
        "<C><Registry><Regkey root=\"HKLM\" key=\"Software\\Acme\\Branding\" valuename=\"Build\" "
        "value=\"beside\" type=\"REG_SZ\" platform=\"x64\"/></Registry></C>");
    ASSERT_EQ(Run(setup).exitCode, 0) << jxe2e::AllLogs(m_Root);
    EXPECT_EQ(Brand(), u"beside");
    EXPECT_FALSE(Exists(kInstallDir + u"\\brand.txt"));
    EXPECT_NE(jxtest::ReadHostFile(HostPath(kStore + u"\\customize.xml")).find("beside"), std::string::npos);
}

} // namespace
