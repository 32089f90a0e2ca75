#include "vfs_test_support.h"
#include "jxtest/vtable_slot.h"

using namespace vfstest;

namespace {

class VfsPathTest : public PackageStoreTest {
protected:
    void SetUp() override {
        PackageStoreTest::SetUp();
        PackageLayout setup;
        for (const char16_t* path : {u"$SETUP\\GUI\\gui.dll", u"$SETUP\\GUI\\b.PNG", u"$SETUP\\GUI\\A.png",
                                     u"$SETUP\\GUI\\sub\\c.png", u"$SETUP\\setup.exe"})
            setup.files[path] = ToBytes(jxtext::N(path));
        ASSERT_EQ(Mount(u"setup.wpk", setup), 1);
        PackageLayout config;
        config.name = "$CONFIG";
        config.files[u"$CONFIG\\setup.jxsetup"] = ToBytes("<setup/>");
        ASSERT_EQ(Mount(u"config.wpk", config), 1);
    }

    // The merged path of what a path resolves to, "-" when it does not resolve.
    std::u16string Resolve(const std::u16string& path) {
        InternalPackageObjBase* entry = Vfs().ResolvePath(path);
        return entry ? entry->GetFullPath(false) : u"-";
    }

    std::vector<std::u16string> Search(const std::u16string& pattern) {
        std::vector<std::u16string> names;
        InternalPackageObjBase* entry = nullptr;
        HANDLE search = Vfs().FindFirstFile(pattern, &entry);
        if (search == INVALID_HANDLE_VALUE)
            return {u"-"};
        while (entry) {
            names.push_back(entry->GetName());
            Vfs().FindNextFile(search, &entry);
        }
        EXPECT_EQ(Vfs().GetLastError(), -4);
        EXPECT_TRUE(Vfs().FindClose(search));
        return names;
    }
};

} // namespace

TEST_F(VfsPathTest, PathsResolveByTheGrammar) {
    struct {
        const char16_t* current;
        const char16_t* path;
        const char16_t* resolved;
    } rows[] = {
        {u"\\", u"\\", u"\\"},
        {u"\\", u"\\$SETUP\\GUI\\gui.dll", u"\\$SETUP\\GUI\\gui.dll"},
        {u"\\", u"\\$setup\\gui\\GUI.DLL", u"\\$SETUP\\GUI\\gui.dll"},
        {u"\\", u"\\$SETUP\\", u"-"},
        {u"\\", u"\\$SETUP\\\\GUI", u"-"},
        {u"\\", u"\\\\$SETUP", u"\\$SETUP"},
        {u"\\", u"\\$SETUP\\..\\$CONFIG", u"\\$CONFIG"},
        {u"\\", u"\\$SETUP\\GUI\\..\\.\\..\\$CONFIG\\setup.jxsetup", u"\\$CONFIG\\setup.jxsetup"},
        {u"\\", u"\\$SETUP\\..\\..", u"-"},
        {u"\\", u"\\..\\", u"-"},
        {u"\\", u"\\..\\$SETUP", u"\\..\\$SETUP"},
        {u"\\", u"\\..\\$SETUP\\$SETUP\\GUI\\gui.dll", u"\\$SETUP\\GUI\\gui.dll"},
        {u"\\", u"\\..\\$SETUP\\$CONFIG", u"-"}, // a package's own tree holds only its own top directory
        {u"\\", u"\\..\\$NONE", u"-"},
        {u"\\", u"\\$SETUP\\setup.exe\\x", u"-"},
        {u"\\$SETUP\\GUI", u"sub\\c.png", u"\\$SETUP\\GUI\\sub\\c.png"},
        {u"\\$SETUP\\GUI", u"$ROOT\\$CONFIG", u"\\$CONFIG"},
        {u"\\$SETUP\\GUI", u"$PACKAGES\\$CONFIG", u"\\..\\$CONFIG"},
        {u"\\$SETUP\\GUI", u"..\\setup.exe", u"\\$SETUP\\setup.exe"},
        {u"\\$SETUP\\GUI", u"", u"-"},
        {u"\\", u"", u"\\"},
    };
    for (const auto& row : rows) {
        Vfs().SetCurrentDirectory(row.current);
        ASSERT_EQ(Vfs().GetCurrentDirectory(), row.current);
        EXPECT_EQ(Resolve(row.path), row.resolved) << jxtext::N(row.current) << " | " << jxtext::N(row.path);
        EXPECT_EQ(Vfs().GetLastError(), std::u16string(row.resolved) == u"-" ? -1 : 0) << jxtext::N(row.path);
    }
}

