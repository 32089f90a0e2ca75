#include <zlib.h>

#include "jxbase/reg.h"
#include "vfs_test_support.h"

using namespace vfstest;

namespace {

class ManagerTest : public PackageStoreTest {
protected:
    std::shared_ptr<InternalPackageObjBase> Merged(const std::u16string& path) {
        InternalPackageObjBase* entry = Vfs().ResolvePath(path);
        return entry ? entry->shared_from_this() : nullptr;
    }

    std::vector<std::u16string> PackageNames() {
        std::vector<std::u16string> names;
        for (const auto& package : m_pManager->GetPackages())
            names.push_back(package->GetName());
        return names;
    }
};

PackageLayout TwoPackagesLayout(const std::string& name, ULONGLONG time, const char* extra) {
    PackageLayout layout;
    layout.name = name;
    layout.time = time;
    layout.files[u"$SETUP\\shared.txt"] = ToBytes(name);
    layout.files[jxtext::W(std::string("$SETUP\\") + extra)] = ToBytes(extra);
    return layout;
}

} // namespace

TEST_F(ManagerTest, TheScanModeDecidesWhatARepeatedCarrierAdds) {
    PackageLayout layout;
    layout.files[u"$SETUP\\a.txt"] = ToBytes("a");
    layout.files[u"$CONFIG\\c.txt"] = ToBytes("c");
    ASSERT_EQ(Mount(u"one.wpk", layout), 1);
    const auto first = Merged(u"\\$SETUP\\a.txt");
    ASSERT_NE(first, nullptr);

    // Mode 1 skips a package whose name is mounted.
    ASSERT_EQ(m_pManager->MountPackageFileInMode(u"C:\\pkgs\\one.wpk", kScanModeKeep), 1);
    EXPECT_EQ(m_pManager->GetPackages().size(), 1u);
    // Mode 0 mounts it again; a file of the same time is not replaced.
    ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\one.wpk"), 1);
    EXPECT_EQ(m_pManager->GetPackages().size(), 2u);
    EXPECT_EQ(Merged(u"\\$SETUP\\a.txt"), first);
    // Mode 2 replaces its namesake and its files.
    ASSERT_EQ(m_pManager->MountPackageFileInMode(u"C:\\pkgs\\one.wpk", kScanModeReplace), 1);
    EXPECT_EQ(m_pManager->GetPackages().size(), 2u);
    EXPECT_NE(Merged(u"\\$SETUP\\a.txt"), first);
    EXPECT_EQ(m_pManager->GetScanMode(), kScanModeNewer); // restored after the call

    // Mode 0: a newer file replaces, an older one does not.
    layout.files[u"$SETUP\\a.txt"] = ToBytes("newer");
    layout.time += 1;
    ASSERT_EQ(Mount(u"newer.wpk", layout), 1);
    layout.files[u"$SETUP\\a.txt"] = ToBytes("older");
    layout.time -= 2;
    ASSERT_EQ(Mount(u"older.wpk", layout), 1);
    EXPECT_EQ(ReadThroughStream(Merged(u"\\$SETUP\\a.txt").get(), 0, 100), ToBytes("newer"));

    std::vector<std::u16string> carriers;
    m_pManager->GetPackageFileNames(carriers);
    const std::u16string one = u"C:\\pkgs\\one.wpk";
    EXPECT_EQ(carriers, (std::vector<std::u16string>{one, one, one, one, u"C:\\pkgs\\newer.wpk",
                                                     u"C:\\pkgs\\older.wpk"}));
}

