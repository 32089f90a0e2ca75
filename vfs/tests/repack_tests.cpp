// Repacking mounted packages into a package file: the result mounts and reads back identically,
// replacements of existing targets wait until the end and all take effect, failed writes are tried
// again.
#include <tuple>

#include "jxvfs/repack/CPackageRepacker.h"
#include "vfs_test_support.h"

using namespace vfstest;

namespace {

struct CRecorder : RepackCallbackDelegate {
    std::vector<std::tuple<DWORD, DWORD, DWORD, DWORD_PTR>> calls;
    int OnRepackProgress(DWORD phase, DWORD first, DWORD second, DWORD_PTR third) override {
        calls.emplace_back(phase, first, second, third);
        return 1;
    }
    std::vector<std::tuple<DWORD, DWORD, DWORD, DWORD_PTR>> Phase(DWORD phase) const {
        std::vector<std::tuple<DWORD, DWORD, DWORD, DWORD_PTR>> out;
        for (const auto& call : calls)
            if (std::get<0>(call) == phase)
                out.push_back(call);
        return out;
    }
};

// Makes the first `failures` writes fail (all of them with failures < 0).
class CFailingRepacker : public CPackageRepacker {
public:
    CFailingRepacker(PackageMgr& manager, int failures) : CPackageRepacker(manager), m_failures(failures) {}
    int m_writes = 0;

protected:
    BOOL _repack_Write(HANDLE target, const BYTE* data, DWORD length, DWORD* written) override {
        ++m_writes;
        if (m_failures < 0 || m_failed < m_failures) {
            ++m_failed;
            *written = length / 2; // a short write
            return TRUE;
        }
        return CPackageRepacker::_repack_Write(target, data, length, written);
    }

private:
    int m_failures;
    int m_failed = 0;
};

class RepackTest : public PackageStoreTest {
protected:
    void SetUp() override {
        PackageStoreTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"C:\\out", nullptr));
    }
    void TearDown() override {
        CPackageRepacker::FinishRepack();
        PackageStoreTest::TearDown();
    }

    // Every file of the expected packages, read through a fresh mount of the carrier.
    void ExpectMountsAs(const std::u16string& carrier, const std::vector<PackageLayout>& expected) {
        m_pVfs.reset();
        m_pManager->Cleanup();
        ASSERT_EQ(m_pManager->MountPackageFile(carrier.c_str()), 1);
        ASSERT_EQ(m_pManager->GetPackages().size(), expected.size());
        for (const PackageLayout& package : expected)
            for (const auto& [path, content] : package.files)
                EXPECT_EQ(ReadThroughStream(Vfs().ResolvePath(u"\\" + path), 0, 1000), content)
                    << jxtext::N(path);
    }

    static PackageLayout Contents(const std::string& name, size_t size, unsigned seed) {
        PackageLayout package;
        package.name = name;
        package.blockSize = 4096;
        package.files[jxtext::W(name + "\\big.bin")] = RandomBytes(size, seed);
        package.files[jxtext::W(name + "\\sub\\text.txt")] = TextBytes(size / 3 + 1, seed + 1);
        package.files[jxtext::W(name + "\\empty.txt")] = {};
        return package;
    }
};

