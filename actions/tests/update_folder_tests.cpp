// Downloaded packages beside the program and the clean-up of update and maintenance folders at the
// end of a run: what goes, what stays, and the folders that are never touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "file_copy_fixture.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/hostile_paths.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace {

using namespace JxSetup::Data;

const std::u16string kModule = u"C:\\Media\\Setup";
// SHA-256 of "abc" (FIPS 180-2, appendix B.1).
const char kAbcSha[] = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// --- CheckDownloadedFiles ---

struct DownloadCase {
    const char* name;
    std::optional<std::string> list; // "Requiredfiles.xml"; none without
    DWORD flags;
    bool lockMerge; // "merge.wpk" held open without sharing, so it cannot be deleted
    bool expected;
    std::vector<std::u16string> kept;
    std::vector<std::u16string> gone;
};

// Every case starts from the same module folder: a listed package with the right content, one
// with the wrong content, unlisted packages of every naming kind and the configuration copy.
class DownloadedFiles : public ::testing::TestWithParam<DownloadCase> {
protected:
    DownloadedFiles() {
        m_Data.SetAppDirEx(kModule + u"\\");
        for (const char16_t* name : {u"good.wpk", u"{1234}.wpk", u"$SETUP.wpk", u"merge.wpk", u"readme.txt"})
            jxtest::WriteMachineFile(kModule + u"\\" + name, "abc");
        jxtest::WriteMachineFile(kModule + u"\\corrupt.wpk", "abd");
        jxtest::WriteMachineFile(kModule + u"\\sub\\old.wpk");
        jxtest::WriteMachineFile(kModule + u"\\$CONFIG.kpw");
        jxtest::WriteMachineFile(u"C:\\Media\\outside.wpk", "abd");
    }
    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
};

std::string Entry(const std::string& name, const std::string& sha) {
    return "<Updatefile name=\"" + name + "\" sha=\"" + sha + "\" length=\"3\"/>";
}

const std::string kGoodList =
    "<Files>" + Entry("good.wpk", kAbcSha) + "<!-- c -->" + Entry("GOOD2.WPK", kAbcSha) + "</Files>";
const std::string kBadList = "<Files>" + Entry("good.wpk", Lower(kAbcSha)) + Entry("corrupt.wpk", kAbcSha) +
                             Entry("absent.wpk", kAbcSha) + Entry("..\\outside.wpk", kAbcSha) + "</Files>";

