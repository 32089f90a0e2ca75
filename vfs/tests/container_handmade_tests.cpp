// One package assembled byte by byte from the format's description (liblzo2 compresses, zlib
// computes the CRCs, the test computes the content checksums), read back field by field; the
// writer, given the same files, must produce exactly these bytes.
#include <gtest/gtest.h>

#include <openssl/sha.h>

#include "container_testutil.h"
#include "jxplat/text.h"
#include "jxvfs/container/CPackageWriter.h"
#include "jxvfs/container/CPackedFileReader.h"
#include "jxvfs/container/PackageFormat.h"

using namespace pkgtest;

namespace {

struct HandFile {
    std::u16string name;
    Bytes content;
    uint64_t filetime;
    uint32_t flags; // node word bits besides kind and length
    bool versioned;
};

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>((i * 7 + seed) ^ (i >> 5));
    return b;
}

const HandFile kReadme{u"readme.txt", Pattern(1500, 1), 0x01D9000011112222ull, 0x100, false};
const HandFile kEmpty{u"empty.bin", {}, 0x01D9000033334444ull, 0x100, false};
const HandFile kTool{u"tool.exe", Pattern(1024, 9), 0x01D9000055556666ull, 0x100 | 0x01000000 | 0x02000000,
                     true};
constexpr uint32_t kWord1K = 0xC000110F; // 60-byte header, LZO1X, 1 KiB blocks, ANSI name
constexpr uint32_t kVersionHigh = 0x00010002;
constexpr uint32_t kVersionLow = 0x00030004;

Bytes Sha256(const Bytes& content) {
    Bytes digest(32);
    SHA256(content.data(), content.size(), digest.data());
    return digest;
}

Bytes TagsOf(const HandFile& f, bool extraTags) {
    Bytes tags;
    if (f.versioned) {
        AddTag32(tags, 40, kVersionHigh);
        AddTag32(tags, 41, kVersionLow);
    }
    const Bytes digest = Sha256(f.content);
    for (int k = 0; k < 8; ++k) {
        tags.push_back(static_cast<uint8_t>(48 + k));
        tags.push_back(4);
        tags.insert(tags.end(), digest.begin() + 4 * k, digest.begin() + 4 * k + 4);
    }
    if (extraTags) {
        // Lengths other than 1, 2 and 4 are byte strings.
        tags.insert(tags.end(), {99, 3, 0xAA, 0xBB, 0xCC});
        tags.push_back(100);
        tags.push_back(32);
        for (int i = 0; i < 32; ++i)
            tags.push_back(static_cast<uint8_t>(i));
    }
    return tags;
}

// Blocks of 1 KiB, each one LZO1X stream, back to back.
uint32_t AppendBlocks(Bytes& data, const Bytes& content) {
    const uint32_t offset = static_cast<uint32_t>(data.size());
    for (size_t at = 0; at < content.size(); at += 1024) {
        const Bytes block(content.begin() + static_cast<long>(at),
                          content.begin() + static_cast<long>(std::min<size_t>(at + 1024, content.size())));
        const Bytes packed = Lzo1(block);
        data.insert(data.end(), packed.begin(), packed.end());
    }
    return offset;
}

// Root "" -> "$CONFIG" -> { readme.txt, empty.bin, bin -> { tool.exe } }, nodes in depth-first order
// with each child table right after its directory node.
Bytes HandPackage(bool extraTags) {
    MetaBuilder m;
    Bytes data;
    const uint32_t root = m.Dir(u"", 1);
    const uint32_t config = m.Dir(u"$CONFIG", 3);
    m.SetChild(root, 0, config);
    auto file = [&](const HandFile& f) {
        const uint32_t offset = AppendBlocks(data, f.content);
        return m.File(f.name, TagsOf(f, extraTags), static_cast<uint32_t>(f.content.size()),
                      ContentChecksum(f.content), offset, f.filetime, f.flags);
    };
    m.SetChild(config, 0, file(kReadme));
    m.SetChild(config, 1, file(kEmpty));
    const uint32_t bin = m.Dir(u"bin", 1);
    m.SetChild(config, 2, bin);
    m.SetChild(bin, 0, file(kTool));
    PackageParts parts;
    parts.word = kWord1K;
    parts.meta = m.meta;
    parts.rootOffset = root;
    parts.data = data;
    return Assemble(parts);
}

Bytes ReadFile(const Bytes& carrierBytes, const CCarrierCheck::PACKAGE& p, const META_NODE& node,
               bool* verified) {
    CMemoryPkgAccessor carrier(u"Z:\\hand.wpk", carrierBytes);
    carrier.Open();
    CPackedFileReader reader(carrier, p.header.packageWord, p.dataStart, node);
    std::vector<BYTE> out;
    EXPECT_TRUE(reader.ReadAll(out)) << jxtext::N(node.name) << " block result " << reader.LastResult();
    *verified = reader.VerifyContent();
    return out;
}

