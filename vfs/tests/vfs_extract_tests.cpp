#include <unistd.h>

#include "vfs_test_support.h"

using namespace vfstest;

namespace {

class ExtractTest : public PackageStoreTest {
protected:
    void SetUp() override {
        PackageStoreTest::SetUp();
        PACKAGE_WRITER_OPTIONS options;
        options.name = "$SETUP";
        options.blockSize = 64 * 1024;
        CPackageWriter writer(options);
        auto add = [&](const std::u16string& path, Bytes content, bool readOnly = false,
                       bool hidden = false) {
            PACKAGE_FILE_INPUT input;
            input.content = std::move(content);
            input.lastWrite = TimeOf(kTime);
            input.readOnly = readOnly;
            input.hidden = hidden;
            ASSERT_TRUE(writer.AddFile(path, input));
        };
        add(u"$SETUP\\data\\big.bin", RandomBytes(300000, 50));
        add(u"$SETUP\\data\\sub\\inner.txt", ToBytes("inner"));
        add(u"$SETUP\\data\\empty.txt", {});
        add(u"$SETUP\\locked.txt", ToBytes("locked"), true, true);
        add(u"$SETUP\\a.png", ToBytes("a"));
        add(u"$SETUP\\b.png", ToBytes("b"));
        Bytes package;
        ASSERT_TRUE(writer.Build(package));
        WriteWindowsFile(u"C:\\pkgs\\setup.wpk", package);
        ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\setup.wpk"), 1);
        ASSERT_TRUE(CreateDirectoryW(u"C:\\out", nullptr));
    }

    int Extract(const std::u16string& path, const std::u16string& target, DWORD flags = 0) {
        return Vfs().Extract(Vfs().ResolvePath(path), target, flags);
    }

