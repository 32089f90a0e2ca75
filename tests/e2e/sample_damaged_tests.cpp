// A damaged copy of the sample's setup: cut inside its last package, or with a damaged meta tree
// there. The package tool's check fails it, and a quiet run ends with 1, installs nothing and
// says in its log which package failed which check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

using jxe2e::kInstallDir;
using jxe2e::kProductKey;
using jxe2e::kUninstallKey;

std::string JxPack() {
    return jxtest::BuildDir() + "/tools/jxpack";
}

// The offset and name of the last package of a carrier, as the package tool lists them.
std::pair<size_t, std::string> LastPackage(const std::string& carrier) {
    const std::string listing = jxtest::CommandOutput("'" + JxPack() + "' list '" + carrier + "'");
    const std::regex line(R"(package (\S+) at (\d+):)");
    std::pair<size_t, std::string> last{0, ""};
    for (auto it = std::sregex_iterator(listing.begin(), listing.end(), line); it != std::sregex_iterator();
         ++it)
        last = {std::stoull((*it)[2].str()), (*it)[1].str()};
    return last;
}

TEST(SampleDamaged, ADamagedLastPackageEndsTheRunWithOneAndInstallsNothing) {
    const std::string sample = jxtest::BuildDir() + "/samples/setup.exe";
    const auto [lastAt, lastName] = LastPackage(sample);
    ASSERT_GT(lastAt, 0u);
    const std::string bytes = jxtest::ReadHostFile(sample);
    ASSERT_GT(bytes.size(), lastAt + 100);

    struct Row {
        const char* name;
        std::string setup;
        std::string reason; // in the log
    };
    std::string metaDamaged = bytes;
    metaDamaged[lastAt + 62] ^= 0x5A; // inside the packed meta tree
    std::vector<Row> rows = {
        {"CutInsideTheHeader", bytes.substr(0, lastAt + 30),
         "no complete package header at offset " + std::to_string(lastAt)},
        {"MetaTreeDamaged", metaDamaged,
         "package " + lastName + ": the CRC-32 of the meta tree does not match"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        jxtest::TempMachineRoot root;
        const std::string setup = root.Path() + "/setup.exe";
        { std::ofstream(setup, std::ios::binary) << row.setup; }
        fs::permissions(setup, fs::perms::owner_exec, fs::perm_options::add);

        const auto verify = jxtest::RunProgram(JxPack(), {"verify", setup});
        EXPECT_EQ(verify.exitCode, 1) << "the package tool finds it sound";

        root.Describe(jxe2e::TrustingMachine(setup));
        const auto run = jxtest::RunProgram(setup, {"/_QuietInstallation=true"});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(fs::exists(jxplat::WindowsToHostPath(kInstallDir)));
        EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
        EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kProductKey.c_str(), 0));
        const std::string log = jxe2e::AllLogs(root);
        EXPECT_NE(log.find("The setup's packages cannot be used: Z:"), std::string::npos) << log;
        EXPECT_NE(log.find(row.reason), std::string::npos) << log;
    }
}

} // namespace
