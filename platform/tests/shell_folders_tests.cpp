// The shell's special and known folders on 64-bit and 32-bit machine descriptions, the shell's
// folder creation, and host symbolic links as reparse points.
#include <filesystem>

#include "file_test_support.h"

namespace {

std::u16string FolderOf(int csidl) {
    WCHAR path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return u"<failed>";
    return path;
}

std::u16string KnownFolderThroughShell32(REFKNOWNFOLDERID id) {
    HMODULE shell32 = LoadLibraryW(u"Shell32.dll");
    if (!shell32)
        return u"<no module>";
    using GetPath = HRESULT (*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
    auto function = reinterpret_cast<GetPath>(GetProcAddress(shell32, "SHGetKnownFolderPath"));
    if (!function)
        return u"<no function>";
    PWSTR path = nullptr;
    const HRESULT result = function(id, KF_FLAG_DEFAULT, nullptr, &path);
    std::u16string text = SUCCEEDED(result) && path ? std::u16string(path) : u"<failed>";
    CoTaskMemFree(path);
    FreeLibrary(shell32);
    return text;
}

} // namespace

TEST(ShellFolders, SpecialAndKnownFoldersOf64And32BitMachines) {
    struct {
        bool is64Bit;
        int csidl;
        const char16_t* expected;
    } rows[] = {
        {true, CSIDL_PROGRAM_FILES, u"C:\\Program Files (x86)"},
        {true, CSIDL_PROGRAM_FILESX86, u"C:\\Program Files (x86)"},
        {true, CSIDL_PROGRAM_FILES_COMMON, u"C:\\Program Files (x86)\\Common Files"},
        {true, CSIDL_SYSTEM, u"C:\\Windows\\system32"},
        {true, CSIDL_SYSTEMX86, u"C:\\Windows\\SysWOW64"},
        {true, CSIDL_WINDOWS, u"C:\\Windows"},
        {true, CSIDL_COMMON_APPDATA, u"C:\\ProgramData"},
        {true, CSIDL_COMMON_PROGRAMS, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
        {true, CSIDL_COMMON_DESKTOPDIRECTORY, u"C:\\Users\\Public\\Desktop"},
        {true, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, u"C:\\Users\\Tester\\Documents"},
        {true, CSIDL_APPDATA, u"C:\\Users\\Tester\\AppData\\Roaming"},
        {true, CSIDL_LOCAL_APPDATA, u"C:\\Users\\Tester\\AppData\\Local"},
        {true, 0x00ff, u"<failed>"},
        {false, CSIDL_PROGRAM_FILES, u"C:\\Program Files"},
        {false, CSIDL_PROGRAM_FILESX86, u"C:\\Program Files"},
        {false, CSIDL_SYSTEMX86, u"C:\\Windows\\system32"},
    };
    jxtest::TempMachineRoot root;
    for (bool is64Bit : {true, false}) {
        jxplat::MachineDescription description;
        description.is64Bit = is64Bit;
        root.Describe(description);
        for (const auto& row : rows) {
            if (row.is64Bit != is64Bit)
                continue;
            const std::u16string found = FolderOf(row.csidl);
            EXPECT_EQ(jxtext::N(found), jxtext::N(row.expected)) << "csidl " << row.csidl;
            // The folders exist, as on a real machine.
            if (found != u"<failed>")
                EXPECT_TRUE(PathIsDirectoryW(found.c_str())) << jxtext::N(found);
        }
        EXPECT_EQ(jxtext::N(KnownFolderThroughShell32(FOLDERID_ProgramFilesCommonX64)),
                  is64Bit ? "C:\\Program Files\\Common Files" : "<failed>");
        EXPECT_EQ(jxtext::N(KnownFolderThroughShell32(FOLDERID_ProgramFiles)),
                  is64Bit ? "C:\\Program Files (x86)" : "C:\\Program Files");
    }
}

TEST(ShellFolders, FolderLocationAnswersThePathOfItsIdList) {
    jxtest::TempMachineRoot root;
    PIDLIST_ABSOLUTE idList = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_PROGRAMS, &idList), S_OK);
    WCHAR path[MAX_PATH] = {};
    ASSERT_TRUE(SHGetPathFromIDListW(idList, path));
    EXPECT_EQ(jxtext::N(path), "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
    ILFree(idList);
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x00ff, &idList), E_INVALIDARG);
    EXPECT_EQ(idList, nullptr);
}

TEST_F(FileTest, ShellCreatesAFolderWithItsParents) {
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, u"C:\\work\\a\\b\\c", nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(PathIsDirectoryW(u"C:\\work\\a\\b\\c"));
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, u"C:\\work\\a\\b", nullptr), ERROR_ALREADY_EXISTS);
    WriteBytes(u"C:\\work\\file", "x");
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, u"C:\\work\\file", nullptr), ERROR_FILE_EXISTS);
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, u"work\\relative", nullptr), ERROR_BAD_PATHNAME);
    EXPECT_FALSE(PathIsDirectoryW(u"C:\\work\\file"));
    EXPECT_EQ(jxtext::N(PathFindFileNameW(u"C:\\work\\name.txt")), "name.txt");
    EXPECT_EQ(jxtext::N(PathFindFileNameW(u"C:\\work\\folder\\")), "folder\\");
}

TEST_F(FileTest, SymbolicLinksAreReparsePointsRemovedWithoutTheirTarget) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\target", nullptr));
    WriteBytes(u"C:\\work\\target\\keep.txt", "keep");
    const std::string host = jxplat::WindowsToHostPath(u"C:\\work");
    std::filesystem::create_directory_symlink(host + "/target", host + "/folderlink");
    std::filesystem::create_symlink(host + "/target/keep.txt", host + "/filelink");

    const DWORD folderLink = GetFileAttributesW(u"C:\\work\\folderlink");
    EXPECT_EQ(folderLink & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_TRUE(GetFileAttributesW(u"C:\\work\\filelink") & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_FALSE(GetFileAttributesW(u"C:\\work\\target") & FILE_ATTRIBUTE_REPARSE_POINT);

    EXPECT_TRUE(RemoveDirectoryW(u"C:\\work\\folderlink"));
    EXPECT_TRUE(DeleteFileW(u"C:\\work\\filelink"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\folderlink"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadBytes(u"C:\\work\\target\\keep.txt"), "keep");
}
