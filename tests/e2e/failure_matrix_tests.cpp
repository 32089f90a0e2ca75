// The failure matrix over the sample product: each fault strikes one run (an install, an upgrade or
// an uninstall). That run ends with a code other than 0 or leaves the product complete, and the next
// run, the fault gone (a re-run of the setup, or the uninstallation), leaves the machine complete or
// clean, with no temporary copies anywhere on it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

using jxe2e::kInstallDir;
using jxe2e::kProductKey;
using jxe2e::kUninstallKey;

const char* const kUpgradeVersion = "1.1.0.1";
const std::u16string kMaintenanceDir =
    u"C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}";
const std::string kToolsComponent = "{5A3E9C21-0004-4000-8000-000000000004}";

enum class Stage { Install, Upgrade, Uninstall }; // the run the fault strikes
enum class Damage { None, CorruptDataBlock, CutInLastPackage };
enum class Next { Rerun, Uninstall }; // the run after it

struct FaultCase {
    const char* name;
    Stage stage;
    Next next;
    const char* killAt = "";          // the stand-in's kill point
    const char* fullFolder = nullptr; // a full disk below this folder ("" every drive), or none
    unsigned long long fullAfterBytes = 0;
    Damage damage = Damage::None;
    bool notElevated = false;  // the run hands over to its elevated copy
    const char* evidence = ""; // in the logs or the trace: the fault struck
};

// The case by its name in the test's output.
void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

const char* const kDiskFull = "There is not enough space on the disk.";

const FaultCase kCases[] = {
    {.name = "DiskFullInTheFileCopy",
     .stage = Stage::Install,
     .next = Next::Rerun,
     .fullFolder = "C:\\Program Files (x86)\\Tolvane",
     .fullAfterBytes = 4096,
     .evidence = kDiskFull},
    {.name = "DiskFullInTheMaintenanceCopy",
     .stage = Stage::Upgrade,
     .next = Next::Uninstall,
     .fullFolder = "C:\\ProgramData\\Tolvane\\Setups\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}",
     .fullAfterBytes = 1 << 20,
     .evidence = kDiskFull},
    {.name = "DiskFullInTheRegistryRows",
     .stage = Stage::Install,
     .next = Next::Uninstall,
     .fullFolder = "C:\\Windows\\System32\\config",
     .fullAfterBytes = 300,
     .evidence = kDiskFull},
    {.name = "DiskFullInTheSettings",
     .stage = Stage::Upgrade,
     .next = Next::Rerun,
     .fullFolder = "C:\\Windows\\System32\\config",
     .fullAfterBytes = 1000,
     .evidence = kDiskFull},
    {.name = "DiskFullInTheUninstall", .stage = Stage::Uninstall, .next = Next::Uninstall, .fullFolder = ""},
    {.name = "KillAtTheStart",
     .stage = Stage::Upgrade,
     .next = Next::Rerun,
     .killAt = "start",
     .evidence = "ends at the kill point \"start\""},
    {.name = "KillInTheFileCopy",
     .stage = Stage::Upgrade,
     .next = Next::Uninstall,
     .killAt = "filecopy",
     .evidence = "ends at the kill point \"filecopy\""},
    {.name = "KillInTheMaintenanceCopyOfAnInstall",
     .stage = Stage::Install,
     .next = Next::Rerun,
     .killAt = "maintenancecopy",
     .evidence = "ends at the kill point \"maintenancecopy\""},
    {.name = "KillInTheMaintenanceCopyOfAnUpgrade",
     .stage = Stage::Upgrade,
     .next = Next::Uninstall,
     .killAt = "maintenancecopy",
     .evidence = "ends at the kill point \"maintenancecopy\""},
    {.name = "CorruptDataBlock",
     .stage = Stage::Install,
     .next = Next::Rerun,
     .damage = Damage::CorruptDataBlock},
    {.name = "SetupCutInsideItsLastPackage",
     .stage = Stage::Install,
     .next = Next::Rerun,
     .damage = Damage::CutInLastPackage,
     .evidence = "The setup's packages cannot be used"},
    {.name = "HandOverWhoseChildFails",
     .stage = Stage::Install,
     .next = Next::Rerun,
     .killAt = "filecopy",
     .notElevated = true,
     .evidence = "ends at the kill point \"filecopy\""},
};

std::string HostPath(const std::u16string& windowsPath) {
    return jxplat::WindowsToHostPath(windowsPath);
}

std::string JxPack() {
    return jxtest::BuildDir() + "/tools/jxpack";
}