TEST_P(DownloadedFiles, VerifiesTheListAndRemovesUnlistedPackages) {
    const DownloadCase& c = GetParam();
    if (c.list)
        jxtest::WriteMachineFile(kModule + u"\\Requiredfiles.xml", *c.list);
    jxtest::WriteMachineFile(kModule + u"\\good2.wpk", "abc");
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (c.lockMerge) {
        const std::u16string merge = kModule + u"\\merge.wpk";
        lock = CreateFileW(merge.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(m_Data.CheckDownloadedFiles(c.flags), c.expected) << m_Log.Dump();
    if (lock != INVALID_HANDLE_VALUE)
        CloseHandle(lock);
    for (const std::u16string& name : c.kept)
        EXPECT_TRUE(jxtest::MachinePathExists(kModule + u"\\" + name)) << jxtext::N(name);
    for (const std::u16string& name : c.gone)
        EXPECT_FALSE(jxtest::MachinePathExists(kModule + u"\\" + name)) << jxtext::N(name);
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\Media\\outside.wpk"));
    EXPECT_TRUE(jxtest::MachinePathExists(kModule + u"\\sub\\old.wpk"));
}

const std::vector<std::u16string> kAllPackages = {u"good.wpk",    u"good2.wpk", u"{1234}.wpk",
                                                  u"$SETUP.wpk",  u"merge.wpk", u"corrupt.wpk",
                                                  u"$CONFIG.kpw", u"readme.txt"};

INSTANTIATE_TEST_SUITE_P(
    Lists, DownloadedFiles,
    ::testing::Values(
        // Listed names compare without case; a comment between the rows is no row.
        DownloadCase{"AllListedFilesCorrect",
                     kGoodList,
                     0,
                     false,
                     true,
                     {u"good.wpk", u"good2.wpk", u"{1234}.wpk", u"$SETUP.wpk", u"readme.txt"},
                     {u"merge.wpk", u"corrupt.wpk", u"$CONFIG.kpw"}},
        // A corrupt file goes, a missing one and a name outside the folder fail the check.
        DownloadCase{"CorruptMissingAndOutside",
                     kBadList,
                     0,
                     false,
                     false,
                     {u"good.wpk", u"{1234}.wpk", u"$SETUP.wpk", u"readme.txt"},
                     {u"corrupt.wpk", u"merge.wpk", u"good2.wpk", u"$CONFIG.kpw"}},
        DownloadCase{"NoList",
                     std::nullopt,
                     0,
                     false,
                     true,
                     {u"{1234}.wpk", u"$SETUP.wpk", u"readme.txt"},
                     {u"good.wpk", u"merge.wpk", u"corrupt.wpk", u"$CONFIG.kpw"}},
        DownloadCase{"UnneededPackageLocked",
                     kGoodList,
                     0,
                     true,
                     false,
                     {u"merge.wpk", u"good.wpk"},
                     {u"corrupt.wpk", u"$CONFIG.kpw"}},
        // Without a readable list no package can be told unneeded.
        DownloadCase{
            "MalformedList", "<Files><Updatefile name=\"good.wpk\"", 0, false, false, kAllPackages, {}},
        DownloadCase{"SkipChecks", kBadList, 0x40, false, true, kAllPackages, {}}),
    [](const ::testing::TestParamInfo<DownloadCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadedFiles, ReportsEachFileInTheLog) {
    jxtest::WriteMachineFile(kModule + u"\\Requiredfiles.xml", kBadList);
    EXPECT_FALSE(m_Data.CheckDownloadedFiles(0));
    const std::string m = jxtext::N(kModule);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Parsing file " + m + "\\Requiredfiles.xml."));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Checksum of file " + m + "\\good.wpk is ok."));
    EXPECT_TRUE(m_Log.Has("WARNING", "Checksum invalid. Deleting file " + m + "\\corrupt.wpk."));
    EXPECT_TRUE(m_Log.Has("WARNING", "File " + m + "\\absent.wpk not found."));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Do not delete file: " + m + "\\{1234}.wpk"));
    EXPECT_TRUE(m_Log.Has("WARNING", "File " + m +
                                         "\\merge.wpk is not needed and must be deleted to prevent update "
                                         "problems!"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "File " + m + "\\$CONFIG.kpw deleted."));
}

TEST_F(DownloadedFiles, NothingIsDeletedInADriveRoot) {
    jxtest::WriteMachineFile(u"C:\\merge.wpk");
    m_Data.SetAppDirEx(u"C:\\");
    EXPECT_FALSE(m_Data.CheckDownloadedFiles(0));
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\merge.wpk"));
}

// A package beside the program that is mounted already (the wrapper takes "data.wpk" of the current
// folder before the check) is in use and stays; an unlisted one that is not mounted goes.
TEST_F(DownloadedFiles, AMountedPackageStays) {
    PackageMgr::Instance()->Cleanup();
    ASSERT_TRUE(jxfilecopytest::WriteNamedPackage(kModule + u"\\data.wpk", "data", {{u"data\\d.txt", "d"}}));
    ASSERT_EQ(PackageMgr::Instance()->MountPackageFile((kModule + u"\\data.wpk").c_str()), 1);
    const bool result = m_Data.CheckDownloadedFiles(0);
    PackageMgr::Instance()->Cleanup();
    EXPECT_TRUE(result) << m_Log.Dump();
    EXPECT_TRUE(jxtest::MachinePathExists(kModule + u"\\data.wpk"));
    EXPECT_FALSE(jxtest::MachinePathExists(kModule + u"\\merge.wpk"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Do not delete file: " + jxtext::N(kModule) + "\\data.wpk"));
}

// --- DeleteUpdateFolder ---

const std::u16string kProductId = u"{11111111-2222-3333-4444-555555555555}";
const std::u16string kOldId = u"{99999999-8888-7777-6666-555555555555}";
const std::u16string kSetups = u"C:\\ProgramData\\Tolvane\\Setups";
const std::u16string kMaintenance = kSetups + u"\\" + kProductId;
const std::u16string kOldMaintenance = kSetups + u"\\" + kOldId;
const std::u16string kOldUpdate = kSetups + u"\\CommonUpdate\\" + kOldId;
const std::u16string kOldUninstaller = kSetups + u"\\CommonUpdate\\Uninstaller\\" + kOldId;
const std::u16string kOldPackages = kSetups + u"\\OldPackages";
const std::u16string kUpdateFolder = u"C:\\Downloads\\Update";

// The files of one run's machine: downloads, this product's and a replaced product's folders,
// and files no clean-up may touch.
const std::vector<std::u16string> kMachineFiles = {kUpdateFolder + u"\\{A}.wpk",
                                                   kUpdateFolder + u"\\b.kpw",
                                                   kUpdateFolder + u"\\c.wpk",
                                                   kUpdateFolder + u"\\sub\\{D}.wpk",
                                                   kMaintenance + u"\\setup.exe",
                                                   kMaintenance + u"\\sub\\keep.txt",
                                                   kOldMaintenance + u"\\setup.exe",
                                                   kOldUpdate + u"\\u.wpk",
                                                   kOldUninstaller + u"\\un.exe",
                                                   kOldPackages + u"\\old.wpk",
                                                   kSetups + u"\\shared.txt",
                                                   kSetups + u"\\CommonUpdate\\shared.txt",
                                                   u"C:\\ProgramData\\top.txt",
                                                   u"C:\\Windows\\system.ini",
                                                   u"C:\\root.txt",
                                                   u"C:\\{R}.wpk",
                                                   u"C:\\x\\{X}.wpk",
                                                   u"C:\\x\\y.kpw"};

// One run's end on a machine of its own.
struct CRunEnd {
    CRunEnd() {
        m_Data.m_ProductInfo.productid = kProductId;
        Set(u"CommonAppDataFolder", u"C:\\ProgramData");
        for (const std::u16string& file : kMachineFiles)
            jxtest::WriteMachineFile(file);
    }
    ~CRunEnd() { m_Data.SetGui(nullptr); }
    void Set(const std::u16string& name, const std::u16string& value) { m_Data.SetProperty(name, value, 1); }
    std::vector<std::u16string> Gone() const {
        std::vector<std::u16string> gone;
        for (const std::u16string& file : kMachineFiles)
            if (!jxtest::MachinePathExists(file))
                gone.push_back(file);
        return gone;
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
    char m_GuiStandIn = 0; // never called: the clean-up only asks whether a GUI object is bound
};

struct RunCase {
    const char* name;
    const char16_t* installMode;
    int updateMode;
    std::u16string installedCode;
    bool started, failure, cancelled, gui;
    std::vector<std::u16string> gone;
};

std::vector<std::u16string> With(std::vector<std::u16string> a, const std::vector<std::u16string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(UpdateFolder, RemovesWhatTheRunNoLongerNeeds) {
    const std::vector<std::u16string> downloads = {kUpdateFolder + u"\\{A}.wpk", kUpdateFolder + u"\\b.kpw"};
    const std::vector<std::u16string> replaced = {kOldMaintenance + u"\\setup.exe", kOldUpdate + u"\\u.wpk",
                                                  kOldUninstaller + u"\\un.exe"};
    const std::u16string sameProduct = u"{11111111-2222-3333-4444-555555555555}";
    const RunCase cases[] = {
        {"Install", u"Install", 0, kOldId, true, false, false, false, downloads},
        {"Upgrade", u"Maintenance", 2, kOldId, true, false, false, false,
         With(With(downloads, {kOldPackages + u"\\old.wpk"}), replaced)},
        // The installed product is this one (its code in other case): its folders stay.
        {"UpgradeOfTheSameProduct", u"Maintenance", 2, sameProduct, true, false, false, false,
         With(downloads, {kOldPackages + u"\\old.wpk"})},
        {"UpdateIsNoUpgrade", u"Maintenance", 1, kOldId, true, false, false, false, downloads},
        {"Uninstall", u"uninstall", 0, u"", true, false, false, false,
         With(downloads, {kMaintenance + u"\\setup.exe"})},
        // After a failed, never-started or cancelled uninstallation the maintenance folder stays.
        {"UninstallFailed", u"Uninstall", 0, u"", true, true, false, false, downloads},
        {"UninstallNeverStarted", u"Uninstall", 0, u"", false, false, false, false, downloads},
        {"UninstallCancelledQuietly", u"Uninstall", 0, u"", true, false, true, false, downloads},
        {"CancelledWithGui", u"Uninstall", 2, kOldId, true, false, true, true, {}},
        {"GuiNotCancelled", u"Uninstall", 0, u"", true, false, false, true,
         With(downloads, {kMaintenance + u"\\setup.exe"})},
    };
    for (const RunCase& c : cases) {
        CRunEnd run;
        run.Set(u"InstallMode", c.installMode);
        run.Set(u"DELETE_UPDATEFOLDER", kUpdateFolder);
        run.Set(u"_DELETE_OLD_WPK", kOldPackages);
        run.Set(u"_InstalledProductCode", c.installedCode);
        run.m_Data.m_UpdateMode = c.updateMode;
        run.m_Data.m_SequenceData.m_bSequenceStarted = c.started;
        run.m_Data.m_SequenceData.m_bFailure = c.failure;
        run.m_Data.m_UserCancelled = c.cancelled;
        if (c.gui)
            run.m_Data.SetGui(reinterpret_cast<IJxExternalGUI*>(&run.m_GuiStandIn));
        run.m_Data.DeleteUpdateFolder();
        std::vector<std::u16string> gone = c.gone;
        std::sort(gone.begin(), gone.end());
        std::vector<std::u16string> actual = run.Gone();
        std::sort(actual.begin(), actual.end());
        EXPECT_EQ(actual, gone) << c.name << "\n" << run.m_Log.Dump();
    }
}

TEST(UpdateFolder, LogsEachFolderItEmpties) {
    CRunEnd run;
    run.Set(u"DELETE_UPDATEFOLDER", kUpdateFolder);
    run.Set(u"_DELETE_OLD_WPK", kOldPackages);
    run.Set(u"_InstalledProductCode", kOldId);
    run.m_Data.m_UpdateMode = 2;
    run.m_Data.DeleteUpdateFolder();
    EXPECT_TRUE(run.m_Log.Has("LP_INFO", "Deleting files using pattern {*}.wpk, and *.kpwin " +
                                             jxtext::N(kUpdateFolder) + "."));
    EXPECT_TRUE(
        run.m_Log.Has("LP_INFO", "Upgrade detected. Deleting all files in " + jxtext::N(kOldPackages) + "."));
    for (const std::u16string& folder : {kOldMaintenance, kOldUpdate, kOldUninstaller})
        EXPECT_EQ(run.m_Log.Count("LP_INFO", "Deleting all files in " + jxtext::N(folder)), 1u)
            << jxtext::N(folder);
}

// Property values that would carry a deletion to the whole drive, the current folder, the system
// or another tree: each is refused, and nothing outside what the run owns is touched.
TEST(UpdateFolder, RefusesUnsafeFolders) {
    struct Case {
        const char16_t* property;
        std::u16string value;
    };
    std::vector<Case> cases = {
        {u"DELETE_UPDATEFOLDER", u"C:\\"},
        {u"DELETE_UPDATEFOLDER", u"C:"},
        {u"DELETE_UPDATEFOLDER", u"Windows"},
        {u"DELETE_UPDATEFOLDER", u"[Unresolved]\\Update"},
        {u"DELETE_UPDATEFOLDER", u"C:\\Downloads\\Update\\..\\.."},
        {u"DELETE_UPDATEFOLDER", u"\\\\?\\C:\\Windows"},
        {u"_DELETE_OLD_WPK", u"C:\\Windows"},
        {u"_DELETE_OLD_WPK", u"C:\\ProgramData"},
        {u"_DELETE_OLD_WPK", kSetups},
        {u"_DELETE_OLD_WPK", kSetups + u"\\..\\.."},
        {u"_DELETE_OLD_WPK", kMaintenance}, // this product's new maintenance copy
        {u"_DELETE_OLD_WPK", kSetups + u"\\commonupdate"},
        {u"_DELETE_OLD_WPK", kSetups + u"\\Link"},
        {u"_DELETE_OLD_WPK", kSetups + u"\\Link\\"},
        {u"_DELETE_OLD_WPK", kSetups + u"\\Link\\Inner"},
        {u"_InstalledProductCode", u".."},
        {u"_InstalledProductCode", u"..\\.."},
        {u"_InstalledProductCode", u"CommonUpdate"}, // the setups folder's own shared folder
        {u"_InstalledProductCode", u"*"},
        {u"_InstalledProductCode", u"Link"},
        {u"_InstalledProductCode", u"."},
        {u"_InstalledProductCode", u" "},
        {u"_InstalledProductCode", u"x."},
        {u"_InstalledProductCode", u"{old}"},
        {u"CommonAppDataFolder", u""},
        {u"CommonAppDataFolder", u"C:\\ProgramData\\..\\.."},
    };
    // An empty or unexpanded value names no update folder at all.
    for (const std::u16string& folder : jxtest::HostileFolders())
        if (!folder.empty() && folder.find(u'[') == std::u16string::npos)
            cases.push_back({u"DELETE_UPDATEFOLDER", folder});
    for (const Case& c : cases) {
        CRunEnd run;
        // A link below the setups folder into a folder that is not the product's.
        jxtest::WriteMachineFile(u"C:\\Precious\\data.wpk");
        jxtest::WriteMachineFile(u"C:\\Precious\\Inner\\data.wpk");
        std::filesystem::create_directory_symlink(jxplat::WindowsToHostPath(u"C:\\Precious"),
                                                  jxplat::WindowsToHostPath(kSetups + u"\\Link"));
        run.Set(u"InstallMode", u"Uninstall");
        run.m_Data.m_UpdateMode = 2;
        run.m_Data.m_SequenceData.m_bSequenceStarted = true;
        run.Set(c.property, c.value);
        run.m_Data.DeleteUpdateFolder();
        const bool unsafeBase = std::u16string(c.property) == u"CommonAppDataFolder";
        // The uninstallation still empties the maintenance folder unless its base is the unsafe value.
        const std::vector<std::u16string> expected =
            unsafeBase ? std::vector<std::u16string>{}
                       : std::vector<std::u16string>{kMaintenance + u"\\setup.exe"};
        const std::string what = unsafeBase ? "maintenance folder" : jxtext::N(c.property);
        EXPECT_EQ(run.Gone(), expected) << what << "=" << jxtext::N(c.value) << "\n" << run.m_Log.Dump();
        EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\Precious\\data.wpk"));
        EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\Precious\\Inner\\data.wpk"));
        EXPECT_TRUE(run.m_Log.Has("WARNING", "(" + what + "): nothing deleted.")) << jxtext::N(c.value);
    }
}

} // namespace
