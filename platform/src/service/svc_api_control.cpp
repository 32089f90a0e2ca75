// StartServiceW, ControlService, DeleteService and the status queries.
#include <sys/stat.h>
#include <unistd.h>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/winbase.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winnt.h"
#include "jxplat/winreg.h"
#include "service/svc_internal.h"
#include "service/svc_lock.h"

using namespace jxplat;
using namespace jxplat::svc;

namespace {

constexpr int kMaxDependencyDepth = 16;

// A driver's start returns once the driver is ready: its program writes the ready file (see
// MACHINE.md, "Services"). The wait looks every 5 ms, up to deviceTimeoutMs.
DWORD _svc_AwaitDriver(const std::string& readyFile, const RunState& state) {
    if (state.pid == 0)
        return 0;
    const ULONGLONG end = GetTickCount64() + Machine().deviceTimeoutMs;
    for (;;) {
        struct stat info {};
        if (::stat(readyFile.c_str(), &info) == 0)
            return 0;
        if (!IsServiceProcessAlive(state.pid, state.startTicks))
            return ERROR_SERVICE_NO_THREAD;
        if (GetTickCount64() >= end)
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        Sleep(5);
    }
}

// Starts a service and, first, the services it depends on. 0 or a Win32 code.
DWORD _svc_Start(const std::u16string& name, int depth) {
    if (depth > kMaxDependencyDepth)
        return ERROR_CIRCULAR_DEPENDENCY;
    ServiceInfo info;
    if (!ReadServiceConfig(name, info) || info.markedForDelete)
        return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (info.startType == SERVICE_DISABLED)
        return ERROR_SERVICE_DISABLED;
    if (CurrentRunState(name).state != SERVICE_STOPPED)
        return ERROR_SERVICE_ALREADY_RUNNING;
    for (const std::u16string& dependency : info.dependencies) {
        const std::optional<std::u16string> stored = FindServiceKey(dependency);
        if (!stored)
            return ERROR_SERVICE_DEPENDENCY_DELETED;
        const DWORD error = _svc_Start(*stored, depth + 1);
        if (error == ERROR_CIRCULAR_DEPENDENCY)
            return error;
        if (error != 0 && error != ERROR_SERVICE_ALREADY_RUNNING)
            return ERROR_SERVICE_DEPENDENCY_FAIL;
    }
    RunState state;
    const std::string ready = MachinePath("services/" + jxtext::Utf16ToUtf8(jxtext::Fold(name)) + ".ready");
    ::unlink(ready.c_str());
    if (const DWORD error = StartServiceProcess(name, info.imagePath, state))
        return error;
    SaveRunState(name, state);
    if (info.type == SERVICE_KERNEL_DRIVER || info.type == SERVICE_FILE_SYSTEM_DRIVER)
        return _svc_AwaitDriver(ready, state);
    for (const std::string& awaited : Machine().readyServices)
        if (jxtext::EqualsNoCase(jxtext::Utf8ToUtf16(awaited), name))
            return _svc_AwaitDriver(ready, state);
    return 0;
}

// A running service that names this one among its dependencies.
bool _svc_HasRunningDependents(const std::u16string& name) {
    for (const ServiceInfo& other : EnumerateMachineServices()) {
        if (other.currentState != SERVICE_RUNNING)
            continue;
        for (const std::u16string& dependency : other.dependencies)
            if (jxtext::EqualsNoCase(dependency, name))
                return true;
    }
    return false;
}

void _svc_ToStatus(const SERVICE_STATUS_PROCESS& full, LPSERVICE_STATUS status) {
    status->dwServiceType = full.dwServiceType;
    status->dwCurrentState = full.dwCurrentState;
    status->dwControlsAccepted = full.dwControlsAccepted;
    status->dwWin32ExitCode = full.dwWin32ExitCode;
    status->dwServiceSpecificExitCode = full.dwServiceSpecificExitCode;
    status->dwCheckPoint = full.dwCheckPoint;
    status->dwWaitHint = full.dwWaitHint;
}

// The status of the handle's service; a service deleted meanwhile reads as stopped.
SERVICE_STATUS_PROCESS _svc_Status(const std::u16string& name) {
    ServiceInfo info;
    if (!ReadServiceConfig(name, info))
        info.type = SERVICE_WIN32_OWN_PROCESS;
    const RunState state = CurrentRunState(name);
    SERVICE_STATUS_PROCESS status;
    FillStatus(info, state, status);
    return status;
}

} // namespace

