// The setup wrapper: the self-check options of the command line, and mounting the program's own
// packages (with "data.wpk" of the current directory first).
#include <unistd.h>

#include "jxvfs/CJxSetupWrap.h"
#include "vfs_test_support.h"

using namespace vfstest;

namespace {

struct OptionsCase {
    const char16_t* line;
    DWORD options;
    DWORD verbosity;
    DWORD window;
};

TEST(WrapperOptionsTest, CommandLinesGiveTheirOptions) {
    const OptionsCase cases[] = {
        {u"\"C:\\app\\setup.exe\"", 0, 0, 0},
        {u"\"C:\\app\\setup.exe\" /quick /md5", 0x15, 0, 0},
        {u"\"C:\\app\\setup.exe\" /md5 /quick", 0x14, 0, 0},
        {u"\"C:\\app\\setup.exe\" /sha1 /full /md5", 0x1F, 0, 0},
        {u"C:\\app\\setup.exe /FULL", 0x1F, 0, 0},
        {u"C:\\app\\setup.exe -check_files /Check_Payload", 0x0C, 0, 0},
        {u"C:\\app\\setup.exe /check_cert -sha1", 0x12, 0, 0},
        // The verbosity takes the next word; 0, no number or no word give 1.
        {u"C:\\app\\setup.exe /v 3", 0, 3, 0},
        {u"C:\\app\\setup.exe /v 12abc /md5", 0x01, 12, 0},
        {u"C:\\app\\setup.exe /v 0", 0, 1, 0},
        {u"C:\\app\\setup.exe /md5 /v", 0x01, 1, 0},
        {u"C:\\app\\setup.exe /v /md5", 0, 1, 0},
        // The progress window follows "dig" in the same word; 0 or none ignores the option.
        {u"C:\\app\\setup.exe /dig1234", 0x20, 0, 1234},
        {u"C:\\app\\setup.exe /DIG77x /quick", 0x14, 0, 77},
        {u"C:\\app\\setup.exe /dig0 /dig", 0, 0, 0},
        // Runs of blanks, words without "/" or "-", unknown names and engine options are ignored.
        {u"C:\\app\\setup.exe   md5  /unknown /_noUAC=\"true\"   /md5", 0x01, 0, 0},
        {u"C:\\app\\setup.exe /md5x /full5", 0, 0, 0},
        // The options begin 5 characters after ".exe": a word glued to the path loses its "/".
        {u"C:\\app\\setup.exe/full", 0, 0, 0},
        // ".exe" is matched exactly; without it the options begin at character 4.
        {u"C:\\app\\setup.EXE /quick", 0x14, 0, 0},
        {u"/tmp/full", 0x1F, 0, 0},
        {u"", 0, 0, 0},
    };
    for (const OptionsCase& c : cases) {
        const SELFCHECK_OPTIONS parsed = ParseSelfcheckOptions(c.line);
        EXPECT_EQ(parsed.options, c.options) << jxtext::N(c.line);
        EXPECT_EQ(parsed.verbosity, c.verbosity) << jxtext::N(c.line);
        EXPECT_EQ(parsed.window, c.window) << jxtext::N(c.line);
        EXPECT_EQ(parsed.IsRequested(), c.options != 0) << jxtext::N(c.line);
    }
}

class WrapperTest : public PackageStoreTest {
protected:
    void SetUp() override {
        PackageStoreTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"C:\\run", nullptr));
        ASSERT_NE(getcwd(m_previous, sizeof(m_previous)), nullptr);
        ASSERT_EQ(chdir(jxplat::WindowsToHostPath(u"C:\\run").c_str()), 0);
        m_program.name = "$SETUP";
        m_program.files[u"$SETUP\\gui.dll"] = TextBytes(5000, 1);
        m_program.files[u"$SETUP\\shared.txt"] = ToBytes("from the program");
        m_program.files[u"$CONFIG\\setup.jxsetup"] = ToBytes("<setup/>");
        WriteWindowsFile(u"C:\\app\\setup.exe", BuildPackage(m_program));
    }
    void TearDown() override {
        EXPECT_EQ(chdir(m_previous), 0);
        PackageStoreTest::TearDown();
    }

    Bytes Read(CJxSetupWrap& wrapper, const std::u16string& path) {
        return ReadThroughStream(wrapper.ResolvePath(path), 0, 4096);
    }

    char m_previous[4096] = {};
    PackageLayout m_program;
};

TEST_F(WrapperTest, MountsTheProgramsPackagesAndAttachesThem) {
    CJxSetupWrap wrapper;
    EXPECT_TRUE(wrapper.GetWrapString()->empty());
    ASSERT_TRUE(wrapper.InitializeWrapperFrom(u"\"C:\\app\\setup.exe\" /_noUAC=\"true\"", nullptr));
    EXPECT_FALSE(wrapper.IsSelfcheckRequested());
    ASSERT_EQ(m_pManager->GetPackages().size(), 1u);
    EXPECT_EQ(Read(wrapper, u"\\$SETUP\\gui.dll"), m_program.files[u"$SETUP\\gui.dll"]);
    EXPECT_EQ(Read(wrapper, u"\\$CONFIG\\setup.jxsetup"), ToBytes("<setup/>"));
}

TEST_F(WrapperTest, DataPackageOfTheCurrentFolderIsMountedFirstAndKeepsItsFiles) {
    PackageLayout data;
    data.name = "$DATA";
    data.files[u"$SETUP\\shared.txt"] = ToBytes("from data.wpk"); // same time as the program's copy
    data.files[u"$SETUP\\extra.txt"] = ToBytes("extra");
    WriteWindowsFile(u"C:\\run\\data.wpk", BuildPackage(data));

    CJxSetupWrap wrapper;
    ASSERT_TRUE(wrapper.InitializeWrapperFrom(u"C:\\app\\setup.exe", nullptr));
    ASSERT_EQ(m_pManager->GetPackages().size(), 2u);
    EXPECT_EQ(m_pManager->GetPackages()[0]->GetName(), u"$DATA");
    EXPECT_EQ(Read(wrapper, u"\\$SETUP\\shared.txt"), ToBytes("from data.wpk"));
    EXPECT_EQ(Read(wrapper, u"\\$SETUP\\extra.txt"), ToBytes("extra"));
    EXPECT_EQ(Read(wrapper, u"\\$SETUP\\gui.dll"), m_program.files[u"$SETUP\\gui.dll"]);
}

TEST_F(WrapperTest, ASelfcheckOptionEndsTheStartEvenWhenTheCheckPasses) {
    CJxSetupWrap wrapper;
    // The options come from the process line; the program to mount from the argument.
    EXPECT_FALSE(
        wrapper.InitializeWrapperFrom(u"\"Z:\\elsewhere\\setup.exe\" /quick", u"C:\\app\\setup.exe"));
    EXPECT_TRUE(wrapper.IsSelfcheckRequested());
    EXPECT_EQ(wrapper.GetSelfcheckOptions().options, 0x14u);
    EXPECT_EQ(m_pManager->GetPackages().size(), 1u);
    EXPECT_TRUE(wrapper.GetSelfcheckResultOk());
}

TEST_F(WrapperTest, AProgramThatCannotBeMountedIsNotAttached) {
    CJxSetupWrap wrapper;
    // A quoted program path without its closing quote names no program.
    EXPECT_FALSE(wrapper.InitializeWrapperFrom(u"\"C:\\app\\setup.exe /x", nullptr));
    EXPECT_TRUE(m_pManager->GetPackages().empty());
    EXPECT_EQ(wrapper.ResolvePath(u"\\$SETUP"), nullptr);
}

} // namespace
