// ServiceController: the configuration, the image path, registration and start types.
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "jxbase/trace.h"
#include "jxbase/win32errortext.h"
#include "jxplat/text.h"
#include "ServiceControllerSeams.h"

using jxbase_svc::HandleBits;

namespace {

constexpr DWORD kCodeAndTabs = CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs;

bool _svc_FileExists(const std::u16string& path) {
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Protected anti-malware services refuse changes even to an administrator.
bool _svc_IsAntimalwareProtected(SC_HANDLE service) {
    SERVICE_LAUNCH_PROTECTED_INFO info = {};
    DWORD needed = 0;
    return QueryServiceConfig2W(service, SERVICE_CONFIG_LAUNCH_PROTECTED, reinterpret_cast<LPBYTE>(&info),
                                sizeof(info), &needed) &&
           info.dwLaunchProtected >= SERVICE_LAUNCH_PROTECTED_ANTIMALWARE_LIGHT;
}

} // namespace

bool ServiceController::ChangeConfig(DWORD serviceType, DWORD startType, DWORD errorControl,
                                     const WCHAR* binaryPathName, const WCHAR* loadOrderGroup, LPDWORD tagId,
                                     const WCHAR* dependencies, const WCHAR* serviceStartName,
                                     const WCHAR* password, const WCHAR* displayName) {
    if (!_svc_HasAccess(SERVICE_CHANGE_CONFIG))
        return false;
    if (ChangeServiceConfigW(m_service, serviceType, startType, errorControl, binaryPathName, loadOrderGroup,
                             tagId, dependencies, serviceStartName, password, displayName))
        return true;
    const DWORD error = GetLastError();
    const CWin32ErrorText text(error, kCodeAndTabs);
    // A refusal by a protected service is traced whatever the trace level.
    if (error == ERROR_ACCESS_DENIED && _svc_IsAntimalwareProtected(m_service))
        DebugTrace(
            u"(%u) Qrv: ServiceController::ChangeConfig(): ChangeServiceConfig %s (start type %ls) failed "
            u"with %ls\n",
            GetCurrentThreadId(), m_serviceName.c_str(), GetStartTypeName(static_cast<int>(startType)),
            text.c_str());
    else
        JX_QRV_TRACE(0, u"ServiceController::ChangeConfig",
                     u"ChangeServiceConfig %s (start type %ls) failed with %ls\n", m_serviceName.c_str(),
                     GetStartTypeName(static_cast<int>(startType)), text.c_str());
    SetLastError(error);
    return false;
}

bool ServiceController::SetDelayedAutoStart(bool enable) {
    if (!m_service)
        return false;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetWindowsVersionFromRegistry(version);
    if (version.dwMajorVersion < 6 || !_svc_HasAccess(SERVICE_CHANGE_CONFIG))
        return false;
    SERVICE_DELAYED_AUTO_START_INFO info = {};
    DWORD needed = 0;
    if (QueryServiceConfig2W(m_service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                             reinterpret_cast<LPBYTE>(&info), sizeof(info), &needed) &&
        (info.fDelayedAutostart != FALSE) == enable)
        return true;
    info.fDelayedAutostart = enable ? TRUE : FALSE;
    if (ChangeServiceConfig2W(m_service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info))
        return true;
    JX_QRV_TRACE(0, u"ServiceController::SetDelayedAutoStart", u"ChangeServiceConfig2 failed with %ls\n",
                 CWin32ErrorText(kCodeAndTabs).c_str());
    return false;
}

bool ServiceController::QueryConfig(std::vector<BYTE>& buffer) {
    if (!m_service)
        return false;
    DWORD needed = 0;
    if (QueryServiceConfigW(m_service, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        JX_QRV_TRACE(0, u"ServiceController::QueryConfig", u"QueryServiceConfig failed with %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        return false;
    }
    buffer.assign(needed, 0);
    if (!QueryServiceConfigW(m_service, reinterpret_cast<LPQUERY_SERVICE_CONFIGW>(buffer.data()), needed,
                             &needed)) {
        JX_QRV_TRACE(0, u"ServiceController::QueryConfig", u"QueryServiceConfig failed with %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        return false;
    }
    return true;
}

std::u16string ServiceController::ImagePath(bool stripArguments, bool mapToMachine) {
    if (!m_service)
        return u"";
    DWORD needed = 0;
    if (QueryServiceConfigW(m_service, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        JX_QRV_TRACE(0, u"ServiceController::ImagePath", u"failed\n");
        return u"";
    }
    std::vector<BYTE> buffer(needed, 0);
    auto* config = reinterpret_cast<LPQUERY_SERVICE_CONFIGW>(buffer.data());
    if (!QueryServiceConfigW(m_service, config, needed, &needed)) {
        JX_QRV_TRACE(0, u"ServiceController::ImagePath", u"failed with %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        return u"";
    }
    const std::u16string raw = config->lpBinaryPathName ? config->lpBinaryPathName : u"";
    JX_QRV_TRACE(4, u"ServiceController::ImagePath", u"raw: '%s'\n", raw.c_str());
    std::u16string path = jxtext::Trim(raw, u" ");
    if (stripArguments) {
        if (path.size() >= 3 && path[0] == u'"') {
            const size_t first = path.find_first_not_of(u'"');
            path.erase(0, first == std::u16string::npos ? path.size() : first);
            const size_t quote = path.find(u'"');
            if (quote != std::u16string::npos && quote != 0)
                path.erase(quote);
        } else if (!path.empty()) {
            // An unquoted path with blanks loses everything from its first blank.
            const size_t blank = path.find(u' ');
            if (blank != std::u16string::npos && blank != 0)
                path.erase(blank);
        }
    }
    if (mapToMachine && !m_machineName.empty() && path.size() > 3 && path[1] == u':')
        path = m_machineName + u"\\" + path[0] + u"$" + path.substr(2);
    JX_QRV_TRACE(0, u"ServiceController::ImagePath", u"'%s'\n", path.c_str());
    return path;
}

bool ServiceController::IsRegistered() {
    const std::u16string path = ImagePath(true, true);
    if (path.empty()) {
        JX_QRV_TRACE(0, u"ServiceController::IsRegistered", u"<- '%s' is not registered (empty ImagePath)\n",
                     m_serviceName.c_str());
        return false;
    }
    if (!_svc_FileExists(path)) {
        JX_QRV_TRACE(0, u"ServiceController::IsRegistered", u"<- service '%s' not found at '%s'\n",
                     m_serviceName.c_str(), path.c_str());
        return false;
    }
    JX_QRV_TRACE(0, u"ServiceController::IsRegistered", u"<- '%s' is registered\n", m_serviceName.c_str());
    return true;
}

bool ServiceController::IsRegistered(const WCHAR* serviceName, const WCHAR* machineName) {
    JX_QRV_TRACE(6, u"ServiceController::IsRegistered", u"-> %s %s\n", serviceName ? serviceName : u"",
                 machineName ? machineName : u"NULL");
    if (machineName && *machineName) {
        ServiceController controller;
        return controller.Open(serviceName, machineName, SC_MANAGER_ALL_ACCESS, SERVICE_QUERY_CONFIG) &&
               controller.IsRegistered();
    }
    const std::u16string name = serviceName ? serviceName : u"";
    const std::u16string key = u"SYSTEM\\CurrentControlSet\\services\\" + name;
    std::u16string path = CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"ImagePath", u"", 0);
    JX_QRV_TRACE(6, u"ServiceController::IsRegistered", u"ImagePath = '%s'\n", path.c_str());
    if (path.empty()) {
        JX_QRV_TRACE(0, u"ServiceController::IsRegistered", u"<- '%s' is not registered\n", name.c_str());
        return false;
    }
    // Only the quotes around the path are taken off: an image path with arguments after a quoted
    // program, or one with environment variables, is not found and reads as not registered.
    path = jxtext::Trim(path, u" ");
    while (!path.empty() && path.back() == u'"')
        path.pop_back();
    const size_t first = path.find_first_not_of(u'"');
    path.erase(0, first == std::u16string::npos ? path.size() : first);
    if (!_svc_FileExists(path)) {
        JX_QRV_TRACE(0, u"ServiceController::IsRegistered", u"<- '%s' is not registered\n", name.c_str());
        return false;
    }
    JX_QRV_TRACE(0, u"ServiceController::IsRegistered", u"<- '%s' is registered\n", name.c_str());
    return true;
}

int ServiceController::QueryStartType(const WCHAR* serviceName, const WCHAR* machineName) {
    ServiceController controller;
    if (!controller.Open(serviceName, machineName, SC_MANAGER_CONNECT, SERVICE_ALL_ACCESS))
        return -1;
    std::vector<BYTE> buffer;
    if (!controller.QueryConfig(buffer))
        return -1;
    return static_cast<int>(reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data())->dwStartType);
}

const WCHAR* ServiceController::GetStartTypeName(int startType) {
    switch (startType) {
    case 0:
        return u"SERVICE_BOOT_START";
    case 1:
        return u"SERVICE_SYSTEM_START";
    case 2:
        return u"SERVICE_AUTO_START";
    case 3:
        return u"SERVICE_DEMAND_START";
    case 4:
        return u"SERVICE_DISABLED";
    case -1:
        return u"SERVICE_NO_CHANGE";
    default:
        return u"Unknown Start Type";
    }
}

void GetWindowsVersionFromRegistry(OSVERSIONINFOEXW& version) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return;
    WCHAR text[261] = {};
    DWORD size = 520, type = 0;
    const LONG read =
        RegQueryValueExW(key, u"CurrentVersion", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return;
    std::u16string value(text);
    if (value.empty() || !(value[0] == u'.' || (value[0] >= u'0' && value[0] <= u'9')))
        return;
    const size_t end = value.find_first_not_of(u"0123456789.");
    if (end != std::u16string::npos)
        value.erase(end);
    const size_t dot = value.find(u'.');
    if (dot == std::u16string::npos)
        return;
    if (dot > 0)
        version.dwMajorVersion = jxtext::ParseUInt32(value.substr(0, dot));
    const std::u16string minor = value.substr(dot + 1, value.find(u'.', dot + 1) - dot - 1);
    if (!minor.empty())
        version.dwMinorVersion = jxtext::ParseUInt32(minor);
}
