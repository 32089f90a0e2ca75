// Damaged packages: each damage gives its error records, the self-check lists them, and nothing
// reads outside its buffers (the tests run under the address sanitizer).
#include <gtest/gtest.h>

#include <functional>

#include "container_testutil.h"
#include "jxvfs/container/CPackedFileReader.h"
#include "jxvfs/container/PackageBlocks.h"

using namespace pkgtest;

namespace {

constexpr uint32_t kWord1K = 0xC000110F;

Bytes Content(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(i % 251 + seed);
    return b;
}

const Bytes kA = Content(3000, 1); // three blocks: 1024, 1024, 952
const Bytes kB = Content(10, 2);

// The pieces of a small package that the cases change before assembling it.
struct Plan {
    MetaBuilder m;
    Bytes data;
    uint32_t root = 0, config = 0, a = 0, b = 0;
    uint32_t aSize = 3000, aChecksum = ContentChecksum(kA), bChecksum = ContentChecksum(kB);
    uint32_t configChildren = 2;
    std::function<void(Plan&)> patchMeta;
    std::function<void(Bytes&)> patchPackage;
    bool buildMeta = true;

    Bytes Build() {
        if (buildMeta) {
            root = m.Dir(u"", 1);
            config = m.Dir(u"$CONFIG", configChildren);
            m.SetChild(root, 0, config);
            data.clear();
            for (size_t at = 0; at < kA.size(); at += 1024) {
                const Bytes packed =
                    Lzo1(Bytes(kA.begin() + static_cast<long>(at),
                               kA.begin() + static_cast<long>(std::min<size_t>(at + 1024, kA.size()))));
                data.insert(data.end(), packed.begin(), packed.end());
            }
            const uint32_t bOffset = static_cast<uint32_t>(data.size());
            const Bytes packedB = Lzo1(kB);
            data.insert(data.end(), packedB.begin(), packedB.end());
            a = m.File(u"a.txt", {}, aSize, aChecksum, 0, 1);
            b = m.File(u"b.txt", {}, 10, bChecksum, bOffset, 2);
            if (configChildren >= 1)
                m.SetChild(config, 0, a);
            if (configChildren >= 2 && configChildren < 1000)
                m.SetChild(config, 1, b);
        }
        if (patchMeta)
            patchMeta(*this);
        PackageParts parts;
        parts.word = kWord1K;
        parts.meta = m.meta;
        parts.rootOffset = root;
        parts.data = data;
        Bytes bytes = Assemble(parts);
        if (patchPackage)
            patchPackage(bytes);
        return bytes;
    }
};

ERROR_ENTRY E(DWORD code, DWORD detail, DWORD low, DWORD high = 0) {
    return ERROR_ENTRY(code, detail, low, high);
}

void ExpectErrors(const ScanResult& r, const std::vector<ERROR_ENTRY>& expected) {
    ASSERT_EQ(r.errors.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r.errors[i].code, expected[i].code) << "error " << i;
        EXPECT_EQ(r.errors[i].detail, expected[i].detail) << "error " << i;
        EXPECT_EQ(r.errors[i].valueLow, expected[i].valueLow) << "error " << i;
        EXPECT_EQ(r.errors[i].valueHigh, expected[i].valueHigh) << "error " << i;
    }
}

uint32_t MetaSizeOf(const Bytes& package) {
    return Get32(package, 32);
}
uint32_t DataStartOf(const Bytes& package) {
    return (60 + Get32(package, 28) + 3) / 4 * 4;
}

struct HeaderCase {
    const char* what;
    std::function<void(Bytes&)> damage;
    // Expected records, computed from the undamaged package.
    std::function<std::vector<ERROR_ENTRY>(const Bytes& good)> expected;
    std::u16string note; // a note the damage must leave (empty: none checked)
};

