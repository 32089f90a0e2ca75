// The sample product installed quietly on a fresh machine and removed again with its maintenance copy.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

using jxe2e::SampleMachine;
using jxe2e::SampleSetup;

const std::u16string kProductCode = u"{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}";
using jxe2e::kInstallDir;
using jxe2e::kUninstallKey;
const std::u16string kServiceKey = u"SYSTEM\\CurrentControlSet\\Services\\QuillmereSync";

bool Exists(const std::u16string& windowsPath) {
    return std::filesystem::exists(jxplat::WindowsToHostPath(windowsPath));
}

TEST(SampleProduct, QuietInstallThenUninstallFromTheMaintenanceCopy) {
    jxtest::TempMachineRoot root(SampleMachine());
    const auto install = jxtest::RunProgram(SampleSetup(), {"/_QuietInstallation=true"});
    ASSERT_TRUE(install.started);
    ASSERT_EQ(install.exitCode, 0);

    for (const char16_t* file : {u"\\notes.txt", u"\\quillsync.exe", u"\\data\\settings.xml",
                                 u"\\lang\\strings.txt", u"\\tools\\export.txt"})
        EXPECT_TRUE(Exists(kInstallDir + file)) << jxtext::N(file);
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Quillmere Notes",
                                          u"Version", u"", 0),
              u"1.0.0.1");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Quillmere Notes",
                                          u"SyncService", u"", KEY_WOW64_64KEY),
              u"QuillmereSync");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), u"DisplayName", u"", 0),
              u"Quillmere Notes");
    EXPECT_TRUE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kServiceKey.c_str(), u"ImagePath", 0));
    const std::u16string maintenance = u"C:\\ProgramData\\Tolvane\\Setups\\" + kProductCode;
    EXPECT_TRUE(Exists(maintenance + u"\\setup.exe"));
    EXPECT_TRUE(Exists(maintenance + u"\\$CONFIG.wpk"));
    // The run's log is kept, packed, in the logs folder.
    const std::string logs = jxplat::WindowsToHostPath(u"C:\\ProgramData\\Tolvane\\Setups\\Logs");
    ASSERT_TRUE(std::filesystem::exists(logs));
    EXPECT_FALSE(std::filesystem::is_empty(logs));

    // The uninstall runs from the maintenance copy, as the uninstall entry says.
    const std::string copy = jxplat::WindowsToHostPath(maintenance + u"\\setup.exe");
    std::filesystem::permissions(copy, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const auto uninstall = jxtest::RunProgram(copy, {"/InstallMode=Uninstall", "/_QuietInstallation=true"});
    ASSERT_TRUE(uninstall.started);
    EXPECT_EQ(uninstall.exitCode, 0);
    // Nothing of the product stays: no file, no folder, no key of its own in either view.
    EXPECT_FALSE(Exists(kInstallDir)) << "the installation folder is left";
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Quillmere Notes", 0));
    EXPECT_FALSE(
        CReg::IsValidPath(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Quillmere Notes", KEY_WOW64_64KEY));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kServiceKey.c_str(), 0));
    EXPECT_FALSE(Exists(maintenance + u"\\setup.exe"));
    // The sample needs nothing that is not built yet: neither run reached a placeholder with work.
    const std::string log = jxe2e::AllLogs(root);
    EXPECT_EQ(log.find("is not built yet"), std::string::npos) << log;
}

} // namespace
