// The stand-in's Service Control Manager. A service's configuration lives where Windows keeps it,
// in HKLM\SYSTEM\CurrentControlSet\Services\<name> (Type, Start, ErrorControl, ImagePath,
// DependOnService, DisplayName, ObjectName, Group, Description, DelayedAutostart, FailureActions,
// DeleteFlag); its run state is kept below the machine root in "services/state.json".
// Starting a service whose image is a runnable host file (a program or a "#!" script) runs it
// through CreateProcessW; stopping it ends that process, and only a process the stand-in started.
// Changing services needs an elevated administrator; machine.json may refuse every change of
// named services ("refusedServiceChanges").
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"

struct SC_HANDLE__;
typedef SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;

#define SERVICES_ACTIVE_DATABASEW u"ServicesActive"

// Access rights of the manager.
#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004u
#define SC_MANAGER_LOCK 0x0008u
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010u
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020u
#define SC_MANAGER_ALL_ACCESS 0x000F003Fu

// Access rights of a service.
#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_CHANGE_CONFIG 0x0002u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008u
#define SERVICE_START 0x0010u
#define SERVICE_STOP 0x0020u
#define SERVICE_PAUSE_CONTINUE 0x0040u
#define SERVICE_INTERROGATE 0x0080u
#define SERVICE_USER_DEFINED_CONTROL 0x0100u
#define SERVICE_ALL_ACCESS 0x000F01FFu

// Service types.
#define SERVICE_KERNEL_DRIVER 0x00000001u
#define SERVICE_FILE_SYSTEM_DRIVER 0x00000002u
#define SERVICE_WIN32_OWN_PROCESS 0x00000010u
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020u
#define SERVICE_INTERACTIVE_PROCESS 0x00000100u

// Start types.
#define SERVICE_BOOT_START 0x00000000u
#define SERVICE_SYSTEM_START 0x00000001u
#define SERVICE_AUTO_START 0x00000002u
#define SERVICE_DEMAND_START 0x00000003u
#define SERVICE_DISABLED 0x00000004u

// Error control.
#define SERVICE_ERROR_IGNORE 0x00000000u
#define SERVICE_ERROR_NORMAL 0x00000001u
#define SERVICE_ERROR_SEVERE 0x00000002u
#define SERVICE_ERROR_CRITICAL 0x00000003u

#define SERVICE_NO_CHANGE 0xFFFFFFFFu

// Current states.
#define SERVICE_STOPPED 0x00000001u
#define SERVICE_START_PENDING 0x00000002u
#define SERVICE_STOP_PENDING 0x00000003u
#define SERVICE_RUNNING 0x00000004u
#define SERVICE_CONTINUE_PENDING 0x00000005u
#define SERVICE_PAUSE_PENDING 0x00000006u
#define SERVICE_PAUSED 0x00000007u

// Controls and the controls a service accepts.
#define SERVICE_CONTROL_STOP 0x00000001u
#define SERVICE_CONTROL_PAUSE 0x00000002u
#define SERVICE_CONTROL_CONTINUE 0x00000003u
#define SERVICE_CONTROL_INTERROGATE 0x00000004u
#define SERVICE_CONTROL_SHUTDOWN 0x00000005u
#define SERVICE_ACCEPT_STOP 0x00000001u
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004u

// Information levels.
#define SC_STATUS_PROCESS_INFO 0
#define SERVICE_CONFIG_DESCRIPTION 1u
#define SERVICE_CONFIG_FAILURE_ACTIONS 2u
#define SERVICE_CONFIG_DELAYED_AUTO_START_INFO 3u
#define SERVICE_CONFIG_LAUNCH_PROTECTED 12u

// Launch protection (the "LaunchProtected" value of the service's key).
#define SERVICE_LAUNCH_PROTECTED_NONE 0u
#define SERVICE_LAUNCH_PROTECTED_WINDOWS 1u
#define SERVICE_LAUNCH_PROTECTED_WINDOWS_LIGHT 2u
#define SERVICE_LAUNCH_PROTECTED_ANTIMALWARE_LIGHT 3u

typedef enum _SC_ACTION_TYPE {
    SC_ACTION_NONE = 0,
    SC_ACTION_RESTART = 1,
    SC_ACTION_REBOOT = 2,
    SC_ACTION_RUN_COMMAND = 3
} SC_ACTION_TYPE;

typedef struct _SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef struct _SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
} SERVICE_STATUS_PROCESS, *LPSERVICE_STATUS_PROCESS;

