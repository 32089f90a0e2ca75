// DnsQuery_W of the stand-in: one UDP query to the machine's DNS server (a loopback address from
// the machine description), its answer, authority and additional records handed back in order as
// the system's record list; without a DNS server, the A records of the machine's hostNames.
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/windns.h"
#include "jxplat/winerror.h"

namespace {

// One record of the list, with its texts in the same allocation (DnsFree frees each record whole).
PDNS_RECORD _dns_NewRecord(const std::u16string& name, WORD type, DNS_SECTION section, DWORD ttl,
                           const std::u16string& target) {
    const size_t size = sizeof(DNS_RECORDW) + (name.size() + 1 + target.size() + 1) * sizeof(WCHAR);
    auto* record = static_cast<PDNS_RECORD>(std::calloc(1, size));
    if (!record)
        return nullptr;
    auto* text = reinterpret_cast<WCHAR*>(record + 1);
    std::memcpy(text, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    record->pName = text;
    record->wType = type;
    record->Flags.S.Section = section;
    record->Flags.S.CharSet = 1; // Unicode
    record->dwTtl = ttl;
    if (type == DNS_TYPE_CNAME) {
        WCHAR* host = text + name.size() + 1;
        std::memcpy(host, target.c_str(), (target.size() + 1) * sizeof(WCHAR));
        record->Data.CNAME.pNameHost = host;
        record->wDataLength = sizeof(DNS_PTR_DATAW);
    } else {
        record->wDataLength = sizeof(DNS_A_DATA);
    }
    return record;
}

class CRecordList {
public:
    ~CRecordList() { DnsFree(m_first, DnsFreeRecordList); }
    bool Add(PDNS_RECORD record) {
        if (!record)
            return false;
        (m_last ? m_last->pNext : m_first) = record;
        m_last = record;
        return true;
    }
    PDNS_RECORD Release() {
        PDNS_RECORD first = m_first;
        m_first = m_last = nullptr;
        return first;
    }
    bool Empty() const { return !m_first; }

private:
    PDNS_RECORD m_first = nullptr;
    PDNS_RECORD m_last = nullptr;
};

// A name of the message at the offset (compression pointers followed, at most 32 of them); the
// offset moves past the name as it stands in its place.
bool _dns_ReadName(const std::vector<uint8_t>& m, size_t& offset, std::string& name) {
    size_t at = offset;
    bool jumped = false;
    name.clear();
    for (int hops = 0; hops < 32;) {
        if (at >= m.size())
            return false;
        const uint8_t length = m[at];
        if (length == 0) {
            if (!jumped)
                offset = at + 1;
            return true;
        }
        if ((length & 0xC0) == 0xC0) {
            if (at + 1 >= m.size())
                return false;
            if (!jumped)
                offset = at + 2;
            jumped = true;
            at = ((length & 0x3F) << 8) | m[at + 1];
            ++hops;
            continue;
        }
        if ((length & 0xC0) != 0 || at + 1 + length > m.size())
            return false;
        if (!name.empty())
            name += '.';
        name.append(reinterpret_cast<const char*>(&m[at + 1]), length);
        at += 1 + length;
    }
    return false;
}

uint16_t _dns_U16(const std::vector<uint8_t>& m, size_t at) {
    return static_cast<uint16_t>((m[at] << 8) | m[at + 1]);
}

std::vector<uint8_t> _dns_Query(uint16_t id, const std::string& name, WORD type) {
    std::vector<uint8_t> q = {
        static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    size_t start = 0;
    while (start <= name.size()) {
        size_t dot = name.find('.', start);
        if (dot == std::string::npos)
            dot = name.size();
        if (dot > start) {
            q.push_back(static_cast<uint8_t>(dot - start));
            q.insert(q.end(), name.begin() + static_cast<long>(start), name.begin() + static_cast<long>(dot));
        }
        start = dot + 1;
    }
    q.push_back(0);
    q.insert(q.end(), {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type), 0, 1});
    return q;
}

DNS_STATUS _dns_Parse(const std::vector<uint8_t>& m, uint16_t id, CRecordList& list) {
    if (m.size() < 12 || _dns_U16(m, 0) != id || !(m[2] & 0x80))
        return DNS_ERROR_BAD_PACKET;
    switch (m[3] & 0x0F) {
    case 0:
        break;
    case 1:
        return DNS_ERROR_RCODE_FORMAT_ERROR;
    case 2:
        return DNS_ERROR_RCODE_SERVER_FAILURE;
    case 3:
        return DNS_ERROR_RCODE_NAME_ERROR;
    case 4:
        return DNS_ERROR_RCODE_NOT_IMPLEMENTED;
    default:
        return DNS_ERROR_RCODE_REFUSED;
    }
    size_t at = 12;
    std::string name;
    for (uint16_t i = 0, n = _dns_U16(m, 4); i < n; ++i) {
        if (!_dns_ReadName(m, at, name) || at + 4 > m.size())
            return DNS_ERROR_BAD_PACKET;
        at += 4;
    }
    const uint16_t counts[3] = {_dns_U16(m, 6), _dns_U16(m, 8), _dns_U16(m, 10)};
    for (int section = 0; section < 3; ++section) {
        for (uint16_t i = 0; i < counts[section]; ++i) {
            if (!_dns_ReadName(m, at, name) || at + 10 > m.size())
                return DNS_ERROR_BAD_PACKET;
            const uint16_t type = _dns_U16(m, at);
            const DWORD ttl = (static_cast<DWORD>(_dns_U16(m, at + 4)) << 16) | _dns_U16(m, at + 6);
            const uint16_t length = _dns_U16(m, at + 8);
            at += 10;
            if (at + length > m.size())
                return DNS_ERROR_BAD_PACKET;
            const auto place = static_cast<DNS_SECTION>(section + 1);
            const std::u16string wideName = jxtext::Utf8ToUtf16(name);
            if (type == DNS_TYPE_A && length == 4) {
                PDNS_RECORD record = _dns_NewRecord(wideName, DNS_TYPE_A, place, ttl, u"");
                if (!list.Add(record))
                    return ERROR_OUTOFMEMORY;
                std::memcpy(&record->Data.A.IpAddress, &m[at], 4);
            } else if (type == DNS_TYPE_CNAME) {
                size_t target = at;
                std::string host;
                if (!_dns_ReadName(m, target, host))
                    return DNS_ERROR_BAD_PACKET;
                if (!list.Add(
                        _dns_NewRecord(wideName, DNS_TYPE_CNAME, place, ttl, jxtext::Utf8ToUtf16(host))))
                    return ERROR_OUTOFMEMORY;
            }
            at += length;
        }
    }
    return list.Empty() ? DNS_INFO_NO_RECORDS : 0;
}

DNS_STATUS _dns_AskServer(const std::string& server, const std::string& name, WORD type, CRecordList& list) {
    const size_t colon = server.rfind(':');
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(server.substr(colon + 1).c_str())));
    if (colon == std::string::npos ||
        inet_pton(AF_INET, server.substr(0, colon).c_str(), &address.sin_addr) != 1)
        return ERROR_INVALID_PARAMETER;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ERROR_OUTOFMEMORY;
    std::random_device random;
    const auto id = static_cast<uint16_t>(random());
    const std::vector<uint8_t> query = _dns_Query(id, name, type);
    DNS_STATUS status = ERROR_TIMEOUT;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, query.data(), query.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(query.size())) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(jxplat::Machine().dnsTimeoutMs)) == 1) {
            std::vector<uint8_t> answer(65536);
            const ssize_t n = ::recv(fd, answer.data(), answer.size(), 0);
            // A refused port (nobody listens) is a server that does not answer.
            if (n > 0) {
                answer.resize(static_cast<size_t>(n));
                status = _dns_Parse(answer, id, list);
            }
        }
    }
    ::close(fd);
    return status;
}

