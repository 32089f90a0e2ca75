// A start-type change that the system refused, made once more while the setup
// holds a connection to the interception driver's process manager: the driver
// lets a connected setup change the services it protects. No driver request
// changes the service itself.
#include "jxactions/JxServiceControl.h"
#include "jxpropertybag/DriverConnection.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {

bool SetStartTypeThroughDriver(ServiceController& service, const std::u16string& serviceName, DWORD startType,
                               JxLog* log, const WCHAR* context) {
    if (SetStartTypeIfDifferent(service, startType))
        return true;
    CProcessManager manager(IsCurrentUserAdmin());
    if (!manager.Connect(false, false) && !manager.Connect(true, false)) {
        log->Log(LP_INFO, u"lib", context, u"Connection to ProcessManager failed with error code %lu",
                 GetLastError());
        return false;
    }
    log->Log(LP_INFO, u"lib", context,
             u"Connection to ProcessManager succeeded. Retrying to set start "
             u"type of service %s",
             serviceName.c_str());
    return SetStartTypeIfDifferent(service, startType);
}

} // namespace JxSetup::Data