TEST(ContainerCorrupt, HeaderAndAreaDamage) {
    const Bytes good = Plan().Build();
    const uint32_t packedCrc = Get32(good, 36);
    const HeaderCase cases[] = {
        {"wrong magic", [](Bytes& b) { b[22] ^= 1; },
         [](const Bytes&) {
             return std::vector<ERROR_ENTRY>{E(0x80000007, 0, 0), E(0x90000007, 0, 0)};
         },
         u""},
        {"package word outside 0xC...", [](Bytes& b) { b[3] = 0xD0; },
         [](const Bytes&) {
             return std::vector<ERROR_ENTRY>{E(0x80000007, 0, 0), E(0x90000007, 0, 0)};
         },
         u""},
        {"format version 2", [](Bytes& b) { Put32(b, 24, 2); },
         [](const Bytes&) {
             return std::vector<ERROR_ENTRY>{E(0x90000007, 3, 2), E(0x90000007, 0, 0)};
         },
         u"    Package version is unsupported: 00000002"},
        {"root node offset beyond the meta size", [](Bytes& b) { Put32(b, 52, MetaSizeOf(b) + 4); },
         [](const Bytes& g) {
             return std::vector<ERROR_ENTRY>{E(0x90000007, 1, MetaSizeOf(g) + 4), E(0x90000007, 0, 0)};
         },
         u"    Root pointer points outside the meta data range."},
        {"meta CRC wrong", [](Bytes& b) { Put32(b, 36, 0x12345678); },
         [packedCrc](const Bytes&) {
             return std::vector<ERROR_ENTRY>{E(0x90000004, 0, 0x12345678, packedCrc)};
         },
         u""},
        {"meta size too small to hold the stream's output", [](Bytes& b) { Put32(b, 32, MetaSizeOf(b) - 4); },
         [](const Bytes&) { return std::vector<ERROR_ENTRY>{E(0x90000005, 0, 0)}; }, u""},
        {"meta size larger than the stream's output", [](Bytes& b) { Put32(b, 32, MetaSizeOf(b) + 4); },
         [](const Bytes&) { return std::vector<ERROR_ENTRY>{E(0x90000005, 0, 0)}; }, u""},
        {"meta size beyond any real tree", [](Bytes& b) { Put32(b, 32, 0xFFFFFFF0u); },
         [](const Bytes&) { return std::vector<ERROR_ENTRY>{E(0x90000006, 0, 0xFFFFFFF0u)}; }, u""},
        {"truncated in the data area", [](Bytes& b) { b.resize(b.size() - 10); },
         [](const Bytes& g) {
             const uint32_t dataSize = static_cast<uint32_t>(g.size() - DataStartOf(g));
             return std::vector<ERROR_ENTRY>{E(0x90000002, 129, DataStartOf(g), dataSize)};
         },
         u""},
        {"truncated in the packed meta data", [](Bytes& b) { b.resize(70); },
         [](const Bytes&) { return std::vector<ERROR_ENTRY>{E(0x90000007, 0, 60)}; }, u""},
        {"data size that wraps past 2^64", [](Bytes& b) { Put64(b, 40, ~0ull - 8); },
         [](const Bytes& g) {
             return std::vector<ERROR_ENTRY>{E(0x90000002, 129, DataStartOf(g), 0xFFFFFFF7u)};
         },
         u""},
        // Fewer than 64 bytes: an I/O error of the carrier's start (ERROR_HANDLE_EOF), which does not
        // count, and no room for a package: what is there is a header cut short.
        {"header cut short (no room for a package)", [](Bytes& b) { b.resize(60); },
         [](const Bytes&) {
             return std::vector<ERROR_ENTRY>{E(3, 0x20000026, 0, 64), E(0x80000007, 0, 0)};
         },
         u""},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = good;
        c.damage(bytes);
        const ScanResult r = Scan(bytes);
        ExpectErrors(r, c.expected(good));
        bool clean = true;
        for (const ERROR_ENTRY& e : c.expected(good))
            clean = clean && e.code <= 0x0FFFFFFF;
        EXPECT_EQ(r.walkOk, clean);
        EXPECT_EQ(r.finalOk, clean);
        if (!c.note.empty())
            EXPECT_TRUE(r.HasNote(c.note));
    }
}

