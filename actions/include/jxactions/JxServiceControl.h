// Small service-control steps of the installation actions, over ServiceController.
#pragma once

#include <string>

#include <windows.h>

#include "jxbase/ServiceController.h"

namespace JxSetup::Data {

// True when the open service has the start type already; otherwise changes it.
bool SetStartTypeIfDifferent(ServiceController& service, DWORD startType);
// Sets the start type to SERVICE_DISABLED (machine name none for the local machine).
bool DisableService(const std::u16string& serviceName, const WCHAR* machineName);
// Deletes the service (a running one is stopped afterwards).
bool RemoveService(const std::u16string& serviceName, const WCHAR* machineName);

} // namespace JxSetup::Data
