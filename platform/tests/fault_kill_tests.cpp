// The kill point of the machine's fault switches in a copy: a Windows program whose CopyFileW
// writes the kill point's file ends half-way, leaving the cut target as a killed copy leaves it.
#include <string>

#include <gtest/gtest.h>

#include <windows.h>

#include "file_test_support.h"
#include "jxtest/run_program.h"

namespace {

class KillPointCopy : public FileTest {
protected:
    // Runs copyfile.exe on the machine with the kill point; its Windows exit code.
    long long Copy(const char* killAt, const std::u16string& target) {
        jxplat::MachineDescription machine;
        machine.faultKillAt = killAt;
        m_root.Describe(machine);
        return jxtest::RunProgram(jxtest::BuildDir() + "/tests/programs/copyfile.exe",
                                  {"C:\\work\\source.bin", jxtext::N(target)})
            .exitCode;
    }
};

TEST_F(KillPointCopy, EndsTheProgramHalfWayIntoItsOwnFileOnly) {
    const std::string content(100000, 'x');
    WriteBytes(u"C:\\work\\source.bin", content);
    struct Row {
        const char* killAt;
        std::u16string target;
        bool killed;
    } rows[] = {
        {"maintenancecopy", u"C:\\work\\a.wpk.part.jxtmp", true},
        {"filecopy", u"C:\\work\\b.txt.jxtmp", true},
        {"maintenancecopy", u"C:\\work\\c.txt.jxtmp", false},
        {"filecopy", u"C:\\work\\d.wpk.part.jxtmp", false},
        {"", u"C:\\work\\e.wpk.part.jxtmp", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(jxtext::N(row.target));
        EXPECT_EQ(Copy(row.killAt, row.target), row.killed ? 1 : 0);
        // Killed: the first half in the target itself, no temporary of the copy beside it.
        EXPECT_EQ(ReadBytes(row.target), row.killed ? content.substr(0, content.size() / 2) : content);
    }
    for (const auto& name : {u"a.wpk.part.jxtmp", u"b.txt.jxtmp", u"c.txt.jxtmp", u"d.wpk.part.jxtmp",
                             u"e.wpk.part.jxtmp", u"source.bin"})
        EXPECT_NE(GetFileAttributesW((std::u16string(u"C:\\work\\") + name).c_str()),
                  INVALID_FILE_ATTRIBUTES);
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(u"C:\\work\\.jxcopy-*", &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a copy's temporary is left";
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

} // namespace
