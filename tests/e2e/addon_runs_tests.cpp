// Add-on functions of the sample's setup ("addon.dll" of its "$SETUP" package) through whole runs:
// a property action and custom actions whose answers set properties and log messages; custom
// actions that cannot run or fail leave the installation going; one that crashes ends the run
// with the work done so far intact, and the next run completes it.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

const std::string kCore = "{5A3E9C21-0001-4000-8000-000000000001}";

// The sample with the test add-on module in its "$SETUP" package and these custom actions.
jxe2e::ProductVariant WithAddOn(const std::string& customActions) {
    jxe2e::ProductVariant variant;
    variant.setupFiles["addon.dll"] = jxtest::BuildDir() + "/tests/programs/addon.dll";
    variant.setupFiles["hello.dll"] = jxtest::BuildDir() + "/tests/programs/hello.dll";
    EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "    </ExecutingSequence>",
                                customActions + "\n    </ExecutingSequence>"),
              1);
    return variant;
}

std::string CustomAction(const std::string& module, const std::string& function) {
    return "      <ExecuteAction name=\"CustomAction\" modulename=\"" + module + "\" functionname=\"" +
           function + "\" argument=\"[PRODUCTNAME]\" installmode=\"Install\" componentid=\"" + kCore +
           "\" featurename=\"Core\"/>";
}

class AddOnRuns : public ::testing::Test {
protected:
    AddOnRuns() : m_Root(jxe2e::TrustingMachine()) {}
    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }
    long long Run(const std::string& setup) {
        const auto result = jxtest::RunProgram(setup, {"/_QuietInstallation=true"});
        EXPECT_TRUE(result.started);
        return result.exitCode;
    }
    bool Has(const std::string& text) const { return jxe2e::AllLogs(m_Root).find(text) != std::string::npos; }
    static bool Installed() {
        return fs::exists(jxplat::WindowsToHostPath(jxe2e::kInstallDir + u"\\notes.txt")) &&
               CReg::IsValidPath(HKEY_LOCAL_MACHINE, jxe2e::kUninstallKey.c_str(), 0);
    }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

TEST_F(AddOnRuns, APropertyActionAndCustomActionsSetPropertiesAndLogTheirMessages) {
    jxe2e::ProductVariant variant =
        WithAddOn(CustomAction("addon.dll", "Fails") + "\n" + CustomAction("addon.dll", "SetValues"));
    // The property action runs before the installation: a registry value takes its answer.
    EXPECT_EQ(jxe2e::ReplaceAll(variant.definition, "    <ExecutingSequence>",
                                "    <SetPropertiesSequence>\n      <PropertyAction modulename=\"addon.dll\" "
                                "functionname=\"SetValues\" argument=\"of [PRODUCTNAME]\"/>\n    "
                                "</SetPropertiesSequence>\n    <ExecutingSequence>"),
              1);
    jxe2e::AddRows(
        variant, "</SetupRegistry>",
        "  <SetupRegValue featurename=\"Core\" componentid=\"" + kCore +
            "\" root=\"HKLM\" key=\"Software\\Tolvane\\Quillmere Notes\" valuename=\"AddOn\" "
            "type=\"REG_SZ\" value=\"[ADDON_RESULT] [ADDON_ARGUMENT]\" mode=\"iu\" plattform=\"x86\"/>");
    ASSERT_EQ(Run(Pack(variant, "addon")), 0);
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, jxe2e::kProductKey.c_str(), u"AddOn", u"", 0),
              u"done of Quillmere Notes");
    EXPECT_TRUE(Has("Executing AddOn Module=addon.dll Function=Fails Argument=Quillmere Notes"));
    EXPECT_TRUE(Has("Fails answered false."));
    EXPECT_TRUE(Has("Executing AddOn Module=addon.dll Function=SetValues Argument=Quillmere Notes"));
    EXPECT_TRUE(Installed());
}

// A module that is not there, an export that is not there and an add-on that throws: each is
// logged with its line and the installation completes.
TEST_F(AddOnRuns, CustomActionsThatCannotRunAreLoggedAndTheInstallationCompletes) {
    const jxe2e::ProductVariant variant =
        WithAddOn(CustomAction("nosuch.dll", "SetValues") + "\n" + CustomAction("hello.dll", "SetValues") +
                  "\n" + CustomAction("addon.dll", "Throws"));
    ASSERT_EQ(Run(Pack(variant, "failing")), 0);
    EXPECT_TRUE(Has("Couldn't initialize Module nosuch.dll."));
    EXPECT_TRUE(Has("Error while initializing function SetValues"));
    EXPECT_TRUE(Has("Error while executing addon addon.dll, Throws, [PRODUCTNAME]"));
    EXPECT_TRUE(Installed());
}

// An add-on that crashes takes the setup with it: the run does not end with success, the files
// committed before are intact and no temporary copy is left; a run of a build without the crash
// completes the installation.
TEST_F(AddOnRuns, ACrashingAddOnEndsTheRunAndTheNextRunCompletesTheInstallation) {
    const long long crashed = Run(Pack(WithAddOn(CustomAction("addon.dll", "Crashes")), "crashing"));
    EXPECT_NE(crashed, 0);
    EXPECT_TRUE(fs::exists(jxplat::WindowsToHostPath(jxe2e::kInstallDir + u"\\notes.txt")));
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(m_Root.Path()) / "drive_c"))
        EXPECT_NE(entry.path().extension(), ".jxtmp") << entry.path();

    EXPECT_EQ(Run(Pack(WithAddOn(CustomAction("addon.dll", "Silent")), "fixed")), 0);
    EXPECT_TRUE(Installed());
}

} // namespace