TEST(ContainerHandmade, ReadsEveryFieldAsDescribed) {
    const Bytes bytes = HandPackage(true);
    const ScanResult r = Scan(bytes, 10, kSelfcheckDataCrc);
    ASSERT_TRUE(r.walkOk);
    ASSERT_TRUE(r.finalOk);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.HasNote(u"File Z:\\test\\carrier.wpk opened. Found a binary package assembly."));
    EXPECT_TRUE(r.HasNote(u"Found Package: $CONFIG"));
    EXPECT_TRUE(r.HasNote(u"    Package header looks ok."));
    EXPECT_TRUE(r.HasNote(u"    Building root: Success. Added 3 Element(s) to VFS."));
    ASSERT_EQ(r.packages.size(), 1u);
    const CCarrierCheck::PACKAGE& p = r.packages[0];

    EXPECT_EQ(p.name, u"$CONFIG");
    EXPECT_EQ(p.start, 0u);
    EXPECT_EQ(p.header.packageWord, kWord1K);
    EXPECT_EQ(jxpkg::BlockSizeOf(p.header.packageWord), 1024);
    EXPECT_EQ(p.header.magic, 0x64F2);
    EXPECT_EQ(p.header.version, 1u);
    const uint32_t packedSize = Get32(bytes, 28);
    EXPECT_EQ(p.header.packedMetaSize, packedSize);
    EXPECT_EQ(p.header.metaCrc, Crc32(Bytes(bytes.begin() + 60, bytes.begin() + 60 + packedSize)));
    EXPECT_EQ(p.dataStart, (60u + packedSize + 3) / 4 * 4);
    EXPECT_EQ(p.dataStart + p.header.dataSize, bytes.size());
    EXPECT_EQ(p.header.dataCrc, Crc32(Bytes(bytes.begin() + static_cast<long>(p.dataStart), bytes.end())));

    const CMetaTree& tree = p.tree;
    ASSERT_EQ(tree.Root().children.size(), 1u);
    const META_NODE& config = tree.Node(tree.Root().children[0]);
    EXPECT_TRUE(config.isDirectory);
    EXPECT_EQ(config.name, u"$CONFIG");
    ASSERT_EQ(config.children.size(), 3u);
    const META_NODE& readme = tree.Node(config.children[0]);
    const META_NODE& empty = tree.Node(config.children[1]);
    const META_NODE& bin = tree.Node(config.children[2]);
    ASSERT_EQ(bin.children.size(), 1u);
    const META_NODE& tool = tree.Node(bin.children[0]);
    EXPECT_EQ(tree.FileCount(), 3u);

    EXPECT_EQ(readme.name, u"readme.txt");
    EXPECT_FALSE(readme.isDirectory);
    EXPECT_EQ(readme.size, 1500u);
    EXPECT_EQ(readme.checksum, ContentChecksum(kReadme.content));
    EXPECT_EQ(readme.dataOffset, 0u);
    EXPECT_EQ(readme.lastWrite.dwHighDateTime, 0x01D90000u);
    EXPECT_EQ(readme.lastWrite.dwLowDateTime, 0x11112222u);
    EXPECT_EQ(readme.attributes, 0x80u);
    EXPECT_EQ(empty.size, 0u);
    EXPECT_EQ(empty.checksum, 0u);
    EXPECT_EQ(bin.name, u"bin");
    EXPECT_TRUE(bin.isDirectory);
    EXPECT_EQ(tool.attributes, 0x83u); // normal + read-only (bit 24) + hidden (bit 25)

    // Tags: integers of 4 bytes, byte strings of other lengths, version and hash texts.
    ASSERT_NE(tool.FindTag(40), nullptr);
    EXPECT_EQ(tool.FindTag(40)->value, kVersionHigh);
    WORD words[4];
    jxpkg::VersionWordsOf(tool.tags, words);
    EXPECT_EQ(jxtext::Format(u"%i.%i.%i.%i", words[0], words[1], words[2], words[3]), u"1.2.3.4");
    std::u16string hex;
    for (uint8_t b : Sha256(kTool.content))
        hex += jxtext::Format(u"%02X", b);
    EXPECT_EQ(jxpkg::HashTextOf(tool.tags), hex);
    const META_TAG* three = tool.FindTag(99);
    ASSERT_NE(three, nullptr);
    EXPECT_FALSE(three->IsInteger());
    EXPECT_EQ(three->bytes, (std::vector<BYTE>{0xAA, 0xBB, 0xCC}));
    ASSERT_NE(tool.FindTag(100), nullptr);
    EXPECT_EQ(tool.FindTag(100)->bytes.size(), 32u);
    EXPECT_EQ(jxpkg::HashTextOf(empty.tags).size(), 64u);

    // Contents: two blocks (1024 + 476 bytes), none, exactly one block.
    bool verified = false;
    EXPECT_EQ(ReadFile(bytes, p, readme, &verified), kReadme.content);
    EXPECT_TRUE(verified);
    EXPECT_TRUE(ReadFile(bytes, p, empty, &verified).empty());
    EXPECT_TRUE(verified);
    EXPECT_EQ(ReadFile(bytes, p, tool, &verified), kTool.content);
    EXPECT_TRUE(verified);
}

