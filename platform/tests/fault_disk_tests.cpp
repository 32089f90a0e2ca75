// The full disk of the machine's fault switches: file writes below its folder fail with
// ERROR_DISK_FULL once its bytes are used up, as do registry writes that grow a hive on it.
#include <gtest/gtest.h>

#include <windows.h>

#include "file_test_support.h"

namespace {

class FullDisk : public FileTest {
protected:
    void Fill(unsigned long long afterBytes, const char* folder) {
        jxplat::MachineDescription machine;
        machine.faultDiskFull = true;
        machine.faultDiskFullAfterBytes = afterBytes;
        machine.faultDiskFullFolder = folder;
        m_root.Describe(machine);
    }

    // Writes through a new handle; the bytes written and the last error (0 on success).
    static std::pair<DWORD, DWORD> Write(const std::u16string& path, const std::string& bytes) {
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written = 0;
        const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        const DWORD error = ok ? 0 : GetLastError();
        CloseHandle(file);
        return {written, error};
    }
};

TEST_F(FullDisk, WritesBelowItsFolderFailOnceTheBytesAreUsed) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\full", nullptr));
    WriteBytes(u"C:\\work\\source.bin", std::string(64, 's'));
    Fill(10, "C:\\work\\full");

    EXPECT_EQ(Write(u"C:\\work\\full\\a.txt", "123456"), std::make_pair(DWORD{6}, DWORD{0}));
    // The part that fits is written, the rest fails.
    EXPECT_EQ(Write(u"C:\\work\\full\\a.txt", "789abc"), std::make_pair(DWORD{4}, DWORD{ERROR_DISK_FULL}));
    EXPECT_EQ(ReadBytes(u"C:\\work\\full\\a.txt"), "123456789a");
    EXPECT_EQ(Write(u"C:\\WORK\\Full\\b.txt", "x"), std::make_pair(DWORD{0}, DWORD{ERROR_DISK_FULL}));
    // A copy fails whole and leaves nothing.
    EXPECT_FALSE(CopyFileW(u"C:\\work\\source.bin", u"C:\\work\\full\\copy.bin", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\full\\copy.bin"), INVALID_FILE_ATTRIBUTES);
    // Other folders have room; deleting is always possible.
    EXPECT_EQ(Write(u"C:\\work\\other.txt", "fits"), std::make_pair(DWORD{4}, DWORD{0}));
    EXPECT_TRUE(CopyFileW(u"C:\\work\\source.bin", u"C:\\work\\copy.bin", FALSE));
    EXPECT_TRUE(DeleteFileW(u"C:\\work\\full\\a.txt"));

    // A new description frees the disk.
    Fill(10, "C:\\work\\full");
    EXPECT_EQ(Write(u"C:\\work\\full\\c.txt", "0123456789"), std::make_pair(DWORD{10}, DWORD{0}));
}

// Without a folder the disk is every drive of the machine, the registry's hive files too: a value
// or key that would grow a hive fails, a deletion works.
TEST_F(FullDisk, AFullSystemDiskFailsRegistryWritesButNotDeletions) {
    Fill(40, "");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS); // 4 bytes of its name
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueExW(key, u"Kept", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one)),
              ERROR_SUCCESS); // 8 + 4
    EXPECT_EQ(RegSetValueExW(key, u"A", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one)),
              ERROR_SUCCESS); // 2 + 4: 22 of 40 bytes used
    EXPECT_EQ(
        RegSetValueExW(key, u"Longer name", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one)),
        ERROR_DISK_FULL);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, u"New key name", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_DISK_FULL);
    EXPECT_EQ(RegQueryValueExW(key, u"Longer name", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Kept"), ERROR_SUCCESS);
    // The files of the drives share the disk.
    EXPECT_EQ(Write(u"C:\\work\\a.txt", std::string(20, 'x')),
              std::make_pair(DWORD{18}, DWORD{ERROR_DISK_FULL}));
    RegCloseKey(key);
}

// A disk on another folder leaves the registry alone.
TEST_F(FullDisk, AFullDiskElsewhereLeavesTheRegistryAlone) {
    Fill(0, "C:\\work");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Write(u"C:\\work\\a.txt", "x"), std::make_pair(DWORD{0}, DWORD{ERROR_DISK_FULL}));
}

} // namespace