typedef struct _QUERY_SERVICE_CONFIGW {
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    LPWSTR lpBinaryPathName;
    LPWSTR lpLoadOrderGroup;
    DWORD dwTagId;
    LPWSTR lpDependencies; // texts each ending in a zero, the list ending in a second zero
    LPWSTR lpServiceStartName;
    LPWSTR lpDisplayName;
} QUERY_SERVICE_CONFIGW, *LPQUERY_SERVICE_CONFIGW;

typedef struct _SERVICE_DESCRIPTIONW {
    LPWSTR lpDescription;
} SERVICE_DESCRIPTIONW, *LPSERVICE_DESCRIPTIONW;

typedef struct _SERVICE_DELAYED_AUTO_START_INFO {
    BOOL fDelayedAutostart;
} SERVICE_DELAYED_AUTO_START_INFO, *LPSERVICE_DELAYED_AUTO_START_INFO;

typedef struct _SC_ACTION {
    SC_ACTION_TYPE Type;
    DWORD Delay;
} SC_ACTION, *LPSC_ACTION;

typedef struct _SERVICE_FAILURE_ACTIONSW {
    DWORD dwResetPeriod;
    LPWSTR lpRebootMsg;
    LPWSTR lpCommand;
    DWORD cActions;
    SC_ACTION* lpsaActions;
} SERVICE_FAILURE_ACTIONSW, *LPSERVICE_FAILURE_ACTIONSW;

typedef struct _SERVICE_LAUNCH_PROTECTED_INFO {
    DWORD dwLaunchProtected;
} SERVICE_LAUNCH_PROTECTED_INFO, *PSERVICE_LAUNCH_PROTECTED_INFO;

// A manager handle of the local machine. A machine name other than the computer name (with or
// without "\\") fails with RPC_S_SERVER_UNAVAILABLE; a database other than "ServicesActive" with
// ERROR_DATABASE_DOES_NOT_EXIST. A user who is not an elevated administrator gets only the read
// rights (connect, enumerate, query lock status); asking for more fails with ERROR_ACCESS_DENIED.
SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess);
SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName, DWORD desiredAccess,
                         DWORD serviceType, DWORD startType, DWORD errorControl, LPCWSTR binaryPathName,
                         LPCWSTR loadOrderGroup, LPDWORD tagId, LPCWSTR dependencies,
                         LPCWSTR serviceStartName, LPCWSTR password);
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess);
BOOL CloseServiceHandle(SC_HANDLE handle);

BOOL ChangeServiceConfigW(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          LPCWSTR binaryPathName, LPCWSTR loadOrderGroup, LPDWORD tagId, LPCWSTR dependencies,
                          LPCWSTR serviceStartName, LPCWSTR password, LPCWSTR displayName);
BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPVOID info);
BOOL QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW config, DWORD bufferSize,
                         LPDWORD bytesNeeded);
BOOL QueryServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded);
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL QueryServiceStatusEx(SC_HANDLE service, int infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded);

// Starts the dependencies first (DependOnService), then the service. The arguments go to the
// service's main function on Windows; the stand-in's process gets the ImagePath command line only.
BOOL StartServiceW(SC_HANDLE service, DWORD numArgs, LPCWSTR* args);
// SERVICE_CONTROL_STOP ends the service's process and waits until it is gone; the service reads
// SERVICE_STOPPED on return. SERVICE_CONTROL_INTERROGATE reports the status of a running service.
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
// A stopped service is removed at once; a running one is marked ("DeleteFlag") and removed when
// it stops.
BOOL DeleteService(SC_HANDLE service);

namespace jxplat {

// One service as the stand-in sees it, for the machine inspector and the tests.
struct ServiceInfo {
    std::u16string name; // the key's name
    std::u16string displayName;
    std::u16string imagePath;
    std::u16string description;
    std::vector<std::u16string> dependencies;
    DWORD type = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    bool delayedAutoStart = false;
    bool markedForDelete = false;
    DWORD currentState = SERVICE_STOPPED;
    DWORD processId = 0; // 0 when stopped or when the image is no runnable host file
    DWORD win32ExitCode = 0;
};

// Every service of the machine (keys below Services with an "ImagePath" or a "Type"), by name.
std::vector<ServiceInfo> EnumerateMachineServices();

// Test seam: how long the stop control waits for a process to end after SIGTERM before it leaves
// the service stop pending (milliseconds).
void SetServiceStopGraceForTesting(DWORD milliseconds);

} // namespace jxplat
