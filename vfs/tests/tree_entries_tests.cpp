#include <gtest/gtest.h>

#include "jxvfs/InternalPackage.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/container/PackageFormat.h"

namespace {

META_NODE FileNode(const std::u16string& name, ULONGLONG time, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    META_NODE node;
    node.name = name;
    node.size = 10;
    node.checksum = 0x1234;
    node.dataOffset = 100;
    node.lastWrite = FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    node.attributes = attributes;
    return node;
}

std::shared_ptr<InternalPackageFile> MakeFile(const std::u16string& name, ULONGLONG time) {
    return InternalPackageFile::Create(FileNode(name, time), jxpkg::kSetupPackageWord, 1000, nullptr);
}

META_TAG Tag(BYTE key, std::vector<BYTE> bytes) {
    META_TAG tag;
    tag.key = key;
    tag.length = static_cast<BYTE>(bytes.size());
    tag.bytes = bytes;
    if (tag.length == 4)
        tag.value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
    return tag;
}

} // namespace

TEST(PackageTree, FileClashesFollowTheScanMode) {
    struct {
        int mode;
        ULONGLONG presentTime, newTime;
        bool replaced;
    } rows[] = {
        {0, 10, 20, true},  {0, 20, 10, false}, {0, 10, 10, false}, // mode 0: only a strictly older one goes
        {1, 10, 20, false}, {2, 20, 10, true},
    };
    for (const auto& row : rows) {
        auto directory = std::make_shared<InternalPackageDir>(u"d");
        auto present = MakeFile(u"File.txt", row.presentTime);
        auto incoming = MakeFile(u"FILE.TXT", row.newTime);
        ASSERT_TRUE(directory->AddFile(present, row.mode));
        EXPECT_EQ(directory->AddFile(incoming, row.mode), row.replaced) << row.mode;
        EXPECT_EQ(directory->FindChild(u"file.txt"), row.replaced ? incoming : present);
        EXPECT_EQ(directory->GetChildren().size(), 1u);
    }

    // Directories and files never replace each other.
    auto directory = std::make_shared<InternalPackageDir>(u"d");
    auto sub = std::make_shared<InternalPackageDir>(u"Sub");
    EXPECT_EQ(directory->AddDirectory(sub), sub);
    EXPECT_EQ(directory->AddDirectory(std::make_shared<InternalPackageDir>(u"SUB")), sub);
    EXPECT_FALSE(directory->AddFile(MakeFile(u"sub", 99), 2));
    ASSERT_TRUE(directory->AddFile(MakeFile(u"f", 1), 0));
    EXPECT_EQ(directory->AddDirectory(std::make_shared<InternalPackageDir>(u"F")), nullptr);
}

TEST(PackageTree, ChildrenAreOrderedAsWcsicmpOrdersThem) {
    auto directory = std::make_shared<InternalPackageDir>(u"d");
    for (const char16_t* name : {u"b", u"_x", u"A", u"C", u"a1"})
        directory->AddFile(MakeFile(name, 1), 0);
    std::vector<std::u16string> order;
    for (const auto& [name, child] : directory->GetChildren())
        order.push_back(name);
    // Lower-case comparison puts "_" (0x5F) before the letters (0x61..).
    EXPECT_EQ(order, (std::vector<std::u16string>{u"_x", u"A", u"a1", u"b", u"C"}));
}

