// The machine-wide lock's name and its behaviour within one process (across processes: the
// run-state tests of the setup data).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

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

} // namespace