TEST(ContainerHandmade, WriterProducesTheSameBytes) {
    PACKAGE_WRITER_OPTIONS options;
    options.name = "$CONFIG";
    options.blockSize = 1024;
    CPackageWriter writer(options);
    auto input = [](const HandFile& f) {
        PACKAGE_FILE_INPUT in;
        in.content = f.content;
        in.lastWrite.dwLowDateTime = static_cast<DWORD>(f.filetime);
        in.lastWrite.dwHighDateTime = static_cast<DWORD>(f.filetime >> 32);
        in.readOnly = (f.flags & 0x01000000) != 0;
        in.hidden = (f.flags & 0x02000000) != 0;
        in.hasVersion = f.versioned;
        const WORD v[4] = {1, 2, 3, 4};
        std::copy(v, v + 4, in.version);
        return in;
    };
    ASSERT_TRUE(writer.AddFile(u"$CONFIG\\readme.txt", input(kReadme)));
    ASSERT_TRUE(writer.AddFile(u"$CONFIG/empty.bin", input(kEmpty)));
    ASSERT_TRUE(writer.AddFile(u"$CONFIG\\bin\\tool.exe", input(kTool)));
    std::vector<BYTE> written;
    std::string error;
    ASSERT_TRUE(writer.Build(written, &error)) << error;
    EXPECT_EQ(written, HandPackage(false));
}

TEST(ContainerHandmade, NamesChecksumsAndBlockArithmetic) {
    // A GUID name shows its bytes in stored order, grouped 4-2-2-2-6.
    jxpkg::PACKAGE_HEADER h;
    h.packageWord = 0xC001310F;
    for (int i = 0; i < 16; ++i)
        h.name[i] = static_cast<BYTE>(i == 0 ? 0xAB : i);
    EXPECT_EQ(jxpkg::PackageNameText(h), u"{AB010203-0405-0607-0809-0A0B0C0D0E0F}");
    // An ANSI name fills all 16 bytes without a terminator; bytes above 0x7F are Windows-1252.
    h.packageWord = 0xC000310F;
    std::memcpy(h.name, "ABCDEFGHIJKLMNO\x80", 16);
    EXPECT_EQ(jxpkg::PackageNameText(h), u"ABCDEFGHIJKLMNO\u20AC");

    EXPECT_EQ(jxpkg::ContentChecksumOf("\x01\x00\x00\x00", 4), 2u);
    EXPECT_EQ(jxpkg::ContentChecksumOf("\x01", 1), 2u);
    EXPECT_EQ(jxpkg::ContentChecksumOf("", 0), 0u);
    // Fed in pieces that split words, the checksum is the same.
    const Bytes content = Pattern(1001, 3);
    jxpkg::CContentChecksum pieces;
    for (size_t at = 0; at < content.size(); at += 7)
        pieces.Add(content.data() + at, std::min<size_t>(7, content.size() - at));
    EXPECT_EQ(pieces.Value(), ContentChecksum(content));

    struct {
        uint32_t word;
        int blockSize;
    } codes[] = {{0xC000090F, 512},   {0xC000110F, 1024},   {0xC000190F, 4096},    {0xC000210F, 16384},
                 {0xC000290F, 65536}, {0xC000310F, 524288}, {0xC000390F, 1048576}, {0xC000410F, 4194304},
                 {0xC000490F, -1},    {0xC000010F, -1},     {0xC000320F, -1}};
    for (const auto& c : codes)
        EXPECT_EQ(jxpkg::BlockSizeOf(c.word), c.blockSize) << std::hex << c.word;
    EXPECT_EQ(jxpkg::BlockCountOf(1024, 1024), 1u);
    EXPECT_EQ(jxpkg::BlockCountOf(1025, 1024), 2u);
    EXPECT_EQ(jxpkg::BlockLengthOf(1025, 1024, 1), 1u);
    EXPECT_EQ(jxpkg::BlockCountOf(0, 1024), 0u);
    EXPECT_EQ(jxpkg::ReadWindowOf(524288), 524288u + 32768u + 99u);
}

} // namespace