BOOL StartServiceW(SC_HANDLE service, DWORD numArgs, LPCWSTR* args) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(service);
    if (!object || !CheckAccess(*object, SERVICE_START))
        return FALSE;
    CRunStateLock lock;
    if (const DWORD error = _svc_Start(object->m_name, 0)) {
        SetLastError(error);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(service);
    if (!object)
        return FALSE;
    if (!status) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    const DWORD right = control == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                        : control == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                        : control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE
                            ? SERVICE_PAUSE_CONTINUE
                        : control >= 128 && control <= 255 ? SERVICE_USER_DEFINED_CONTROL
                                                           : 0;
    if (right == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!CheckAccess(*object, right))
        return FALSE;
    CRunStateLock lock;
    ServiceInfo info;
    if (!ReadServiceConfig(object->m_name, info)) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    RunState state = CurrentRunState(object->m_name);
    SERVICE_STATUS_PROCESS full;
    FillStatus(info, state, full);
    _svc_ToStatus(full, status);
    if (state.state == SERVICE_STOP_PENDING && control != SERVICE_CONTROL_INTERROGATE) {
        SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    if (state.state == SERVICE_STOPPED) {
        SetLastError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    if (control == SERVICE_CONTROL_INTERROGATE) {
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (control != SERVICE_CONTROL_STOP) {
        SetLastError(ERROR_INVALID_SERVICE_CONTROL);
        return FALSE;
    }
    if (IsChangeRefused(object->m_name)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (_svc_HasRunningDependents(object->m_name)) {
        SetLastError(ERROR_DEPENDENT_SERVICES_RUNNING);
        return FALSE;
    }
    // A process that ignores the request leaves the service stop pending until it ends.
    state = EndServiceProcess(state) ? RunState{SERVICE_STOPPED, 0, 0, 0}
                                     : RunState{SERVICE_STOP_PENDING, state.pid, state.startTicks, 0};
    SaveRunState(object->m_name, state);
    FillStatus(info, state, full);
    _svc_ToStatus(full, status);
    // A service marked for deletion goes once it has stopped.
    CurrentRunState(object->m_name);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL DeleteService(SC_HANDLE service) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(service);
    if (!object || !CheckAccess(*object, DELETE))
        return FALSE;
    CRunStateLock lock;
    ServiceInfo info;
    if (!ReadServiceConfig(object->m_name, info) || info.markedForDelete) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    if (IsChangeRefused(object->m_name)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (CurrentRunState(object->m_name).state != SERVICE_STOPPED) {
        HKEY key = nullptr;
        LONG error = OpenServiceKey(object->m_name, KEY_ALL_ACCESS, &key);
        if (error == ERROR_SUCCESS) {
            error = WriteDword(key, u"DeleteFlag", 1);
            RegCloseKey(key);
        }
        if (error != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(error));
            return FALSE;
        }
    } else {
        if (!DeleteServiceKey(object->m_name)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        ForgetRunState(object->m_name);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(service);
    if (!object || !CheckAccess(*object, SERVICE_QUERY_STATUS))
        return FALSE;
    if (!status) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    CRunStateLock lock;
    _svc_ToStatus(_svc_Status(object->m_name), status);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL QueryServiceStatusEx(SC_HANDLE service, int infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(service);
    if (!object)
        return FALSE;
    if (infoLevel != SC_STATUS_PROCESS_INFO) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!CheckAccess(*object, SERVICE_QUERY_STATUS))
        return FALSE;
    if (!bytesNeeded) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
    if (!buffer || bufferSize < sizeof(SERVICE_STATUS_PROCESS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    CRunStateLock lock;
    *reinterpret_cast<SERVICE_STATUS_PROCESS*>(buffer) = _svc_Status(object->m_name);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

namespace jxplat {

std::vector<ServiceInfo> EnumerateMachineServices() {
    CRunStateLock lock;
    std::vector<std::u16string> names;
    HKEY services = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ | KEY_WOW64_64KEY, &services) ==
        ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            WCHAR child[256];
            DWORD length = 256;
            if (RegEnumKeyExW(services, index, child, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            HKEY key = nullptr;
            if (RegOpenKeyExW(services, std::u16string(child, length).c_str(), 0, KEY_READ, &key) !=
                ERROR_SUCCESS)
                continue;
            const bool isService =
                RegQueryValueExW(key, u"ImagePath", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS ||
                RegQueryValueExW(key, u"Type", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
            RegCloseKey(key);
            if (isService)
                names.emplace_back(child, length);
        }
        RegCloseKey(services);
    }
    std::vector<ServiceInfo> list;
    for (const std::u16string& name : names) {
        const RunState state = CurrentRunState(name); // may remove a stopped service marked for deletion
        ServiceInfo info;
        if (!ReadServiceConfig(name, info))
            continue;
        info.currentState = state.state;
        info.processId = state.state == SERVICE_STOPPED ? 0 : state.pid;
        info.win32ExitCode = state.state == SERVICE_STOPPED ? state.exitCode : 0;
        list.push_back(info);
    }
    return list;
}

} // namespace jxplat
