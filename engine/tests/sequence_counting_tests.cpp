// The counting pass calls the handlers of the actions that count their own steps; they must change
// nothing on the machine.
#include "jxbase/reg.h"
#include "sequence_support.h"

#include <filesystem>
#include <fstream>

namespace jxseqtest {
namespace {

namespace fs = std::filesystem;

// Every file of the registry and of the drives, with its bytes. Left out: the shared-memory index
// of the registry databases (readers write it) and the run's own log and debugger output.
std::map<std::string, std::string> SnapshotMachine(const std::string& root) {
    const std::string logs =
        fs::path(jxplat::WindowsToHostPath(u"C:\\ProgramData\\Tolvane\\Setups\\Logs")).string();
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string();
        const std::string relative = fs::relative(entry.path(), root).string();
        const bool registry = relative.rfind("registry/", 0) == 0;
        const bool drive = relative.rfind("drive_", 0) == 0;
        if ((!registry && !drive) || path.rfind(logs, 0) == 0)
            continue;
        if (registry && relative.size() >= 4 && relative.compare(relative.size() - 4, 4, "-shm") == 0)
            continue;
        if (entry.is_directory()) {
            files[relative + "/"] = "";
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        files[relative] = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return files;
}

struct CountCase {
    const char* name;
    const char16_t* installMode;
    int updateMode;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

class SequenceCounting : public SequenceTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(SequenceCounting, ChangesNothingOnTheMachine) {
    const CountCase& c = GetParam();
    Set(u"InstallMode", c.installMode);
    Set(u"_CreateSysRestorePoint", u"true");
    m_Data.m_UpdateMode = c.updateMode;
    UseProgressCallback();
    // The real handlers, with rows of every kind in the definition.
    m_Data._Sequence_Initialize();
    // The stand-in makes a hive's database on its first use, a read too: every hive is made
    // before the snapshot, so that only real changes show.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_USER})
        CReg::GetIntFromRegistry(root, u"Software", u"Probe", 0, 0);
    const std::map<std::string, std::string> before = SnapshotMachine(m_Root.Path());
    ASSERT_FALSE(before.empty());

    m_Data._Sequence_Run_CountProcessSteps();

    // Names what changed instead of dumping the machine.
    const std::map<std::string, std::string> after = SnapshotMachine(m_Root.Path());
    for (const auto& [path, content] : after) {
        const auto old = before.find(path);
        EXPECT_TRUE(old != before.end() && old->second == content) << "changed: " << path;
    }
    for (const auto& [path, content] : before)
        EXPECT_TRUE(after.count(path) != 0) << "removed: " << path;
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Counting process steps for action"));
    EXPECT_TRUE(m_Data.IsCountingProcessSteps());
    EXPECT_FALSE(m_Data.m_SequenceData.m_bFailure);
    EXPECT_FALSE(m_Data.m_SequenceData.m_bSequenceStarted);
}

INSTANTIATE_TEST_SUITE_P(SequenceModes, SequenceCounting,
                         ::testing::Values(CountCase{"Install", u"Install", 0},
                                           CountCase{"Update", u"Maintenance", 1},
                                           CountCase{"Uninstall", u"Uninstall", 0}),
                         [](const ::testing::TestParamInfo<CountCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace jxseqtest
