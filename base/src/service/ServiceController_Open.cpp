// ServiceController: opening and closing the manager and the service.
#include "jxbase/ServiceController.h"
#include "jxbase/trace.h"
#include "jxbase/win32errortext.h"
#include "ServiceControllerSeams.h"

namespace jxbase_svc {

ServiceController::SleepFn& SleepHook() {
    static ServiceController::SleepFn hook = [](DWORD milliseconds) { Sleep(milliseconds); };
    return hook;
}

ServiceController::OpenManagerFn& OpenManagerHook() {
    static ServiceController::OpenManagerFn hook = [](LPCWSTR machine, LPCWSTR database, DWORD access) {
        return ::OpenSCManagerW(machine, database, access);
    };
    return hook;
}

} // namespace jxbase_svc

using jxbase_svc::HandleBits;

namespace {
constexpr DWORD kCodeAndTabs = CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs;
constexpr int kManagerRetries = 10;
} // namespace

void ServiceController::SetSleepForTesting(SleepFn sleep) {
    jxbase_svc::SleepHook() = sleep ? sleep : +[](DWORD milliseconds) { Sleep(milliseconds); };
}

void ServiceController::SetOpenManagerForTesting(OpenManagerFn open) {
    jxbase_svc::OpenManagerHook() = open ? open : +[](LPCWSTR machine, LPCWSTR database, DWORD access) {
        return ::OpenSCManagerW(machine, database, access);
    };
}

ServiceController::~ServiceController() {
    Close();
}

SC_HANDLE ServiceController::OpenSCManagerW(const WCHAR* machineName, DWORD access) {
    SC_HANDLE manager = jxbase_svc::OpenManagerHook()(machineName, nullptr, access);
    if (manager)
        return manager;
    DWORD error = GetLastError();
    JX_QRV_TRACE(0, u"ServiceController::OpenSCManagerW", u"can't open SCM: %ls\n",
                 CWin32ErrorText(error, kCodeAndTabs).c_str());
    if (error != RPC_S_CALL_FAILED)
        return nullptr;
    // The manager's RPC end point may not be up yet (early in a boot): retry with growing pauses.
    for (int retry = 1; retry <= kManagerRetries; ++retry) {
        jxbase_svc::SleepHook()(static_cast<DWORD>(100 * retry));
        manager = jxbase_svc::OpenManagerHook()(machineName, nullptr, access);
        if (manager) {
            JX_QRV_TRACE(0, u"ServiceController::OpenSCManagerW", u"SCM opened on retry %d\n", retry);
            return manager;
        }
        error = GetLastError();
        JX_QRV_TRACE(0, u"ServiceController::OpenSCManagerW", u"Still can't open SCM : %ls\n",
                     CWin32ErrorText(error, kCodeAndTabs).c_str());
        if (error != RPC_S_CALL_FAILED)
            return nullptr;
    }
    return nullptr;
}

void ServiceController::SetMachineName(const WCHAR* machineName) {
    JX_QRV_TRACE(6, u"ServiceController::SetMachineName", u"-> '%s'\n",
                 machineName ? machineName : u"--NULL--");
    m_machineName.clear();
    if (!machineName || !*machineName)
        return;
    std::u16string name;
    for (const WCHAR* p = machineName; *p; ++p)
        if (*p != u'\\')
            name.push_back(*p);
    m_machineName = u"\\\\" + name;
}

bool ServiceController::Open(const WCHAR* serviceName, const WCHAR* machineName, DWORD managerAccess,
                             DWORD serviceAccess) {
    JX_QRV_TRACE(0, u"ServiceController::Open", u"-> serviceName='%s', machineName='%s'\n",
                 serviceName ? serviceName : u"", machineName ? machineName : u"");
    Close();
    m_managerAccess = managerAccess;
    m_serviceAccess = serviceAccess;
    SetMachineName(machineName);
    m_manager = OpenSCManagerW(m_machineName.empty() ? nullptr : m_machineName.c_str(), managerAccess);
    if (!m_manager) {
        JX_QRV_TRACE(0, u"ServiceController::Open", u"<- failed\n");
        m_machineName.clear();
        return false;
    }
    if (!serviceName) {
        JX_QRV_TRACE(0, u"ServiceController::Open", u"<- SCM=0x%X\n", HandleBits(m_manager));
        return true;
    }
    m_service = ::OpenServiceW(m_manager, serviceName, serviceAccess);
    if (!m_service) {
        JX_QRV_TRACE(0, u"ServiceController::Open", u"can't open service '%s' SCM=0x%X: %ls\n", serviceName,
                     HandleBits(m_manager), CWin32ErrorText(kCodeAndTabs).c_str());
        return false;
    }
    m_serviceName = serviceName;
    JX_QRV_TRACE(0, u"ServiceController::Open", u"<- 0x%X:0x%X\n", HandleBits(m_manager),
                 HandleBits(m_service));
    return true;
}

bool ServiceController::Close() {
    JX_QRV_TRACE(0, u"ServiceController::Close", u"-> serviceName='%s'(0x%X), machineName='%s'(0x%X)\n",
                 m_serviceName.c_str(), HandleBits(m_service), m_machineName.c_str(), HandleBits(m_manager));
    if (m_stopOnClose && m_service)
        Stop();
    m_stopOnClose = false;
    bool closed = true;
    if (m_service) {
        closed = CloseServiceHandle(m_service) != FALSE && closed;
        m_service = nullptr;
    }
    if (m_manager) {
        closed = CloseServiceHandle(m_manager) != FALSE && closed;
        m_manager = nullptr;
    }
    m_machineName.clear();
    return closed;
}