TEST(ContainerCorrupt, EmptyCarrierCannotBeOpened) {
    const ScanResult r = Scan(Bytes{});
    ExpectErrors(r, {E(0x80000003, 128, 0)});
    EXPECT_FALSE(r.finalOk);
}

struct TreeCase {
    const char* what;
    std::function<void(Plan&)> damage;
    size_t expectedFiles;             // files left in the tree
    std::vector<ERROR_ENTRY> records; // besides these, nothing
};

TEST(ContainerCorrupt, MetaTreeDamageIsRefusedWithinTheMetaData) {
    const TreeCase cases[] = {
        {"a child that leads back to the root (cycle)",
         [](Plan& p) { p.m.SetChild(p.config, 1, p.root); },
         1,
         {E(0x90000007, 1, 1)}},
        {"a directory that is its own child",
         [](Plan& p) { p.m.SetChild(p.config, 0, p.config); },
         1,
         {E(0x90000007, 1, 0)}},
        {"a child count that cannot fit in the meta data",
         [](Plan& p) { Put32(p.m.meta, p.config + 6, 0x40000000); },
         0,
         {E(0x90000007, 1, 0x40000000)}},
        {"a child-table entry beyond the meta data",
         [](Plan& p) { p.m.SetChild(p.config, 0, 0x7FFFFFF0); },
         1,
         {E(0x90000007, 1, 0)}},
        {"a file node shorter than its fixed fields",
         [](Plan& p) { p.m.meta[p.a] = 3; },
         1,
         {E(0x90000007, 1, 0)}},
        {"a node that runs past the meta data",
         [](Plan& p) { p.m.meta[p.b] = 0xFF; },
         1,
         {E(0x90000007, 1, 1)}},
        {"a tag that runs past the tag area",
         [](Plan& p) {
             // Re-made with a tag area of 6 bytes whose one tag claims 20.
             Bytes tags = {60, 20, 1, 2, 3, 4};
             const uint32_t bad = p.m.File(u"c.txt", tags, 10, 0, 0, 3);
             p.m.SetChild(p.config, 1, bad);
         },
         1,
         {E(0x90000007, 1, 1)}},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.what);
        Plan plan;
        plan.patchMeta = c.damage;
        const ScanResult r = Scan(plan.Build());
        ExpectErrors(r, c.records);
        EXPECT_FALSE(r.walkOk);
        ASSERT_EQ(r.packages.size(), 1u);
        EXPECT_EQ(r.packages[0].tree.FileCount(), c.expectedFiles);
    }
}

TEST(ContainerCorrupt, SharedChildrenCannotExpandTheTree) {
    // 24 directories, each listing the next one twice: 2^24 paths from 24 nodes.
    Plan plan;
    plan.buildMeta = false;
    MetaBuilder& m = plan.m;
    plan.root = m.Dir(u"", 1);
    std::vector<uint32_t> dirs;
    for (int i = 0; i < 24; ++i)
        dirs.push_back(m.Dir(u"d" + std::u16string(1, static_cast<char16_t>(u'a' + i)), i == 23 ? 0 : 2));
    m.SetChild(plan.root, 0, dirs[0]);
    for (int i = 0; i + 1 < 24; ++i) {
        m.SetChild(dirs[i], 0, dirs[i + 1]);
        m.SetChild(dirs[i], 1, dirs[i + 1]);
    }
    const ScanResult r = Scan(plan.Build());
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, 0x90000007u);
    EXPECT_EQ(r.errors[0].detail, 1u);
    EXPECT_TRUE(r.packages[0].tree.Empty());
    EXPECT_TRUE(r.HasNote(u"Package $CONFIG contains no elements."));
}