    static ULONGLONG WriteTimeOf(const std::u16string& path) {
        WIN32_FIND_DATAW data{};
        HANDLE search = FindFirstFileW(path.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            return 0;
        FindClose(search);
        return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
               data.ftLastWriteTime.dwLowDateTime;
    }

    static std::vector<std::string> HostNames(const std::u16string& folder) {
        std::vector<std::string> names;
        WIN32_FIND_DATAW data{};
        HANDLE search = FindFirstFileW((folder + u"\\*").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            std::string name = jxtext::N(data.cFileName);
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileW(search, &data));
        FindClose(search);
        return names;
    }

    static constexpr ULONGLONG kTime = 0x01D5000000000000ULL; // whole seconds
};

} // namespace

TEST_F(ExtractTest, FilesAreWrittenWithTheirTimeAndAttributes) {
    ASSERT_EQ(Extract(u"\\$SETUP\\data\\big.bin", u"C:\\out"), 0); // into the folder, under its own name
    EXPECT_EQ(ReadWindowsFile(u"C:\\out\\big.bin"), RandomBytes(300000, 50));
    EXPECT_EQ(WriteTimeOf(u"C:\\out\\big.bin"), kTime);
    EXPECT_EQ(GetFileAttributesW(u"C:\\out\\big.bin"), FILE_ATTRIBUTE_NORMAL);

    ASSERT_EQ(Extract(u"\\$SETUP\\locked.txt", u"C:\\out\\renamed.txt"), 0);
    EXPECT_EQ(ReadWindowsFile(u"C:\\out\\renamed.txt"), ToBytes("locked"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\out\\renamed.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    // An empty file is made without decoding anything.
    ASSERT_EQ(Extract(u"\\$SETUP\\data\\empty.txt", u"C:\\out"), 0);
    EXPECT_EQ(ReadWindowsFile(u"C:\\out\\empty.txt"), Bytes());
    EXPECT_EQ(WriteTimeOf(u"C:\\out\\empty.txt"), kTime);

    struct {
        const char* name;
        const char16_t* path;
        const char16_t* target;
        DWORD flags;
        int result;
    } rows[] = {
        {"present, not overwritten", u"\\$SETUP\\a.png", u"C:\\out\\big.bin", kVfsNoOverwrite, -10},
        {"present, overwritten", u"\\$SETUP\\a.png", u"C:\\out\\big.bin", 0, 0},
        {"read-only target", u"\\$SETUP\\a.png", u"C:\\out\\renamed.txt", 0, -9},
        {"folder missing", u"\\$SETUP\\a.png", u"C:\\none\\a.png", 0, -9},
        {"not a file", u"\\$SETUP\\data", u"C:\\out\\x", 0, -2},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Vfs().ExtractFile(Vfs().ResolvePath(row.path), row.target, row.flags), row.result)
            << row.name;
    EXPECT_EQ(ReadWindowsFile(u"C:\\out\\big.bin"), ToBytes("a"));
    EXPECT_EQ(Vfs().Extract(nullptr, u"C:\\out", 0), -2);
}

TEST_F(ExtractTest, DamagedContentIsNotLeftOnDisk) {
    PackageLayout layout;
    layout.name = "$BAD";
    layout.files[u"$BAD\\small.bin"] = RandomBytes(20, 51);
    Bytes package = BuildPackage(layout);
    const ULONGLONG dataStart = jxpkg::kHeaderSize + jxpkg::PaddedMetaSize(jxpkg::LoadU32(&package[28]));
    package[dataStart + 5] ^= 0x5A; // decodes, but not to the stored checksum
    Bytes undecodable = BuildPackage(layout);
    undecodable[dataStart] = 0xFF; // not an LZO1X stream any more
    WriteWindowsFile(u"C:\\pkgs\\bad.wpk", package);
    WriteWindowsFile(u"C:\\pkgs\\worse.wpk", undecodable);
    ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\bad.wpk"), 1);
    EXPECT_EQ(Extract(u"\\$BAD\\small.bin", u"C:\\out\\small.bin"), -3);
    EXPECT_EQ(GetFileAttributesW(u"C:\\out\\small.bin"), INVALID_FILE_ATTRIBUTES);

    m_pManager->RemovePackage(u"$BAD");
    ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\worse.wpk"), 1);
    EXPECT_EQ(Extract(u"\\$BAD\\small.bin", u"C:\\out\\small.bin"), -3);
    EXPECT_EQ(GetFileAttributesW(u"C:\\out\\small.bin"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ExtractTest, DirectoriesAndCopiesGoIntoOneFolder) {
    ASSERT_EQ(Extract(u"\\$SETUP\\data", u"C:\\out\\flat"), 0);
    EXPECT_EQ(HostNames(u"C:\\out\\flat"), (std::vector<std::string>{"big.bin", "empty.txt", "inner.txt"}));

    EXPECT_EQ(Vfs().CopyFile(u"\\$SETUP\\*.png", u"C:\\out\\png\\new", 0), 0); // several: a folder is made
    EXPECT_EQ(HostNames(u"C:\\out\\png\\new"), (std::vector<std::string>{"a.png", "b.png"}));
    EXPECT_EQ(Vfs().CopyFile(u"\\$SETUP\\a.png", u"C:\\out\\one.png", 0), 0);
    EXPECT_EQ(ReadWindowsFile(u"C:\\out\\one.png"), ToBytes("a"));
    // A single file into an existing folder, and nothing else of the current directory with it.
    ASSERT_TRUE(CreateDirectoryW(u"C:\\out\\single", nullptr));
    Vfs().SetCurrentDirectory(u"\\$SETUP");
    EXPECT_EQ(Vfs().CopyFile(u"\\$SETUP\\b.png", u"C:\\out\\single", 0), 0);
    EXPECT_EQ(HostNames(u"C:\\out\\single"), std::vector<std::string>{"b.png"});
    EXPECT_EQ(Vfs().CopyFile(u"b.png", u"C:\\out\\into", kVfsIntoFolder), -9); // the folder is not made
    EXPECT_EQ(Vfs().CopyFile(u"\\$SETUP\\*.exe", u"C:\\out", 0), -2);
    EXPECT_EQ(Vfs().CopyFile(u"\\$SETUP\\*.png", u"C:\\out\\png\\new", kVfsNoOverwrite), -10);
}

TEST_F(ExtractTest, CreateDirectoryPathLeavesTheProcessFolderAlone) {
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof(before)), nullptr);
    EXPECT_TRUE(Vfs().CreateDirectoryPath(u"x\\y\\z", u"C:\\out"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\out\\x\\y\\z"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Vfs().CreateDirectoryPath(u"C:\\out\\x", nullptr)); // present
    EXPECT_TRUE(Vfs().CreateDirectoryPath(u"C:\\deep\\er/still", nullptr));
    EXPECT_EQ(GetFileAttributesW(u"C:\\deep\\er\\still"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Vfs().CreateDirectoryPath(u"", nullptr));
    ASSERT_EQ(Extract(u"\\$SETUP\\a.png", u"C:\\out"), 0);
    EXPECT_FALSE(Vfs().CreateDirectoryPath(u"C:\\out\\a.png\\below", nullptr)); // a file in the way
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof(after)), nullptr);
    EXPECT_STREQ(before, after);
}

// A package's names become paths when it is extracted: an entry named "..", "." or with a trailing
// dot or blank never enters the tree, so nothing is written outside the folder extracted into.
TEST_F(ExtractTest, EntriesWithoutAValidNameAreNotMounted) {
    PACKAGE_WRITER_OPTIONS options;
    options.name = "$EVIL";
    CPackageWriter writer(options);
    for (const char16_t* path : {u"$EVIL\\ok.txt", u"$EVIL\\..\\..\\escape.txt", u"$EVIL\\.\\dot.txt",
                                 u"$EVIL\\trail.\\inner.txt", u"$EVIL\\blank \\inner.txt"}) {
        PACKAGE_FILE_INPUT input;
        input.content = ToBytes("x");
        input.lastWrite = TimeOf(kTime);
        writer.AddFile(path, input);
    }
    Bytes package;
    ASSERT_TRUE(writer.Build(package));
    WriteWindowsFile(u"C:\\pkgs\\evil.wpk", package);
    ASSERT_EQ(m_pManager->MountPackageFile(u"C:\\pkgs\\evil.wpk"), 1);
    ASSERT_TRUE(CreateDirectoryW(u"C:\\out\\a", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"C:\\out\\a\\b", nullptr));
    ASSERT_EQ(Extract(u"\\$EVIL", u"C:\\out\\a\\b"), 0);
    EXPECT_EQ(HostNames(u"C:\\out\\a\\b"), std::vector<std::string>{"ok.txt"});
    EXPECT_EQ(HostNames(u"C:\\out\\a"), std::vector<std::string>{"b"});
    EXPECT_EQ(HostNames(u"C:\\out"), std::vector<std::string>{"a"});
}
