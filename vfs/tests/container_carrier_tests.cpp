// Carriers: packages back to back with and without padding, a PE program (with and without its
// certificate table, and with headers that must not be trusted), an ELF program with appended
// packages, and carriers judged one by one.
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "container_testutil.h"
#include "jxpack.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxvfs/container/CarrierImage.h"
#include "jxvfs/container/CPackageWriter.h"

using namespace pkgtest;

namespace {

// A package named `name` with one file "<name>\f.txt" of fileSize bytes (4 KiB blocks).
Bytes SmallPackage(const std::string& name, size_t fileSize) {
    PACKAGE_WRITER_OPTIONS options;
    options.name = name;
    options.blockSize = 4096;
    CPackageWriter writer(options);
    PACKAGE_FILE_INPUT file;
    for (size_t i = 0; i < fileSize; ++i)
        file.content.push_back(static_cast<BYTE>(i * 13 + name.size()));
    writer.AddFile(jxtext::W(name) + u"\\f.txt", file);
    std::vector<BYTE> bytes;
    writer.Build(bytes);
    return bytes;
}

// A package whose length is 4k + 1.
Bytes OddPackage(const std::string& name) {
    for (size_t size = 1;; ++size) {
        Bytes b = SmallPackage(name, size);
        if (b.size() % 4 == 1)
            return b;
    }
}

std::vector<std::u16string> Names(const ScanResult& r) {
    std::vector<std::u16string> names;
    for (const auto& p : r.packages)
        names.push_back(p.name);
    return names;
}

TEST(ContainerCarrier, PackagesBackToBackWithAndWithoutPadding) {
    const Bytes a = OddPackage("$SETUP");
    const Bytes b = SmallPackage("$CONFIG", 100);
    struct {
        const char* what;
        size_t gap; // zero bytes between the packages
        bool bothFound;
    } cases[] = {{"unpadded", 0, true},
                 {"padded to the next 4-byte boundary", 3, true},
                 {"misaligned by one more boundary", 7, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes carrier = a;
        carrier.insert(carrier.end(), c.gap, 0);
        carrier.insert(carrier.end(), b.begin(), b.end());
        const ScanResult r = Scan(carrier);
        if (c.bothFound) {
            EXPECT_TRUE(r.errors.empty());
            EXPECT_TRUE(r.finalOk);
            EXPECT_EQ(Names(r), (std::vector<std::u16string>{u"$SETUP", u"$CONFIG"}));
        } else {
            ASSERT_EQ(r.errors.size(), 2u);
            EXPECT_EQ(r.errors[0].code, 0x80000007u);
            EXPECT_EQ(r.errors[0].valueLow, a.size());
            EXPECT_EQ(r.errors[1].code, 0x90000007u);
            EXPECT_EQ(r.errors[1].detail, 0u);
            EXPECT_EQ(Names(r), std::vector<std::u16string>{u"$SETUP"});
        }
    }
    // Fewer than 61 bytes after the last package: zeros are padding, anything else is a package
    // cut inside its header.
    for (const BYTE fill : {0x00, 0xAB}) {
        Bytes tail = a;
        tail.insert(tail.end(), 60, fill);
        const ScanResult r = Scan(tail);
        EXPECT_EQ(r.packages.size(), 1u);
        if (fill == 0) {
            EXPECT_TRUE(r.errors.empty());
            continue;
        }
        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors[0].code, 0x80000007u);
        EXPECT_EQ(r.errors[0].valueLow, a.size());
        EXPECT_EQ(r.errors[0].package, u"") << "the error is not the last package's";
        EXPECT_FALSE(r.finalOk);
    }
}

// A small PE file: DOS header, PE signature, file header, optional header (PE32 or PE32+) with 16
// data directories, two sections, raw data, then the packages and an optional certificate table.
struct PeFixture {
    bool pe32Plus = false;
    WORD magic = 0; // 0: the right one
    bool certificate = false;
    uint32_t certOffset = 0; // 0: where the table really is
    uint32_t certSize = 0;   // 0: the table's real size
    size_t truncateTo = 0;   // cut the file (0: no)