// Without a DNS server: the IPv4 addresses of a name of the machine's hostNames.
DNS_STATUS _dns_AskHostNames(const std::u16string& name, WORD type, CRecordList& list) {
    const std::string narrow = jxtext::Utf16ToUtf8(name);
    for (const auto& host : jxplat::Machine().hostNames) {
        if (jxtext::Fold(jxtext::Utf8ToUtf16(host.name)) != jxtext::Fold(name))
            continue;
        for (const auto& text : host.addresses) {
            in_addr ip{};
            if (type != DNS_TYPE_A || inet_pton(AF_INET, text.c_str(), &ip) != 1)
                continue;
            PDNS_RECORD record = _dns_NewRecord(name, DNS_TYPE_A, DnsSectionAnswer, 3600, u"");
            if (!list.Add(record))
                return ERROR_OUTOFMEMORY;
            record->Data.A.IpAddress = ip.s_addr;
        }
        return list.Empty() ? DNS_INFO_NO_RECORDS : 0;
    }
    return DNS_ERROR_RCODE_NAME_ERROR;
}

} // namespace

DNS_STATUS DnsQuery_W(const WCHAR* name, WORD type, DWORD, void*, PDNS_RECORD* results, void**) {
    if (!name || !*name || !results)
        return ERROR_INVALID_PARAMETER;
    *results = nullptr;
    std::u16string query = name;
    if (query.back() == u'.')
        query.pop_back();
    CRecordList list;
    const std::string& server = jxplat::Machine().dnsServer;
    const DNS_STATUS status = server.empty() ? _dns_AskHostNames(query, type, list)
                                             : _dns_AskServer(server, jxtext::Utf16ToUtf8(query), type, list);
    if (status == 0)
        *results = list.Release();
    return status;
}

void DnsFree(void* data, DNS_FREE_TYPE freeType) {
    auto* record = static_cast<PDNS_RECORD>(data);
    if (freeType != DnsFreeRecordList) {
        std::free(record);
        return;
    }
    while (record) {
        PDNS_RECORD next = record->pNext;
        std::free(record);
        record = next;
    }
}
