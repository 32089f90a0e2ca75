// ServiceController: starting, stopping, deleting and the run state.
#include "jxbase/ServiceController.h"
#include "jxbase/trace.h"
#include "jxbase/win32errortext.h"
#include "ServiceControllerSeams.h"

using jxbase_svc::HandleBits;

namespace {
constexpr DWORD kCodeAndTabs = CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs;
} // namespace

bool ServiceController::Start(bool stopOnClose, int waitCount, DWORD waitMilliseconds,
                              const std::vector<std::u16string>* arguments) {
    JX_QRV_TRACE(0, u"ServiceController::Start", u"-> serviceName='%s'(0x%X), machineName='%s'(0x%X)\n",
                 m_serviceName.c_str(), HandleBits(m_service), m_machineName.c_str(), HandleBits(m_manager));
    if (!_svc_HasAccess(SERVICE_START | SERVICE_INTERROGATE))
        return false;
    BOOL started = FALSE;
    if (arguments) {
        std::vector<LPCWSTR> texts{m_serviceName.c_str()};
        for (const std::u16string& argument : *arguments)
            texts.push_back(argument.c_str());
        started = StartServiceW(m_service, static_cast<DWORD>(texts.size()), texts.data());
    } else {
        started = StartServiceW(m_service, 0, nullptr);
    }
    if (!started && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        JX_QRV_TRACE(0, u"ServiceController::Start", u"<- start failed %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        return false;
    }
    if (waitCount == 0)
        return true;
    bool running = false;
    for (int attempt = 0; attempt < waitCount; ++attempt) {
        SERVICE_STATUS status = {};
        if (!ControlService(m_service, SERVICE_CONTROL_INTERROGATE, &status))
            JX_QRV_TRACE(0, u"ServiceController::Start", u"<- control failed %ls\n",
                         CWin32ErrorText(kCodeAndTabs).c_str());
        if (IsInState(SERVICE_RUNNING)) {
            running = true;
            break;
        }
        jxbase_svc::SleepHook()(waitMilliseconds);
    }
    if (!running)
        return false;
    m_stopOnClose = stopOnClose;
    JX_QRV_TRACE(0, u"ServiceController::Start", u"<- ok\n");
    return true;
}

bool ServiceController::Stop(bool) {
    JX_QRV_TRACE(0, u"ServiceController::Stop", u"-> serviceName='%s'(0x%X), machineName='%s'(0x%X)\n",
                 m_serviceName.c_str(), HandleBits(m_service), m_machineName.c_str(), HandleBits(m_manager));
    if (!_svc_HasAccess(SERVICE_STOP))
        return false;
    SERVICE_STATUS status = {};
    if (!ControlService(m_service, SERVICE_CONTROL_STOP, &status)) {
        JX_QRV_TRACE(0, u"ServiceController::Stop", u"<- failed %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        // A service that is stopped already needs no stop.
        if (!IsInState(SERVICE_STOPPED))
            return false;
    }
    JX_QRV_TRACE(0, u"ServiceController::Stop", u"<- ok\n");
    return true;
}

bool ServiceController::Delete() {
    if (!_svc_HasAccess(DELETE))
        return false;
    // Set even when the deletion fails: the Close below stops the service in either case.
    m_stopOnClose = true;
    const bool deleted = DeleteService(m_service) != FALSE;
    if (!deleted)
        JX_QRV_TRACE(0, u"ServiceController::Delete", u"DeleteService failed with %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
    Close();
    return deleted;
}

bool ServiceController::QueryServiceStatus(std::vector<BYTE>& buffer) {
    if (!m_service)
        return false;
    DWORD needed = 0;
    if (QueryServiceStatusEx(m_service, SC_STATUS_PROCESS_INFO, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        JX_QRV_TRACE(0, u"ServiceController::QueryServiceStatus", u"QueryServiceStatusEx failed with %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        return false;
    }
    buffer.assign(needed, 0);
    if (!QueryServiceStatusEx(m_service, SC_STATUS_PROCESS_INFO, buffer.data(), needed, &needed)) {
        JX_QRV_TRACE(0, u"ServiceController::QueryServiceStatus", u"QueryServiceStatusEx failed with %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        return false;
    }
    return true;
}

bool ServiceController::IsInState(DWORD state) {
    JX_QRV_TRACE(0, u"ServiceController::IsInState",
                 u"-> %d serviceName='%s'(0x%X), machineName='%s'(0x%X)\n", state, m_serviceName.c_str(),
                 HandleBits(m_service), m_machineName.c_str(), HandleBits(m_manager));
    if (!_svc_HasAccess(SERVICE_QUERY_STATUS))
        return false;
    std::vector<BYTE> buffer;
    if (!QueryServiceStatus(buffer)) {
        JX_QRV_TRACE(0, u"ServiceController::IsInState", u"<- failed %ls\n",
                     CWin32ErrorText(kCodeAndTabs).c_str());
        return false;
    }
    const auto* status = reinterpret_cast<const SERVICE_STATUS_PROCESS*>(buffer.data());
    JX_QRV_TRACE(0, u"ServiceController::IsInState", u"status=%d\n", status->dwCurrentState);
    return status->dwCurrentState == state;
}
