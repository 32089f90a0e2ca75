// Share modes between handles of the process: the "locked file" of the file calls.
#include "file_test_support.h"

namespace {

HANDLE Open(const char16_t* path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TEST_F(FileTest, ShareModesDecideWhetherASecondOpenSucceeds) {
    WriteBytes(u"C:\\work\\f.txt", "data");
    struct {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool opens;
    } rows[] = {
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ, false},
        {GENERIC_READ, 0, FILE_READ_ATTRIBUTES, 0, true},
        {GENERIC_READ, FILE_SHARE_READ, DELETE, FILE_SHARE_READ, false},
        {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, DELETE, FILE_SHARE_READ, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.firstAccess << "/" << row.firstShare << " then "
                                        << row.secondAccess << "/" << row.secondShare);
        HANDLE first = Open(u"C:\\work\\f.txt", row.firstAccess, row.firstShare);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = Open(u"C:\\work\\f.txt", row.secondAccess, row.secondShare);
        if (row.opens) {
            EXPECT_NE(second, INVALID_HANDLE_VALUE);
            CloseHandle(second);
        } else {
            EXPECT_EQ(second, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        CloseHandle(first);
        // Closing the handle ends the lock.
        HANDLE again = Open(u"C:\\work\\f.txt", row.secondAccess, row.secondShare);
        EXPECT_NE(again, INVALID_HANDLE_VALUE);
        CloseHandle(again);
    }
}

TEST_F(FileTest, LockedFileIsNeitherTruncatedNorDeleted) {
    WriteBytes(u"C:\\work\\f.txt", "keep");
    HANDLE lock = Open(u"C:\\work\\f.txt", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    EXPECT_EQ(Open(u"C:\\work\\f.txt", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadBytes(u"C:\\work\\f.txt"), "keep");

    EXPECT_FALSE(DeleteFileW(u"C:\\work\\f.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(lock);

    // A handle that shares delete lets the file go.
    lock = Open(u"C:\\work\\f.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_TRUE(DeleteFileW(u"C:\\work\\f.txt"));
    CloseHandle(lock);
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\f.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileTest, OpenFolderWithoutShareDeleteKeepsIt) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\sub", nullptr));
    HANDLE folder = CreateFileW(u"C:\\work\\sub", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(RemoveDirectoryW(u"C:\\work\\sub"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(folder);
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\work\\sub"));
}
