// Small service-control steps of the installation actions, over ServiceController.
#pragma once

#include <string>

#include <windows.h>

#include "jxbase/ServiceController.h"

namespace JxSetup::Data {

class JxData;
class JxLog;
struct JxService;

// True when the open service has the start type already; otherwise changes it.
bool SetStartTypeIfDifferent(ServiceController& service, DWORD startType);
// The start-type change of the open service; when the system refuses it, once more while a
// connection to the interception driver's process manager is held (connected without, then with,
// starting the driver's service). Logs the connection's outcome under the context.
bool SetStartTypeThroughDriver(ServiceController& service, const std::u16string& serviceName, DWORD startType,
                               JxLog* log, const WCHAR* context);
// Sets the start type to SERVICE_DISABLED (machine name none for the local machine).
bool DisableService(const std::u16string& serviceName, const WCHAR* machineName);
// Deletes the service (a running one is stopped afterwards).
bool RemoveService(const std::u16string& serviceName, const WCHAR* machineName);

// The pause between two looks at a service's state while the setup waits for it to stop or run.
void PauseServiceWait(DWORD milliseconds);
// Seam of the tests: replaces that pause (none restores Sleep).
void SetServiceWaitForTesting(void (*pause)(DWORD milliseconds));
// Whether the component of the row is extracted as a package (its services are left alone).
bool IsServiceComponentExtractedAsWpk(JxData& data, const JxService& row,
                                      std::u16string* componentId = nullptr);

} // namespace JxSetup::Data
