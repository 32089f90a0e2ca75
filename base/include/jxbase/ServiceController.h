// One service of the Service Control Manager, on the local machine or on a named one: open it with
// the access the caller needs, start and wait until it runs, stop, delete, change and read its
// configuration. Every operation reports failure as false (or -1, or an empty text) and a trace
// line; none throws. An object is used by one thread and lives on the caller's stack.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

class ServiceController {
public:
    ServiceController() = default;
    ~ServiceController();
    ServiceController(const ServiceController&) = delete;
    ServiceController& operator=(const ServiceController&) = delete;

    // Closes what is open, then opens the manager and (with a name) the service. A failed service
    // open keeps the manager open until Close.
    bool Open(const WCHAR* serviceName, const WCHAR* machineName, DWORD managerAccess, DWORD serviceAccess);
    // Stops the service first when stop-on-close is set; true when both handles closed (or none was open).
    bool Close();
    // Starts the service and asks up to waitCount times, waitMilliseconds apart, whether it runs.
    // With arguments the service gets its name first, then them. Needs SERVICE_START and
    // SERVICE_INTERROGATE. Seen running: stop-on-close becomes stopOnClose.
    bool Start(bool stopOnClose, int waitCount, DWORD waitMilliseconds,
               const std::vector<std::u16string>* arguments = nullptr);
    // Sends the stop control without waiting for the stopped state; an already stopped service is
    // a success. The flag is not used.
    bool Stop(bool unused = false);
    // Sets stop-on-close, deletes the service and closes: a running service is deleted, then stopped.
    bool Delete();
    bool ChangeConfig(DWORD serviceType, DWORD startType, DWORD errorControl, const WCHAR* binaryPathName,
                      const WCHAR* loadOrderGroup, LPDWORD tagId, const WCHAR* dependencies,
                      const WCHAR* serviceStartName, const WCHAR* password, const WCHAR* displayName);
    // Windows 6.0 or later only.
    bool SetDelayedAutoStart(bool enable);
    // QUERY_SERVICE_CONFIGW into the growable buffer.
    bool QueryConfig(std::vector<BYTE>& buffer);
    // SERVICE_STATUS_PROCESS into the growable buffer.
    bool QueryServiceStatus(std::vector<BYTE>& buffer);
    bool IsInState(DWORD state);
    // The program path of the service's configuration; empty on failure.
    std::u16string ImagePath(bool stripArguments, bool mapToMachine);
    // ImagePath(true, true) names an existing file.
    bool IsRegistered();
    // "\\" + the name without any backslash; none or empty clears it.
    void SetMachineName(const WCHAR* machineName);

    // The manager handle, retrying a failed RPC call (RPC_S_CALL_FAILED) up to 10 times.
    static SC_HANDLE OpenSCManagerW(const WCHAR* machineName, DWORD access);
    static bool IsRegistered(const WCHAR* serviceName, const WCHAR* machineName);
    // The configured start type, or -1 when the service cannot be opened or queried.
    static int QueryStartType(const WCHAR* serviceName, const WCHAR* machineName);
    static const WCHAR* GetStartTypeName(int startType);

    // Seams of the tests: the waits of Start and of the manager retries, and the manager open.
    using SleepFn = void (*)(DWORD milliseconds);
    using OpenManagerFn = SC_HANDLE (*)(LPCWSTR machineName, LPCWSTR databaseName, DWORD access);
    static void SetSleepForTesting(SleepFn sleep);
    static void SetOpenManagerForTesting(OpenManagerFn open);

    SC_HANDLE ManagerHandle() const { return m_manager; }
    SC_HANDLE ServiceHandle() const { return m_service; }
    const std::u16string& MachineName() const { return m_machineName; }
    bool StopOnClose() const { return m_stopOnClose; }

private:
    bool _svc_HasAccess(DWORD rights) const { return m_service && (m_serviceAccess & rights) == rights; }

    SC_HANDLE m_manager = nullptr;
    SC_HANDLE m_service = nullptr;
    DWORD m_managerAccess = 0;
    DWORD m_serviceAccess = 0;
    bool m_stopOnClose = false;
    std::u16string m_machineName;
    std::u16string m_serviceName;
};

// Overwrites the record's major and minor version with the numbers of "CurrentVersion" below
// HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion; leaves it as it was when that is unreadable.
void GetWindowsVersionFromRegistry(OSVERSIONINFOEXW& version);
