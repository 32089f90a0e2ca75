// The process's command hosts and the routing of a request to a host chosen by role.
#include <mutex>

#include "jxmms/MmsCmdHost.h"

namespace {

bool _RegistryMatches(int selector, int role) {
    if (selector >= 0 && selector <= 3)
        return selector == role;
    if (selector == MmsHostMainOrSecondary)
        return role == MmsHostMain || role == MmsHostSecondary;
    return selector == MmsHostAnyMain;
}

// The roles a selector lists, in the order it lists them.
std::vector<int> _RegistryRoleOrder(int selector) {
    switch (selector) {
    case 0:
    case 1:
    case 2:
    case 3:
        return {selector};
    case MmsHostMainOrSecondary:
        return {MmsHostMain, MmsHostSecondary};
    case MmsHostAnyMain:
        return {MmsHostSub, MmsHostMain, MmsHostSecondary};
    default:
        return {};
    }
}

} // namespace

MmsCmdHostRegistry& MmsCmdHostRegistry::Instance() {
    static MmsCmdHostRegistry registry;
    return registry;
}

bool MmsCmdHostRegistry::SetHosts(const MmsHostConfig& config) {
    if (config.transport != 0 && config.transport != 1)
        return false;
    HostList dropped; // destroyed after the lock is released
    std::unique_lock<std::shared_mutex> lock(m_Lock);
    HostList kept;
    for (auto& host : m_Hosts) {
        bool configured = false;
        for (const auto& entry : config.hosts)
            configured = configured || entry.address == host->Address();
        if (host->Role() == MmsHostPeer || configured)
            kept.push_back(host);
        else
            dropped.push_back(host);
    }
    for (const auto& entry : config.hosts) {
        bool present = false;
        for (const auto& host : kept)
            present = present || (host->Role() != MmsHostPeer && host->Address() == entry.address);
        if (!present)
            kept.push_back(std::make_shared<MmsCmdHost>(entry.role, config.transport, entry.address));
    }
    m_Hosts.swap(kept);
    for (int selector = 0; selector < static_cast<int>(m_Selectors.size()); ++selector) {
        m_Selectors[selector].clear();
        for (int role : _RegistryRoleOrder(selector))
            for (const auto& host : m_Hosts)
                if (host->Role() == role)
                    m_Selectors[selector].push_back(host);
    }
    lock.unlock();
    dropped.clear();
    return true;
}

std::vector<std::shared_ptr<MmsCmdHost>> MmsCmdHostRegistry::Hosts() const {
    std::shared_lock<std::shared_mutex> lock(m_Lock);
    return m_Hosts;
}

void MmsCmdHostRegistry::_RegistrySnapshot(int selector, HostList& list,
                                           std::shared_ptr<MmsCmdHost>& preferred, HostList& all) {
    {
        std::shared_lock<std::shared_mutex> lock(m_Lock);
        all = m_Hosts;
        if (selector >= 0 && selector < static_cast<int>(m_Selectors.size()))
            list = m_Selectors[selector];
    }
    preferred.reset();
    for (const auto& host : all)
        if (_RegistryMatches(selector, host->Role()) && host->HasConnectedIdleSession()) {
            preferred = host;
            break;
        }
}

void MmsCmdHostRegistry::Execute(int selector, MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer,
                                 int timeout) {
    HostList list, all;
    std::shared_ptr<MmsCmdHost> preferred;
    _RegistrySnapshot(selector, list, preferred, all);
    if (preferred && preferred->Send(request, answer, timeout))
        return;
    if (list.empty()) {
        answer.Clear();
        answer.set_status(9);
        return;
    }
    MmsCmdHost* previous = nullptr;
    for (const auto& host : list) {
        if (host == preferred) {
            previous = host.get();
            continue;
        }
        if (previous != nullptr && !previous->CanFallBack()) {
            answer.Clear();
            answer.set_status(23);
            return;
        }
        previous = host.get();
        if (host->Send(request, answer, timeout))
            return;
        const MmsPb::MmsCmdResp redirect = answer;
        for (const auto& header : redirect.headers()) {
            if (header.name() != "Location")
                continue;
            for (const auto& target : all)
                if (target->Address() == header.value() && target->Send(request, answer, timeout))
                    return;
        }
    }
}

int MmsCmdHostRegistry::UpdateToken(int selector, IMmsCmdImpl& impl) {
    HostList list, all;
    std::shared_ptr<MmsCmdHost> preferred;
    _RegistrySnapshot(selector, list, preferred, all);
    if (preferred && preferred->UpdateToken(impl) == 200)
        return 200;
    int result = 9;
    MmsCmdHost* previous = nullptr;
    for (const auto& host : list) {
        if (previous != nullptr && !previous->CanFallBack())
            return 23;
        previous = host.get();
        result = host->UpdateToken(impl);
        if (result == 200)
            return 200;
    }
    return result;
}
