// The update-server host pool against a canned DNS responder on loopback.
#include <gtest/gtest.h>

#include <set>

#include "jxweb/UpdateServerHostPool.h"
#include "updatemachine.h"
#include "web_test_support.h"

using namespace jxwebtest;

namespace {

std::u16string W(const std::string& text) {
    return Wide(text);
}

} // namespace

TEST(HostPool, AsksTheNextPoolOnlyWhileTheLastWasFull) {
    UpdateMachine machine;
    machine.Dns().Set(PoolName("asjap", 1), {DnsAnswer::Records, DnsAddresses(25)});
    machine.Dns().Set(PoolName("asjap", 2), {DnsAnswer::Records, DnsAddresses(7, 100)});
    UpdateServerHostPool pool;
    pool.Init(u"asjap", false);
    EXPECT_EQ(pool.Region(), u"asjap");
    EXPECT_EQ(pool.Addresses().size(), 32u);
    EXPECT_EQ(pool.BackupAddresses(), pool.Addresses());
    EXPECT_EQ(machine.Dns().Queries(PoolName("asjap", 2)), 1);
    EXPECT_EQ(machine.Dns().Queries(PoolName("asjap", 3)), 0);

    // 26 records are not a full pool: its addresses count, the next pool is not asked.
    machine.Dns().Set(PoolName("norda", 1), {DnsAnswer::Records, DnsAddresses(26)});
    pool.Init(u"norda", false);
    EXPECT_EQ(pool.Addresses().size(), 26u);
    EXPECT_EQ(machine.Dns().Queries(PoolName("norda", 2)), 0);
}

TEST(HostPool, StopsAfterThe129thFullPool) {
    UpdateMachine machine;
    for (int n = 1; n <= 130; ++n)
        machine.Dns().Set(PoolName("austr", n), {DnsAnswer::Records, DnsAddresses(25, n * 25)});
    UpdateServerHostPool pool;
    pool.Init(u"austr", false);
    EXPECT_EQ(pool.Addresses().size(), 3225u);
    EXPECT_EQ(machine.Dns().TotalQueries(), 129);
}

TEST(HostPool, TakesOnlyNonZeroARecordsOfTheAnswerSection) {
    UpdateMachine machine;
    DnsAnswer answer{
        DnsAnswer::Records, {"10.0.0.1", "0.0.0.0", "10.0.0.2"}, "real-pool" + UpdateDomain(), {"10.9.9.9"}};
    machine.Dns().Set(PoolName("europ", 1), answer);
    UpdateServerHostPool pool;
    pool.Init(u"europ", false);
    EXPECT_EQ(pool.Addresses(), (std::vector<std::u16string>{u"10.0.0.1", u"10.0.0.2"}));
}

TEST(HostPool, ARegionIsOneTokenOfTheListExactly) {
    UpdateMachine machine;
    machine.Dns().Set(PoolName("europ", 1), {DnsAnswer::Records, {"10.0.0.1"}});
    for (const std::u16string region : {u"", u"mars", u"ASJAP", u"europ|norda", u"|", u"asjap|"}) {
        UpdateServerHostPool pool;
        pool.Init(region, false);
        EXPECT_EQ(pool.Region(), u"europ") << jxwebtest::Narrow(region);
        EXPECT_EQ(pool.Addresses().size(), 1u) << jxwebtest::Narrow(region);
    }
    EXPECT_EQ(machine.Dns().Queries(PoolName("europ", 1)), 6);
}

// Every failure of the first pool leaves the pool empty: the pool's own name is handed out.
TEST(HostPool, APoolThatDoesNotResolveHandsOutItsOwnName) {
    UpdateMachine machine;
    machine.Describe([](jxplat::MachineDescription& d) { d.dnsTimeoutMs = 50; });
    machine.Dns().Set(PoolName("aschi", 1), {DnsAnswer::ServerFailure});
    machine.Dns().Set(PoolName("asind", 1), {DnsAnswer::Silent});
    machine.Dns().Set(PoolName("asres", 1), {DnsAnswer::Records, {}});
    for (const std::string region : {"afrik", "aschi", "asind", "asres"}) {
        UpdateServerHostPool pool;
        pool.Init(W(region), false);
        EXPECT_TRUE(pool.Addresses().empty()) << region;
        EXPECT_EQ(pool.GetNextHost(), W(PoolName(region, 1))) << region;
        EXPECT_EQ(pool.GetNextHost(), W(PoolName(region, 1))) << region;
    }
    // A DNS server whose port is closed fails at once.
    machine.Describe([](jxplat::MachineDescription& d) { d.dnsServer = "127.0.0.1:1"; });
    UpdateServerHostPool pool;
    pool.Init(u"europ", false);
    EXPECT_TRUE(pool.Addresses().empty());
}

TEST(HostPool, HandsOutEveryAddressOnceBeforeTheRefill) {
    UpdateMachine machine;
    machine.Dns().Set(PoolName("europ", 1), {DnsAnswer::Records, {"10.0.0.1", "192.0.2.10"}});
    UpdateServerHostPool pool;
    pool.Init(u"europ", false);
    const std::u16string domain = W(UpdateDomain());
    EXPECT_EQ(pool.GetNextHost(), u"n10-0-0-1" + domain);
    EXPECT_EQ(pool.GetNextHost(), u"n192-0-2-10" + domain);
    EXPECT_EQ(pool.GetNextHost(), u"n10-0-0-1" + domain);

    machine.Dns().Set(PoolName("afrin", 1), {DnsAnswer::Records, DnsAddresses(9)});
    pool.Init(u"afrin", false);
    for (int round = 0; round < 2; ++round) {
        std::set<std::u16string> seen;
        for (int i = 0; i < 9; ++i)
            seen.insert(pool.GetNextHost());
        EXPECT_EQ(seen.size(), 9u);
    }
}

// The draw takes the generator's values as they come: with the standard seed the first index of
// a pool of 10 is the first value of mt19937 modulo 10.
TEST(HostPool, DrawsTheIndexFromTheGeneratorsValue) {
    UpdateMachine machine;
    machine.Dns().Set(PoolName("europ", 1), {DnsAnswer::Records, DnsAddresses(10)});
    UpdateServerHostPool pool;
    pool.Init(u"europ", false);
    pool.Seed(5489);
    std::mt19937 reference(5489);
    const auto expected = DnsAddresses(10)[reference() % 10];
    EXPECT_EQ(pool.GetNextHost(), W(ServerName(expected)));
}

TEST(HostPool, UrlsInsertTheHostUnchanged) {
    EXPECT_EQ(UpdateServerHostPool::MakeCommonInfoUrl(u"h.x"), u"https://h.x/api/update/commoninfo");
    EXPECT_EQ(UpdateServerHostPool::MakeRegionUrl(u""), u"https:///api/update/region");
    EXPECT_EQ(UpdateServerHostPool::GetPoolHostName(u"europ", true, 12),
              W(std::string(JX_UPDATE_POOL_LABEL) + "europ-alternative-pool-12" + UpdateDomain()));
}
