// Shared parts of the stand-in's Service Control Manager: the handle table, the configuration in
// the registry, the run state below the machine root and the service processes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jxplat/winsvc.h"

namespace jxplat::svc {

constexpr const WCHAR* kServicesKey = u"SYSTEM\\CurrentControlSet\\Services";

// What a manager or service handle stands for.
struct CScObject {
    bool m_isManager = false;
    DWORD m_access = 0;    // the granted rights, generic rights mapped
    std::u16string m_name; // the service's key name as stored (service handles)
};

SC_HANDLE InsertScHandle(std::shared_ptr<CScObject> object);
std::shared_ptr<CScObject> ReferenceScHandle(SC_HANDLE handle);
bool RemoveScHandle(SC_HANDLE handle);

// Access: generic rights mapped to the specific rights of a manager or a service.
DWORD MapManagerAccess(DWORD access);
DWORD MapServiceAccess(DWORD access);
// The rights a user who is not an elevated administrator may hold.
constexpr DWORD kManagerReadRights = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE |
                                     SC_MANAGER_QUERY_LOCK_STATUS | 0x00020000u /*READ_CONTROL*/;
constexpr DWORD kServiceReadRights = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                     SERVICE_ENUMERATE_DEPENDENTS | SERVICE_INTERROGATE |
                                     SERVICE_USER_DEFINED_CONTROL | 0x00020000u /*READ_CONTROL*/;
bool IsElevatedAdministrator();
// machine.json "refusedServiceChanges" names the service (ignoring case) and the process holds no
// connection to a driver (an open device handle).
bool IsChangeRefused(const std::u16string& name);

// The service's handle object, or ERROR_INVALID_HANDLE in the last error.
std::shared_ptr<CScObject> ServiceFromHandle(SC_HANDLE handle);
// Sets the last error and returns false when the handle lacks the right.
bool CheckAccess(const CScObject& object, DWORD right);

// Configuration in the registry.
// The stored key name of a service (names compare ignoring case); none when there is no key.
std::optional<std::u16string> FindServiceKey(const std::u16string& name);
// Opens Services\<name>; a Win32 code.
LONG OpenServiceKey(const std::u16string& name, REGSAM access, HKEY* key);
bool ReadServiceConfig(const std::u16string& name, ServiceInfo& info);
bool IsMarkedForDelete(const std::u16string& name);
// Removes the service's key with everything below it.
bool DeleteServiceKey(const std::u16string& name);
// Texts of a double-zero-terminated list.
std::vector<std::u16string> SplitMultiString(const WCHAR* list);
LONG WriteDword(HKEY key, const WCHAR* name, DWORD value);
LONG WriteText(HKEY key, const WCHAR* name, const std::u16string& text, DWORD type);
LONG WriteMultiText(HKEY key, const WCHAR* name, const std::vector<std::u16string>& texts);

// Run state ("services/state.json" below the machine root).
struct RunState {
    DWORD state = SERVICE_STOPPED;
    DWORD pid = 0;
    unsigned long long startTicks = 0; // the process's start time, so a reused pid is never taken for it
    DWORD exitCode = 1077;             // ERROR_SERVICE_NEVER_STARTED
};
// The service's run state, brought up to date: a service whose process ended is stopped, and a
// stopped service marked for deletion is removed.
RunState CurrentRunState(const std::u16string& name);
void SaveRunState(const std::u16string& name, const RunState& state);
void ForgetRunState(const std::u16string& name);

// Service processes.
// Starts the image of the service; fills the run state. 0 or a Win32 code.
DWORD StartServiceProcess(const std::u16string& name, const std::u16string& imagePath, RunState& state);
// Asks the process of the run state to end (when it is still the one the stand-in started) and
// waits for it up to the stop grace; false when it still runs then.
bool EndServiceProcess(const RunState& state);
// The process is alive (not a zombie) and has the recorded start time.
bool IsServiceProcessAlive(DWORD pid, unsigned long long startTicks);
unsigned long long ProcessStartTicks(DWORD pid);

// The status block of a service in a run state.
void FillStatus(const ServiceInfo& config, const RunState& state, SERVICE_STATUS_PROCESS& status);

} // namespace jxplat::svc