TEST_F(RepackTest, RepackedPackagesMountAndReadBackIdentically) {
    // $SETUP and $CONFIG share one carrier (the first padded to 4 bytes, as appended packages are);
    // $UNINSTALL is the last package of a carrier that ends unpadded.
    PackageLayout setup = Contents("$SETUP", 20000, 1);
    PackageLayout config = Contents("$CONFIG", 9000, 2);
    PackageLayout uninstall;
    Bytes uninstallBytes;
    for (unsigned seed = 3; seed < 40 && uninstallBytes.size() % 4 == 0; ++seed) {
        uninstall = Contents("$UNINSTALL", 5000 + seed, seed);
        uninstallBytes = BuildPackage(uninstall);
    }
    ASSERT_NE(uninstallBytes.size() % 4, 0u);
    Bytes both = BuildPackage(setup);
    both.resize((both.size() + 3) & ~size_t{3});
    const Bytes configBytes = BuildPackage(config);
    both.insert(both.end(), configBytes.begin(), configBytes.end());
    WriteWindowsFile(u"C:\\pkgs\\both.wpk", both);
    WriteWindowsFile(u"C:\\pkgs\\uninstall.wpk", uninstallBytes);
    ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\both.wpk"), 1);
    ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\uninstall.wpk"), 1);

    std::vector<ULONGLONG> lengths;
    std::vector<DWORD> dataCrcs;
    for (const auto& package : m_pManager->GetPackages()) {
        lengths.push_back(CPackageRepacker::GetRepackLength(package.get()));
        dataCrcs.push_back(package->GetDataCrc());
    }
    const ULONGLONG total = lengths[0] + lengths[1] + lengths[2];

    CRecorder recorder;
    CPackageRepacker repacker(*m_pManager);
    // By name and by object; a name that is not mounted is skipped.
    const std::vector<REPACK_ENTRY> list = {u"$setup", u"$MISSING", m_pManager->GetPackages()[1],
                                            u"$UNINSTALL"};
    ASSERT_EQ(repacker.Repack(list, u"C:\\out\\all.wpk", 0, &recorder), 1);
    EXPECT_TRUE(CPackageRepacker::GetPendingReplacements().empty());

    ASSERT_EQ(recorder.Phase(0).size(), 1u);
    EXPECT_EQ(recorder.Phase(0)[0], std::make_tuple(0u, 0u, static_cast<DWORD>(total), DWORD_PTR{3}));
    ASSERT_EQ(recorder.Phase(1).size(), 3u);
    const auto ends = recorder.Phase(3);
    ASSERT_EQ(ends.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(ends[i], std::make_tuple(3u, 1u, 0u, static_cast<DWORD_PTR>(lengths[i]))) << i;
    const auto chunks = recorder.Phase(2);
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(std::get<1>(chunks.back()), total);
    EXPECT_EQ(recorder.calls.back(),
              std::make_tuple(4u, static_cast<DWORD>(total), static_cast<DWORD>(total), DWORD_PTR{3}));

    const Bytes out = ReadWindowsFile(u"C:\\out\\all.wpk");
    ASSERT_EQ(out.size(), total);
    // The unpadded carrier's package ends in zero padding.
    EXPECT_EQ(Bytes(out.end() - (lengths[2] - uninstallBytes.size()), out.end()),
              Bytes(lengths[2] - uninstallBytes.size(), 0));

    ExpectMountsAs(u"C:\\out\\all.wpk", {setup, config, uninstall});
    const auto& packages = m_pManager->GetPackages();
    EXPECT_EQ(packages[0]->GetPackageStart(), 0u);
    EXPECT_EQ(packages[1]->GetPackageStart(), lengths[0]);
    EXPECT_EQ(packages[2]->GetPackageStart(), lengths[0] + lengths[1]);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(packages[i]->GetDataCrc(), dataCrcs[i]) << i;
}

TEST_F(RepackTest, AppendingAddsPackagesAfterThoseOfTheTarget) {
    const PackageLayout setup = Contents("$SETUP", 7001, 5);
    const PackageLayout config = Contents("$CONFIG", 3001, 6);
    ASSERT_EQ(Mount(u"setup.wpk", setup), 1);
    ASSERT_EQ(Mount(u"config.wpk", config), 1);
    CPackageRepacker repacker(*m_pManager);
    ASSERT_EQ(repacker.Repack({u"$SETUP"}, u"C:\\out\\two.wpk", 0, nullptr), 1);
    ASSERT_EQ(repacker.Repack({u"$CONFIG"}, u"C:\\out\\two.wpk", kRepackAppend, nullptr), 1);
    EXPECT_TRUE(CPackageRepacker::GetPendingReplacements().empty());
    ExpectMountsAs(u"C:\\out\\two.wpk", {setup, config});
}

TEST_F(RepackTest, ExistingTargetsAreAllReplacedInOrderAtTheEnd) {
    const PackageLayout setup = Contents("$SETUP", 6000, 7);
    const PackageLayout config = Contents("$CONFIG", 2500, 8);
    ASSERT_EQ(Mount(u"setup.wpk", setup), 1);
    ASSERT_EQ(Mount(u"config.wpk", config), 1);
    const Bytes old = ToBytes("old content");
    for (const char16_t* path : {u"C:\\out\\a.wpk", u"C:\\out\\b.wpk", u"C:\\out\\c.wpk"})
        WriteWindowsFile(path, old);

    CPackageRepacker repacker(*m_pManager);
    ASSERT_EQ(repacker.Repack({u"$SETUP"}, u"C:\\out\\a.wpk", 0, nullptr), 1);
    ASSERT_EQ(repacker.Repack({u"$CONFIG"}, u"C:\\out\\b.wpk", 0, nullptr), 1);
    // A second repack into the same target rewrites its one pending copy.
    ASSERT_EQ(repacker.Repack({u"$SETUP", u"$CONFIG"}, u"C:\\out\\a.wpk", 0, nullptr), 1);
    ASSERT_EQ(repacker.Repack({u"$CONFIG"}, u"C:\\out\\c.wpk", 0, nullptr), 1);
    EXPECT_EQ(
        CPackageRepacker::GetPendingReplacements(),
        (std::vector<std::u16string>{u"C:\\out\\a.wpk.tmp", u"C:\\out\\b.wpk.tmp", u"C:\\out\\c.wpk.tmp"}));
    for (const char16_t* path : {u"C:\\out\\a.wpk", u"C:\\out\\b.wpk", u"C:\\out\\c.wpk"})
        EXPECT_EQ(ReadWindowsFile(path), old) << jxtext::N(path);

    // A target moved away meanwhile is replaced all the same.
    ASSERT_TRUE(DeleteFileW(u"C:\\out\\c.wpk"));
    CPackageRepacker::FinishRepack();
    EXPECT_TRUE(CPackageRepacker::GetPendingReplacements().empty());
    for (const char16_t* path : {u"C:\\out\\a.wpk.tmp", u"C:\\out\\b.wpk.tmp", u"C:\\out\\c.wpk.tmp"})
        EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << jxtext::N(path);
    ExpectMountsAs(u"C:\\out\\a.wpk", {setup, config});
    ExpectMountsAs(u"C:\\out\\b.wpk", {config});
    ExpectMountsAs(u"C:\\out\\c.wpk", {config});
}

TEST_F(RepackTest, NewTargetDropsAStalePendingReplacement) {
    const PackageLayout setup = Contents("$SETUP", 3000, 9);
    ASSERT_EQ(Mount(u"setup.wpk", setup), 1);
    WriteWindowsFile(u"C:\\out\\a.wpk", ToBytes("old"));
    CPackageRepacker repacker(*m_pManager);
    ASSERT_EQ(repacker.Repack({u"$SETUP"}, u"C:\\out\\a.wpk", 0, nullptr), 1);
    ASSERT_TRUE(DeleteFileW(u"C:\\out\\a.wpk"));
    ASSERT_EQ(repacker.Repack({u"$SETUP"}, u"C:\\out\\a.wpk", 0, nullptr), 1);
    EXPECT_TRUE(CPackageRepacker::GetPendingReplacements().empty());
    ExpectMountsAs(u"C:\\out\\a.wpk", {setup});
}

TEST_F(RepackTest, FailedWritesAreTriedAgainUpToFourTimes) {
    const PackageLayout setup = Contents("$SETUP", 10000, 10);
    ASSERT_EQ(Mount(u"setup.wpk", setup), 1);
    const ULONGLONG length = CPackageRepacker::GetRepackLength(m_pManager->GetPackages()[0].get());

    // Writes that always fail: the package fails after four tries, the call still succeeds.
    CFailingRepacker fails(*m_pManager, -1);
    CRecorder failed;
    ASSERT_EQ(fails.Repack({u"$SETUP"}, u"C:\\out\\fail.wpk", 0, &failed), 1);
    EXPECT_EQ(fails.m_writes, 4);
    EXPECT_EQ(failed.Phase(3)[0], std::make_tuple(3u, 0u, 0u, DWORD_PTR{0}));
    EXPECT_EQ(failed.calls.back(), std::make_tuple(4u, 0u, static_cast<DWORD>(length), DWORD_PTR{65536}));

    // Three failed tries of the first chunk, then success: the package is copied whole.
    CFailingRepacker recovers(*m_pManager, 3);
    CRecorder recorder;
    ASSERT_EQ(recovers.Repack({u"$SETUP"}, u"C:\\out\\retry.wpk", 0, &recorder), 1);
    EXPECT_EQ(recorder.calls.back(),
              std::make_tuple(4u, static_cast<DWORD>(length), static_cast<DWORD>(length), DWORD_PTR{1}));
    ExpectMountsAs(u"C:\\out\\retry.wpk", {setup});
}

TEST_F(RepackTest, ATargetThatCannotBeOpenedGivesZero) {
    ASSERT_EQ(Mount(u"setup.wpk", Contents("$SETUP", 100, 11)), 1);
    CPackageRepacker repacker(*m_pManager);
    CRecorder recorder;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\out\\folder", nullptr));
    EXPECT_EQ(repacker.Repack({u"$SETUP"}, u"C:\\out\\folder", 0, &recorder), 0);
    EXPECT_TRUE(recorder.calls.empty());
}

} // namespace