// The sample as the upgrade to 1.1.0.1 with a changed Tools file; the build's other packages are
// used as they are.
std::string PackUpgrade(const fs::path& work) {
    const fs::path built = fs::path(jxtest::BuildDir()) / "samples" / "work" / "packages";
    std::string definition = jxe2e::ReadText(jxe2e::SampleSourceDir() / "config" / "setup.jxsetup");
    EXPECT_EQ(jxe2e::ReplaceAll(definition, "1.0.0.1", kUpgradeVersion), 2);
    EXPECT_EQ(jxe2e::ReplaceAll(definition, "PKG-SAMPLE-1", std::string("PKG-SAMPLE-") + kUpgradeVersion), 1);
    jxe2e::WriteText(work / "config" / "setup.jxsetup", definition);
    fs::copy_file(jxe2e::SampleSourceDir() / "config" / "metainfo.xml", work / "config" / "metainfo.xml");
    jxe2e::WriteText(work / "tools" / "export.txt", std::string("export of build ") + kUpgradeVersion + "\n");
    const auto pack = [&](const std::string& out, const std::string& folder, const std::string& root) {
        return jxtest::RunProgram(JxPack(), {"make", (work / out).string(), (work / folder).string(),
                                             "--root", root, "--name", root})
                   .exitCode == 0;
    };
    if (!pack("config.wpk", "config", "$CONFIG") || !pack("component4.wpk", "tools", kToolsComponent))
        return {};
    const fs::path setup = work / "setup.exe";
    fs::copy_file(jxe2e::Program(), setup);
    std::vector<std::string> args = {"append", setup.string(), (work / "config.wpk").string()};
    for (const char* package :
         {"uninstall.wpk", "setup.wpk", "component1.wpk", "component2.wpk", "component3.wpk"})
        args.push_back((built / package).string());
    args.push_back((work / "component4.wpk").string());
    return jxtest::RunProgram(JxPack(), args).exitCode == 0 ? setup.string() : std::string();
}

// The offset of the last package of a carrier, as the package tool lists it.
size_t LastPackageOffset(const std::string& carrier) {
    const std::string listing = jxtest::CommandOutput("'" + JxPack() + "' list '" + carrier + "'");
    const std::regex line(R"(package \S+ at (\d+):)");
    size_t last = 0;
    for (auto it = std::sregex_iterator(listing.begin(), listing.end(), line); it != std::sregex_iterator();
         ++it)
        last = std::stoull((*it)[1].str());
    return last;
}

// A copy of the setup with the damage: a flipped byte in the data block of its last package (the
// last byte of the file), or the file cut inside that package's data.
std::string Damaged(const std::string& setup, Damage damage, const fs::path& work) {
    std::string bytes = jxtest::ReadHostFile(setup);
    if (damage == Damage::CorruptDataBlock) {
        bytes.back() ^= 0x5A;
    } else {
        const size_t last = LastPackageOffset(setup);
        EXPECT_GT(last, 0u);
        bytes.resize(bytes.size() - (bytes.size() - last) / 4);
    }
    const fs::path damaged = work / "damaged" / "setup.exe";
    jxe2e::WriteText(damaged, bytes);
    fs::permissions(damaged, fs::perms::owner_exec, fs::perm_options::add);
    return damaged.string();
}

// Every ".jxtmp" file below the machine's drive C:, as host paths.
std::vector<std::string> TemporaryCopies(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(root) / "drive_c"))
        if (entry.is_regular_file() &&
            jxtext::EndsWithNoCase(jxtext::W(entry.path().filename().string()), u".jxtmp"))
            found.push_back(entry.path().string());
    return found;
}

std::u16string HklmString(const std::u16string& key, const WCHAR* name) {
    return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), name, u"", 0);
}

// The files of the installed product (below the installation folder) with the content each must
// have: the build's payload, and the changed Tools file of the upgrade.
std::vector<std::pair<std::u16string, std::string>> InstalledFiles(const std::string& version) {
    const fs::path payload = fs::path(jxtest::BuildDir()) / "samples" / "work" / "payload";
    const auto read = [&](const std::string& component, const std::string& name) {
        return jxtest::ReadHostFile((payload / component / name).string());
    };
    const std::string core = "{5A3E9C21-0001-4000-8000-000000000001}";
    return {{u"\\notes.txt", read(core, "notes.txt")},
            {u"\\quillsync.exe", read(core, "quillsync.exe")},
            {u"\\data\\settings.xml", read("{5A3E9C21-0002-4000-8000-000000000002}", "settings.xml")},
            {u"\\lang\\strings.txt", read("{5A3E9C21-0003-4000-8000-000000000003}", "1033/strings.txt")},
            {u"\\tools\\export.txt", version == kUpgradeVersion
                                         ? std::string("export of build ") + kUpgradeVersion + "\n"
                                         : read(kToolsComponent, "export.txt")}};
}

// The product of this version is installed whole: every file with its content, its keys and its
// uninstall entry.
bool IsComplete(const std::string& version) {
    for (const auto& [file, content] : InstalledFiles(version))
        if (jxtest::ReadHostFile(HostPath(kInstallDir + file)) != content)
            return false;
    return HklmString(kProductKey, u"Version") == jxtext::W(version) &&
           HklmString(kUninstallKey, u"DisplayVersion") == jxtext::W(version) &&
           !HklmString(kUninstallKey, u"UninstallString").empty();
}