TEST(PackageTree, PathsFollowTheTreeAndThePackageLinks) {
    jxpkg::PACKAGE_HEADER header;
    header.packageWord = jxpkg::kSetupPackageWord;
    auto root = std::make_shared<InternalPackageDir>(u"");
    auto package = std::make_shared<InternalPackage>(u"$SETUP", header, 0, 60, 200, nullptr);
    auto ownTop = std::make_shared<InternalPackageDir>(u"$SETUP");
    ownTop->SetLinks(package, root);
    package->AddDirectory(ownTop);
    auto mergedTop = std::make_shared<InternalPackageDir>(u"$SETUP");
    mergedTop->SetLinks(package, root);
    root->AddDirectory(mergedTop);
    auto file = MakeFile(u"gui.dll", 1);
    file->SetLinks(ownTop, mergedTop);

    EXPECT_EQ(root->GetFullPath(), u"\\");
    EXPECT_EQ(root->GetFullPath(true), u"\\");
    EXPECT_EQ(mergedTop->GetFullPath(), u"\\$SETUP");
    EXPECT_EQ(file->GetFullPath(), u"\\$SETUP\\gui.dll");
    EXPECT_EQ(file->GetFullPath(true), u"\\..\\$SETUP\\$SETUP\\gui.dll");
    EXPECT_EQ(package->GetFullPath(), u"\\..\\$SETUP");
    EXPECT_EQ(file->GetOwningPackage(), package);

    EXPECT_TRUE(root->IsRoot());
    EXPECT_FALSE(root->IsPackage());
    EXPECT_TRUE(package->IsRoot() && package->IsPackage());
    EXPECT_FALSE(ownTop->IsRoot() || ownTop->IsPackage());
    EXPECT_EQ(file->GetParent(), mergedTop.get());
    EXPECT_EQ(file->GetPackage(), ownTop.get());

    // Links are weak: an entry that outlives its tree has no parent and no package.
    package.reset();
    ownTop.reset();
    EXPECT_EQ(file->GetPackage(), nullptr);
    EXPECT_EQ(file->GetOwningPackage(), nullptr);
    EXPECT_EQ(file->GetFullPath(true), u"\\$SETUP\\gui.dll");
}

TEST(PackageTree, FilesCarryTheirMetaData) {
    META_NODE node =
        FileNode(u"setup.exe", 5, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    node.tags.push_back(Tag(40, {0x02, 0x00, 0x01, 0x00})); // 1.2
    node.tags.push_back(Tag(41, {0x04, 0x00, 0x03, 0x00})); // 3.4
    for (BYTE key = 48; key <= 55; ++key)
        node.tags.push_back(Tag(key, {BYTE(key), 0xAB, 0x00, 0x0F}));
    node.tags.push_back(Tag(99, {1, 2, 3}));
    auto file = InternalPackageFile::Create(node, jxpkg::kSetupPackageWord, 1000, nullptr);

    EXPECT_EQ(file->GetVersionString(), u"1.2.3.4");
    EXPECT_EQ(file->GetHashText(), u"30AB000F31AB000F32AB000F33AB000F34AB000F35AB000F36AB000F37AB000F");
    DWORD length = 0;
    EXPECT_EQ(file->GetTaggedValue(40, &length), 0x00010002u);
    EXPECT_EQ(length, 4u);
    auto* bytes = reinterpret_cast<const BYTE*>(file->GetTaggedValue(99, &length));
    ASSERT_EQ(length, 3u);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(file->GetTaggedValue(7, &length), 0u);
    EXPECT_EQ(length, 0u);

    EXPECT_EQ(file->GetFileAttributes(), 0x83u);
    EXPECT_EQ(file->GetDataPosition(), 1100u);
    EXPECT_EQ(file->GetStoredValue(), 0x1234u);
    EXPECT_EQ(file->GetBlockSize(), 512 * 1024);
    const FILETIME later{6, 0};
    EXPECT_TRUE(file->IsOlderThan(&later));
    EXPECT_FALSE(file->IsOlderThan(nullptr));
    EXPECT_FALSE(file->IsOlderThanFile(std::make_shared<InternalPackageDir>(u"x").get()));

    EXPECT_FALSE(file->SetEnabled(false));
    EXPECT_TRUE(file->IsDisabled());
    auto directory = std::make_shared<InternalPackageDir>(u"d");
    directory->AddFile(file, 0);
    EXPECT_FALSE(directory->SetEnabled(true)); // applies to the children, keeps its own state
    EXPECT_FALSE(file->IsDisabled());
    EXPECT_EQ(directory->GetFileAttributes(), 17u);
    EXPECT_EQ(directory->GetSize64(), 1u);
}