TEST_F(VfsPathTest, TheCurrentDirectoryIsKeptAsItsPath) {
    VirtualFS& vfs = Vfs();
    EXPECT_EQ(vfs.GetCurrentDirectory(), u"\\");
    EXPECT_EQ(vfs.SetCurrentDirectory(u"\\$SETUP\\setup.exe"), u"\\");
    EXPECT_EQ(vfs.GetLastError(), -6);
    EXPECT_EQ(vfs.SetCurrentDirectory(u"\\nowhere"), u"\\");
    EXPECT_EQ(vfs.GetLastError(), -1);
    EXPECT_EQ(vfs.ChangeDirectory(u"$setup\\gui"), u"\\$SETUP\\GUI");
    EXPECT_EQ(vfs.GetEntryCount(), 4);
    // Inside a package's own tree the path says so, and relative names resolve there.
    EXPECT_EQ(vfs.SetCurrentDirectory(u"\\..\\$SETUP\\$SETUP"), u"\\..\\$SETUP\\$SETUP");
    EXPECT_EQ(Resolve(u"GUI\\gui.dll"), u"\\$SETUP\\GUI\\gui.dll");
    EXPECT_EQ(vfs.SetCurrentDirectory(u".."), u"\\"); // ".." leaves for the merged tree
    EXPECT_EQ(vfs.Refresh(), 1);

    // A buffer too small for a NUL gets nothing; the length is the path's in every case.
    vfs.SetCurrentDirectory(u"\\$SETUP\\GUI");
    struct {
        DWORD size;
        std::u16string copied;
    } rows[] = {{0, u"#####"}, {1, u"#####"}, {2, u""}, {8, u"\\$S"}, {64, u"\\$SETUP\\GUI"}};
    for (const auto& row : rows) {
        WCHAR buffer[40];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        buffer[5] = 0;
        EXPECT_EQ(vfs.GetCurrentDirectoryToBuffer(row.size, buffer), 11) << row.size;
        EXPECT_EQ(std::u16string(buffer), row.copied) << row.size;
    }
    EXPECT_EQ(vfs.GetCurrentDirectoryToBuffer(64, nullptr), 11);

    // Without a manager.
    VirtualFS unmounted;
    EXPECT_EQ(unmounted.ResolvePath(u"\\"), nullptr);
    EXPECT_EQ(unmounted.GetLastError(), -8);
    EXPECT_EQ(unmounted.GetCurrentDirectory(), u"");
    EXPECT_EQ(unmounted.Refresh(), -8);
    unmounted.CopyFrom(vfs);
    EXPECT_EQ(unmounted.GetPackageMgr(), m_pManager);
    EXPECT_EQ(unmounted.GetCurrentDirectory(), u"\\");
    unmounted.UnmountAll();
    EXPECT_EQ(unmounted.GetPackageMgr(), nullptr);
}

TEST_F(VfsPathTest, SearchesListMatchesInNameOrder) {
    using Names = std::vector<std::u16string>;
    struct {
        const char16_t* pattern;
        Names names;
        int count;
    } rows[] = {
        {u"\\$SETUP\\GUI\\*.png", {u"A.png", u"b.PNG"}, 2},
        {u"\\$SETUP\\GUI\\?.PNG", {u"A.png", u"b.PNG"}, 2},
        {u"\\$SETUP\\GUI\\*", {u"A.png", u"b.PNG", u"gui.dll", u"sub"}, 4},
        {u"\\$SETUP\\GUI", {u"A.png", u"b.PNG", u"gui.dll", u"sub"}, 4},
        {u"\\$SETUP\\GUI\\*.txt", {u"-"}, 0},
        {u"*.png", {u"-"}, 0},
        {u"\\$SETUP\\GUI\\", {u"-"}, 0},
        {u"\\$SETUP\\GUI\\*\\", {u"-"}, 0},
        {u"\\*", {u"$CONFIG", u"$SETUP"}, 2},
        {u"\\", {u"$CONFIG", u"$SETUP"}, 2},
        {u"\\nowhere\\*", {u"-"}, 0},
        {u"", {u"-"}, 0},
        // A file path finds the file, then the search goes on over the current directory ("\").
        {u"\\$SETUP\\setup.exe", {u"setup.exe", u"$CONFIG", u"$SETUP"}, 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Search(row.pattern), row.names) << jxtext::N(row.pattern);
        EXPECT_EQ(Vfs().CountMatches(row.pattern), row.count) << jxtext::N(row.pattern);
    }
    InternalPackageObjBase* entry = reinterpret_cast<InternalPackageObjBase*>(1);
    EXPECT_FALSE(Vfs().FindNextFile(INVALID_HANDLE_VALUE, &entry));
    EXPECT_EQ(entry, nullptr);
    EXPECT_EQ(Vfs().GetLastError(), -2);
    EXPECT_FALSE(Vfs().FindClose(nullptr));
}

