// The update servers of a region, published as DNS pools: pool n of a region resolves to up to 25
// server addresses, and the next pool is asked only while the last one was full. The pool hands
// out one server at a time, at random, as a host name that addresses that one server, and builds
// the URLs of the update-server calls.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <windows.h>

extern const WCHAR* const ServerRegionList;
extern const WCHAR* const DefaultServerRegion;
extern const WCHAR* const UpdateApiPath;

class UpdateServerHostPool {
public:
    UpdateServerHostPool();
    ~UpdateServerHostPool() = default;

    // Fixes the region (one of the region list, else "europ") and resolves its pools.
    void Init(const std::u16string& region, bool alternative);
    // One server of the pool as a host name, removed from the addresses; the name of pool 1 when
    // nothing was resolved.
    std::u16string GetNextHost();
    static std::u16string GetPoolHostName(const std::u16string& region, bool alternative, unsigned n);
    // Appends the A records of the pool's answer section; true when the pool was full (25).
    static bool ResolvePool(std::vector<std::u16string>& addresses, const std::u16string& poolHostName);
    static std::u16string MakeCommonInfoUrl(const std::u16string& host);
    static std::u16string MakeRegionUrl(const std::u16string& host);
    // The configured first label of the pool names (ending with "-") and the domain of every name
    // (beginning with ".").
    static std::u16string PoolHostLabel();
    static std::u16string UpdateServerDomain();

    const std::u16string& Region() const { return m_Region; }
    const std::vector<std::u16string>& Addresses() const { return m_Addresses; }
    const std::vector<std::u16string>& BackupAddresses() const { return m_Backup; }
    // Re-seeds the generator (Init seeds it from the clock).
    void Seed(uint32_t seed) { m_Generator.seed(seed); }

private:
    size_t _pool_DrawIndex(size_t count);

    std::vector<std::u16string> m_Addresses;
    std::vector<std::u16string> m_Backup;
    std::u16string m_Region;
    std::mt19937 m_Generator;
};
