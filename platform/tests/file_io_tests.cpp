#include "file_test_support.h"

namespace {

struct DispositionRow {
    const char* name;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD lastError;
    const char* contentAfter; // null: no file afterwards
};

} // namespace

TEST_F(FileTest, DispositionsFollowWindows) {
    const DispositionRow rows[] = {
        {"create new, missing", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        {"create new, present", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {"create always, missing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"create always, present", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {"open existing, missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"open existing, present", OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {"open always, missing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"open always, present", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {"truncate, missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"truncate, present", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
    };
    for (const DispositionRow& row : rows) {
        const std::u16string path = u"C:\\work\\d.bin";
        DeleteFileW(path.c_str());
        if (row.exists)
            WriteBytes(path, "old");
        SetLastError(12345);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, row.disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, row.opens) << row.name;
        EXPECT_EQ(GetLastError(), row.lastError) << row.name;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (row.contentAfter)
            EXPECT_EQ(ReadBytes(path), row.contentAfter) << row.name;
        else
            EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << row.name;
    }
}

TEST_F(FileTest, NamesMatchIgnoringCaseAndMissingFoldersAreReported) {
    WriteBytes(u"C:\\work\\Mixed.TXT", "x");
    HANDLE file = CreateFileW(u"c:\\WORK\\mixed.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    struct {
        const char16_t* path;
        DWORD error;
    } rows[] = {
        {u"C:\\work\\missing.txt", ERROR_FILE_NOT_FOUND},
        {u"C:\\nowhere\\missing.txt", ERROR_PATH_NOT_FOUND},
        {u"C:\\work\\Mixed.TXT\\below.txt", ERROR_PATH_NOT_FOUND},
        {u"C:\\work\\bad?name.txt", ERROR_INVALID_NAME},
        {u"C:\\work\\bad|name.txt", ERROR_INVALID_NAME},
        {u"", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CreateFileW(row.path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), row.error) << jxtext::N(row.path);
        EXPECT_EQ(GetFileAttributesW(row.path), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(FileTest, AttributesGuardFilesAsOnWindows) {
    const std::u16string path = u"C:\\work\\guarded.txt";
    WriteBytes(path, "keep");
    EXPECT_EQ(GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_ARCHIVE); // a written file

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE reader =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);

    // A hidden file is overwritten only by a caller that asks for a hidden file.
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
    EXPECT_EQ(GetFileAttributesW(path.c_str()),
              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_ARCHIVE);

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileW(path.c_str()));

    // Folders: their attribute, no file access without backup semantics, no DeleteFileW.
    EXPECT_EQ(GetFileAttributesW(u"C:\\work"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(CreateFileW(u"C:\\work", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE folder = CreateFileW(u"C:\\work", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_NE(folder, INVALID_HANDLE_VALUE);
    CloseHandle(folder);
    EXPECT_FALSE(DeleteFileW(u"C:\\work"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FileTest, ReadsWritesAndThePointer) {
    const std::u16string path = u"C:\\work\\io.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &done, nullptr));
    EXPECT_EQ(done, 10u);

    char buffer[16] = {};
    // At the end a read succeeds with nothing.
    EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr));
    EXPECT_EQ(done, 0u);

    // A positional read ignores the pointer and leaves it after what it read.
    OVERLAPPED at{};
    at.Offset = 3;
    EXPECT_TRUE(ReadFile(file, buffer, 4, &done, &at));
    EXPECT_EQ(std::string(buffer, done), "3456");
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 7u);
    // So does a positional write: the plain transfers after them go on from there.
    at.Offset = 1;
    EXPECT_TRUE(WriteFile(file, "ab", 2, &done, &at));
    EXPECT_TRUE(WriteFile(file, "Z", 1, &done, nullptr));
    at.Offset = 0;
    EXPECT_TRUE(ReadFile(file, buffer, 2, &done, &at));
    EXPECT_TRUE(ReadFile(file, buffer + 2, 3, &done, nullptr));
    EXPECT_EQ(std::string(buffer, 5), "0abZ4");
    at.Offset = 1;
    EXPECT_TRUE(WriteFile(file, "123", 3, &done, &at)); // the content as it was

    EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_END), 8u);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "89");

    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));

    // Beyond 4 GiB only with the high part.
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(file, 5, &high, FILE_BEGIN), 5u);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    LARGE_INTEGER position{};
    ASSERT_TRUE(SetFilePointerEx(file, MakeLarge(4), &position, FILE_BEGIN));
    EXPECT_EQ(position.QuadPart, 4);
    ASSERT_TRUE(SetEndOfFile(file));
    DWORD sizeHigh = 7;
    EXPECT_EQ(GetFileSize(file, &sizeHigh), 4u);
    EXPECT_EQ(sizeHigh, 0u);
    CloseHandle(file);
    EXPECT_EQ(ReadBytes(path), "0123");

    // Access is checked per handle.
    HANDLE reader =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(reader);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(ReadFile(writer, buffer, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(writer);
    EXPECT_FALSE(ReadFile(writer, buffer, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FileTest, TimesAndDeleteOnClose) {
    const std::u16string path = u"C:\\work\\timed.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME written{0x12345600u, 0x01D00000u}; // in 2014, whole microseconds
    const FILETIME accessed{0x00000000u, 0x01D10000u};
    ASSERT_TRUE(SetFileTime(file, nullptr, &accessed, &written));
    FILETIME gotWrite{}, gotAccess{};
    ASSERT_TRUE(GetFileTime(file, nullptr, &gotAccess, &gotWrite));
    EXPECT_EQ(gotWrite.dwHighDateTime, written.dwHighDateTime);
    EXPECT_EQ(gotWrite.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(gotAccess.dwHighDateTime, accessed.dwHighDateTime);
    CloseHandle(file);

    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(SetFileTime(reader, nullptr, nullptr, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(reader);

    HANDLE temporary = CreateFileW(u"C:\\work\\gone.tmp", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE,
                                   nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(temporary, INVALID_HANDLE_VALUE);
    EXPECT_NE(GetFileAttributesW(u"C:\\work\\gone.tmp"), INVALID_FILE_ATTRIBUTES);
    CloseHandle(temporary);
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\gone.tmp"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileTest, FoldersAreCreatedAndRemoved) {
    EXPECT_TRUE(CreateDirectoryW(u"C:\\work\\a", nullptr));
    EXPECT_FALSE(CreateDirectoryW(u"C:\\work\\a", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(u"C:\\work\\x\\y", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    WriteBytes(u"C:\\work\\a\\f", "1");
    EXPECT_FALSE(RemoveDirectoryW(u"C:\\work\\a"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(DeleteFileW(u"C:\\work\\a\\f"));
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\work\\a"));
    EXPECT_FALSE(DeleteFileW(u"C:\\work\\a\\f"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}
