// The machine's facts: processor, version, memory, disk space and the administrator check.
#include <sys/statvfs.h>
#include <sys/sysinfo.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

TEST(SysInfo, NativeProcessorFollowsTheMachineWhileTheEngineStaysX86) {
    struct Case {
        bool is64Bit;
        WORD native;
    } cases[] = {{true, PROCESSOR_ARCHITECTURE_AMD64}, {false, PROCESSOR_ARCHITECTURE_INTEL}};
    for (const Case& c : cases) {
        jxplat::MachineDescription d;
        d.is64Bit = c.is64Bit;
        jxtest::TempMachineRoot root(d);
        SYSTEM_INFO native = {}, own = {};
        GetNativeSystemInfo(&native);
        GetSystemInfo(&own);
        EXPECT_EQ(native.wProcessorArchitecture, c.native) << c.is64Bit;
        EXPECT_EQ(own.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
        EXPECT_EQ(native.dwPageSize, 4096u);
        EXPECT_GE(native.dwNumberOfProcessors, 1u);
    }
}

TEST(SysInfo, VersionComesFromTheMachineDescription) {
    jxplat::MachineDescription d;
    d.windowsMajor = 6;
    d.windowsMinor = 1;
    d.windowsBuild = 7601;
    d.servicePack = "Service Pack 1";
    d.productType = VER_NT_SERVER;
    jxtest::TempMachineRoot root(d);

    OSVERSIONINFOEXW extended = {};
    extended.dwOSVersionInfoSize = sizeof(extended);
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&extended)));
    EXPECT_EQ(extended.dwMajorVersion, 6u);
    EXPECT_EQ(extended.dwMinorVersion, 1u);
    EXPECT_EQ(extended.dwBuildNumber, 7601u);
    EXPECT_EQ(extended.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(std::u16string(extended.szCSDVersion), u"Service Pack 1");
    EXPECT_EQ(extended.wServicePackMajor, 1);
    EXPECT_EQ(extended.wServicePackMinor, 0);
    EXPECT_EQ(extended.wProductType, VER_NT_SERVER);

    // The short record is filled without touching what lies behind it.
    OSVERSIONINFOEXW shortRecord = {};
    shortRecord.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    shortRecord.wServicePackMajor = 77;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&shortRecord)));
    EXPECT_EQ(shortRecord.dwMajorVersion, 6u);
    EXPECT_EQ(shortRecord.wServicePackMajor, 77);

    OSVERSIONINFOEXW wrongSize = {};
    wrongSize.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&wrongSize)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(wrongSize.dwMajorVersion, 0u);
}

TEST(SysInfo, DefaultVersionIsWindows10Workstation) {
    jxtest::TempMachineRoot root;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&version)));
    EXPECT_EQ(version.dwMajorVersion, 10u);
    EXPECT_EQ(version.dwMinorVersion, 0u);
    EXPECT_EQ(version.wServicePackMajor, 0);
    EXPECT_EQ(version.szCSDVersion[0], 0);
    EXPECT_EQ(version.wProductType, VER_NT_WORKSTATION);
}

TEST(SysInfo, MemoryIsTheHostsUnlessTheMachineSetsIt) {
    jxtest::TempMachineRoot root;
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    struct sysinfo host {};
    ASSERT_EQ(::sysinfo(&host), 0);
    EXPECT_EQ(memory.ullTotalPhys, ULONGLONG(host.totalram) * host.mem_unit);
    EXPECT_LE(memory.ullAvailPhys, memory.ullTotalPhys);
    EXPECT_LE(memory.dwMemoryLoad, 100u);
    EXPECT_EQ(memory.ullTotalVirtual, 0x7FFE0000ull);

    jxplat::MachineDescription d;
    d.totalMemoryBytes = 8ull << 30;
    root.Describe(d);
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    EXPECT_EQ(memory.ullTotalPhys, 8ull << 30);
    EXPECT_LE(memory.ullAvailPhys, memory.ullTotalPhys);

    MEMORYSTATUSEX wrongLength = {};
    wrongLength.dwLength = sizeof(wrongLength) - 8;
    EXPECT_FALSE(GlobalMemoryStatusEx(&wrongLength));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SysInfo, DiskSpaceIsThatOfTheHostVolumeBelowTheDrive) {
    jxtest::TempMachineRoot root;
    ULARGE_INTEGER freeToCaller = {}, total = {}, totalFree = {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"C:\\", &freeToCaller, &total, &totalFree));
    struct statvfs volume {};
    ASSERT_EQ(::statvfs((root.Path() + "/drive_c").c_str(), &volume), 0);
    EXPECT_EQ(total.QuadPart, ULONGLONG(volume.f_blocks) * volume.f_frsize);
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_LE(freeToCaller.QuadPart, totalFree.QuadPart);
    EXPECT_LE(totalFree.QuadPart, total.QuadPart);
    // Each figure is optional.
    EXPECT_TRUE(GetDiskFreeSpaceExW(u"c:\\", nullptr, &total, nullptr));

    std::ofstream(root.Path() + "/drive_c/file.txt") << "x";
    struct Failure {
        const WCHAR* path;
        DWORD error;
    } failures[] = {{u"C:\\missing\\folder", ERROR_PATH_NOT_FOUND}, {u"C:\\file.txt", ERROR_DIRECTORY}};
    for (const Failure& f : failures) {
        SetLastError(0);
        EXPECT_FALSE(GetDiskFreeSpaceExW(f.path, &freeToCaller, &total, &totalFree));
        EXPECT_EQ(GetLastError(), f.error);
    }
}

TEST(SysInfo, TheMachinesDrivesAreFixedAndTheHostIsRemote) {
    jxtest::TempMachineRoot root;
    std::filesystem::create_directories(root.Path() + "/drive_d");
    const struct {
        const WCHAR* root;
        UINT type;
    } cases[] = {{u"C:\\", DRIVE_FIXED},        {u"c:", DRIVE_FIXED},
                 {u"D:/", DRIVE_FIXED},         {nullptr, DRIVE_FIXED},
                 {u"Z:\\", DRIVE_REMOTE},       {u"E:\\", DRIVE_NO_ROOT_DIR},
                 {u"C:\\x", DRIVE_NO_ROOT_DIR}, {u"\\\\s\\share\\", DRIVE_NO_ROOT_DIR},
                 {u"", DRIVE_NO_ROOT_DIR},      {u"1:\\", DRIVE_NO_ROOT_DIR}};
    for (const auto& c : cases)
        EXPECT_EQ(GetDriveTypeW(c.root), c.type) << (c.root ? jxtext::N(c.root) : std::string("null"));
}

TEST(SysInfo, IsUserAnAdminNeedsAnElevatedAdministrator) {
    struct Case {
        bool administrator;
        bool elevated;
        BOOL expected;
    } cases[] = {{true, true, TRUE}, {true, false, FALSE}, {false, true, FALSE}, {false, false, FALSE}};
    for (const Case& c : cases) {
        jxplat::MachineDescription d;
        d.user.administrator = c.administrator;
        d.user.elevated = c.elevated;
        jxtest::TempMachineRoot root(d);
        EXPECT_EQ(IsUserAnAdmin(), c.expected) << c.administrator << c.elevated;
    }
}

} // namespace
