// One command host: its idle sessions, its failure history and its idle reaper.
#include <chrono>

#include "jxbase/textconv.h"
#include "jxbase/trace.h"
#include "jxmms/MmsCmdHost.h"
#include "jxmms/MmsCmdNames.h"
#include "jxmms/MmsCmdSession.h"
#include "jxplat/text.h"

namespace {

std::atomic<LONGLONG> g_ClockOffset{0};
constexpr LONGLONG kSecond = 1000000;
constexpr auto kTimerPeriod = std::chrono::milliseconds(2000);

} // namespace

LONGLONG MmsCmdClockNow() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() + g_ClockOffset.load();
}

void MmsCmdClockAdvance(LONGLONG microseconds) {
    g_ClockOffset += microseconds;
}

std::string MmsLegacyHostSuffixes::s_Current = ".mms.tolvane.com";
std::vector<std::string> MmsLegacyHostSuffixes::s_Legacy = {".mms.corvata.com", ".mms.corvata.net"};

std::string MmsLegacyHostSuffixes::Rewrite(const std::string& address) {
    std::u16string text = Utf8ToWide(address);
    for (const std::string& legacy : s_Legacy) {
        const std::u16string from = Utf8ToWide(legacy), to = Utf8ToWide(s_Current);
        for (size_t at = jxtext::FindNoCase(text, from); !from.empty() && at != std::u16string::npos;
             at = jxtext::FindNoCase(text, from, at + to.size()))
            text.replace(at, from.size(), to);
    }
    return WideToUtf8(text);
}

MmsCmdHost::MmsCmdHost(int role, int transport, const std::string& address)
    : m_Role(role), m_Transport(transport), m_Address(address),
      m_ConnectAddress(transport == 0 ? MmsLegacyHostSuffixes::Rewrite(address) : address),
      m_TokenTime(MmsCmdClockNow()), m_LastUse(0) {
    m_Timer = std::thread([this] { _HostTimerRun(); });
}

MmsCmdHost::~MmsCmdHost() {
    {
        std::lock_guard<std::mutex> lock(m_TimerLock);
        m_TimerStop = true;
    }
    m_TimerWake.notify_all();
    m_Timer.join(); // a running tick ends first
    std::lock_guard<std::mutex> lock(m_PoolLock);
    m_IdlePool.clear();
}

void MmsCmdHost::_HostTimerRun() {
    std::unique_lock<std::mutex> lock(m_TimerLock);
    while (!m_TimerWake.wait_for(lock, kTimerPeriod, [this] { return m_TimerStop; })) {
        lock.unlock();
        ReapIdleSessions();
        lock.lock();
    }
}

void MmsCmdHost::ReapIdleSessions() {
    std::deque<std::unique_ptr<MmsCmdSession>> reaped;
    {
        std::lock_guard<std::mutex> lock(m_PoolLock);
        if (m_IdlePool.empty() || MmsCmdClockNow() - m_LastUse <= kSecond)
            return;
        reaped.swap(m_IdlePool);
    }
    // The connections close outside the pool lock.
}

std::string MmsCmdHost::Authorization() const {
    std::shared_lock<std::shared_mutex> lock(m_AuthorizationLock);
    return m_Authorization;
}

bool MmsCmdHost::HasConnectedIdleSession() {
    std::lock_guard<std::mutex> lock(m_PoolLock);
    for (const auto& session : m_IdlePool)
        if (session->IsConnected())
            return true;
    return false;
}

size_t MmsCmdHost::IdleSessionCount() {
    std::lock_guard<std::mutex> lock(m_PoolLock);
    return m_IdlePool.size();
}