    Bytes Build(const Bytes& packages, size_t* imageEnd, size_t* certAt) const {
        Bytes f(0x80, 0);
        f[0] = 'M';
        f[1] = 'Z';
        Put32(f, 60, 0x80);
        const uint16_t optionalSize = pe32Plus ? 240 : 224;
        Put32(f, 0x80, 0x00004550);
        Put16(f, 0x84, 0x14C);
        Put16(f, 0x86, 2); // sections
        Put16(f, 0x80 + 4 + 16, optionalSize);
        const size_t opt = 0x80 + 24;
        f.resize(opt + optionalSize, 0);
        Put16(f, opt, magic ? magic : (pe32Plus ? 0x20B : 0x10B));
        const size_t dirs = opt + (pe32Plus ? 112 : 96);
        Put32(f, dirs - 4, 16); // NumberOfRvaAndSizes
        const size_t table = opt + optionalSize;
        f.resize(table + 2 * 40, 0);
        // Sections: raw data at 0x200 (0x300 bytes) and 0x600 (0x101 bytes): the image ends at 0x701.
        Put32(f, table + 16, 0x300);
        Put32(f, table + 20, 0x200);
        Put32(f, table + 40 + 16, 0x101);
        Put32(f, table + 40 + 20, 0x600);
        f.resize(0x701, 0x5A);
        *imageEnd = 0x701;
        f.insert(f.end(), 3, 0); // the packager's padding to 4 bytes
        f.insert(f.end(), packages.begin(), packages.end());
        *certAt = f.size();
        if (certificate) {
            const Bytes cert(0x100, 0xCE);
            f.insert(f.end(), cert.begin(), cert.end());
            Put32(f, dirs + 8 * 4, certOffset ? certOffset : static_cast<uint32_t>(*certAt));
            Put32(f, dirs + 8 * 4 + 4, certSize ? certSize : 0x100);
        }
        if (truncateTo)
            f.resize(truncateTo);
        return f;
    }
};

TEST(ContainerCarrier, PeProgramCarriesPackagesAfterItsSections) {
    const Bytes packages = SmallPackage("$SETUP", 300);
    struct Case {
        const char* what;
        PeFixture pe;
        bool found;
        bool certUsed;
        bool tableWalked = false; // the table that is not taken as one is walked as if packages followed
    } cases[] = {
        {"PE32 without certificate", {}, true, false},
        {"PE32+ without certificate", {true}, true, false},
        {"PE32 with certificate table", {false, 0, true}, true, true},
        {"PE32+ with certificate table", {true, 0, true}, true, true},
        // The certificate entry counts only with a valid signature and magic, inside the file.
        {"certificate entry of a file with a wrong magic", {false, 0x999, true}, false, false},
        {"certificate entry past the end of the file", {false, 0, true, 0, 0x7FFFFFF0}, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size_t imageEnd = 0, certAt = 0;
        const Bytes file = c.pe.Build(packages, &imageEnd, &certAt);
        CMemoryPkgAccessor carrier(u"Z:\\setup.exe", file);
        carrier.Open();
        const jxpkg::CARRIER_LAYOUT layout = jxpkg::LocateCarrierLayout(carrier);
        EXPECT_EQ(layout.kind, jxpkg::CarrierKind::PeProgram);
        EXPECT_EQ(layout.hasCertificate, c.certUsed);
        if (c.certUsed) {
            EXPECT_EQ(layout.limit, certAt);
            EXPECT_EQ(layout.dataCheckLength, certAt);
        } else {
            EXPECT_EQ(layout.limit, file.size());
        }
        const ScanResult r = Scan(file);
        EXPECT_TRUE(r.HasNote(u"This is a executable file, a certificate is MANDATORY!"));
        if (c.found) {
            EXPECT_EQ(layout.firstOffset, imageEnd);
            if (c.tableWalked) {
                ASSERT_EQ(r.errors.size(), 2u);
                EXPECT_EQ(r.errors[0].code, 0x80000007u);
                EXPECT_EQ(r.errors[0].valueLow, certAt);
            } else {
                EXPECT_TRUE(r.errors.empty());
            }
            EXPECT_EQ(Names(r), std::vector<std::u16string>{u"$SETUP"});
        } else {
            // No valid PE: the walk starts at 0, where "MZ" is no package header.
            EXPECT_EQ(layout.firstOffset, 0u);
            EXPECT_TRUE(r.packages.empty());
            ASSERT_FALSE(r.errors.empty());
            EXPECT_EQ(r.errors[0].code, 0x80000007u);
        }
    }
}

TEST(ContainerCarrier, PeWithUnreadableHeadersIsGivenUp) {
    PeFixture pe;
    size_t imageEnd = 0, certAt = 0;
    Bytes file = pe.Build({}, &imageEnd, &certAt);
    Put32(file, 60, static_cast<uint32_t>(file.size() - 100)); // fewer than 248 bytes there
    const ScanResult loud = Scan(file, 1);
    ASSERT_EQ(loud.errors.size(), 1u);
    EXPECT_EQ(loud.errors[0].code, 3u);
    EXPECT_EQ(loud.errors[0].detail >> 28, 3u);
    EXPECT_TRUE(loud.finalOk) << "an I/O error of origin 3 does not count";
    // With verbosity 0 nothing is recorded at all.
    const ScanResult quiet = Scan(file, 0);
    EXPECT_TRUE(quiet.errors.empty());
    EXPECT_TRUE(quiet.packages.empty());
}

TEST(ContainerCarrier, ElfProgramWithAppendedPackages) {
    jxtest::TempMachineRoot root;
    const std::string dir = root.Path() + "/work";
    ::mkdir(dir.c_str(), 0755);
    // A real ELF program of the host, as the engine itself is one.
    const std::string program = dir + "/setup.exe";
    {
        std::ifstream in("/bin/true", std::ios::binary);
        std::ofstream out(program, std::ios::binary);
        out << in.rdbuf();
    }
    CFilePkgAccessor before(jxplat::HostToWindowsPath(program));
    ASSERT_TRUE(before.Open());
    jxpkg::CarrierKind kind;
    const ULONGLONG end = jxpkg::ProgramImageEnd(before, &kind);
    EXPECT_EQ(kind, jxpkg::CarrierKind::ElfProgram);
    EXPECT_EQ(end, before.GetSize()) << "a linked program ends with its section header table";
    before.Close();

    const Bytes a = OddPackage("$SETUP");
    const Bytes b = SmallPackage("$CONFIG", 5000);
    const std::string pa = dir + "/a.wpk", pb = dir + "/b.wpk";
    std::ofstream(pa, std::ios::binary)
        .write(reinterpret_cast<const char*>(a.data()), static_cast<long>(a.size()));
    std::ofstream(pb, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
    std::string error;
    ASSERT_TRUE(jxpack::AppendPackages(program, {pa, pb}, &error)) << error;

    std::vector<jxpack::ListedPackage> listed;
    ASSERT_TRUE(jxpack::ListPackages(program, listed, &error)) << error;
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, u"$SETUP");
    EXPECT_EQ(listed[0].start % 4, 0u);
    EXPECT_EQ(listed[1].name, u"$CONFIG");
    EXPECT_EQ(listed[1].start, (listed[0].start + a.size() + 3) / 4 * 4) << "padded to 4 bytes";

    // A package file that holds no package is refused; the program stays as it was.
    const std::string junk = dir + "/junk.wpk";
    std::ofstream(junk) << "not a package at all, just text that is long enough to hold a header.......";
    EXPECT_FALSE(jxpack::AppendPackages(program, {junk}, &error));
}

TEST(ContainerCarrier, EachCarrierIsJudgedByItsOwnRecords) {
    // One self-check for several carriers, as the package manager keeps one: a damaged carrier
    // must not fail the sound ones after it, and the list keeps every record for the dump.
    Bytes bad = SmallPackage("$SETUP", 100);
    Put32(bad, 36, 0xDEADBEEF);
    const Bytes good = SmallPackage("$CONFIG", 100);
    CSelfcheck selfcheck;
    selfcheck.Configure(10, 0, nullptr);
    CMemoryPkgAccessor badCarrier(u"Z:\\bad.wpk", bad);
    CMemoryPkgAccessor goodCarrier(u"Z:\\good.wpk", good);
    CMemoryPkgAccessor emptyCarrier(u"Z:\\empty.wpk", Bytes{});
    CCarrierCheck check;
    EXPECT_FALSE(check.Scan(selfcheck, badCarrier));
    EXPECT_FALSE(selfcheck.FinalizeCheck());
    EXPECT_FALSE(check.Scan(selfcheck, emptyCarrier));
    EXPECT_TRUE(check.Scan(selfcheck, goodCarrier));
    EXPECT_EQ(check.Packages().size(), 1u);
    EXPECT_TRUE(selfcheck.FinalizeCheck());
    EXPECT_EQ(selfcheck.GetErrors().size(), 2u);
    EXPECT_EQ(selfcheck.GetLastErrorCode(), 0x80000003u);
}

} // namespace
