// Packaged files copied out to be loaded or started: the temporary copy of a library, its
// references and release, programs started from their copies with their exit codes, and records
// told apart by path and kind.
#include <regex>

#include "jxtest/machine_root.h"
#include "vfs_test_support.h"

using namespace vfstest;

namespace {

Bytes BuiltFile(const char* name) {
    const std::string text = jxtest::ReadHostFile(jxtest::BuildDir() + "/tests/programs/" + name);
    EXPECT_FALSE(text.empty()) << name;
    return Bytes(text.begin(), text.end());
}

bool DiskHas(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::u16string TempFolder() {
    WCHAR buffer[MAX_PATH + 1] = {};
    return std::u16string(buffer, GetTempPathW(MAX_PATH + 1, buffer));
}

int CallAnswer(HMODULE module) {
    using Answer = int (*)(int);
    auto answer = reinterpret_cast<Answer>(GetProcAddress(module, "JxHelloAnswer"));
    return answer ? answer(0) : -1;
}

class PreparedTest : public PackageStoreTest {
protected:
    void SetUp() override {
        PackageStoreTest::SetUp();
        PackageLayout layout;
        layout.files[u"$SETUP\\GUI\\hello.dll"] = BuiltFile("hello.dll");
        layout.files[u"$SETUP\\tools\\exitcode.exe"] = BuiltFile("exitcode.exe");
        layout.files[u"$SETUP\\tools\\broken.dll"] = ToBytes("not a library");
        ASSERT_NE(Mount(u"$SETUP.wpk", layout), 0);
    }
};

} // namespace

TEST_F(PreparedTest, LibraryLoadsFromItsTemporaryCopyUntilTheLastRelease) {
    HMODULE module = Vfs().LoadDll(u"\\$SETUP\\GUI\\hello.dll", 0, nullptr);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(CallAnswer(module), 42);
    const std::u16string copy = Vfs().GetModulePath(module);
    EXPECT_TRUE(DiskHas(copy));
    EXPECT_EQ(copy.substr(0, copy.find_last_of(u'\\') + 1), TempFolder());
    EXPECT_TRUE(std::regex_match(jxtext::N(copy.substr(copy.find_last_of(u'\\') + 1)),
                                 std::regex("jx[0-9a-zA-Z_~]{8}\\.dll\\.tmp")))
        << jxtext::N(copy);

    // The same path in another case is the same record: one load, one copy.
    EXPECT_EQ(Vfs().LoadDll(u"\\$setup\\gui\\HELLO.DLL", 0, nullptr), module);
    EXPECT_FALSE(Vfs().FreeDll(module));
    EXPECT_EQ(CallAnswer(module), 42);
    EXPECT_TRUE(DiskHas(copy));
    EXPECT_TRUE(Vfs().FreeDll(module));
    EXPECT_FALSE(DiskHas(copy));
    EXPECT_FALSE(Vfs().FreeDll(module));
    EXPECT_TRUE(Vfs().GetModulePath(module).empty());
    EXPECT_EQ(Vfs().GetLastError(), -2);
}

TEST_F(PreparedTest, FailedPreparationsAndLoadsLeaveNothingBehind) {
    struct Row {
        const char16_t* path;
    } rows[] = {{u""}, {u"\\$SETUP\\GUI\\missing.dll"}, {u"\\$SETUP\\GUI"}, {u"\\$SETUP\\tools\\broken.dll"}};
    for (const Row& row : rows)
        EXPECT_EQ(Vfs().LoadDll(row.path, 0, nullptr), nullptr) << jxtext::N(row.path);
    // The broken library's copy is gone again, and no record is left for it.
    WIN32_FIND_DATAW data = {};
    HANDLE search = FindFirstFileW((TempFolder() + u"jx*.dll.tmp").c_str(), &data);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    EXPECT_EQ(Vfs().AddReference(u"\\$SETUP\\tools\\broken.dll"), nullptr);
    EXPECT_EQ(Vfs().GetLastError(), -2);
    EXPECT_EQ(Vfs().ReleaseReference(u"\\$SETUP\\nothing"), 0);
    EXPECT_EQ(Vfs().GetLastError(), -2);
}

TEST_F(PreparedTest, ProgramStartsFromItsCopyAndReportsItsExitCode) {
    VFS_PREPARED_FILE* record = Vfs().PrepareForExecution(u"\\$SETUP\\tools\\exitcode.exe", nullptr, false);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->diskPath, TempFolder() + u"exitcode.exe");
    EXPECT_EQ(Vfs().PrepareForExecution(u"\\$SETUP\\TOOLS\\exitcode.exe", nullptr, false), record);

    std::u16string line = u"exitcode.exe 3010";
    HANDLE process = Vfs().Execute(record, line.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 3010u);
    CloseHandle(process);
    const std::u16string copy = record->diskPath;
    Vfs().CleanupAfterExecution(record);
    EXPECT_FALSE(DiskHas(copy));
    EXPECT_EQ(Vfs().AddReference(u"\\$SETUP\\tools\\exitcode.exe"), nullptr);
    EXPECT_EQ(Vfs().Execute(nullptr, u"x", nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(PreparedTest, ReleasingALibraryNeverReleasesAnotherRecord) {
    // A program prepared before the library: the library's release must not touch it.
    ASSERT_TRUE(CreateDirectoryW(u"C:\\run", nullptr));
    VFS_PREPARED_FILE* program =
        Vfs().PrepareForExecution(u"\\$SETUP\\tools\\exitcode.exe", u"C:\\run", true);
    ASSERT_NE(program, nullptr);
    const std::u16string programCopy = program->diskPath;
    EXPECT_EQ(programCopy.rfind(u"C:\\run\\jx", 0), 0u);
    HMODULE module = Vfs().LoadDll(u"\\$SETUP\\GUI\\hello.dll", 0, nullptr);
    ASSERT_NE(module, nullptr);
    const std::u16string libraryCopy = Vfs().GetModulePath(module);
    EXPECT_NE(libraryCopy, programCopy);
    EXPECT_TRUE(Vfs().FreeDll(module));
    EXPECT_FALSE(DiskHas(libraryCopy));
    EXPECT_TRUE(DiskHas(programCopy));
    EXPECT_EQ(Vfs().AddReference(u"\\$SETUP\\tools\\EXITCODE.exe"), programCopy);
}

TEST_F(PreparedTest, UnloadAllDropsEveryRecordAndLeavesTheCopies) {
    HMODULE module = Vfs().LoadDll(u"\\$SETUP\\GUI\\hello.dll", 0, nullptr);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(Vfs().LoadDll(u"\\$SETUP\\GUI\\hello.dll", 0, nullptr), module);
    const std::u16string copy = Vfs().GetModulePath(module);
    VFS_PREPARED_FILE* program = Vfs().PrepareForExecution(u"\\$SETUP\\tools\\exitcode.exe", nullptr, false);
    ASSERT_NE(program, nullptr);
    const std::u16string programCopy = program->diskPath;
    Vfs().UnloadAll();
    EXPECT_TRUE(Vfs().GetModulePath(module).empty());
    EXPECT_EQ(Vfs().AddReference(u"\\$SETUP\\tools\\exitcode.exe"), nullptr);
    EXPECT_TRUE(DiskHas(copy));
    EXPECT_TRUE(DiskHas(programCopy));
}
