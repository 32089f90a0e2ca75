// Moves and deletes at the next restart: PendingFileRenameOperations and the restart that carries
// them out.
#include <filesystem>
#include <cstdio>
#include <unistd.h>

#include "file_test_support.h"

namespace {

constexpr char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The raw value as Windows stores it (empty when missing).
std::u16string PendingValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != 0)
        return {};
    DWORD type = 0;
    DWORD size = 0;
    std::u16string data;
    if (RegQueryValueExW(key, u"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == 0) {
        data.resize(size / 2);
        RegQueryValueExW(key, u"PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size);
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    }
    RegCloseKey(key);
    return data;
}

} // namespace

TEST_F(FileTest, DelayedMovesAreAppendedAsWindowsWritesThem) {
    WriteBytes(u"C:\\work\\a", "a");
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\a", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\b", u"C:\\work\\c", MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(
        MoveFileExW(u"C:/work/d", u"\\work\\e", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    const std::u16string expected(u"\\??\\C:\\work\\a\0"
                                  u"\0"
                                  u"\\??\\C:\\work\\b\0"
                                  u"\\??\\C:\\work\\c\0"
                                  u"\\??\\C:\\work\\d\0"
                                  u"!\\??\\C:\\work\\e\0"
                                  u"\0",
                                  14 + 1 + 14 + 14 + 14 + 15 + 1);
    EXPECT_EQ(PendingValue(), expected);
    // Nothing happens before the restart.
    EXPECT_EQ(ReadBytes(u"C:\\work\\a"), "a");

    auto operations = jxplat::ReadPendingFileOperations();
    ASSERT_EQ(operations.size(), 3u);
    EXPECT_EQ(operations[0].source, u"C:\\work\\a");
    EXPECT_EQ(operations[0].target, u"");
    EXPECT_EQ(operations[1].target, u"C:\\work\\c");
    EXPECT_FALSE(operations[1].replaceExisting);
    EXPECT_EQ(operations[2].source, u"C:\\work\\d");
    EXPECT_EQ(operations[2].target, u"C:\\work\\e");
    EXPECT_TRUE(operations[2].replaceExisting);
}

TEST_F(FileTest, DelayedMovesNeedAnElevatedAdministrator) {
    struct {
        bool administrator, elevated;
    } rows[] = {{true, false}, {false, false}, {false, true}};
    for (const auto& row : rows) {
        jxplat::MachineDescription description;
        description.user.administrator = row.administrator;
        description.user.elevated = row.elevated;
        m_root.Describe(description);
        EXPECT_FALSE(MoveFileExW(u"C:\\work\\a", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    m_root.Describe(jxplat::MachineDescription{});
    EXPECT_TRUE(PendingValue().empty());
    // A relative name would mean nothing at the restart.
    for (auto [source, target] :
         {std::pair<const char16_t*, const char16_t*>{u"a.txt", nullptr}, {u"C:\\work\\a", u"work\\b"}}) {
        EXPECT_FALSE(MoveFileExW(source, target, MOVEFILE_DELAY_UNTIL_REBOOT));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_TRUE(PendingValue().empty());
    EXPECT_TRUE(jxplat::ReadPendingFileOperations().empty());
}

TEST_F(FileTest, RestartReplacesALockedTargetAndDeletesWhatWasScheduled) {
    WriteBytes(u"C:\\work\\app.dll", "old");
    WriteBytes(u"C:\\work\\app.dll.jxtmp", "new");
    WriteBytes(u"C:\\work\\stale.log", "x");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\stale.log", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\empty", nullptr));
    WriteBytes(u"C:\\work\\keep", "keep");
    WriteBytes(u"C:\\work\\other", "other");

    HANDLE lock = CreateFileW(u"C:\\work\\app.dll", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(MoveFileExW(u"C:\\work\\app.dll.jxtmp", u"C:\\work\\app.dll", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\app.dll.jxtmp", u"C:\\work\\app.dll",
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\stale.log", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\empty", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\gone-already", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    CloseHandle(lock); // the restart ends every process

    EXPECT_TRUE(jxplat::CarryOutPendingFileOperations());
    EXPECT_EQ(ReadBytes(u"C:\\work\\app.dll"), "new");
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\app.dll.jxtmp"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\stale.log"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\empty"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(PendingValue().empty());

    // A rename onto an existing file without "!" is not done; the rest still is, and the list is
    // cleared either way.
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\other", u"C:\\work\\keep", MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\app.dll", u"C:\\work\\moved.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_FALSE(jxplat::CarryOutPendingFileOperations());
    EXPECT_EQ(ReadBytes(u"C:\\work\\keep"), "keep");
    EXPECT_EQ(ReadBytes(u"C:\\work\\other"), "other");
    EXPECT_EQ(ReadBytes(u"C:\\work\\moved.dll"), "new");
    EXPECT_TRUE(jxplat::ReadPendingFileOperations().empty());
    // With nothing pending a restart has nothing to do.
    EXPECT_TRUE(jxplat::CarryOutPendingFileOperations());
}

TEST_F(FileTest, RestartNeverRemovesADriveRoot) {
    std::filesystem::create_directories(m_root.Path() + "/drive_d");
    ASSERT_TRUE(MoveFileExW(u"D:\\", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_FALSE(jxplat::CarryOutPendingFileOperations());
    EXPECT_TRUE(std::filesystem::is_directory(m_root.Path() + "/drive_d"));
}

TEST_F(FileTest, MachineToolListsThePendingOperations) {
    const std::string tool = jxtest::BuildDir() + "/tools/jxmachine";
    if (::access(tool.c_str(), X_OK) != 0)
        GTEST_SKIP() << "jxmachine is not built";
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\a", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExW(u"C:\\work\\b", u"C:\\work\\c", MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(
        MoveFileExW(u"C:\\work\\d", u"C:\\work\\e", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    FILE* out = ::popen(("'" + tool + "' --root '" + m_root.Path() + "' pending").c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buffer[256];
    while (size_t n = std::fread(buffer, 1, sizeof(buffer), out))
        text.append(buffer, n);
    EXPECT_EQ(::pclose(out), 0);
    EXPECT_EQ(text, "delete C:\\work\\a\n"
                    "move C:\\work\\b -> C:\\work\\c\n"
                    "replace C:\\work\\d -> C:\\work\\e\n");
}
