#include <cmath>
#include <dlfcn.h>
#include <fstream>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

TEST(KernelModules, Kernel32IsFoundUnderEveryFormOfItsName) {
    jxtest::TempMachineRoot root;
    HMODULE kernel32 = GetModuleHandleW(u"kernel32");
    ASSERT_NE(kernel32, nullptr);
    for (const char16_t* name : {u"KERNEL32.DLL", u"Kernel32.dll", u"kernel32.Dll"}) {
        EXPECT_EQ(GetModuleHandleW(name), kernel32) << jxtext::N(name);
        EXPECT_EQ(LoadLibraryW(name), kernel32) << jxtext::N(name);
        EXPECT_TRUE(FreeLibrary(kernel32));
    }
    EXPECT_EQ(GetModuleHandleA("Kernel32.dll"), kernel32);
    EXPECT_EQ(LoadLibraryA("kernel32"), kernel32);

    HMODULE program = GetModuleHandleW(nullptr);
    EXPECT_NE(program, nullptr);
    EXPECT_NE(program, kernel32);
    EXPECT_EQ(GetModuleHandleA(nullptr), program);
}

TEST(KernelModules, SlimLockExportsDependOnTheWindowsVersion) {
    const char* srwExports[] = {"InitializeSRWLock",      "ReleaseSRWLockExclusive",
                                "ReleaseSRWLockShared",   "AcquireSRWLockExclusive",
                                "AcquireSRWLockShared",   "TryAcquireSRWLockExclusive",
                                "TryAcquireSRWLockShared"};
    jxtest::TempMachineRoot root;
    HMODULE kernel32 = GetModuleHandleA("Kernel32.dll");
    for (const char* name : srwExports)
        EXPECT_NE(GetProcAddress(kernel32, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(kernel32, "TryAcquireSRWLockExclusive"),
              reinterpret_cast<FARPROC>(&TryAcquireSRWLockExclusive));
    EXPECT_EQ(GetProcAddress(kernel32, "tryacquiresrwlockexclusive"), nullptr); // names are case-sensitive
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    jxplat::MachineDescription xp;
    xp.windowsMajor = 5;
    xp.windowsMinor = 1;
    root.Describe(xp);
    for (const char* name : srwExports) {
        SetLastError(0);
        EXPECT_EQ(GetProcAddress(kernel32, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
    EXPECT_EQ(GetProcAddress(kernel32, "EnterCriticalSection"),
              reinterpret_cast<FARPROC>(&EnterCriticalSection));
}

TEST(KernelModules, WinInetIsPresentOnlyWhileLoaded) {
    jxtest::TempMachineRoot root;
    EXPECT_EQ(GetModuleHandleW(u"wininet.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE wininet = LoadLibraryW(u"WinInet.dll");
    ASSERT_NE(wininet, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"WININET"), wininet);
    EXPECT_EQ(LoadLibraryW(u"wininet"), wininet);
    EXPECT_TRUE(FreeLibrary(wininet));
    EXPECT_EQ(GetModuleHandleW(u"wininet.dll"), wininet);
    EXPECT_TRUE(FreeLibrary(wininet));
    EXPECT_EQ(GetModuleHandleW(u"wininet.dll"), nullptr);
}

TEST(KernelModules, SharedObjectsLoadFromTheirMappedPath) {
    jxtest::TempMachineRoot root;
    Dl_info info{};
    double (*cosine)(double) = &std::cos;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(cosine), &info), 0);
    std::u16string path = jxplat::HostToWindowsPath(info.dli_fname);

    HMODULE library = LoadLibraryW(path.c_str());
    ASSERT_NE(library, nullptr) << info.dli_fname;
    EXPECT_EQ(GetModuleHandleW(path.c_str()), library);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, "cos")), dlsym(RTLD_DEFAULT, "cos"));
    EXPECT_EQ(GetProcAddress(library, "no_such_export"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_FALSE(FreeLibrary(library));
    EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr);
}

TEST(KernelModules, MissingOrBrokenLibrariesAreNotFound) {
    jxtest::TempMachineRoot root;
    std::ofstream(root.Path() + "/drive_c/broken.dll") << "not a library";
    for (const char16_t* name : {u"C:\\nowhere\\missing.dll", u"C:\\broken.dll", u"missing-module"}) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(name), nullptr) << jxtext::N(name);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << jxtext::N(name);
    }
    EXPECT_EQ(LoadLibraryExW(u"C:\\broken.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), nullptr);
}
