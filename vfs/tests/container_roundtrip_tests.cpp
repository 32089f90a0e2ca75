// Folders of files through the package tool and back: made, listed, extracted and verified, for
// every shape of file the block arithmetic cares about, deep trees and names beyond ASCII.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sys/stat.h>

#include <openssl/evp.h>
#include <openssl/sha.h>

#include "jxpack.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxvfs/container/CPackageWriter.h"
#include "jxvfs/container/PackageFormat.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct HostFile {
    Bytes content;
    bool readOnly = false;
};

// Relative path ("/" separated) -> file; directories are made as needed.
using Tree = std::map<std::string, HostFile>;

// Noise, or text-like bytes that compress (phrases with a random byte now and then).
Bytes Random(std::mt19937& rng, size_t size, bool compressible) {
    Bytes b(size);
    for (size_t i = 0; i < size; i += 4) {
        const uint32_t r = rng();
        for (size_t k = 0; k < 4 && i + k < size; ++k)
            b[i + k] = compressible
                           ? static_cast<uint8_t>("setup engine files "[(i + k) % 19] + (r % 61 == 0))
                           : static_cast<uint8_t>(r >> (8 * k));
    }
    return b;
}

Tree MakeTree(DWORD blockSize, uint32_t seed) {
    std::mt19937 rng(seed);
    Tree t;
    t["empty.bin"] = {};
    t["one.bin"] = {Random(rng, 1, false)};
    t["block_minus_one.bin"] = {Random(rng, blockSize - 1, true)};
    t["block.bin"] = {Random(rng, blockSize, false)};
    t["block_plus_one.bin"] = {Random(rng, blockSize + 1, true)};
    // Several blocks; two for the large block sizes, which only cost time.
    t["blocks.bin"] = {Random(rng, (blockSize <= 65536 ? 3 : 2) * static_cast<size_t>(blockSize), true)};
    t["large.dat"] = {Random(rng, 1200000 + seed, true)};
    t["sub/noise.bin"] = {Random(rng, 70000, false)};
    t["sub/readonly.txt"] = {Random(rng, 10, true), true};
    t["Grüße_日本語.txt"] = {Random(rng, 333, true)};
    t["ÄÖÜ/😀 smile.bin"] = {Random(rng, 1000, false)};
    t["app/tool.exe"] = {Random(rng, 5000, false)};
    std::string deep;
    for (int i = 0; i < 30; ++i)
        deep += "d" + std::to_string(i) + "/";
    t[deep + "bottom.txt"] = {Random(rng, 50, true)};
    return t;
}

void WriteTree(const std::string& root, const Tree& tree) {
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "/empty_dir").c_str(), 0755);
    for (const auto& [path, file] : tree) {
        for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            ::mkdir((root + "/" + path.substr(0, slash)).c_str(), 0755);
        const std::string host = root + "/" + path;
        std::ofstream(host, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.content.data()),
                   static_cast<long>(file.content.size()));
        if (file.readOnly)
            ::chmod(host.c_str(), 0444);
    }
}

Bytes ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    Bytes b(in ? static_cast<size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return b;
}

std::u16string WindowsPathOf(const std::string& relative) {
    std::u16string w = jxtext::W(relative);
    for (char16_t& c : w) {
        if (c == u'/')
            c = u'\\';
    }
    return w;
}

std::u16string Sha256Text(const Bytes& content) {
    uint8_t digest[32];
    SHA256(content.data(), content.size(), digest);
    std::u16string text;
    for (uint8_t b : digest)
        text += jxtext::Format(u"%02X", b);
    return text;
}

class ContainerRoundTrip : public ::testing::TestWithParam<DWORD> {
protected:
    jxtest::TempMachineRoot m_root;
    std::string Dir(const std::string& name) { return m_root.Path() + "/" + name; }
};

