// File information and support files of the data object: repack progress, copied components,
// system file searches, support files in and out of the packages, and the empty installation
// folder after an uninstallation.
#include <gtest/gtest.h>

#include "file_copy_fixture.h"
#include "jxtest/machine_root.h"
#include "jxtest/pe_builder.h"

namespace jxfilecopytest {
namespace {

class FileInformation : public ::testing::Test {
protected:
    void SetUp() override { PackageMgr::Instance()->Cleanup(); }
    void TearDown() override {
        m_Data.reset();
        PackageMgr::Instance()->Cleanup();
    }
    static bool Exists(const std::u16string& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    jxtest::TempMachineRoot m_Root;
    std::unique_ptr<JxData> m_Data = std::make_unique<JxData>();
};

std::vector<int> g_Positions;
void RecordPosition(LPVOID, int position, int maximum, const WCHAR*) {
    g_Positions.push_back(position);
    EXPECT_EQ(maximum, 40);
}

TEST_F(FileInformation, RepackProgressMovesAtMostTenStepsWithinTheRange) {
    m_Data->m_ProgressCallback = {&RecordPosition, nullptr};
    m_Data->m_StepsCurrent = 20;
    m_Data->m_StepsMax = 40;
    g_Positions.clear();
    for (DWORD phase : {0u, 1u, 3u, 4u})
        EXPECT_EQ(m_Data->OnRepackProgress(phase, 50, 100, 0), 1);
    EXPECT_TRUE(g_Positions.empty());
    EXPECT_EQ(m_Data->OnRepackProgress(2, 50, 100, 0), 1);
    EXPECT_EQ(m_Data->OnRepackProgress(2, 100, 100, 0), 1);
    EXPECT_EQ(m_Data->OnRepackProgress(2, 7, 0, 0), 1);           // no total: the current step
    EXPECT_EQ(m_Data->OnRepackProgress(2, 0xFFFFFFFFu, 1, 0), 1); // never past the maximum
    EXPECT_EQ(g_Positions, (std::vector<int>{25, 30, 20, 40}));
}

TEST_F(FileInformation, CopiedComponentsAndPrerequisites) {
    m_Data->SetComponentFileCopied(u"Main", u"core");
    EXPECT_TRUE(m_Data->ComponentFileWasCopied(u"core", u"Main"));
    EXPECT_FALSE(m_Data->ComponentFileWasCopied(u"Main", u"core"));
    EXPECT_FALSE(m_Data->ComponentFileWasCopied(u"CORE", u"main")); // the key is exact

    JxFile prerequisite;
    prerequisite.featurename = u"MAIN";
    prerequisite.componentid = u"Core";
    prerequisite.isprerequisite = u"TRUE";
    JxFile plain = prerequisite;
    plain.componentid = u"other";
    plain.isprerequisite = u"false";
    m_Data->m_Files = {plain, prerequisite};
    EXPECT_TRUE(m_Data->ComponentContainsPrerequisites(u"Main", u"core"));
    EXPECT_FALSE(m_Data->ComponentContainsPrerequisites(u"Main", u"other"));
}

TEST_F(FileInformation, SystemSearchesSetFoundAndVersionProperties) {
    WriteFileBytes(u"C:\\sys\\plain.txt", "no version");
    WriteFileBytes(u"C:\\sys\\tool.dll", jxtest::BuildVersionedPe(0x0001000200030004ull, 0));
    m_Data->SetProperty(u"SYS", u"C:\\sys", 1);
    struct {
        const char16_t* file;
        const char16_t* found; // property value, or null when it must stay unset
        const char16_t* version;
    } rows[] = {
        {u"[SYS]\\plain.txt", u"true", u"%0"},
        {u"[SYS]\\tool.dll", u"true", u"281483566841860"}, // the store keeps "%1.2.3.4" as its number
        {u"[SYS]\\missing.dll", u"", u"%0"},
        {u"[SYS]\\[x\\tool.dll", nullptr, nullptr}, // a bracket left: nothing is set
    };
    std::vector<JxFile> files;
    for (size_t i = 0; i < std::size(rows); ++i) {
        JxFile row;
        row.syssearchfile = rows[i].file;
        row.syssearchfound = u"FOUND" + std::u16string(1, u'0' + static_cast<char16_t>(i));
        row.syssearchversion = u"VERSION" + std::u16string(1, u'0' + static_cast<char16_t>(i));
        files.push_back(row);
        m_Data->SetProperty(row.syssearchfound, u"before", 1);
        m_Data->SetProperty(row.syssearchversion, u"before", 1);
    }
    m_Data->m_Files = files;
    m_Data->SystemSearchFiles();
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(jxtext::N(rows[i].file));
        EXPECT_EQ(jxtext::N(m_Data->GetPropertyValue(files[i].syssearchfound)),
                  jxtext::N(rows[i].found ? rows[i].found : u"before"));
        EXPECT_EQ(jxtext::N(m_Data->GetPropertyValue(files[i].syssearchversion)),
                  jxtext::N(rows[i].version ? rows[i].version : u"before"));
    }
}

TEST_F(FileInformation, SupportFilesAreExtractedOnceAndDeletedAgain) {
    ASSERT_TRUE(WriteComponentPackage(
        u"C:\\Source\\core.wpk",
        {{u"setup.ini", "ini"}, {u"1033\\texts.txt", "en"}, {u"1031\\texts.txt", "de"}}));
    DefineProduct(*m_Data, {});
    m_Data->m_Features[0].components[0].extractsupportfile = u"True";
    JxFeature second = m_Data->m_Features[0];
    second.name = u"Second";
    m_Data->m_Features.push_back(second); // the same component again: taken once
    ASSERT_TRUE(m_Data->MountExternalPackage(u"C:\\Source\\core.wpk", kScanModeReplace));
    m_Data->SetProperty(u"ISOLANG", u"1033", 1);

    std::vector<std::u16string> names;
    m_Data->ExtractSupportFiles(names); // "[_SupportDir]" unresolved: nothing
    EXPECT_TRUE(names.empty());

    m_Data->SetProperty(u"_SupportDir", u"C:\\Temp\\Support", 1);
    m_Data->ExtractSupportFiles(names);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"setup.ini", u"texts.txt"}));
    EXPECT_EQ(ReadFileBytes(u"C:\\Temp\\Support\\texts.txt"), "en");
    EXPECT_EQ(ReadFileBytes(u"C:\\Temp\\Support\\setup.ini"), "ini");

    m_Data->DeleteSupportFiles(names);
    EXPECT_FALSE(Exists(u"C:\\Temp\\Support"));
    EXPECT_NE(m_Data->GetPropertyValue(u"_CrashInDeleteSupportFiles"), u"true");
}