TEST(ContainerCorrupt, RootsWithoutElements) {
    struct {
        const char* what;
        std::function<void(Plan&)> damage;
    } cases[] = {
        {"root offset equal to the meta size",
         [](Plan& p) { p.root = static_cast<uint32_t>(p.m.meta.size()); }},
        {"a root that is a file", [](Plan& p) { p.root = p.a; }},
        {"a root directory without children", [](Plan& p) { Put32(p.m.meta, p.root + 6, 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Plan plan;
        plan.patchMeta = c.damage;
        const ScanResult r = Scan(plan.Build());
        EXPECT_TRUE(r.errors.empty());
        EXPECT_TRUE(r.finalOk);
        EXPECT_TRUE(r.HasNote(u"Package $CONFIG contains no elements."));
        EXPECT_TRUE(r.packages[0].tree.Empty());
    }
}

// Data damage shows only when the data is checked: the data CRC (an error record) and the file test
// (notes, and a failed result).
TEST(ContainerCorrupt, DataDamageFoundByTheChecks) {
    struct Case {
        const char* what;
        std::function<void(Plan&)> damage;
        bool crcRecord;              // 0x90000001 expected with the data CRC check
        std::u16string fileTestNote; // expected with the file test
        int blockResult;             // CPackedFileReader's result for the damaged file (0: reads)
    } cases[] = {
        {"a block that decodes shorter than the container says", [](Plan& p) { p.aSize = 3010; }, false,
         u"Error accessing \\$CONFIG\\a.txt. File not readable (@ofs 0)", jxpkg::kBlockLengthMismatch},
        {"a block that decodes longer than the container says", [](Plan& p) { p.aSize = 2990; }, false,
         u"Error accessing \\$CONFIG\\a.txt. File not readable (@ofs 0)", jxpkg::kBlockLengthMismatch},
        {"a compressed block overwritten", nullptr, true,
         u"Error accessing \\$CONFIG\\a.txt. File not readable (@ofs 0)", -1},
        {"content that does not match its checksum", [](Plan& p) { p.bChecksum ^= 1; }, false,
         u"File integrity failed for \\$CONFIG\\b.txt. CRC is wrong:", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plan plan;
        Bytes bytes;
        if (c.crcRecord) {
            // Damage to the data area after its CRC was computed over the sound data.
            bytes = plan.Build();
            std::fill(bytes.begin() + DataStartOf(bytes) + 1, bytes.begin() + DataStartOf(bytes) + 40, 0xFF);
        } else {
            c.damage(plan);
            bytes = plan.Build();
        }

        const ScanResult plain = Scan(bytes);
        EXPECT_TRUE(plain.errors.empty()) << "the default mount does not read the data";
        EXPECT_TRUE(plain.finalOk);

        const ScanResult crc = Scan(bytes, 10, kSelfcheckDataCrc);
        if (c.crcRecord) {
            ASSERT_EQ(crc.errors.size(), 1u);
            EXPECT_EQ(crc.errors[0].code, 0x90000001u);
            EXPECT_EQ(crc.errors[0].detail, 5u);
            EXPECT_EQ(crc.errors[0].valueHigh, Get32(bytes, 48)); // stored
            EXPECT_NE(crc.errors[0].valueLow, crc.errors[0].valueHigh);
            EXPECT_FALSE(crc.finalOk);
        } else {
            EXPECT_TRUE(crc.errors.empty());
        }

        const ScanResult files = Scan(bytes, 1, kSelfcheckFileTest);
        EXPECT_TRUE(files.HasNote(c.fileTestNote));
        EXPECT_TRUE(files.errors.empty()) << "the file test records notes only";
        EXPECT_FALSE(files.finalOk) << "a failed file test fails the check";

        // Read directly: the damaged file fails with the decode result, the other one reads.
        const CCarrierCheck::PACKAGE& p = files.packages[0];
        const META_NODE& config = p.tree.Node(p.tree.Root().children[0]);
        const META_NODE& a = p.tree.Node(config.children[0]);
        CMemoryPkgAccessor carrier(u"Z:\\c.wpk", bytes);
        carrier.Open();
        CPackedFileReader reader(carrier, p.header.packageWord, p.dataStart, a);
        std::vector<BYTE> out;
        if (c.blockResult == 0) {
            EXPECT_TRUE(reader.ReadAll(out));
        } else {
            EXPECT_FALSE(reader.ReadAll(out));
            if (c.blockResult != -1)
                EXPECT_EQ(reader.LastResult(), c.blockResult);
        }
    }
}

} // namespace