TEST_P(ContainerRoundTrip, FolderThroughPackageAndBack) {
    const DWORD blockSize = GetParam();
    const Tree tree = MakeTree(blockSize, blockSize % 1000);
    const std::string in = Dir("in");
    WriteTree(in, tree);

    jxpack::MakeOptions options;
    options.root = "$CONFIG";
    options.blockSize = blockSize;
    options.crcTag = blockSize == 4096; // tag 16 in one of the runs
    options.versions.push_back({"app/tool.exe", {5, 6, 7, 8}});
    const std::string wpk = Dir("config.wpk");
    std::string error;
    ASSERT_TRUE(jxpack::MakePackage(wpk, in, options, &error)) << error;

    // Listed: every file with its size, time, attributes and hash; directories too.
    std::vector<jxpack::ListedPackage> listed;
    ASSERT_TRUE(jxpack::ListPackages(wpk, listed, &error)) << error;
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, u"$CONFIG");
    EXPECT_EQ(jxpkg::BlockSizeOf(listed[0].packageWord), static_cast<int>(blockSize));
    std::map<std::u16string, jxpack::ListedEntry> entries;
    for (const auto& e : listed[0].entries)
        entries[e.path] = e;
    EXPECT_TRUE(entries.at(u"$CONFIG\\empty_dir").isDirectory);
    for (const auto& [path, file] : tree) {
        SCOPED_TRACE(path);
        const auto it = entries.find(u"$CONFIG\\" + WindowsPathOf(path));
        ASSERT_NE(it, entries.end());
        const jxpack::ListedEntry& e = it->second;
        EXPECT_FALSE(e.isDirectory);
        EXPECT_EQ(e.size, file.content.size());
        EXPECT_EQ(e.checksum, jxpkg::ContentChecksumOf(file.content.data(), file.content.size()));
        EXPECT_EQ(e.hash, Sha256Text(file.content));
        EXPECT_EQ(e.attributes, file.readOnly ? 0x81u : 0x80u);
        struct stat st {};
        ASSERT_EQ(::stat((in + "/" + path).c_str(), &st), 0);
        const FILETIME expected = jxpkg::FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        EXPECT_EQ(e.lastWrite.dwLowDateTime, expected.dwLowDateTime);
        EXPECT_EQ(e.lastWrite.dwHighDateTime, expected.dwHighDateTime);
    }
    EXPECT_EQ(entries.at(u"$CONFIG\\app\\tool.exe").version, u"5.6.7.8");

    // Extracted: byte-identical, with the modification times.
    const std::string out = Dir("out");
    ASSERT_TRUE(jxpack::ExtractPackages(wpk, out, &error)) << error;
    for (const auto& [path, file] : tree) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ReadHost(out + "/$CONFIG/" + path), file.content);
        struct stat a {
        }, b{};
        ::stat((in + "/" + path).c_str(), &a);
        ::stat((out + "/$CONFIG/" + path).c_str(), &b);
        EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
        EXPECT_EQ(a.st_mtim.tv_nsec / 100, b.st_mtim.tv_nsec / 100);
    }
    struct stat st {};
    EXPECT_EQ(::stat((out + "/$CONFIG/empty_dir").c_str(), &st), 0);

    // Verified by the self-check, with digests over the whole file.
    jxpack::VerifyOptions verify;
    verify.md5 = true;
    std::u16string report;
    EXPECT_TRUE(jxpack::VerifyPackages(wpk, verify, &report)) << jxtext::N(report);
    const Bytes whole = ReadHost(wpk);
    uint8_t md5[16];
    unsigned int length = 0;
    EVP_Digest(whole.data(), whole.size(), md5, &length, EVP_md5(), nullptr);
    std::u16string md5Text;
    for (uint8_t b : md5)
        md5Text += jxtext::Format(u"%02x", b);
    EXPECT_NE(report.find(u"MD5 digest over file: " + md5Text), std::u16string::npos) << jxtext::N(report);
}

INSTANTIATE_TEST_SUITE_P(ContainerBlockSizes, ContainerRoundTrip,
                         ::testing::Values(1024u, 4096u, 65536u, 524288u, 4194304u));