// Complete, and its maintenance copy (which later runs start from) whole: the program and sound
// packages.
void ExpectComplete(const std::string& version) {
    for (const auto& [file, content] : InstalledFiles(version))
        EXPECT_TRUE(jxtest::ReadHostFile(HostPath(kInstallDir + file)) == content) << jxtext::N(file);
    EXPECT_TRUE(IsComplete(version));
    const std::string maintenance = HostPath(kMaintenanceDir);
    EXPECT_EQ(jxe2e::HostFileSha256(maintenance + "/setup.exe"), jxe2e::HostFileSha256(jxe2e::Program()));
    for (const auto& entry : fs::directory_iterator(maintenance)) {
        if (entry.path().extension() != ".wpk")
            continue;
        EXPECT_EQ(jxtest::RunProgram(JxPack(), {"verify", entry.path().string()}).exitCode, 0)
            << entry.path().filename() << " of the maintenance copy is not sound";
    }
}

// Nothing of the product is left.
void ExpectRemoved() {
    EXPECT_FALSE(fs::exists(HostPath(kInstallDir))) << "the installation folder is left";
    EXPECT_FALSE(fs::exists(HostPath(kMaintenanceDir))) << "the maintenance copy is left";
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kProductKey.c_str(), 0));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0));
}

bool IsRemoved() {
    return !fs::exists(HostPath(kInstallDir)) &&
           !CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0);
}

class FailureMatrix : public ::testing::TestWithParam<FaultCase> {
protected:
    // The machine trusts the program and these setups, as it trusts the released sample (each digest
    // is taken once: the setups are large).
    void Trust(const std::vector<std::string>& setups) {
        m_Base = jxe2e::TrustingMachine();
        for (const std::string& setup : std::set<std::string>(setups.begin(), setups.end())) {
            jxplat::MachineTrustedFile trusted;
            trusted.sha256 = jxe2e::HostFileSha256(setup);
            trusted.signer = "Tolvane Software GmbH";
            m_Base.trustedFiles.push_back(trusted);
        }
        m_Base.user.elevated = !GetParam().notElevated;
    }

    // The machine as the case describes it, with or without the fault.
    jxplat::MachineDescription Machine(bool withFault) const {
        jxplat::MachineDescription machine = m_Base;
        const FaultCase& c = GetParam();
        if (withFault) {
            machine.faultKillAt = c.killAt;
            machine.faultDiskFull = c.fullFolder != nullptr;
            machine.faultDiskFullAfterBytes = c.fullAfterBytes;
            machine.faultDiskFullFolder = c.fullFolder ? c.fullFolder : "";
        }
        return machine;
    }

    jxtest::ProgramResult Run(const std::string& setup, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"/_QuietInstallation=true"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result;
    }

    // The uninstallation as the uninstall entry starts it: from the maintenance copy, or, when the
    // run that failed left none, from the setup.
    jxtest::ProgramResult Uninstall(const std::string& setup) {
        const std::string copy = HostPath(kMaintenanceDir + u"\\setup.exe");
        if (!fs::exists(copy))
            return Run(setup, {"/InstallMode=Uninstall"});
        fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);
        return Run(copy, {"/InstallMode=Uninstall"});
    }

    jxtest::TempMachineRoot m_Root;
    jxplat::MachineDescription m_Base;
};

TEST_P(FailureMatrix, TheFailedRunSaysSoAndTheNextRunLeavesTheMachineCompleteOrClean) {
    const FaultCase& c = GetParam();
    const fs::path work = fs::path(m_Root.Path()) / "packs";
    const std::string sample = jxtest::BuildDir() + "/samples/setup.exe";
    const std::string upgrade = c.stage == Stage::Upgrade ? PackUpgrade(work / "upgrade") : std::string();
    const std::string sound = c.stage == Stage::Upgrade ? upgrade : sample;
    ASSERT_FALSE(sound.empty());
    const std::string faulty = c.damage == Damage::None ? sound : Damaged(sound, c.damage, work);
    Trust({sample, sound, faulty});

    if (c.stage != Stage::Install) {
        m_Root.Describe(Machine(false));
        ASSERT_EQ(Run(sample).exitCode, 0) << "the first installation failed";
    }

    // The run the fault strikes.
    m_Root.Describe(Machine(true));
    const jxtest::ProgramResult failed = c.stage == Stage::Uninstall ? Uninstall(sample) : Run(faulty);
    const std::string version = c.stage == Stage::Upgrade ? kUpgradeVersion : "1.0.0.1";
    const bool done = c.stage == Stage::Uninstall ? IsRemoved() : IsComplete(version);
    EXPECT_TRUE(failed.exitCode != 0 || done) << "the run ended with 0 and left the product incomplete";
    if (*c.evidence)
        EXPECT_NE((jxe2e::AllLogs(m_Root) + jxe2e::Trace(m_Root)).find(c.evidence), std::string::npos)
            << "the fault did not strike";

    // The next run, the fault gone.
    m_Root.Describe(Machine(false));
    if (c.next == Next::Rerun && c.stage != Stage::Uninstall) {
        EXPECT_EQ(Run(sound).exitCode, 0);
        ExpectComplete(version);
    } else {
        EXPECT_EQ(Uninstall(sound).exitCode, 0);
        ExpectRemoved();
    }
    EXPECT_EQ(TemporaryCopies(m_Root.Path()), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(SampleProduct, FailureMatrix, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

} // namespace
