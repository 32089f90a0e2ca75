// Start and stop of the management-server service.
#include "MmsLogBracket.h"
#include "jxbase/ServiceController.h"
#include "jxmms/JxWebManagementServer.h"

namespace JxSetup::Data {
namespace {

// Pauses of 500 ms while the service changes its state (about a minute).
constexpr int kStateWaits = 119;
constexpr DWORD kStatePause = 500;

} // namespace

bool JxWebManagementServer::StartJxMmsService() {
    CMmsBracket op(m_Owner.GetLog(), u"JxSetup::Data::JxWebManagementServer::StartJxMmsService");
    if (m_Owner.IsServiceInState(SERVICE_RUNNING, m_ServiceName, nullptr)) {
        op.Log(LP_INFO, u"MMS is already running");
        return op.Result(true);
    }
    if (!ServiceController::IsRegistered(m_ServiceName.c_str(), nullptr)) {
        op.Log(LP_WARNING, u"MMS is not registered");
        return op.Result(false);
    }
    if (!m_Owner.ConfigureServiceStartType(m_ServiceName, nullptr, SERVICE_AUTO_START)) {
        op.Log(LP_WARNING, u"Failed to enable mms");
        return op.Result(false);
    }
    ServiceController service;
    if (!service.Open(m_ServiceName.c_str(), nullptr, 0xF003F, 0x94) || !service.Start(false, 30, 1000)) {
        op.Log(LP_WARNING, u"Failed to start mms");
        return op.Result(false);
    }
    for (int wait = 0;
         wait < kStateWaits && !m_Owner.IsServiceInState(SERVICE_RUNNING, m_ServiceName, nullptr); ++wait)
        _mms_Sleep(kStatePause);
    if (m_Owner.IsServiceInState(SERVICE_RUNNING, m_ServiceName, nullptr))
        return op.Result(true);
    op.Log(LP_WARNING, u"Failed to start mms");
    return op.Result(false);
}

bool JxWebManagementServer::StopJxMmsService() {
    CMmsBracket op(m_Owner.GetLog(), u"JxSetup::Data::JxWebManagementServer::StopJxMmsService",
                   m_ServiceName);
    ServiceController service;
    if (!service.Open(m_ServiceName.c_str(), nullptr, 0xF003F, 0xF01FF)) {
        op.Log(LP_INFO, u"Can't open service.");
        return op.Result(true);
    }
    op.Log(LP_INFO, u"Opened service.");
    if (!service.IsInState(SERVICE_RUNNING)) {
        op.Log(LP_INFO, u"Service is not running");
        return op.Result(true);
    }
    op.Log(LP_INFO, u"Service is running.");
    // Disabled first, so that nothing restarts it while it stops.
    if (!service.ChangeConfig(SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr)) {
        op.Log(LP_ERROR, u"Failed to disable service.");
        return op.Result(false);
    }
    op.Log(LP_INFO, u"Disabled service.");
    if (!service.Stop()) {
        op.Log(LP_ERROR, u"Failed to stop service.");
        return op.Result(false);
    }
    for (int wait = 0; wait < kStateWaits && !service.IsInState(SERVICE_STOPPED); ++wait)
        _mms_Sleep(kStatePause);
    if (service.IsInState(SERVICE_STOPPED)) {
        op.Log(LP_INFO, u"Stopped service.");
        return op.Result(true);
    }
    op.Log(LP_ERROR, u"Failed to stop service afte 60 seconds.");
    return op.Result(false);
}

} // namespace JxSetup::Data
