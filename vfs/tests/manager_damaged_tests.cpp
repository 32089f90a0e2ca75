// Damaged carriers at mount: a file cut inside its last package, a package whose data ends before
// its tree says, and the lines that name the package and the check that failed.
#include "container_testutil.h"
#include "vfs_test_support.h"

using namespace vfstest;
using namespace pkgtest;

namespace {

const std::u16string kCarrier = u"C:\\pkgs\\damaged.wpk";

class DamagedCarrier : public PackageStoreTest {
protected:
    // Two packages back to back, the first padded to 4 bytes as the packer pads them; the offset of
    // the second is in m_secondAt.
    Bytes TwoPackages() {
        PackageLayout first;
        first.files[u"$SETUP\\a.txt"] = ToBytes("first package");
        PackageLayout second;
        second.name = "$CONFIG";
        second.files[u"$CONFIG\\c.bin"] = RandomBytes(3000, 7);
        Bytes bytes = BuildPackage(first);
        while (bytes.size() % 4)
            bytes.push_back(0);
        m_secondAt = bytes.size();
        const Bytes tail = BuildPackage(second);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    }

    int MountBytes(const Bytes& bytes) {
        WriteWindowsFile(kCarrier, bytes);
        return m_pManager->MountPackageFile(kCarrier.c_str());
    }

    bool Failed(const std::u16string& part) const {
        for (const std::u16string& line : m_pManager->GetMountFailures())
            if (line.starts_with(kCarrier + u": ") && line.find(part) != std::u16string::npos)
                return true;
        return false;
    }

    std::string Failures() const {
        std::string text;
        for (const std::u16string& line : m_pManager->GetMountFailures())
            text += jxtext::N(line) + "\n";
        return text;
    }

    size_t m_secondAt = 0;
};

TEST_F(DamagedCarrier, AFileCutInsideItsLastPackageIsRefused) {
    const Bytes whole = TwoPackages();
    ASSERT_EQ(MountBytes(whole), 1);
    EXPECT_TRUE(m_pManager->GetMountFailures().empty());

    struct Row {
        const char* name;
        size_t kept; // bytes of the second package that are left
        const char16_t* check;
    };
    const Row rows[] = {
        {"InsideTheWord", 2, u"no complete package header at offset"},
        {"InsideTheHeader", 30, u"no complete package header at offset"},
        // The first package does not end on a 4-byte boundary: from its end there is room for a
        // header, found after the padding, whose meta data is missing.
        {"TheHeaderOnly", jxpkg::kHeaderSize, u"package $CONFIG: the packages cannot be read past offset"},
        {"InsideTheMeta", jxpkg::kHeaderSize + 4, u"cannot be read past offset"},
        {"InsideTheData", whole.size() - m_secondAt - 100, u"package $CONFIG: the data area"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PackageStoreTest::TearDown();
        PackageStoreTest::SetUp();
        EXPECT_EQ(MountBytes(Bytes(whole.begin(), whole.begin() + m_secondAt + row.kept)), 0);
        EXPECT_TRUE(Failed(row.check)) << Failures();
    }

    // The packer's zero padding after the last package is no package.
    for (size_t zeros = 1; zeros <= 3; ++zeros) {
        PackageStoreTest::TearDown();
        PackageStoreTest::SetUp();
        Bytes padded(whole.begin(), whole.begin() + m_secondAt);
        padded.resize(padded.size() + zeros, 0);
        EXPECT_EQ(MountBytes(padded), 1) << zeros << " zeros\n" << Failures();
    }
}

TEST_F(DamagedCarrier, APackageWhoseDataEndsBeforeItsTreeSaysIsRefused) {
    PackageLayout layout;
    layout.files[u"$SETUP\\early.txt"] = ToBytes("early");
    layout.files[u"$SETUP\\late.bin"] = RandomBytes(200000, 3);
    Bytes bytes = BuildPackage(layout);
    // The header's data size ends the data area after 3 bytes, and the file ends there too: the
    // walk finds nothing wrong, but the tree places file data beyond it.
    const size_t dataStart = jxpkg::kHeaderSize + jxpkg::PaddedMetaSize(jxpkg::LoadU32(&bytes[28]));
    Put64(bytes, jxpkg::kHdrDataSize, 3);
    bytes.resize(dataStart + 3);

    EXPECT_EQ(MountBytes(bytes), 0);
    EXPECT_TRUE(Failed(u"package $SETUP: the data of ")) << Failures();
    EXPECT_TRUE(Failed(u" lies beyond the package's data of 3 bytes")) << Failures();
    EXPECT_EQ(Vfs().ResolvePath(u"\\$SETUP\\late.bin"), nullptr) << "none of its files is mounted";
    EXPECT_EQ(Vfs().ResolvePath(u"\\$SETUP\\early.txt"), nullptr);

    // The package check of the tools finds it too, also without its data CRC and file test.
    for (const DWORD options : {0u, kSelfcheckDataCrc | kSelfcheckFileTest}) {
        const ScanResult scan = Scan(bytes, 0, options);
        EXPECT_FALSE(scan.walkOk && scan.finalOk) << options;
        bool found = false;
        for (const ERROR_ENTRY& error : scan.errors)
            found =
                found || (error.code == jxpkg::kErrDataBounds && error.detail == jxpkg::kDetailFileBounds);
        EXPECT_TRUE(found) << options;
    }
}

TEST_F(DamagedCarrier, EveryFailureNamesThePackageAndTheCheck) {
    PackageLayout layout;
    layout.files[u"$SETUP\\a.txt"] = ToBytes("a");
    const Bytes sound = BuildPackage(layout);
    struct Row {
        const char* name;
        size_t at;
        BYTE flip;
        const char16_t* line;
    };
    const Row rows[] = {
        {"Magic", 22, 0xFF, u": no complete package header at offset 0"},
        {"Version", jxpkg::kHdrVersion, 0x03,
         u": package $SETUP: the package format version 2 is not supported"},
        {"MetaTree", jxpkg::kHeaderSize + 2, 0xFF,
         u": package $SETUP: the CRC-32 of the meta tree does not match"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PackageStoreTest::TearDown();
        PackageStoreTest::SetUp();
        Bytes bytes = sound;
        bytes[row.at] ^= row.flip;
        EXPECT_EQ(MountBytes(bytes), 0);
        EXPECT_TRUE(Failed(row.line)) << Failures();
    }
    PackageStoreTest::TearDown();
    PackageStoreTest::SetUp();
    EXPECT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\missing.wpk"), 0);
    ASSERT_EQ(m_pManager->GetMountFailures().size(), 1u);
    EXPECT_EQ(m_pManager->GetMountFailures()[0],
              u"C:\\pkgs\\missing.wpk: the file cannot be opened (error 2)");
}

} // namespace