std::unique_ptr<MmsCmdSession> MmsCmdHost::_HostTakeSession() {
    {
        std::lock_guard<std::mutex> lock(m_PoolLock);
        if (!m_IdlePool.empty()) {
            std::unique_ptr<MmsCmdSession> session = std::move(m_IdlePool.front());
            m_IdlePool.pop_front();
            return session;
        }
    }
    if (m_Transport == 1)
        return std::make_unique<MmsCmdHttpSession>(*this);
    return std::make_unique<MmsCmdSocketSession>(*this);
}

void MmsCmdHost::_HostReturnSession(std::unique_ptr<MmsCmdSession> session) {
    std::unique_ptr<MmsCmdSession> closed;
    std::lock_guard<std::mutex> lock(m_PoolLock);
    if (session && session->IsConnected())
        m_IdlePool.push_back(std::move(session));
    else
        closed = std::move(session);
    m_LastUse = MmsCmdClockNow();
}

void MmsCmdHost::_HostRecordOutcome(bool transportFailed, bool redirected) {
    std::lock_guard<std::mutex> lock(m_FailureLock);
    if (!transportFailed) {
        m_FailureState = FailureState::Cleared;
    } else if (m_FailureState == FailureState::Cleared) {
        m_FailureState = FailureState::Failing;
        m_FailureTime = MmsCmdClockNow();
    }
    if (redirected)
        m_FailureState = FailureState::Redirected;
}

bool MmsCmdHost::Send(MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) {
    // The request object serves every attempt of one routing: this host's own authorization
    // replaces any earlier host's, so no host sees another's token.
    const std::string authorization = Authorization();
    auto* headers = request.mutable_headers();
    for (int i = headers->size() - 1; i >= 0; --i)
        if (headers->Get(i).name() == "Authorization")
            headers->DeleteSubrange(i, 1);
    if (!authorization.empty()) {
        MmsPb::MmsCmdHeader* header = request.add_headers();
        header->set_name("Authorization");
        header->set_value(authorization);
    }

    std::unique_ptr<MmsCmdSession> session = _HostTakeSession();
    struct ReturnOnExit {
        MmsCmdHost& host;
        std::unique_ptr<MmsCmdSession>& session;
        ~ReturnOnExit() { host._HostReturnSession(std::move(session)); }
    } returnOnExit{*this, session};

    session->Send(request, answer, timeout);
    const int status = answer.status();
    const bool transportFailed = (m_Transport == 0 && status == 11) || (m_Transport == 1 && status == 21);
    const bool redirected = status == 301 || status == 302 || status == 303 || status == 305 || status == 307;
    _HostRecordOutcome(transportFailed, redirected);
    return !redirected && !transportFailed;
}

bool MmsCmdHost::CanFallBack() {
    LONGLONG failureTime;
    {
        std::lock_guard<std::mutex> lock(m_FailureLock);
        if (m_FailureState == FailureState::Cleared)
            return false;
        if (m_FailureState != FailureState::Failing)
            return true;
        failureTime = m_FailureTime;
    }
    DWORD seconds = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(MmsProductKeyLock());
        HKEY hkey = nullptr;
        const std::u16string path = GetMakerKeyPath(MmsSubjectSettingsKey(-1));
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hkey) == ERROR_SUCCESS) {
            DWORD type = 0, value = 0, size = sizeof(value);
            if (RegQueryValueExW(hkey, u"ServerFallBackSeconds", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                type == REG_DWORD && size == sizeof(value))
                seconds = value;
            RegCloseKey(hkey);
        }
    }
    if (seconds == 0)
        seconds = m_Role == MmsHostSub ? 900 : 3600;
    return MmsCmdClockNow() - failureTime >= static_cast<LONGLONG>(seconds) * kSecond;
}

void MmsCmdHost::TraceSend(const MmsCmdSession& session) const {
    JX_ENGINE_TRACE(0, u"MmsCmdHost::TraceSend", u"%hs:%s (%hs,%hs)\n", m_Address.c_str(),
                    session.GetPeerDescription().c_str(), MmsHostRoleName(m_Role),
                    MmsTransportName(m_Transport));
}
