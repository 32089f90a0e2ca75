// MoveFileExW, MoveFileW, CopyFileW and GetFileAttributesExW.
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

#include "file_test_support.h"

namespace {

// Names in a host folder, to see the spelling of a name and that no temporary is left behind.
std::vector<std::string> HostNames(const std::u16string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(jxplat::WindowsToHostPath(folder).c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

HANDLE Lock(const char16_t* path) {
    return CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TEST_F(FileTest, MoveRenamesAndKeepsAttributes) {
    WriteBytes(u"C:\\work\\a.txt", "new");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\a.txt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\a.txt", u"C:\\work\\b.txt", 0));
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadBytes(u"C:\\work\\b.txt"), "new");
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\b.txt"), FILE_ATTRIBUTE_HIDDEN);

    // A new case of the same name is a rename.
    ASSERT_TRUE(MoveFileW(u"C:\\work\\b.txt", u"C:\\work\\B.TXT"));
    EXPECT_EQ(HostNames(u"C:\\work"), std::vector<std::string>{"B.TXT"});

    // Folders move too.
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\d1", nullptr));
    WriteBytes(u"C:\\work\\d1\\x", "x");
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\d1", u"C:\\work\\d2", 0));
    EXPECT_EQ(ReadBytes(u"C:\\work\\d2\\x"), "x");
}

TEST_F(FileTest, MoveOntoAnExistingTarget) {
    struct {
        const char* what;
        DWORD flags;
        DWORD targetAttributes; // 0: a plain file; FILE_ATTRIBUTE_DIRECTORY: a folder
        bool lockTarget;
        bool lockSource;
        DWORD error; // 0: the move succeeds
    } rows[] = {
        {"no replace flag", 0, 0, false, false, ERROR_ALREADY_EXISTS},
        {"replace", MOVEFILE_REPLACE_EXISTING, 0, false, false, 0},
        {"replace hidden", MOVEFILE_REPLACE_EXISTING, FILE_ATTRIBUTE_HIDDEN, false, false, 0},
        {"replace read-only", MOVEFILE_REPLACE_EXISTING, FILE_ATTRIBUTE_READONLY, false, false,
         ERROR_ACCESS_DENIED},
        {"replace a folder", MOVEFILE_REPLACE_EXISTING, FILE_ATTRIBUTE_DIRECTORY, false, false,
         ERROR_ACCESS_DENIED},
        {"locked target", MOVEFILE_REPLACE_EXISTING, 0, true, false, ERROR_SHARING_VIOLATION},
        {"locked source", MOVEFILE_REPLACE_EXISTING, 0, false, true, ERROR_SHARING_VIOLATION},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteBytes(u"C:\\work\\src", "new");
        if (row.targetAttributes == FILE_ATTRIBUTE_DIRECTORY) {
            ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\dst", nullptr));
        } else {
            WriteBytes(u"C:\\work\\dst", "old");
            ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\dst", row.targetAttributes | FILE_ATTRIBUTE_ARCHIVE));
        }
        HANDLE lock = row.lockTarget   ? Lock(u"C:\\work\\dst")
                      : row.lockSource ? Lock(u"C:\\work\\src")
                                       : INVALID_HANDLE_VALUE;
        BOOL moved = MoveFileExW(u"C:\\work\\src", u"C:\\work\\dst", row.flags);
        DWORD error = GetLastError();
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        if (row.error == 0) {
            EXPECT_TRUE(moved);
            EXPECT_EQ(ReadBytes(u"C:\\work\\dst"), "new");
            EXPECT_EQ(GetFileAttributesW(u"C:\\work\\src"), INVALID_FILE_ATTRIBUTES);
        } else {
            EXPECT_FALSE(moved);
            EXPECT_EQ(error, row.error);
            EXPECT_EQ(ReadBytes(u"C:\\work\\src"), "new");
            if (row.targetAttributes != FILE_ATTRIBUTE_DIRECTORY)
                EXPECT_EQ(ReadBytes(u"C:\\work\\dst"), "old");
        }
        SetFileAttributesW(u"C:\\work\\dst", FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(u"C:\\work\\src");
        DeleteFileW(u"C:\\work\\dst");
        RemoveDirectoryW(u"C:\\work\\dst");
        ASSERT_TRUE(HostNames(u"C:\\work").empty());
    }
}

TEST_F(FileTest, MoveReportsMissingNamesAndBadArguments) {
    WriteBytes(u"C:\\work\\a", "a");
    EXPECT_FALSE(MoveFileExW(u"C:\\work\\missing", u"C:\\work\\b", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileExW(u"C:\\work\\a", u"C:\\work\\no\\b", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(MoveFileExW(u"C:\\work\\a", nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(
        MoveFileExW(u"C:\\work\\a", u"C:\\work\\b", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ReadBytes(u"C:\\work\\a"), "a");
}

TEST_F(FileTest, CopyCarriesContentAttributesAndTime) {
    WriteBytes(u"C:\\work\\a", std::string(200000, 'z'));
    FILETIME written{0x12345600u, 0x01d00000u};
    HANDLE file = CreateFileW(u"C:\\work\\a", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
    ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\a", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    ASSERT_TRUE(CopyFileW(u"C:\\work\\a", u"C:\\work\\b", TRUE));
    EXPECT_EQ(ReadBytes(u"C:\\work\\b"), std::string(200000, 'z'));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(u"C:\\work\\b", GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, written.dwHighDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(data.nFileSizeLow, 200000u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    // A read-only file is not deleted.
    EXPECT_FALSE(DeleteFileW(u"C:\\work\\b"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FileTest, CopyRefusesTargetsAsWindowsDoes) {
    struct {
        const char* what;
        DWORD targetAttributes; // FILE_ATTRIBUTE_DIRECTORY: a folder; INVALID_FILE_ATTRIBUTES: none
        BOOL failIfExists;
        bool lockTarget;
        DWORD error;
    } rows[] = {
        {"overwrite", FILE_ATTRIBUTE_ARCHIVE, FALSE, false, 0},
        {"fail if exists", FILE_ATTRIBUTE_ARCHIVE, TRUE, false, ERROR_FILE_EXISTS},
        {"read-only target", FILE_ATTRIBUTE_READONLY, FALSE, false, ERROR_ACCESS_DENIED},
        {"hidden target", FILE_ATTRIBUTE_HIDDEN, FALSE, false, ERROR_ACCESS_DENIED},
        {"folder target", FILE_ATTRIBUTE_DIRECTORY, FALSE, false, ERROR_ACCESS_DENIED},
        {"locked target", FILE_ATTRIBUTE_ARCHIVE, FALSE, true, ERROR_SHARING_VIOLATION},
    };
    WriteBytes(u"C:\\work\\src", "new");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.targetAttributes == FILE_ATTRIBUTE_DIRECTORY) {
            ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\dst", nullptr));
        } else {
            WriteBytes(u"C:\\work\\dst", "old");
            ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\dst", row.targetAttributes));
        }
        HANDLE lock = row.lockTarget ? Lock(u"C:\\work\\dst") : INVALID_HANDLE_VALUE;
        BOOL copied = CopyFileW(u"C:\\work\\src", u"C:\\work\\dst", row.failIfExists);
        DWORD error = GetLastError();
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        EXPECT_EQ(copied, row.error == 0);
        if (row.error)
            EXPECT_EQ(error, row.error);
        if (row.targetAttributes != FILE_ATTRIBUTE_DIRECTORY)
            EXPECT_EQ(ReadBytes(u"C:\\work\\dst"), row.error ? "old" : "new");
        // Nothing is left beside the target.
        EXPECT_EQ(HostNames(u"C:\\work"), (std::vector<std::string>{"dst", "src"}));
        SetFileAttributesW(u"C:\\work\\dst", FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(u"C:\\work\\dst");
        RemoveDirectoryW(u"C:\\work\\dst");
    }
    EXPECT_FALSE(CopyFileW(u"C:\\work\\src", u"C:\\work\\src", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(CopyFileW(u"C:\\work\\missing", u"C:\\work\\x", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(CopyFileW(u"C:\\work\\src", u"C:\\work\\no\\x", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ReadBytes(u"C:\\work\\src"), "new");
}

TEST_F(FileTest, AttributeDataOfFoldersAndMissingNames) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(u"C:\\work", GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(data.nFileSizeLow, 0u);
    EXPECT_FALSE(GetFileAttributesExW(u"C:\\work\\missing", GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(GetFileAttributesExW(u"C:\\work", GetFileExMaxInfoLevel, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FileTest, ReadOnlyIsTheStandInsMarkNotTheHostPermission) {
    WriteBytes(u"C:\\work\\marked", "m");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\marked", FILE_ATTRIBUTE_READONLY));
    // A host tool running as root may make the file writable again; Windows' view stays.
    ASSERT_EQ(::chmod(jxplat::WindowsToHostPath(u"C:\\work\\marked").c_str(), 0666), 0);
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\marked"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileW(u"C:\\work\\marked"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\marked", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(u"C:\\work\\marked"));

    // A folder keeps its read-only attribute too.
    ASSERT_TRUE(SetFileAttributesW(u"C:\\work", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(u"C:\\work"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));

    // A host file the stand-in never marked is read-only when it cannot be written.
    const std::string host = jxplat::MachineRoot() + "/drive_c/plain";
    FILE* out = std::fopen(host.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    ASSERT_EQ(::chmod(host.c_str(), 0444), 0);
    EXPECT_EQ(GetFileAttributesW(u"C:\\plain"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}