TEST(ContainerRoundTripLimits, SmallestBlocksListButCannotDeliver) {
    jxtest::TempMachineRoot root;
    const std::string in = root.Path() + "/in";
    WriteTree(in, {{"a.txt", {Bytes(2000, 'a')}}});
    jxpack::MakeOptions options;
    options.root = "$SETUP";
    options.blockSize = 512;
    const std::string wpk = root.Path() + "/setup.wpk";
    std::string error;
    ASSERT_TRUE(jxpack::MakePackage(wpk, in, options, &error)) << error;
    std::vector<jxpack::ListedPackage> listed;
    ASSERT_TRUE(jxpack::ListPackages(wpk, listed, &error)) << error;
    EXPECT_EQ(listed[0].entries.size(), 3u); // $SETUP, a.txt, empty_dir
    // The reader's window for 512-byte blocks is below 1024 bytes: the content cannot be read, and
    // the file is left neither under its name nor as a temporary copy.
    EXPECT_FALSE(jxpack::ExtractPackages(wpk, root.Path() + "/out", &error));
    struct stat st {};
    EXPECT_NE(::stat((root.Path() + "/out/$SETUP/a.txt").c_str(), &st), 0);
    EXPECT_NE(::stat((root.Path() + "/out/$SETUP/a.txt.jxtmp").c_str(), &st), 0);
}

TEST(ContainerRoundTripLimits, UnsafeNamesAreNotExtracted) {
    jxtest::TempMachineRoot root;
    PACKAGE_WRITER_OPTIONS options;
    options.name = "$SETUP";
    options.blockSize = 4096;
    CPackageWriter writer(options);
    PACKAGE_FILE_INPUT file;
    file.content = {'x'};
    ASSERT_TRUE(writer.AddFile(u"$SETUP\\..\\escaped.txt", file));
    const std::string wpk = root.Path() + "/evil.wpk";
    ASSERT_TRUE(writer.WriteToHostFile(wpk));
    std::string error;
    EXPECT_FALSE(jxpack::ExtractPackages(wpk, root.Path() + "/out/inner", &error));
    EXPECT_NE(error.find("unsafe"), std::string::npos) << error;
    struct stat st {};
    EXPECT_NE(::stat((root.Path() + "/out/escaped.txt").c_str(), &st), 0);
}

TEST(ContainerRoundTripLimits, NamesThatDifferOnlyInCaseAreRefused) {
    jxtest::TempMachineRoot root;
    const std::string in = root.Path() + "/in";
    WriteTree(in, {{"Readme.txt", {Bytes(3, 'a')}}, {"README.TXT", {Bytes(3, 'b')}}});
    std::string error;
    EXPECT_FALSE(jxpack::MakePackage(root.Path() + "/x.wpk", in, {}, &error));
}

} // namespace

// The package file is written with its data area spilled and appended; it must hold exactly the
// bytes the in-memory build makes, for files of several blocks and a partial last block.
TEST(ContainerRoundTripLimits, TheWrittenFileEqualsTheBuiltBytes) {
    jxtest::TempMachineRoot root;
    const std::string in = root.Path() + "/in";
    std::mt19937 rng(7);
    WriteTree(in, {{"big.bin", {Random(rng, 3 * 4096 + 17, true)}},
                   {"sub/exact.bin", {Random(rng, 2 * 4096, false)}},
                   {"empty.txt", {}}});
    PACKAGE_WRITER_OPTIONS options;
    options.name = "$SETUP";
    options.blockSize = 4096;
    options.crcTag = true;
    CPackageWriter writer(options);
    ASSERT_TRUE(writer.AddDirectory(u"$SETUP"));
    ASSERT_TRUE(writer.AddHostFolder(in, u"$SETUP"));
    Bytes built;
    std::string error;
    ASSERT_TRUE(writer.Build(built, &error)) << error;
    const std::string wpk = root.Path() + "/setup.wpk";
    ASSERT_TRUE(writer.WriteToHostFile(wpk, &error)) << error;
    EXPECT_EQ(ReadHost(wpk), built);
    const std::string out = root.Path() + "/out";
    ASSERT_TRUE(jxpack::ExtractPackages(wpk, out, &error)) << error;
    EXPECT_EQ(ReadHost(out + "/$SETUP/big.bin"), ReadHost(in + "/big.bin"));
}