TEST_F(VfsPathTest, EntriesAreListedByKind) {
    auto names = [&](int kind, const WCHAR* path) {
        std::vector<InternalPackageObjBase*> entries;
        Vfs().GetEntries(entries, kind, path);
        std::vector<std::u16string> out;
        for (auto* entry : entries)
            out.push_back(entry->GetName());
        return out;
    };
    using Names = std::vector<std::u16string>;
    EXPECT_EQ(names(0, nullptr), (Names{u"$SETUP", u"$CONFIG"})); // mount order
    EXPECT_EQ(names(1, u"\\$SETUP\\GUI"), (Names{u"A.png", u"b.PNG", u"gui.dll"}));
    EXPECT_EQ(names(2, u"\\$SETUP\\GUI"), (Names{u"sub"}));
    EXPECT_EQ(names(3, u"\\$SETUP\\GUI"), (Names{u"A.png", u"b.PNG", u"gui.dll", u"sub"}));
    EXPECT_EQ(names(1, u"\\$SETUP\\setup.exe"), (Names{u"setup.exe"}));
    EXPECT_EQ(names(2, u"\\$SETUP\\setup.exe"), Names{});
    Vfs().SetCurrentDirectory(u"\\$SETUP");
    EXPECT_EQ(names(3, nullptr), (Names{u"GUI", u"setup.exe"}));
    EXPECT_EQ(Vfs().GetFile(u"GUI"), nullptr);
    ASSERT_NE(Vfs().GetFile(u"setup.exe"), nullptr);
    EXPECT_EQ(Vfs().OpenStream(nullptr, 0), nullptr);
    EXPECT_EQ(Vfs().OpenStreamByPath(u"GUI", 0), nullptr);
}

// A GUI module calls the virtual file system by position: the destructor takes slots 0 and 1,
// and the operation at position p (the destructor being position 1) is slot p.
TEST(VirtualFSAbi, OperationsKeepTheirPositions) {
    using jxtest::VtableSlot;
    const struct {
        int position;
        long slot;
        const char* name;
    } rows[] = {
        {2, VtableSlot(&VirtualFS::CopyFrom), "CopyFrom"},
        {3, VtableSlot(&VirtualFS::Mount), "Mount"},
        {4, VtableSlot(&VirtualFS::GetLastError), "GetLastError"},
        {5, VtableSlot(&VirtualFS::GetCurrentDirectoryToBuffer), "GetCurrentDirectoryToBuffer"},
        {6, VtableSlot(&VirtualFS::GetCurrentDirectory), "GetCurrentDirectory"},
        {7, VtableSlot(&VirtualFS::SetCurrentDirectory), "SetCurrentDirectory"},
        {8, VtableSlot(&VirtualFS::GetWorkingDirectory), "GetWorkingDirectory"},
        {9, VtableSlot(&VirtualFS::ChangeDirectory), "ChangeDirectory"},
        {10, VtableSlot(&VirtualFS::FindFirstFile), "FindFirstFile"},
        {11, VtableSlot(&VirtualFS::FindNextFile), "FindNextFile"},
        {12, VtableSlot(&VirtualFS::FindClose), "FindClose"},
        {13, VtableSlot(&VirtualFS::CountMatches), "CountMatches"},
        {14, VtableSlot(&VirtualFS::GetEntryCount), "GetEntryCount"},
        {15, VtableSlot(&VirtualFS::GetEntries), "GetEntries"},
        {16, VtableSlot(&VirtualFS::Refresh), "Refresh"},
        {17, VtableSlot(&VirtualFS::ResolvePath), "ResolvePath"},
        {18, VtableSlot(&VirtualFS::GetFile), "GetFile"},
        {19, VtableSlot(&VirtualFS::AsFile), "AsFile"},
        {20, VtableSlot(&VirtualFS::OpenStream), "OpenStream"},
        {21, VtableSlot(&VirtualFS::OpenStreamByPath), "OpenStreamByPath"},
        {22, VtableSlot(&VirtualFS::CopyFile), "CopyFile"},
        {23, VtableSlot(&VirtualFS::LoadDll), "LoadDll"},
        {24, VtableSlot(&VirtualFS::FreeDll), "FreeDll"},
        {25, VtableSlot(&VirtualFS::Execute), "Execute"},
        {26, VtableSlot(&VirtualFS::CleanupAfterExecution), "CleanupAfterExecution"},
        {27, VtableSlot(&VirtualFS::AddReference), "AddReference"},
        {28, VtableSlot(&VirtualFS::ReleaseReference), "ReleaseReference"},
        {29, VtableSlot(&VirtualFS::PrepareForExecution), "PrepareForExecution"},
        {30, VtableSlot(&VirtualFS::GetModulePath), "GetModulePath"},
        {31, VtableSlot(&VirtualFS::NoOpQuery), "NoOpQuery"},
        {32, VtableSlot(&VirtualFS::NoOpNotify), "NoOpNotify"},
        {33, VtableSlot(&VirtualFS::CreateDirectoryPath), "CreateDirectoryPath"},
        {34, VtableSlot(&VirtualFS::Extract), "Extract"},
        {35, VtableSlot(&VirtualFS::ExtractDirectory), "ExtractDirectory"},
        {36, VtableSlot(&VirtualFS::ExtractFile), "ExtractFile"},
        {37, VtableSlot(&VirtualFS::NoOp), "NoOp"},
        {38, VtableSlot(&VirtualFS::UnloadAll), "UnloadAll"},
        {39, VtableSlot(&VirtualFS::UnmountAll), "UnmountAll"},
        {40, VtableSlot(&VirtualFS::GetPackageMgr), "GetPackageMgr"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.slot, row.position) << row.name;
}
