// The addresses of the physical adapters that are up, from the machine's adapter list.
#include <gtest/gtest.h>

#include "jxbase/netadapters.h"
#include "jxtest/machine_root.h"

namespace {

jxplat::MachineDescription Office(bool secondUp) {
    jxplat::MachineDescription d;
    d.networkAdapters = {
        {"{A-LOOP}", "Software Loopback Interface 1", false, true, {"127.0.0.1", "::1"}},
        {"{B-ETH}",
         "Intel(R) Ethernet Connection I219-LM",
         true,
         true,
         {"192.168.10.5", "fe80::1c2d:3e4f:5a6b:7c8d%7"}},
        {"{C-VPN}", "TAP-Windows Adapter V9", false, true, {"10.8.0.2"}},
        {"{D-WIFI}", "Intel(R) Wi-Fi 6 AX201 160MHz", true, secondUp, {"192.168.20.7"}},
    };
    return d;
}

std::vector<std::u16string> Addresses(ULONG family) {
    CAdaptersAddresses list = GetAdaptersAddressesBuffer(family, GAA_FLAG_SKIP_ANYCAST);
    return GetLocalIpAddresses(list);
}

} // namespace

TEST(NetAdapters, OnlyPhysicalAdaptersThatAreUpGiveAddresses) {
    jxtest::TempMachineRoot root(Office(false));
    EXPECT_EQ(Addresses(AF_INET), (std::vector<std::u16string>{u"192.168.10.5"}));
    // The zone suffix stays, brackets and port never appear.
    EXPECT_EQ(Addresses(AF_INET6), (std::vector<std::u16string>{u"fe80::1c2d:3e4f:5a6b:7c8d%7"}));

    root.Describe(Office(true));
    EXPECT_EQ(Addresses(AF_INET), (std::vector<std::u16string>{u"192.168.10.5", u"192.168.20.7"}));
}

TEST(NetAdapters, LoopbackAndVirtualAdaptersAloneGiveNoAddress) {
    jxtest::TempMachineRoot defaults; // the host's loopback only
    EXPECT_TRUE(Addresses(AF_INET).empty());
    jxplat::MachineDescription d = Office(true);
    d.networkAdapters.erase(d.networkAdapters.begin() + 3);
    d.networkAdapters.erase(d.networkAdapters.begin() + 1);
    jxtest::TempMachineRoot vpn(d);
    EXPECT_TRUE(Addresses(AF_INET).empty());
}

TEST(NetAdapters, AListLargerThanTheFirstBufferIsReadAfterOneRegrowth) {
    jxplat::MachineDescription d;
    d.networkAdapters.clear();
    for (int i = 0; i < 300; ++i)
        d.networkAdapters.push_back(
            {"{N" + std::to_string(i) + "}",
             "Ethernet adapter number " + std::to_string(i),
             true,
             true,
             {"10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)}});
    jxtest::TempMachineRoot root(d);
    CAdaptersAddresses list = GetAdaptersAddressesBuffer(AF_INET, 0);
    EXPECT_EQ(list.Result(), static_cast<ULONG>(ERROR_SUCCESS));
    const auto addresses = GetLocalIpAddresses(list);
    ASSERT_EQ(addresses.size(), 300u);
    EXPECT_EQ(addresses.back(), u"10.0.1.50");
}