TEST_F(ManagerTest, PackagesShareTopDirectoriesInMountOrderAndLeaveThemOneByOne) {
    ASSERT_EQ(Mount(u"1.wpk", TwoPackagesLayout("first", 100, "a.txt")), 1);
    ASSERT_EQ(Mount(u"2.wpk", TwoPackagesLayout("second", 200, "b.txt")), 1);
    EXPECT_EQ(PackageNames(), (std::vector<std::u16string>{u"first", u"second"}));
    std::vector<InternalPackageObjBase*> packages;
    Vfs().GetEntries(packages, 0, nullptr);
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[0]->GetName(), u"first");
    EXPECT_EQ(ReadThroughStream(Merged(u"\\$SETUP\\shared.txt").get(), 0, 100), ToBytes("second"));
    // Each package keeps its own tree.
    EXPECT_EQ(ReadThroughStream(Merged(u"\\..\\first\\$SETUP\\shared.txt").get(), 0, 100), ToBytes("first"));

    // "first" brought the merged "$SETUP"; it stays for "second" and now belongs to it.
    m_pManager->RemovePackage(u"FIRST");
    EXPECT_EQ(PackageNames(), (std::vector<std::u16string>{u"second"}));
    EXPECT_EQ(Merged(u"\\$SETUP\\a.txt"), nullptr);
    EXPECT_NE(Merged(u"\\$SETUP\\b.txt"), nullptr);
    EXPECT_NE(Merged(u"\\$SETUP\\shared.txt"), nullptr);
    const auto top = Merged(u"\\$SETUP");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetOwningPackage()->GetName(), u"second");
    EXPECT_EQ(top->GetFullPath(true), u"\\..\\second\\$SETUP");

    m_pManager->RemovePackage(u"second");
    EXPECT_EQ(Merged(u"\\$SETUP"), nullptr);
    EXPECT_TRUE(m_pManager->GetRoot()->GetChildren().empty());
    m_pManager->RemovePackage(u"none"); // nothing happens
}

TEST_F(ManagerTest, RemovalLeavesOpenStreamsAndTheCurrentFolderSafe) {
    PackageLayout layout;
    const Bytes content = RandomBytes(3 * 65536 + 5, 40);
    layout.files[u"$SETUP\\sub\\deep\\f.bin"] = content;
    layout.files[u"$SETUP\\sub\\g.txt"] = ToBytes("g");
    ASSERT_EQ(Mount(u"a.wpk", layout), 1);
    VirtualFS& vfs = Vfs();
    vfs.SetCurrentDirectory(u"\\$SETUP\\sub\\deep");
    ASSERT_EQ(vfs.GetCurrentDirectory(), u"\\$SETUP\\sub\\deep");
    InternalPackageObjBase* found = nullptr;
    HANDLE search = vfs.FindFirstFile(u"\\$SETUP\\sub\\*", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    IPackedFileStream* stream = vfs.OpenStreamByPath(u"f.bin", 0);
    IPackedFileStream* cached = vfs.OpenStreamByPath(u"f.bin", kStreamBlockCached);
    ASSERT_TRUE(stream && cached);
    Bytes head(1000);
    ULONG got = 0;
    ASSERT_EQ(stream->Read(head.data(), 1000, &got), S_OK);

    m_pManager->RemovePackage(u"$SETUP");
    EXPECT_TRUE(m_pManager->GetRoot()->GetChildren().empty());

    // The streams hold their file and its carrier.
    Bytes rest(content.size());
    ASSERT_EQ(stream->Read(rest.data(), static_cast<ULONG>(rest.size()), &got), S_OK);
    EXPECT_EQ(got, content.size() - 1000);
    EXPECT_TRUE(std::equal(rest.begin(), rest.begin() + got, content.begin() + 1000));
    ASSERT_EQ(cached->Read(rest.data(), static_cast<ULONG>(rest.size()), &got), S_OK);
    EXPECT_EQ(Bytes(rest.begin(), rest.begin() + got), content);
    stream->Release();
    cached->Release();

    // The current folder is a path: it no longer resolves, and nothing points into freed entries.
    EXPECT_EQ(vfs.GetCurrentDirectory(), u"\\$SETUP\\sub\\deep");
    EXPECT_EQ(vfs.ResolvePath(u"f.bin"), nullptr);
    EXPECT_EQ(vfs.GetLastError(), -1);
    EXPECT_EQ(vfs.GetEntryCount(), 0);
    EXPECT_FALSE(vfs.FindNextFile(search, &found)); // its directory is held by the search
    EXPECT_TRUE(vfs.FindClose(search));
    EXPECT_EQ(vfs.Refresh(), 0);
    EXPECT_EQ(vfs.GetCurrentDirectory(), u"\\");
}

TEST_F(ManagerTest, ABadCarrierDoesNotStopTheNextOne) {
    PackageLayout good;
    good.files[u"$SETUP\\ok.txt"] = ToBytes("ok");
    const Bytes sound = BuildPackage(good);
    struct {
        const char* name;
        Bytes bytes;
    } rows[] = {
        {"empty", {}},
        {"wrong magic", sound},
        {"meta damaged", sound},
        {"truncated", Bytes(sound.begin(), sound.begin() + 70)},
    };
    rows[1].bytes[22] ^= 0xFF;
    rows[2].bytes[jxpkg::kHeaderSize + 2] ^= 0xFF;
    for (const auto& row : rows) {
        PackageStoreTest::TearDown();
        PackageStoreTest::SetUp();
        WriteWindowsFile(u"C:\\pkgs\\bad.wpk", row.bytes);
        EXPECT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\bad.wpk"), 0) << row.name;
        WriteWindowsFile(u"C:\\pkgs\\good.wpk", sound);
        EXPECT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\good.wpk"), 1) << row.name;
        EXPECT_EQ(ReadThroughStream(Vfs().ResolvePath(u"\\$SETUP\\ok.txt"), 0, 10), ToBytes("ok"))
            << row.name;
    }
    EXPECT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\missing.wpk"), 0);
    const std::vector<ERROR_ENTRY> errors = m_pManager->GetSelfcheck().GetErrors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().code, 0x80000003u);
    EXPECT_EQ(errors.back().detail, 128u);
}

