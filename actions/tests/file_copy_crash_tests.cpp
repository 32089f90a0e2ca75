// Killed in the middle of CopyFiles or CleanUp, the run leaves every target with its old or its new
// content, byte for byte; the same actions run again complete the installation.
#include <gtest/gtest.h>

#include "file_copy_fixture.h"
#include "jxtest/machine_root.h"
#include "jxtest/run_program.h"

namespace jxfilecopytest {
namespace {

const std::u16string kPackage = u"C:\\Source\\core.wpk";

// Ten files, some of several package blocks; half of them are installed already in an old version.
std::map<std::u16string, std::string> NewFiles() {
    std::map<std::u16string, std::string> files;
    for (int i = 0; i < 10; ++i) {
        const std::u16string name = (i % 3 == 0 ? u"sub\\f" : u"f") + jxtext::ToText(i) + u".bin";
        files[name] = std::string(static_cast<size_t>(1000 + i * 30000), static_cast<char>('A' + i));
    }
    return files;
}

std::string OldContent(int i) {
    return "old version of file " + std::to_string(i);
}

struct CrashCase {
    const char* point;
    int afterFiles;
};

class FileCopyCrash : public ::testing::TestWithParam<CrashCase> {};

TEST_P(FileCopyCrash, LeavesNoTargetHalfWrittenAndARerunCompletes) {
    jxtest::TempMachineRoot root;
    const auto files = NewFiles();
    ASSERT_TRUE(WriteComponentPackage(kPackage, files, 64 * 1024));
    std::map<std::u16string, std::string> old;
    int i = 0;
    for (const auto& [name, content] : files) {
        if (i % 2 == 0) {
            old[name] = OldContent(i);
            WriteFileBytes(kDestination + u"\\" + name, old[name]);
        }
        ++i;
    }
    const std::string driver = jxtest::BuildDir() + "/tests/programs/filecopy_crash.exe";
    const std::string package = jxtext::N(kPackage);

    const jxtest::ProgramResult killed =
        jxtest::RunProgram(driver, {GetParam().point, std::to_string(GetParam().afterFiles), package});
    ASSERT_TRUE(killed.started);
    EXPECT_NE(killed.hostStatus, 0);
    int replaced = 0;
    for (const auto& [name, content] : files) {
        const std::u16string target = kDestination + u"\\" + name;
        const std::string now = ReadFileBytes(target);
        const bool existed = old.count(name) != 0;
        if (now == content)
            ++replaced;
        else if (existed)
            EXPECT_EQ(now, old[name]) << jxtext::N(name);
        else
            EXPECT_FALSE(JxFile::FileExists(target)) << jxtext::N(name);
    }
    if (std::string(GetParam().point) == "commit")
        EXPECT_EQ(replaced, GetParam().afterFiles);
    else
        EXPECT_EQ(replaced, 0);

    const jxtest::ProgramResult rerun = jxtest::RunProgram(driver, {"commit", "0", package});
    ASSERT_TRUE(rerun.started);
    EXPECT_EQ(rerun.hostStatus, 0);
    for (const auto& [name, content] : files)
        EXPECT_EQ(ReadFileBytes(kDestination + u"\\" + name), content) << jxtext::N(name);
    for (const auto& [path, content] : SnapshotTree(jxplat::WindowsToHostPath(kDestination)))
        EXPECT_EQ(path.find(".jxtmp"), std::string::npos) << path;
}

INSTANTIATE_TEST_SUITE_P(Points, FileCopyCrash,
                         ::testing::Values(CrashCase{"extract", 1}, CrashCase{"extract", 6},
                                           CrashCase{"extract", 10}, CrashCase{"commit", 1},
                                           CrashCase{"commit", 4}, CrashCase{"commit", 9}),
                         [](const ::testing::TestParamInfo<CrashCase>& info) {
                             return std::string(info.param.point) + std::to_string(info.param.afterFiles);
                         });

} // namespace
} // namespace jxfilecopytest
