// The data object's package operations: the packages beside the program mounted in their order
// (waiting ".wpk.jxtmp" copies moved into place first), packaged files listed, extracted, read as
// XML and loaded as DLLs.
#include <algorithm>

#include <sys/stat.h>

#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"
#include "vfs_test_support.h"

using namespace vfstest;
using JxSetup::Data::JxData;

namespace {

const std::u16string kAppDir = u"C:\\prog\\";
const std::u16string kGuid = u"{0123456789ABCDEF0123456789ABCDEF}";

// Every log line of the test as "context|message".
class CCapturedLog {
public:
    CCapturedLog() {
        JxSetup::Data::JxLog::SetCaptureForTesting(
            [this](int, std::u16string_view, std::u16string_view context, std::u16string_view message) {
                std::lock_guard<std::mutex> guard(m_Lock);
                m_Lines.push_back(jxtext::N(context) + "|" + jxtext::N(message));
            });
    }
    ~CCapturedLog() { JxSetup::Data::JxLog::SetCaptureForTesting(nullptr); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_Lines;
    }
    // The messages of the lines whose context ends with the operation name.
    std::vector<std::string> Of(const std::string& operation) {
        std::vector<std::string> out;
        for (const std::string& line : Lines()) {
            const size_t bar = line.find('|');
            if (line.compare(0, bar, "JxSetup::Data::JxData::" + operation) == 0)
                out.push_back(line.substr(bar + 1));
        }
        return out;
    }
    bool Has(const std::string& text) {
        for (const std::string& line : Lines())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }

private:
    std::mutex m_Lock;
    std::vector<std::string> m_Lines;
};

Bytes HostFileBytes(const std::string& hostPath) {
    const std::string text = jxtest::ReadHostFile(hostPath);
    return Bytes(text.begin(), text.end());
}

bool DiskHas(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TestProgramPath(const char* name) {
    return jxtest::BuildDir() + "/tests/programs/" + name;
}

void SetWriteTime(const std::u16string& path, ULONGLONG ticks) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME time = TimeOf(ticks);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

class PackageOpsTest : public PackageStoreTest {
protected:
    void SetUp() override {
        PackageStoreTest::SetUp();
        m_Data.SetAppDir(kAppDir);
    }
    void TearDown() override {
        m_Data.m_OwnedVfs.reset();
        PackageStoreTest::TearDown();
    }
    // Writes a package file beside the program.
    void Beside(const std::u16string& file, const PackageLayout& layout) {
        WriteWindowsFile(kAppDir + file, BuildPackage(layout));
    }
    // A package with one file.
    static PackageLayout One(const std::string& name, const std::u16string& path, std::string_view content) {
        PackageLayout layout;
        layout.name = name;
        layout.files[path] = ToBytes(content);
        return layout;
    }
    std::vector<std::string> MountedNames() {
        std::vector<std::string> names;
        for (const auto& package : m_pManager->GetPackages())
            names.push_back(jxtext::N(package->GetName()));
        return names;
    }

    CCapturedLog m_Log;
    JxData m_Data;
};

} // namespace

TEST_F(PackageOpsTest, PackagesBesideTheProgramMountInTheirOrder) {
    Beside(u"merge.wpk", One("MERGE", u"$SETUP\\merged.txt", "merged"));
    Beside(u"$SETUP.wpk", One("$SETUP", u"$SETUP\\setup.txt", "setup"));
    Beside(kGuid + u".wpk", One("COMP", kGuid + u"\\component.txt", "component"));
    Beside(u"extra.wpk", One("EXTRA", u"$EXTRA\\extra.txt", "extra"));
    Beside(u"notes.txt", One("NOTES", u"$NOTES\\n.txt", "not a package name"));
    // A waiting copy without its package is moved into place and mounted as "$CONFIG.wpk".
    Beside(u"$CONFIG.wpk.jxtmp", One("$CONFIG", u"$CONFIG\\setup.jxsetup", "\xEF\xBB\xBF<setup/>"));
    // A waiting copy newer than its package replaces it; an older one is deleted.
    Beside(u"newer.wpk", One("NEWER", u"$NEWER\\v.txt", "old"));
    Beside(u"newer.wpk.jxtmp", One("NEWER", u"$NEWER\\v.txt", "new"));
    Beside(u"older.wpk", One("OLDER", u"$OLDER\\v.txt", "kept"));
    Beside(u"older.wpk.jxtmp", One("OLDER", u"$OLDER\\v.txt", "stale"));
    SetWriteTime(kAppDir + u"newer.wpk", 0x01D0000000000000ULL);
    SetWriteTime(kAppDir + u"newer.wpk.jxtmp", 0x01D1000000000000ULL);
    SetWriteTime(kAppDir + u"older.wpk", 0x01D1000000000000ULL);
    SetWriteTime(kAppDir + u"older.wpk.jxtmp", 0x01D0000000000000ULL);

    m_Data.MountInternalPackages(&Vfs());

    // Each named package is offered by its own pattern first, then every package again by "*.wpk".
    const std::string dir = "C:\\prog\\";
    const std::string guid = jxtext::N(kGuid);
    std::vector<std::string> offered;
    for (const std::string& line : m_Log.Of("MountExternalPackage"))
        if (line.rfind(dir, 0) == 0)
            offered.push_back(line.substr(dir.size()));
    const std::vector<std::string> expected = {"merge.wpk",   "$CONFIG.wpk", "$SETUP.wpk", guid + ".wpk",
                                               "$CONFIG.wpk", "$SETUP.wpk",  "extra.wpk",  "merge.wpk",
                                               "newer.wpk",   "older.wpk",   guid + ".wpk"};
    EXPECT_EQ(offered, expected);
    EXPECT_EQ(MountedNames(),
              (std::vector<std::string>{"MERGE", "$CONFIG", "$SETUP", "COMP", "EXTRA", "NEWER", "OLDER"}));
    EXPECT_FALSE(DiskHas(kAppDir + u"$CONFIG.wpk.jxtmp"));
    EXPECT_FALSE(DiskHas(kAppDir + u"older.wpk.jxtmp"));

    std::u16string text;
    EXPECT_TRUE(m_Data.GetXMLContentFromFile(text, u"\\$CONFIG\\setup.jxsetup", true));
    EXPECT_EQ(text, u"<setup/>");
    struct Row {
        const char16_t* path;
        const char* content;
    } rows[] = {
        {u"\\$NEWER\\v.txt", "new"}, {u"\\$OLDER\\v.txt", "kept"}, {u"\\$SETUP\\merged.txt", "merged"}};
    for (const Row& row : rows) {
        IPackedFileStream* stream = Vfs().OpenStreamByPath(row.path, 0);
        ASSERT_NE(stream, nullptr) << jxtext::N(row.path);
        stream->Release();
        EXPECT_EQ(ReadThroughStream(Vfs().GetFile(row.path), 0, 64), ToBytes(row.content))
            << jxtext::N(row.path);
    }
    EXPECT_EQ(m_Data.m_MountedPackageFiles.count(u"c:\\prog\\$config.wpk"), 1u);
}

// A waiting copy goes into place by a rename, so that a run ended half-way can never leave a cut
// package behind; which copy wins follows the date rule (to the second), and a locked package stays.
TEST_F(PackageOpsTest, AWaitingCopyIsRenamedIntoPlaceByTheDateRule) {
    constexpr ULONGLONG kSecond = 10000000ULL;
    constexpr ULONGLONG kBase = 0x01D1000000000000ULL / kSecond * kSecond;
    struct Row {
        const char* name;
        ULONGLONG packageTime;
        ULONGLONG waitingTime;
        bool lockPackage;
        bool moved;
    } rows[] = {
        {"newer by a second", kBase, kBase + kSecond, false, true},
        {"older", kBase + kSecond, kBase, false, false},
        {"newer within the same second", kBase, kBase + kSecond / 2, false, false},
        {"newer but the package is locked", kBase, kBase + kSecond, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string package = kAppDir + u"p.wpk";
        const std::u16string waiting = package + u".jxtmp";
        const Bytes old = BuildPackage(One("P", u"$P\\v.txt", "old"));
        const Bytes fresh = BuildPackage(One("P", u"$P\\v.txt", "new"));
        WriteWindowsFile(package, old);
        WriteWindowsFile(waiting, fresh);
        SetWriteTime(package, row.packageTime);
        SetWriteTime(waiting, row.waitingTime);
        struct stat before = {};
        ASSERT_EQ(stat(jxplat::WindowsToHostPath(waiting).c_str(), &before), 0);
        HANDLE lock = row.lockPackage ? CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                    OPEN_EXISTING, 0, nullptr)
                                      : INVALID_HANDLE_VALUE;

        m_Data.MovePreviouslyLockedWPKs(kAppDir);

        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        EXPECT_EQ(ReadWindowsFile(package), row.moved ? fresh : old);
        struct stat after = {};
        ASSERT_EQ(stat(jxplat::WindowsToHostPath(package).c_str(), &after), 0);
        if (row.moved)
            EXPECT_EQ(after.st_ino, before.st_ino) << "the waiting copy was not renamed";
        // A locked package keeps its waiting copy for a later run; otherwise it is gone.
        EXPECT_EQ(DiskHas(waiting), row.lockPackage);
        DeleteFileW(waiting.c_str());
    }
}

TEST_F(PackageOpsTest, MountingAFileMakesAVirtualFileSystemWhenNoneIsAttached) {
    Beside(u"one.wpk", One("ONE", u"$ONE\\a.txt", "a"));
    EXPECT_FALSE(m_Data.MountExternalPackage(kAppDir + u"missing.wpk", kScanModeReplace));
    EXPECT_EQ(m_Data.GetVfs(), nullptr);
    EXPECT_TRUE(m_Data.MountExternalPackage(kAppDir + u"one.wpk", kScanModeReplace));
    ASSERT_NE(m_Data.GetVfs(), nullptr);
    EXPECT_TRUE(m_Data.IsFileMountedInVfs(u"\\$ONE\\a.txt"));
    EXPECT_TRUE(m_Log.Has("File mounted: C:\\prog\\one.wpk"));
}

TEST_F(PackageOpsTest, OutsourcedComponentsMountFromTheFirstLocationThatHasThem) {
    m_Data.MountInternalPackages(&Vfs());
    WriteWindowsFile(u"C:\\second\\" + kGuid + u".wpk", BuildPackage(One("COMP", kGuid + u"\\c.txt", "c")));
    JxSetup::Data::JxFeature feature;
    JxSetup::Data::JxComponent outsourced;
    outsourced.id = kGuid;
    outsourced.allowcomponentoutsourcing = u"TRUE";
    outsourced.componentoutsourcinglocation = u"C:\\first,[Second]";
    JxSetup::Data::JxComponent noLocation;
    noLocation.id = u"{FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF}";
    noLocation.allowcomponentoutsourcing = u"true";
    feature.components = {outsourced, noLocation};
    m_Data.m_Features.push_back(feature);
    m_Data.SetProperty(u"Second", u"C:\\second\\", 0);

    m_Data.MountOutsourcedComponents();
    EXPECT_TRUE(m_Data.IsFileMountedInVfs(u"\\" + kGuid + u"\\c.txt"));
    EXPECT_TRUE(m_Log.Has("File C:\\first\\" + jxtext::N(kGuid) + ".wpk not found"));
    EXPECT_TRUE(m_Log.Has("Outsource location is not defined for component {FFFF"));
    m_Data.MountOutsourcedComponents();
    EXPECT_TRUE(m_Log.Has("Component " + jxtext::N(kGuid) + " is already mounted."));
}

TEST_F(PackageOpsTest, XmlTextIsDecodedByItsMark) {
    struct Row {
        const char16_t* name;
        std::string bytes;
        std::u16string text;
    } rows[] = {
        {u"utf8.xml", "\xEF\xBB\xBF<a>\xC3\xA4</a>", u"<a>\u00E4</a>"},
        {u"bomonly.xml", "\xEF\xBB\xBF", u""},
        {u"utf16.xml", std::string("\xFF\xFE<\0a\0/\0>\0", 10), u"<a/>"},
        {u"utf16nobom.xml", std::string("<\0a\0/\0>\0", 8), u"<a/>"},
        {u"utf16odd.xml", std::string("<\0a\0/\0>\0x", 9), u"<a/>"},
        {u"short.xml", std::string("<\0a", 3), std::u16string(u"<\0a", 3)},
        {u"ansi.xml", "<a>\x80\xE4</a>", u"<a>\u20AC\u00E4</a>"},
        {u"empty.xml", "", u""},
    };
    PackageLayout layout;
    layout.name = "$CONFIG";
    for (const Row& row : rows)
        layout.files[u"$CONFIG\\" + std::u16string(row.name)] = Bytes(row.bytes.begin(), row.bytes.end());
    Beside(u"$CONFIG.wpk", layout);
    m_Data.MountInternalPackages(&Vfs());
    for (const Row& row : rows) {
        std::u16string text = u"stale";
        EXPECT_EQ(m_Data.GetXMLContentFromFile(text, u"\\$CONFIG\\" + std::u16string(row.name), true),
                  !row.text.empty());
        EXPECT_EQ(text, row.text) << jxtext::N(row.name);
    }
    EXPECT_TRUE(m_Log.Has("Content of file is empty \\$CONFIG\\empty.xml"));
    std::u16string text;
    EXPECT_FALSE(m_Data.GetXMLContentFromFile(text, u"\\$CONFIG\\missing.xml", true));
    EXPECT_TRUE(m_Log.Has("File \\$CONFIG\\missing.xml not found."));
}

TEST_F(PackageOpsTest, PackagedFilesAreListedAndExtracted) {
    PackageLayout layout;
    layout.files[u"$SETUP\\readme.txt"] = ToBytes("readme");
    layout.files[u"$SETUP\\GUI\\gui.dll"] = RandomBytes(70000, 1);
    layout.files[u"$SETUP\\GUI\\pages\\p1.txt"] = TextBytes(1000, 2);
    layout.files[u"$SETUP\\GUI\\empty\\"] = {};
    Beside(u"$SETUP.wpk", layout);
    JxData unmounted;
    std::vector<std::u16string> list{u"stale"};
    unmounted.GetFileListFromVFSDir(list, u"$SETUP");
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(unmounted.ExtractFileTo(u"\\$SETUP\\readme.txt", u"C:\\x.txt"));

    m_Data.MountInternalPackages(&Vfs());
    struct ListRow {
        int kind; // 0 by folder, 1 by pattern, 2 full paths
        std::u16string argument;
        std::vector<std::u16string> expected;
    } lists[] = {
        {0, u"$SETUP\\GUI", {u"gui.dll"}},
        {0, u"$setup", {u"readme.txt"}},
        {0, u"", {}},
        {1, u"\\$SETUP\\*.txt", {u"readme.txt"}},
        {1, u"\\$SETUP\\GUI\\pages\\*", {u"p1.txt"}},
        {2, u"\\$SETUP\\GUI\\*", {u"\\$SETUP\\GUI\\gui.dll"}},
        {2, u"\\$SETUP\\nothing*", {}},
    };
    for (const ListRow& row : lists) {
        if (row.kind == 0)
            m_Data.GetFileListFromVFSDir(list, row.argument);
        else if (row.kind == 1)
            m_Data.GetFileListFromVFSPattern(list, row.argument);
        else
            m_Data.GetFullPathFileListFromVFSDir(list, row.argument);
        EXPECT_EQ(list, row.expected) << row.kind << " " << jxtext::N(row.argument);
    }

    EXPECT_TRUE(m_Data.ExtractFileTo(u"\\$SETUP\\GUI\\gui.dll", u"C:\\prog\\copy.dll"));
    EXPECT_EQ(ReadWindowsFile(u"C:\\prog\\copy.dll"), layout.files[u"$SETUP\\GUI\\gui.dll"]);
    EXPECT_FALSE(m_Data.ExtractFileTo(u"\\$SETUP\\absent.dll", u"C:\\prog\\absent.dll"));

    // Everything below "[ExtractTo]" with the tree kept; a folder alone flat.
    m_Data.SetProperty(u"ExtractTo", u"C:\\out", 0);
    m_Data.ExtractAll();
    m_Data.ExtractDir(u"$SETUP\\GUI", u"C:\\flat\\", false);
    struct FileRow {
        std::u16string disk;
        std::u16string packaged; // empty: must not exist
    } files[] = {
        {u"C:\\out\\$SETUP\\readme.txt", u"$SETUP\\readme.txt"},
        {u"C:\\out\\$SETUP\\GUI\\gui.dll", u"$SETUP\\GUI\\gui.dll"},
        {u"C:\\out\\$SETUP\\GUI\\pages\\p1.txt", u"$SETUP\\GUI\\pages\\p1.txt"},
        {u"C:\\flat\\gui.dll", u"$SETUP\\GUI\\gui.dll"},
        {u"C:\\flat\\p1.txt", u""},
        {u"C:\\$SETUP\\readme.txt", u""},
    };
    for (const FileRow& row : files) {
        const std::string host = jxplat::WindowsToHostPath(row.disk);
        EXPECT_EQ(DiskHas(row.disk), !row.packaged.empty()) << jxtext::N(row.disk);
        if (!row.packaged.empty())
            EXPECT_EQ(HostFileBytes(host), layout.files[row.packaged]) << jxtext::N(row.disk);
    }
}

TEST_F(PackageOpsTest, DllsLoadBesideTheProgramFirstThenFromThePackages) {
    const Bytes library = HostFileBytes(TestProgramPath("hello.dll"));
    ASSERT_FALSE(library.empty());
    PackageLayout layout;
    layout.files[u"$SETUP\\addons\\hello.dll"] = library;
    Beside(u"$SETUP.wpk", layout);
    m_Data.MountInternalPackages(&Vfs());

    HMODULE packaged = m_Data.LoadDLL(u"hello.dll", u"\\$SETUP\\addons\\");
    ASSERT_NE(packaged, nullptr);
    using Answer = int (*)(int);
    auto answer = reinterpret_cast<Answer>(GetProcAddress(packaged, "JxHelloAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(1), 43);
    const std::u16string copy = Vfs().GetModulePath(packaged);
    EXPECT_TRUE(DiskHas(copy));
    EXPECT_TRUE(Vfs().FreeDll(packaged));
    EXPECT_FALSE(DiskHas(copy));

    // Not found anywhere: the installed component's folder is the last place, and it is empty.
    JxSetup::Data::JxFeature feature;
    feature.name = u"Main";
    JxSetup::Data::JxComponent component;
    component.id = u"Core";
    component.destinationdir = u"[INSTALLDIR]bin";
    feature.components.push_back(component);
    m_Data.m_Features.push_back(feature);
    JxSetup::Data::JxFile row;
    row.name = u"other.dll";
    row.featurename = u"Main";
    row.componentid = u"Core";
    m_Data.m_Files.push_back(row);
    m_Data.SetProperty(u"INSTALLDIR", u"C:\\inst\\", 0);
    EXPECT_EQ(m_Data.LoadDLL(u"other.dll", u"\\$SETUP\\addons\\"), nullptr);
    EXPECT_TRUE(m_Log.Has("DLL C:\\inst\\bin\\other.dll not found"));
    EXPECT_EQ(m_Data.LoadDLL(u"unknown.dll", u"\\$SETUP\\"), nullptr);
    EXPECT_TRUE(m_Log.Has("Can't find any alternative configured location of required DLL unknown.dll."));

    // The same name beside the program wins over the package.
    WriteWindowsFile(kAppDir + u"hello.dll", library);
    HMODULE local = m_Data.LoadDLL(u"hello.dll", u"\\$SETUP\\addons\\");
    ASSERT_NE(local, nullptr);
    EXPECT_TRUE(Vfs().GetModulePath(local).empty());
    FreeLibrary(local);
}
