// The machine-wide lock's name and its behaviour within one process (across processes: the
// run-state tests of the setup data).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include <openssl/evp.h>

#include <windows.h>

#include "jxbase/machinewidelock.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

std::u16string ExpectedName(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    unsigned char digest[16];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02X", digest[i]);
    return u"Global\\__TOLVANE_LOCK_" + jxtext::Utf8ToUtf16(hex) + u"__";
}

TEST(MachineWideLock, NameComesFromTheBootTimeElseTheMachineGuidElseTheFixedGuid) {
    jxtest::TempMachineRoot root;
    EXPECT_EQ(CMachineWideLock(u"X").GetName(), ExpectedName(u"8AC6B6B0-0CFA-4808-A065-9E519295454BX"));
    EXPECT_EQ(CMachineWideLock(nullptr).GetName(), ExpectedName(u"8AC6B6B0-0CFA-4808-A065-9E519295454B"));

    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Cryptography", u"MachineGuid",
                              u"g-1", CRegStringType::Sz, KEY_WOW64_64KEY);
    EXPECT_EQ(CMachineWideLock(u"X").GetName(), ExpectedName(u"g-1X"));

    // A running workstation service: its start time, 16 lower-case digits and a hyphen.
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\LanmanWorkstation",
                           u"Start", 2, KEY_WOW64_64KEY);
    std::ofstream(root.Path() + "/boot.time") << 0x1DA2B3C4D5E6F70LL << "\n";
    EXPECT_EQ(CMachineWideLock(u"X").GetName(), ExpectedName(u"01da2b3c4d5e6f70-X"));
    EXPECT_NE(CMachineWideLock(u"Y").GetName(), CMachineWideLock(u"X").GetName());
}

TEST(MachineWideLock, IsTakenOnceAndAgainAfterRelease) {
    jxtest::TempMachineRoot root;
    CMachineWideLock lock(u"L");
    ASSERT_TRUE(lock.Acquire(0));
    EXPECT_TRUE(lock.Acquire(0)) << "held already";
    lock.Release();
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_TRUE(lock.Acquire(0));
    EXPECT_EQ(lock.GetName(), CMachineWideLock(u"L").GetName());
}

// Fakes of the lock's kernel calls: a create that fails a number of times, a wait that fails, and a
// sleep that only records its pauses (no test waits for real time).
struct CFakeKernel {
    static inline int failingCreates = 0;
    static inline int creates = 0;
    static inline bool failWait = false;
    static inline std::vector<DWORD> pauses;

    static HANDLE Create(const WCHAR* name) {
        ++creates;
        if (failingCreates != 0) {
            if (failingCreates > 0)
                --failingCreates;
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return CreateMutexW(nullptr, FALSE, name);
    }
    static DWORD Wait(HANDLE mutex, DWORD milliseconds) {
        if (!failWait)
            return WaitForSingleObject(mutex, milliseconds);
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    static void Sleep(DWORD milliseconds) { pauses.push_back(milliseconds); }

    explicit CFakeKernel(int failing, bool waitFails = false) {
        failingCreates = failing;
        creates = 0;
        failWait = waitFails;
        pauses.clear();
        static const CMachineWideLock::KernelCalls calls = {Create, Wait, Sleep};
        CMachineWideLock::SetKernelCallsForTesting(&calls);
    }
    ~CFakeKernel() { CMachineWideLock::SetKernelCallsForTesting(nullptr); }
};

// A mutex that cannot be made yet (another account's, say) is tried again every 50 ms until the
// time is up; a time-out of 0 is one try.
TEST(MachineWideLock, CreationIsRetriedUntilTheTimeIsUp) {
    jxtest::TempMachineRoot root;
    {
        CFakeKernel kernel(2);
        CMachineWideLock lock(u"R");
        EXPECT_TRUE(lock.Acquire(200));
        EXPECT_EQ(CFakeKernel::creates, 3);
        EXPECT_EQ(CFakeKernel::pauses, (std::vector<DWORD>{50, 50}));
    }
    {
        CFakeKernel kernel(-1); // never
        CMachineWideLock lock(u"R");
        EXPECT_FALSE(lock.Acquire(120));
        EXPECT_FALSE(lock.IsHeld());
        EXPECT_EQ(CFakeKernel::pauses, (std::vector<DWORD>{50, 50, 20}));
        EXPECT_EQ(CFakeKernel::creates, 4);
    }
    {
        CFakeKernel kernel(-1);
        CMachineWideLock lock(u"R");
        EXPECT_FALSE(lock.Acquire(0));
        EXPECT_EQ(CFakeKernel::creates, 1);
        EXPECT_TRUE(CFakeKernel::pauses.empty());
    }
}

// A wait that fails is no lock: Acquire says false, holds nothing, and a later try takes it.
TEST(MachineWideLock, AFailedWaitHoldsNothing) {
    jxtest::TempMachineRoot root;
    CMachineWideLock lock(u"W");
    {
        CFakeKernel kernel(0, true);
        EXPECT_FALSE(lock.Acquire(0));
        EXPECT_FALSE(lock.IsHeld());
    }
    EXPECT_TRUE(lock.Acquire(0));
    EXPECT_TRUE(lock.IsHeld());
}

} // namespace
