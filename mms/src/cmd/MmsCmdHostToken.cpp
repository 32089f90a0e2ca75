// The token refresh of a command host: a token request to "api/auth/token" with this machine's
// identity; the bearer token answered becomes the host's authorization.
#include <algorithm>
#include <mutex>

#include "jxbase/netadapters.h"
#include "jxbase/secretmask.h"
#include "jxbase/textconv.h"
#include "jxbase/trace.h"
#include "jxmms/MmsCmdHost.h"
#include "jxplat/text.h"
#include "mmsauth.pb.h"

namespace {

constexpr LONGLONG kFreshToken = 10000; // refreshes less than 10 ms apart are one
std::atomic<bool> g_FirstRefreshDone{false};

std::u16string _TokenRegistryName(const WCHAR* path) {
    std::u16string name;
    HKEY hkey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return name;
    WCHAR buffer[260] = {};
    DWORD size = sizeof(buffer) - sizeof(WCHAR), type = 0;
    if (RegQueryValueExW(hkey, u"ComputerName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        name.assign(buffer, size / sizeof(WCHAR));
    RegCloseKey(hkey);
    return name.substr(0, name.find(u'\0'));
}

void _TokenAddName(MmsPb::MmsTokenReq& request, const std::u16string& name) {
    if (name.empty())
        return;
    for (const std::string& present : request.machinename())
        if (jxtext::EqualsNoCase(Utf8ToWide(present), name))
            return;
    request.add_machinename(WideToUtf8(name));
}

// What the trace shows of a secret.
std::u16string _TokenSecretTrace(const std::string& value) {
    return value.empty() ? std::u16string() : std::u16string(kMaskedSecret);
}

} // namespace

std::u16string MmsComputerNameKeyValue(bool active) {
    return _TokenRegistryName(active ? u"System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName"
                                     : u"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName");
}

int MmsCmdHost::UpdateToken(IMmsCmdImpl& impl) {
    const int subject = MmsAuthSubject.load();
    if (subject == 0)
        return 22;
    LONGLONG seen;
    {
        std::shared_lock<std::shared_mutex> lock(m_AuthorizationLock);
        // A host made a moment ago has no token yet: only a real refresh counts as fresh.
        if (m_HasToken && MmsCmdClockNow() - m_TokenTime < kFreshToken)
            return 200;
        seen = m_TokenTime;
    }
    std::lock_guard<std::recursive_mutex> tokenLock(m_TokenLock);
    {
        std::shared_lock<std::shared_mutex> lock(m_AuthorizationLock);
        if (m_HasToken && (m_TokenTime != seen || MmsCmdClockNow() - m_TokenTime < kFreshToken))
            return 200; // a refresh completed while this one waited
    }
    return _HostRequestToken(impl, subject);
}

int MmsCmdHost::_HostRequestToken(IMmsCmdImpl& impl, int subject) {
    MmsPb::MmsTokenReq request;
    const std::u16string settings = MmsSubjectSettingsKey(subject);
    if (subject != 100) {
        request.set_accesskey(WideToUtf8(ReadAccessKey(-1)));
        const bool first = !g_FirstRefreshDone.exchange(true);
        if (!first || !MmsAccessParam::LastKnownLocalComputerName::HasChanged(subject))
            request.set_machineguid(MmsGuidText(MmsAccessParam::MachineGuid::Get(subject)));
    }
    if (MmsPb::MmsTokenReq::AuthenticationSubjectEnum_IsValid(subject))
        request.set_authsubject(static_cast<MmsPb::MmsTokenReq::AuthenticationSubjectEnum>(subject));
    request.set_clienttype(MmsPb::MmsTokenReq::ClientType_1);
    if (subject != 100) {
        const std::u16string package = ReadProductRegistryString(settings, u"PackageId", u"", 0);
        const std::u16string group = ReadProductRegistryString(settings, u"Group", u"", 0);
        if (!package.empty())
            request.set_packageid(WideToUtf8(package));
        if (!group.empty())
            request.set_groupname(WideToUtf8(group));
        std::u16string configured = ReadProductRegistryString(settings, u"ComputerName", u"", 0);
        configured.erase(0, std::min(configured.size(), configured.find_first_not_of(u'\\')));
        _TokenAddName(request, configured);
    }
    _TokenAddName(request, MmsComputerNameKeyValue(false));
    if (subject != 100) {
        _TokenAddName(request, MmsComputerNameKeyValue(true));
        char host[261] = {};
        if (gethostname(host, 260) == 0)
            _TokenAddName(request, Utf8ToWide(host));
        for (ULONG family : {AF_INET, AF_INET6}) {
            CAdaptersAddresses adapters = GetAdaptersAddressesBuffer(family, 0);
            for (const std::u16string& address : GetLocalIpAddresses(adapters))
                _TokenAddName(request, address);
        }
    }
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Req AuthSubject = '%d'\n", subject);
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Req AccessKey   = '%s'\n",
                    _TokenSecretTrace(request.accesskey()).c_str());
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Req MachineGuid = '%hs'\n",
                    request.machineguid().c_str());
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Req GroupName   = '%hs'\n", request.groupname().c_str());
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Req PackageId   = '%hs'\n", request.packageid().c_str());
    for (int i = 0; i < request.machinename_size(); ++i)
        JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Req MachineName(%d) = '%hs'\n", i,
                        request.machinename(i).c_str());

    // Sent with refresh disabled: a 401 to the token request itself is returned as it is.
    MmsPb::MmsTokenResp response;
    MmsCmd cmd(&impl, false);
    const int result = cmd.Send(true, "api/auth/token", request, response, MmsPb::MmsCmdReq::Post, nullptr,
                                nullptr, 0, nullptr, nullptr);
    if (result != 200)
        return result;
    if (response.has_token())
        RememberSecret(Utf8ToWide(response.token()));
    if (response.has_accesskey())
        RememberSecret(Utf8ToWide(response.accesskey()));
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Res AccessKey   = '%s'\n",
                    _TokenSecretTrace(response.accesskey()).c_str());
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Res MachineGuid = '%hs'\n",
                    response.machineguid().c_str());
    JX_ENGINE_TRACE(0, u"MmsCmdHost::UpdateToken", u"Res Token       = '%s'\n",
                    _TokenSecretTrace(response.token()).c_str());
    if (!response.has_token())
        return 10;
    impl.OnTokenUpdated(response.token());
    if (subject != 100) {
        if (response.has_accesskey())
            WriteAccessKey(Utf8ToWide(response.accesskey()), -1);
        if (response.has_machineguid())
            MmsAccessParam::MachineGuid::Persist(response.machineguid(), subject);
    }
    std::unique_lock<std::shared_mutex> lock(m_AuthorizationLock);
    m_Token = response.token();
    m_Authorization = "Bearer " + m_Token;
    m_TokenTime = MmsCmdClockNow();
    m_HasToken = true;
    return 200;
}