TEST_F(FileInformation, EmptyInstallFolderAndItsEmptyParentsGoAfterUninstall) {
    struct {
        const char* name;
        const char16_t* installDir;
        std::vector<const char16_t*> extra; // other files of the machine
        std::vector<const char16_t*> gone;
        std::vector<const char16_t*> kept;
    } rows[] = {
        {"empty chain up to Program Files",
         u"C:\\Program Files (x86)\\Maker\\Prod",
         {},
         {u"C:\\Program Files (x86)\\Maker"},
         {u"C:\\Program Files (x86)"}},
        {"a parent holding something else stays",
         u"C:\\Program Files (x86)\\Maker\\Prod",
         {u"C:\\Program Files (x86)\\Maker\\Other\\keep.txt"},
         {u"C:\\Program Files (x86)\\Maker\\Prod"},
         {u"C:\\Program Files (x86)\\Maker\\Other\\keep.txt"}},
        {"a relative folder is refused", u"Maker\\Prod", {}, {}, {u"C:\\Program Files (x86)\\Maker\\Prod"}},
        {"an unresolved folder is refused",
         u"[NOPE]\\Prod",
         {},
         {},
         {u"C:\\Program Files (x86)\\Maker\\Prod"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_Data = std::make_unique<JxData>();
        JxFile::PrepareDestinationDirectory(u"C:\\Program Files (x86)\\Maker\\Prod");
        JxFile::PrepareDestinationDirectory(u"C:\\Windows");
        for (const char16_t* file : row.extra) {
            JxFile::PrepareDestinationDirectory(JxFile::GetPathPart(file));
            WriteFileBytes(file, "x");
        }
        m_Data->SetProperty(u"InstallMode", u"Uninstall", 1);
        m_Data->SetProperty(u"_DeleteEmptyInstallDir", u"TRUE", 1);
        m_Data->SetProperty(u"INSTALLDIR", row.installDir, 1);
        m_Data->SetProperty(u"ProgramFilesFolder", u"C:\\Program Files (x86)\\", 1);
        m_Data->SetProperty(u"WindowsFolder", u"C:\\Windows\\", 1);
        m_Data->DeleteEmptyInstallDir();
        for (const char16_t* path : row.gone)
            EXPECT_FALSE(Exists(path)) << jxtext::N(path);
        for (const char16_t* path : row.kept)
            EXPECT_TRUE(Exists(path)) << jxtext::N(path);
        bool reboot = false;
        JxFile::DeleteFiles(u"C:\\Program Files (x86)\\Maker", u"*.*", true, reboot);
    }
}

// The walk up stops at a protected folder however the installation folder reaches it: through a
// link, or with a folder written in a way text does not compare equal.
TEST_F(FileInformation, TheWalkUpKnowsProtectedFoldersByIdentity) {
    JxFile::PrepareDestinationDirectory(u"C:\\Program Files (x86)\\Maker\\Prod");
    JxFile::PrepareDestinationDirectory(u"C:\\Windows\\Maker\\Prod");
    JxFile::PrepareDestinationDirectory(u"C:\\Apps");
    const std::string host = jxplat::WindowsToHostPath(u"C:\\");
    std::filesystem::create_directory_symlink(host + "/Program Files (x86)", host + "/Apps/pf");
    std::filesystem::create_directory_symlink(host + "/Windows", host + "/Apps/win");
    for (const char16_t* installDir : {u"C:\\Apps\\pf\\Maker\\Prod", u"C:\\Apps\\win\\Maker\\Prod"}) {
        SCOPED_TRACE(jxtext::N(installDir));
        m_Data = std::make_unique<JxData>();
        m_Data->SetProperty(u"InstallMode", u"Uninstall", 1);
        m_Data->SetProperty(u"_DeleteEmptyInstallDir", u"TRUE", 1);
        m_Data->SetProperty(u"INSTALLDIR", installDir, 1);
        m_Data->SetProperty(u"ProgramFilesFolder", u"C:\\Program Files (x86)\\", 1);
        m_Data->SetProperty(u"WindowsFolder", u"c:/windows", 1);
        m_Data->DeleteEmptyInstallDir();
        EXPECT_FALSE(Exists(JxFile::GetPathPart(installDir))); // the emptied Maker folder went
        for (const char16_t* kept :
             {u"C:\\Program Files (x86)", u"C:\\Windows", u"C:\\Apps\\pf", u"C:\\Apps\\win"})
            EXPECT_TRUE(Exists(kept)) << jxtext::N(kept);
        EXPECT_TRUE(jxplat::ReadPendingFileOperations().empty());
    }
}

} // namespace
} // namespace jxfilecopytest
