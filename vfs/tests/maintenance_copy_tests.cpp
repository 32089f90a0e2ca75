// Maintenance copies, the package store's part: a mounted package written alone into a folder as
// a package file that mounts again, the cases in which nothing (or nothing stale) is written, the
// deferred move of a locked target, which packages belong in the copy, and the runtime files.
#include <filesystem>

#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxvfs/repack/CPackageRepacker.h"
#include "vfs_test_support.h"

using namespace vfstest;
using JxSetup::Data::JxComponent;
using JxSetup::Data::JxData;

namespace {

const std::u16string kGuid = u"{CORE-0042}"; // a package name has at most 16 bytes
const std::u16string kCarrier = u"C:\\pkgs\\all.wpk";
const std::u16string kMaint = u"C:\\ProgramData\\Tolvane\\Setups\\{PROD}";

bool DiskHas(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

PackageLayout Layout(const std::string& name, std::map<std::u16string, Bytes> files) {
    PackageLayout layout;
    layout.name = name;
    layout.blockSize = 4096;
    layout.files = std::move(files);
    return layout;
}

class MaintenanceCopyTest : public PackageStoreTest {
protected:
    void TearDown() override {
        CPackageRepacker::FinishRepack();
        m_Data.m_OwnedVfs.reset();
        PackageStoreTest::TearDown();
    }

    // $SETUP and a component package in one carrier, mounted into the data object.
    void MountProduct() {
        m_Setup = Layout("$SETUP", {{u"$SETUP\\JxSetup.exe", RandomBytes(9000, 1)},
                                    {u"$SETUP\\JxSetupRT.dll", TextBytes(5000, 2)}});
        m_Component = Layout(jxtext::N(kGuid), {{kGuid + u"\\core.dll", RandomBytes(7000, 3)},
                                                {kGuid + u"\\sub\\readme.txt", TextBytes(3000, 4)}});
        Bytes carrier = BuildPackage(m_Setup);
        carrier.resize((carrier.size() + 3) & ~size_t{3});
        const Bytes second = BuildPackage(m_Component);
        carrier.insert(carrier.end(), second.begin(), second.end());
        WriteWindowsFile(kCarrier, carrier);
        ASSERT_TRUE(m_Data.MountExternalPackage(kCarrier, kScanModeReplace));
    }

    // The package file mounts alone as exactly the expected package.
    void ExpectPackageFile(const std::u16string& path, const PackageLayout& expected) {
        m_Data.m_OwnedVfs.reset();
        m_pVfs.reset();
        m_pManager->Cleanup();
        ASSERT_EQ(m_pManager->MountPackageFile(path.c_str()), 1) << jxtext::N(path);
        ASSERT_EQ(m_pManager->GetPackages().size(), 1u);
        EXPECT_EQ(jxtext::N(m_pManager->GetPackages()[0]->GetName()), expected.name);
        for (const auto& [file, content] : expected.files)
            EXPECT_EQ(ReadThroughStream(Vfs().ResolvePath(u"\\" + file), 0, 1000), content)
                << jxtext::N(file);
    }

    jxtest::CLogCapture m_Log;
    JxData m_Data;
    PackageLayout m_Setup;
    PackageLayout m_Component;
};

TEST_F(MaintenanceCopyTest, WritesOnePackageAsAFileThatMountsAgain) {
    MountProduct();
    m_Data.SetProperty(u"MaintRoot", u"C:\\ProgramData\\Tolvane\\Setups", 1);
    // The name is found ignoring case; the folder is expanded and made with its parents.
    EXPECT_TRUE(m_Data.ExtractWPK(jxtext::ToLower(kGuid), u"[MaintRoot]\\{PROD}"));

    const std::u16string target = kMaint + u"\\" + jxtext::ToLower(kGuid) + u".wpk";
    EXPECT_TRUE(m_Log.Has("LP_INFO", "successfully written")) << m_Log.Dump();
    EXPECT_FALSE(DiskHas(target + u".jxtmp"));
    EXPECT_FALSE(DiskHas(target + u".part.jxtmp"));
    EXPECT_TRUE(CPackageRepacker::GetPendingReplacements().empty());
    ExpectPackageFile(target, m_Component);
}

// A package that is a file of its own is copied as a file: the copy holds the bytes a repack of it
// writes (the file, padded to 4 bytes) as a plain file, whatever the file's length and attributes.
TEST_F(MaintenanceCopyTest, APackageFileOfItsOwnIsCopiedAsTheRepackWritesIt) {
    const PackageLayout config = Layout("$CONFIG", {{u"$CONFIG\\setup.reconfig", ToBytes("<reconfig/>")}});
    const Bytes package = BuildPackage(config);
    for (size_t extra : {size_t{0}, size_t{1}, size_t{2}, size_t{3}}) {
        SCOPED_TRACE(extra);
        // The package's own length varies with the padding its writer left off.
        Bytes file = package;
        file.resize(((package.size() + 3) & ~size_t{3}) - extra);
        if (file.size() < package.size())
            continue;
        const std::u16string source = u"C:\\pkgs\\config" + jxtext::W(std::to_string(extra)) + u".wpk";
        WriteWindowsFile(source, file);
        ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(m_Data.MountExternalPackage(source, kScanModeReplace));
        const std::u16string folder = u"C:\\copy" + jxtext::W(std::to_string(extra));
        EXPECT_TRUE(m_Data.ExtractWPK(u"$CONFIG", folder));

        const std::u16string target = folder + u"\\$CONFIG.wpk";
        Bytes padded = file;
        padded.resize((package.size() + 3) & ~size_t{3});
        EXPECT_EQ(ReadWindowsFile(target), padded);
        EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
        EXPECT_FALSE(DiskHas(target + u".part.jxtmp"));
        EXPECT_TRUE(m_Log.Has("LP_INFO", "successfully written")) << m_Log.Dump();
        m_pManager->RemovePackage(u"$CONFIG");
    }
}

TEST_F(MaintenanceCopyTest, WritesNothingWhereThePackageOrTheFolderFails) {
    struct {
        const char* what;
        std::u16string name;
        std::u16string folder;
        const char* level;
        const char* line;
        bool written; // nothing to write, or a write that failed
    } rows[] = {
        {"unknown package", u"$MISSING", kMaint, "WARNING", "Package $MISSING is not mounted.", true},
        {"empty name", u"", kMaint, "WARNING", "is not mounted.", true},
        {"folder below a file", u"$SETUP", u"C:\\blocker\\sub", "ERROR", "Failed to write file", false},
    };
    MountProduct();
    WriteWindowsFile(u"C:\\blocker", ToBytes("a file"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        m_Log.Clear();
        EXPECT_EQ(m_Data.ExtractWPK(row.name, row.folder), row.written);
        EXPECT_TRUE(m_Log.Has(row.level, row.line)) << m_Log.Dump();
        EXPECT_FALSE(DiskHas(row.folder + u"\\" + row.name + u".wpk"));
        EXPECT_FALSE(DiskHas(row.folder + u"\\" + row.name + u".wpk.jxtmp"));
    }
}

TEST_F(MaintenanceCopyTest, APackageFileMountedByThisRunIsNeverOverwritten) {
    const PackageLayout setup = Layout("$SETUP", {{u"$SETUP\\JxSetup.exe", ToBytes("engine")}});
    const Bytes bytes = BuildPackage(setup);
    WriteWindowsFile(kMaint + u"\\$SETUP.wpk", bytes);
    ASSERT_TRUE(m_Data.MountExternalPackage(kMaint + u"\\$SETUP.wpk", kScanModeReplace));

    m_Data.ExtractWPK(u"$SETUP", u"C:\\PROGRAMDATA\\Tolvane\\Setups\\{prod}");

    EXPECT_TRUE(m_Log.Has("LP_INFO", "already mounted. Do not extract.")) << m_Log.Dump();
    EXPECT_FALSE(DiskHas(kMaint + u"\\$SETUP.wpk.jxtmp"));
    EXPECT_EQ(ReadWindowsFile(kMaint + u"\\$SETUP.wpk"), bytes);
}

TEST_F(MaintenanceCopyTest, ATemporaryFileLeftByAnEarlierRunIsReplacedByTheFreshCopy) {
    MountProduct();
    const PackageLayout stale = Layout("$SETUP", {{u"$SETUP\\JxSetup.exe", ToBytes("old engine")}});
    WriteWindowsFile(kMaint + u"\\$SETUP.wpk.jxtmp", BuildPackage(stale));

    m_Data.ExtractWPK(u"$SETUP", kMaint);

    EXPECT_FALSE(DiskHas(kMaint + u"\\$SETUP.wpk.jxtmp"));
    EXPECT_FALSE(DiskHas(kMaint + u"\\$SETUP.wpk.jxtmp.tmp"));
    EXPECT_TRUE(CPackageRepacker::GetPendingReplacements().empty());
    ExpectPackageFile(kMaint + u"\\$SETUP.wpk", m_Setup);
}

TEST_F(MaintenanceCopyTest, ALockedTargetGetsTheCopyWhenTheWaitingFilesAreMoved) {
    MountProduct();
    const std::u16string target = kMaint + u"\\$SETUP.wpk";
    WriteWindowsFile(target, BuildPackage(Layout("$SETUP", {{u"$SETUP\\JxSetup.exe", ToBytes("old")}})));
    {
        HANDLE file =
            CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const FILETIME old = TimeOf(0x01D0000000000000ULL);
        SetFileTime(file, nullptr, nullptr, &old);
        // Held open without delete sharing while the copy is made: the move must fail.
        m_Data.ExtractWPK(u"$SETUP", kMaint);
        CloseHandle(file);
    }
    EXPECT_TRUE(m_Log.Has("WARNING", "Failed to move file")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Adding tmp wpk dir: " + jxtext::N(kMaint))) << m_Log.Dump();
    ASSERT_TRUE(DiskHas(target + u".jxtmp"));

    m_Data.MoveTempWks();
    EXPECT_FALSE(DiskHas(target + u".jxtmp"));
    ExpectPackageFile(target, m_Setup);
}

// A run that ends while it writes a package leaves only the partial file, which looks newer than
// the package: the next mount drops it and keeps the package whole.
TEST_F(MaintenanceCopyTest, APartialFileOfARunThatEndedNeverReplacesThePackage) {
    const std::u16string target = kMaint + u"\\$SETUP.wpk";
    const Bytes good = BuildPackage(Layout("$SETUP", {{u"$SETUP\\JxSetup.exe", RandomBytes(9000, 5)}}));
    WriteWindowsFile(target, good);
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME old = TimeOf(0x01D0000000000000ULL);
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);
    WriteWindowsFile(target + u".part.jxtmp", Bytes(good.begin(), good.begin() + good.size() / 2));

    m_Data.MovePreviouslyLockedWPKs(kMaint);

    EXPECT_FALSE(DiskHas(target + u".part.jxtmp"));
    EXPECT_EQ(ReadWindowsFile(target), good);
}

TEST_F(MaintenanceCopyTest, APackageThatCannotBeReadWholeLeavesTheTargetAlone) {
    MountProduct();
    const std::u16string target = kMaint + u"\\" + kGuid + u".wpk";
    const Bytes previous = ToBytes("the copy of an earlier run");
    WriteWindowsFile(target, previous);
    // The carrier loses its second package after it was mounted.
    std::filesystem::resize_file(jxplat::WindowsToHostPath(kCarrier), BuildPackage(m_Setup).size() + 64);

    EXPECT_FALSE(m_Data.ExtractWPK(kGuid, kMaint));

    EXPECT_TRUE(m_Log.Has("ERROR", "Failed to write file")) << m_Log.Dump();
    EXPECT_EQ(ReadWindowsFile(target), previous);
    EXPECT_FALSE(DiskHas(target + u".jxtmp"));
    EXPECT_FALSE(DiskHas(target + u".part.jxtmp"));
}

TEST_F(MaintenanceCopyTest, OnlyTheEnginesPackagesAndStorableComponentsAreExtractable) {
    struct {
        const char16_t* name;
        const char16_t* dontStore; // null: no component row of that id
        const char16_t* exclude;
        const char16_t* installIfExist;
        bool expected;
    } rows[] = {
        {u"$SETUP", nullptr, nullptr, nullptr, true},
        {u"$anything", nullptr, nullptr, nullptr, true},
        {u"{A}", u"", u"", u"", true},
        {u"{B}", u"TRUE", u"", u"true", false},
        {u"{C}", u"false", u"True", u"false", false},
        {u"{D}", u"", u"true", u"TRUE", true},
        {u"{E}", nullptr, nullptr, nullptr, false}, // no row: "Invalid"
        {u"data", nullptr, nullptr, nullptr, false},
        {u"", nullptr, nullptr, nullptr, false},
    };
    for (const auto& row : rows) {
        if (!row.dontStore)
            continue;
        JxComponent component;
        component.id = row.name;
        component.dontstoreindatawpk = row.dontStore;
        component.excludefromupdate = row.exclude;
        component.installifexist = row.installIfExist;
        m_Data.m_Components[component.id] = component;
    }
    for (const auto& row : rows)
        EXPECT_EQ(m_Data.IsComponentExtractable(row.name), row.expected) << jxtext::N(row.name);
}

TEST_F(MaintenanceCopyTest, RuntimeFilesAreCopiedAndTheReconfigurationOnlyInAnInstallation) {
    MountProduct();
    const PackageLayout config = Layout("$CONFIG", {{u"$CONFIG\\setup.reconfig", ToBytes("<reconfig/>")}});
    WriteWindowsFile(u"C:\\pkgs\\config.wpk", BuildPackage(config));
    ASSERT_TRUE(m_Data.MountExternalPackage(u"C:\\pkgs\\config.wpk", kScanModeReplace));

    m_Data.SetProperty(u"InstallMode", u"Maintenance", 1);
    EXPECT_TRUE(m_Data.ExtractRuntimeFiles(u"C:\\first"));
    EXPECT_EQ(ReadWindowsFile(u"C:\\first\\setup.exe"), m_Setup.files[u"$SETUP\\JxSetup.exe"]);
    EXPECT_EQ(ReadWindowsFile(u"C:\\first\\JxSetupRT.dll"), m_Setup.files[u"$SETUP\\JxSetupRT.dll"]);
    EXPECT_FALSE(DiskHas(u"C:\\first\\setup.reconfig"));

    m_Data.SetProperty(u"InstallMode", u"install", 1);
    EXPECT_TRUE(m_Data.ExtractRuntimeFiles(u"C:\\second"));
    EXPECT_EQ(ReadWindowsFile(u"C:\\second\\setup.reconfig"), ToBytes("<reconfig/>"));
    EXPECT_FALSE(m_Log.Has("WARNING", "Failed to copy")) << m_Log.Dump();

    EXPECT_FALSE(DiskHas(u"C:\\second\\setup.exe.part.jxtmp"));

    // A source that is missing is reported; a target that cannot be written fails the copy.
    m_pManager->RemovePackage(u"$CONFIG");
    WriteWindowsFile(u"C:\\third", ToBytes("a file"));
    EXPECT_FALSE(m_Data.ExtractRuntimeFiles(u"C:\\third"));
    EXPECT_TRUE(m_Log.Has("ERROR", "Failed to copy C:\\third\\setup.exe: (")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("WARNING", "Failed to copy C:\\third\\setup.reconfig")) << m_Log.Dump();
}

} // namespace
