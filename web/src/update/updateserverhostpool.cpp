// The update-server host pool: DNS pools of a region resolved into server addresses, handed out
// one at a time in random order.
#include "jxweb/UpdateServerHostPool.h"

#include <ctime>
#include <windns.h>

#include "jxbase/textconv.h"

const WCHAR* const ServerRegionList =
    u"|europ|norda|sueda|afrik|austr|asjap|aschi|asind|asres|afrin|afriw|afrio|afrim|";
const WCHAR* const DefaultServerRegion = u"europ";
const WCHAR* const UpdateApiPath = u"api/update";

namespace {

constexpr unsigned kMaxPools = 129;
constexpr size_t kFullPool = 25;

// A region is one token of the list exactly: a text holding "|" would otherwise match across two
// tokens ("europ|norda") and make host names no request can reach.
bool _pool_IsKnownRegion(const std::u16string& region) {
    return !region.empty() && region.find(u'|') == std::u16string::npos &&
           std::u16string(ServerRegionList).find(u"|" + region + u"|") != std::u16string::npos;
}

std::u16string _pool_AddressText(IP4_ADDRESS address) {
    const auto* b = reinterpret_cast<const BYTE*>(&address); // network byte order
    return Utf8ToWide(std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
                      std::to_string(b[3]));
}

} // namespace

UpdateServerHostPool::UpdateServerHostPool() : m_Region(DefaultServerRegion), m_Generator(5489u) {}

std::u16string UpdateServerHostPool::PoolHostLabel() {
    return Utf8ToWide(JX_UPDATE_POOL_LABEL);
}

std::u16string UpdateServerHostPool::UpdateServerDomain() {
    return Utf8ToWide(JX_UPDATE_SERVER_DOMAIN);
}

void UpdateServerHostPool::Init(const std::u16string& region, bool alternative) {
    m_Region = _pool_IsKnownRegion(region) ? region : DefaultServerRegion;
    m_Addresses.clear();
    m_Backup.clear();
    m_Generator.seed(static_cast<uint32_t>(std::time(nullptr)));
    for (unsigned n = 1; n <= kMaxPools; ++n)
        if (!ResolvePool(m_Addresses, GetPoolHostName(m_Region, alternative, n)))
            break;
    m_Backup = m_Addresses;
}

std::u16string UpdateServerHostPool::GetPoolHostName(const std::u16string& region, bool alternative,
                                                     unsigned n) {
    return PoolHostLabel() + region + (alternative ? u"-alternative-pool-" : u"-pool-") +
           Utf8ToWide(std::to_string(n)) + UpdateServerDomain();
}

bool UpdateServerHostPool::ResolvePool(std::vector<std::u16string>& addresses,
                                       const std::u16string& poolHostName) {
    PDNS_RECORD records = nullptr;
    if (DnsQuery_W(poolHostName.c_str(), DNS_TYPE_A, DNS_QUERY_BYPASS_CACHE, nullptr, &records, nullptr) != 0)
        return false;
    size_t added = 0;
    for (PDNS_RECORD r = records; r; r = r->pNext) {
        if (r->wType != DNS_TYPE_A || r->Flags.S.Section != DnsSectionAnswer || r->Data.A.IpAddress == 0)
            continue;
        addresses.push_back(_pool_AddressText(r->Data.A.IpAddress));
        ++added;
    }
    DnsFree(records, DnsFreeRecordList);
    return added == kFullPool;
}

// The draw of the index: values that would favour the low indices are drawn again.
size_t UpdateServerHostPool::_pool_DrawIndex(size_t count) {
    const uint32_t n = static_cast<uint32_t>(count);
    uint32_t r;
    do
        r = static_cast<uint32_t>(m_Generator());
    while (!(r / n < 0xFFFFFFFFu / n || 0xFFFFFFFFu % n == n - 1));
    return r % n;
}

std::u16string UpdateServerHostPool::GetNextHost() {
    if (m_Addresses.empty()) {
        if (m_Backup.empty())
            return GetPoolHostName(m_Region, false, 1);
        m_Addresses = m_Backup;
    }
    const size_t count = m_Addresses.size();
    const size_t index = count <= 2 ? 0 : _pool_DrawIndex(count);
    std::u16string label = m_Addresses[index];
    for (auto& c : label)
        if (c == u'.')
            c = u'-';
    m_Addresses.erase(m_Addresses.begin() + static_cast<long>(index));
    return u"n" + label + UpdateServerDomain();
}

std::u16string UpdateServerHostPool::MakeCommonInfoUrl(const std::u16string& host) {
    return u"https://" + host + u"/" + UpdateApiPath + u"/commoninfo";
}

std::u16string UpdateServerHostPool::MakeRegionUrl(const std::u16string& host) {
    return u"https://" + host + u"/" + UpdateApiPath + u"/region";
}
