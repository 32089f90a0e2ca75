// The management servers the command channel knows: one process-wide registry of command hosts,
// each with its idle sessions, bearer token and failure history; routing by role with redirects and
// a delayed fallback; the token refresh; and the per-subject machine identity.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "jxmms/MmsAccessKeys.h"
#include "jxmms/MmsCmd.h"

class MmsCmdSession;

// A host's role, and the selector by which a caller asks for hosts (4 and 5 select several roles).
enum MmsHostRole : int {
    MmsHostMain = 0,
    MmsHostSecondary = 1,
    MmsHostSub = 2,
    MmsHostPeer = 3,
    MmsHostMainOrSecondary = 4,
    MmsHostAnyMain = 5,
};

// The channel's clock in microseconds; tests move it forward instead of waiting.
LONGLONG MmsCmdClockNow();
void MmsCmdClockAdvance(LONGLONG microseconds);

// The host-name rewrite of legacy server names: each legacy domain suffix becomes the current one.
struct MmsLegacyHostSuffixes {
    static std::string s_Current;
    static std::vector<std::string> s_Legacy;
    static std::string Rewrite(const std::string& address);
};

class MmsCmdHost {
public:
    MmsCmdHost(int role, int transport, const std::string& address);
    ~MmsCmdHost();
    MmsCmdHost(const MmsCmdHost&) = delete;
    MmsCmdHost& operator=(const MmsCmdHost&) = delete;

    // True when the answer is final, false when routing may try elsewhere.
    bool Send(MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout);
    int UpdateToken(IMmsCmdImpl& impl);
    bool CanFallBack();
    void TraceSend(const MmsCmdSession& session) const;

    int Role() const { return m_Role; }
    int Transport() const { return m_Transport; }
    // The address as configured: the host's identity for the configuration and redirects.
    const std::string& Address() const { return m_Address; }
    // The address the socket transport connects to (legacy names rewritten once, when made).
    const std::string& ConnectAddress() const { return m_ConnectAddress; }
    std::string Authorization() const;
    bool HasConnectedIdleSession();
    size_t IdleSessionCount();
    // The timer's tick: closes the idle sessions once the host has had no request for a second.
    void ReapIdleSessions();

private:
    enum class FailureState { Unknown, Cleared, Failing, Redirected };

    std::unique_ptr<MmsCmdSession> _HostTakeSession();
    void _HostReturnSession(std::unique_ptr<MmsCmdSession> session);
    void _HostRecordOutcome(bool transportFailed, bool redirected);
    void _HostTimerRun();
    int _HostRequestToken(IMmsCmdImpl& impl, int subject);

    const int m_Role;
    const int m_Transport;
    const std::string m_Address;
    const std::string m_ConnectAddress;

    std::recursive_mutex m_TokenLock;
    mutable std::shared_mutex m_AuthorizationLock;
    std::string m_Authorization;
    std::string m_Token;
    LONGLONG m_TokenTime;
    bool m_HasToken = false;

    std::mutex m_PoolLock;
    std::deque<std::unique_ptr<MmsCmdSession>> m_IdlePool;
    LONGLONG m_LastUse;

    std::mutex m_FailureLock;
    FailureState m_FailureState = FailureState::Unknown;
    LONGLONG m_FailureTime = 0;

    std::mutex m_TimerLock;
    std::condition_variable m_TimerWake;
    bool m_TimerStop = false;
    std::thread m_Timer;
};

struct MmsHostConfig {
    struct Entry {
        int role;
        std::string address;
    };
    std::vector<Entry> hosts;
    int transport = 0;
};

// The registry's lock guards only the host list and the selector map: routing copies the hosts it
// needs (shared ownership keeps a host alive while a request runs through it) and sends without the
// lock, so a token request sent from within a routing never takes the lock again and a replacement
// of the host list never waits for a request.
class MmsCmdHostRegistry {
public:
    static MmsCmdHostRegistry& Instance();

    // False, and nothing changed, for a transport other than 0 (socket) or 1 (HTTPS).
    bool SetHosts(const MmsHostConfig& config);
    void Execute(int selector, MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout);
    int UpdateToken(int selector, IMmsCmdImpl& impl);
    // The hosts in configuration order.
    std::vector<std::shared_ptr<MmsCmdHost>> Hosts() const;

private:
    using HostList = std::vector<std::shared_ptr<MmsCmdHost>>;
    // The selector's hosts, the preferred host (first matching host with a connected idle session)
    // and every host (for redirects), copied under the shared lock.
    void _RegistrySnapshot(int selector, HostList& list, std::shared_ptr<MmsCmdHost>& preferred,
                           HostList& all);

    mutable std::shared_mutex m_Lock;
    HostList m_Hosts;
    std::array<HostList, 6> m_Selectors;
};

namespace MmsAccessParam {

struct MachineGuid {
    // The subject's machine GUID (-1: the current subject); made and stored when missing or
    // unreadable; the nil GUID for subjects without one.
    static GUID Get(int subject);
    static bool Persist(const std::string& text, int subject);
    static bool Delete(int subject);
};

struct LastKnownLocalComputerName {
    // True when the computer's active name differs from the one last seen and one was seen: the
    // subject's access key and machine GUID are then dropped.
    static bool HasChanged(int subject);
};

} // namespace MmsAccessParam

// The settings key of a subject below the product key ("QrvClient" or "Exchange").
std::u16string MmsSubjectSettingsKey(int subject);
// "ComputerName" of the computer-name key of the registry, or of the active computer name.
std::u16string MmsComputerNameKeyValue(bool active);
// The lower-case GUID text without braces.
std::string MmsGuidText(const GUID& guid);
