// File-system redirection of the 32-bit process on 64-bit Windows, per thread.
#include <thread>

#include "file_test_support.h"

namespace {

bool HostFileExists(const std::string& relative) {
    return !jxtest::ReadHostFile(jxplat::MachineRoot() + "/drive_c/" + relative).empty();
}

} // namespace

TEST_F(FileTest, System32IsRedirectedUntilTheThreadSwitchesItOff) {
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(INVALID_HANDLE_VALUE /* the current process */, &wow64));
    EXPECT_TRUE(wow64);
    for (const char16_t* folder :
         {u"C:\\Windows", u"C:\\Windows\\System32", u"C:\\Windows\\SysWOW64",
          u"C:\\Windows\\System32\\drivers", u"C:\\Windows\\System32\\drivers\\etc"}) {
        PVOID old = nullptr;
        ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old));
        CreateDirectoryW(folder, nullptr);
        ASSERT_TRUE(Wow64RevertWow64FsRedirection(old));
    }

    struct {
        const char16_t* name;
        const char* hostRedirected; // where the name lands with redirection on
    } rows[] = {
        {u"C:\\Windows\\System32\\a.dll", "Windows/SysWOW64/a.dll"},
        {u"c:/windows/system32/b.dll", "Windows/SysWOW64/b.dll"},
        {u"\\Windows\\System32\\c.dll", "Windows/SysWOW64/c.dll"},
        {u"C:\\Windows\\Sysnative\\d.dll", "Windows/System32/d.dll"},
        {u"C:\\Windows\\System32\\drivers\\etc\\hosts", "Windows/System32/drivers/etc/hosts"},
        {u"C:\\Windows\\System32\\drivers\\e.sys", "Windows/SysWOW64/drivers/e.sys"},
        {u"C:\\Windows\\f.ini", "Windows/f.ini"},
    };
    CreateDirectoryW(u"C:\\Windows\\System32\\drivers", nullptr); // in SysWOW64
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hostRedirected);
        WriteBytes(row.name, "x");
        EXPECT_TRUE(HostFileExists(row.hostRedirected));
    }

    // Switched off, the names are what they say; a second disable keeps it off until both revert.
    PVOID outer = nullptr;
    PVOID inner = nullptr;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&outer));
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&inner));
    WriteBytes(u"C:\\Windows\\System32\\native.dll", "n");
    EXPECT_TRUE(HostFileExists("Windows/System32/native.dll"));
    // Another thread still has redirection on.
    std::thread([] {
        EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\System32\\native.dll"), INVALID_FILE_ATTRIBUTES);
        EXPECT_NE(GetFileAttributesW(u"C:\\Windows\\System32\\a.dll"), INVALID_FILE_ATTRIBUTES);
    }).join();
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(inner));
    EXPECT_NE(GetFileAttributesW(u"C:\\Windows\\System32\\native.dll"), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(outer));
    EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\System32\\native.dll"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(u"C:\\Windows\\System32\\a.dll"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileTest, A32BitMachineHasNoRedirection) {
    jxplat::MachineDescription description;
    description.is64Bit = false;
    m_root.Describe(description);
    BOOL wow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(INVALID_HANDLE_VALUE /* the current process */, &wow64));
    EXPECT_FALSE(wow64);
    PVOID old = nullptr;
    EXPECT_FALSE(Wow64DisableWow64FsRedirection(&old));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Windows", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Windows\\System32", nullptr));
    WriteBytes(u"C:\\Windows\\System32\\a.dll", "x");
    EXPECT_TRUE(HostFileExists("Windows/System32/a.dll"));
}