TEST_F(ManagerTest, PackagesReadBeforeAFailureStayReadable) {
    PackageLayout layout;
    const Bytes content = RandomBytes(100000, 41);
    layout.files[u"$SETUP\\f.bin"] = content;
    Bytes carrier = BuildPackage(layout);
    const Bytes junk = RandomBytes(500, 42);
    carrier.insert(carrier.end(), junk.begin(), junk.end());
    WriteWindowsFile(u"C:\\pkgs\\tail.wpk", carrier);
    EXPECT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\tail.wpk"), 0);
    ASSERT_EQ(m_pManager->GetPackages().size(), 1u);
    // The package keeps its carrier open after the failed mount.
    EXPECT_EQ(ReadThroughStream(Vfs().ResolvePath(u"\\$SETUP\\f.bin"), 0, 4096), content);
    std::vector<std::u16string> carriers;
    m_pManager->GetPackageFileNames(carriers);
    EXPECT_EQ(carriers, std::vector<std::u16string>{u"C:\\pkgs\\tail.wpk"});
}

TEST_F(ManagerTest, AnEmptyPackageStaysWithoutEntries) {
    PackageLayout layout;
    layout.name = "$EMPTY";
    ASSERT_EQ(Mount(u"empty.wpk", layout), 1);
    ASSERT_EQ(m_pManager->GetPackages().size(), 1u);
    EXPECT_TRUE(m_pManager->GetPackages()[0]->GetChildren().empty());
    EXPECT_TRUE(m_pManager->GetRoot()->GetChildren().empty());
}

TEST_F(ManagerTest, MountExecutableTakesTheProgramFromTheCommandLine) {
    PackageLayout layout;
    layout.files[u"$SETUP\\in.txt"] = ToBytes("in");
    WriteWindowsFile(u"C:\\prog dir\\setup.exe", BuildPackage(layout));
    EXPECT_EQ(m_pManager->MountExecutable(u"\"C:\\prog dir\\setup.exe /x", 0, 0, nullptr),
              0); // no closing quote
    EXPECT_TRUE(m_pManager->GetPackages().empty());
    EXPECT_EQ(m_pManager->MountExecutable(u"\"C:\\prog dir\\setup.exe\" /_noUAC=true", 0, 0, nullptr), 1);
    EXPECT_NE(Vfs().ResolvePath(u"\\$SETUP\\in.txt"), nullptr);
}

TEST_F(ManagerTest, TheCheckMarkerIsNamedByThePathsCrc) {
    ASSERT_EQ(Mount(u"m.wpk", PackageLayout{}), 1);
    EXPECT_TRUE(m_pManager->IsPackageFileChanged()); // no marker
    const std::string path = "C:\\pkgs\\m.wpk";
    const std::u16string name = jxtext::Format(
        u"%X", static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef*>(path.data()), path.size())));
    const std::u16string key = GetProductRegistryPath(u"JxSetupEngine");
    for (const std::u16string& value : {name, name + u"Rs"})
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), value.c_str(), u"x", CRegStringType::Sz,
                                  0);
    ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\m.wpk"), 1);
    EXPECT_TRUE(m_pManager->IsPackageFileChanged()); // the marker differs from the file's times
    m_pManager->DeleteCheckMarker();
    for (const std::u16string& value : {name, name + u"Rs"})
        EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), value.c_str(), 0))
            << jxtext::N(value);
}
