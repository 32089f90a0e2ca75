#include <cstring>

#include "file_test_support.h"

TEST_F(FileTest, ViewsMapFilesAtGranularOffsets) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    ASSERT_EQ(info.dwAllocationGranularity, 65536u);
    ASSERT_EQ(info.dwPageSize, 4096u);

    std::string content(3 * 65536 + 100, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7 + i / 65536);
    WriteBytes(u"C:\\work\\mapped.bin", content);

    HANDLE file = CreateFileW(u"C:\\work\\mapped.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 10), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MAPPED_ALIGNMENT));
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, content.size()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    auto* view = static_cast<const char*>(MapViewOfFileEx(mapping, FILE_MAP_READ, 0, 2 * 65536, 0, nullptr));
    ASSERT_NE(view, nullptr);
    // The view stays valid after both handles are closed.
    CloseHandle(mapping);
    CloseHandle(file);
    EXPECT_EQ(std::memcmp(view, content.data() + 2 * 65536, 65536 + 100), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST_F(FileTest, MappingNeedsContentAndReadAccess) {
    WriteBytes(u"C:\\work\\empty.bin", "");
    HANDLE empty = CreateFileW(u"C:\\work\\empty.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(CreateFileMappingW(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    CloseHandle(empty);

    WriteBytes(u"C:\\work\\data.bin", "data");
    HANDLE writeOnly =
        CreateFileW(u"C:\\work\\data.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(CreateFileMappingW(writeOnly, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(writeOnly);
    EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
