// Folders packed with the package writer, mounted from ".wpk" files and read back through the
// virtual file system and through extraction.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "vfs_test_support.h"

using namespace vfstest;
namespace fs = std::filesystem;

namespace {

class RoundTripTest : public PackageStoreTest {
protected:
    // Every regular file below a host folder: its path relative to it ("a/b.txt") and content.
    static std::map<std::string, Bytes> HostFiles(const std::string& folder) {
        std::map<std::string, Bytes> files;
        for (const auto& item : fs::recursive_directory_iterator(folder)) {
            if (!item.is_regular_file())
                continue;
            const std::string text = jxtest::ReadHostFile(item.path().string());
            files[fs::relative(item.path(), folder).generic_string()] = Bytes(text.begin(), text.end());
        }
        return files;
    }

    static std::u16string VfsPathOf(const std::u16string& top, const std::string& relative) {
        std::u16string path = u"\\" + top + u"\\" + jxtext::W(relative);
        std::replace(path.begin(), path.end(), u'/', u'\\');
        return path;
    }

    // Packs a host folder below `top`, mounts it and reads every file back three ways.
    void PackMountAndCompare(const std::string& folder, const std::u16string& top, DWORD blockSize) {
        PACKAGE_WRITER_OPTIONS options;
        options.name = jxtext::N(top);
        options.blockSize = blockSize;
        CPackageWriter writer(options);
        ASSERT_TRUE(writer.AddHostFolder(folder, top));
        const std::u16string carrier = u"C:\\pkgs\\" + top + u".wpk";
        std::string error;
        ASSERT_TRUE(writer.WriteToHostFile(jxplat::WindowsToHostPath(carrier), &error)) << error;
        ASSERT_EQ(m_pManager->MountPackageFile(carrier.c_str()), 1);

        const auto files = HostFiles(folder);
        ASSERT_FALSE(files.empty());
        int index = 0;
        for (const auto& [relative, content] : files) {
            const std::u16string path = VfsPathOf(top, relative);
            InternalPackageObjBase* entry = Vfs().ResolvePath(path);
            ASSERT_NE(entry, nullptr) << relative;
            EXPECT_EQ(entry->GetSize64(), content.size()) << relative;
            HRESULT last = E_FAIL;
            EXPECT_EQ(ReadThroughStream(entry, 0, 100000, &last), content) << relative;
            EXPECT_EQ(last, S_OK) << relative;
            EXPECT_EQ(ReadThroughStream(entry, kStreamBlockCached, 70001), content) << relative;
            const std::u16string target = jxtext::Format(u"C:\\out\\%d", index++);
            ASSERT_EQ(Vfs().Extract(entry, target, 0), 0) << relative;
            EXPECT_EQ(ReadWindowsFile(target), content) << relative;
        }
    }

    static void WriteHost(const fs::path& path, const Bytes& content) {
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(content.data()),
                  static_cast<std::streamsize>(content.size()));
    }

    void SetUp() override {
        PackageStoreTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"C:\\out", nullptr));
        ASSERT_TRUE(CreateDirectoryW(u"C:\\pkgs", nullptr));
        m_source = m_root.Path() + "/source";
    }

    std::string m_source;
};

} // namespace

TEST_F(RoundTripTest, RandomFoldersComeBackByteForByte) {
    const size_t block = 64 * 1024;
    const fs::path base = m_source;
    WriteHost(base / "empty.txt", {});
    WriteHost(base / "one.bin", RandomBytes(1, 1));
    WriteHost(base / "exact.bin", RandomBytes(block, 2));
    WriteHost(base / "exact3.bin", RandomBytes(3 * block, 3));
    WriteHost(base / "plus1.bin", RandomBytes(block + 1, 4));
    WriteHost(base / "large.bin", RandomBytes(2 * 1024 * 1024 + 333, 5));
    WriteHost(base / "text.txt", TextBytes(700000, 6));
    WriteHost(base / u8"ünïcødé" / u8"日本語.txt", TextBytes(5000, 7));
    WriteHost(base / u8"emoji😀.bin", RandomBytes(77, 8));
    fs::path deep = base;
    for (int level = 0; level < 12; ++level)
        deep /= "level" + std::to_string(level);
    WriteHost(deep / "leaf.bin", RandomBytes(1234, 9));
    fs::create_directories(base / "empty folder");

    PackMountAndCompare(m_source, u"$SETUP", 64 * 1024);
    EXPECT_NE(Vfs().ResolvePath(u"\\$SETUP\\empty folder"), nullptr);
    // The setup's own block size: fewer, larger blocks.
    PackMountAndCompare(m_source, u"$OTHER", 512 * 1024);
}

TEST_F(RoundTripTest, ARealCorpusComesBackByteForByte) {
    // Files under /usr/share, in a fixed order, bounded in count and size.
    std::vector<fs::path> picked;
    uintmax_t total = 0;
    std::error_code ec;
    for (const char* root : {"/usr/share/common-licenses", "/usr/share/doc", "/usr/share/zoneinfo"}) {
        std::vector<fs::path> candidates;
        for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec),
             end;
             it != end; it.increment(ec)) {
            if (!ec && it->is_regular_file(ec) && !it->is_symlink(ec))
                candidates.push_back(it->path());
        }
        std::sort(candidates.begin(), candidates.end());
        for (const fs::path& path : candidates) {
            const uintmax_t size = fs::file_size(path, ec);
            if (ec || size > 4 * 1024 * 1024 || picked.size() >= 150 || total + size > 12 * 1024 * 1024)
                continue;
            picked.push_back(path);
            total += size;
        }
    }
    if (picked.empty())
        GTEST_SKIP() << "no files under /usr/share";
    std::set<std::u16string> taken; // names that differ only in case would meet in one package directory
    for (const fs::path& path : picked) {
        const fs::path relative = fs::path(path.string().substr(1));
        if (!taken.insert(jxtext::Fold(jxtext::W(relative.generic_string()))).second)
            continue;
        const std::string text = jxtest::ReadHostFile(path.string());
        WriteHost(fs::path(m_source) / relative, Bytes(text.begin(), text.end()));
    }
    PackMountAndCompare(m_source, u"$CORPUS", 512 * 1024);
}
