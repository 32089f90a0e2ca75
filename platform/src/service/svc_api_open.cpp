// OpenSCManagerW, CreateServiceW, OpenServiceW and CloseServiceHandle.
#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winnt.h"
#include "jxplat/winreg.h"
#include "service/svc_internal.h"
#include "service/svc_lock.h"

using namespace jxplat;
using namespace jxplat::svc;

namespace {

// The local machine: no name, or the computer name with or without the leading "\\".
bool _svc_IsLocalMachine(LPCWSTR machineName) {
    if (!machineName || !*machineName)
        return true;
    std::u16string_view name(machineName);
    while (!name.empty() && name.front() == u'\\')
        name.remove_prefix(1);
    return jxtext::EqualsNoCase(name, jxtext::Utf8ToUtf16(Machine().computerName)) ||
           jxtext::EqualsNoCase(name, u"localhost") || name == u".";
}

bool _svc_IsValidName(LPCWSTR name) {
    if (!name || !*name)
        return false;
    const std::u16string_view text(name);
    return text.size() <= 256 && text.find(u'\\') == std::u16string_view::npos &&
           text.find(u'/') == std::u16string_view::npos;
}

// Another service uses the text as its name or display name.
bool _svc_DisplayNameTaken(const std::u16string& displayName, const std::u16string& except) {
    for (const ServiceInfo& info : EnumerateMachineServices()) {
        if (jxtext::EqualsNoCase(info.name, except))
            continue;
        if (jxtext::EqualsNoCase(info.name, displayName) ||
            jxtext::EqualsNoCase(info.displayName, displayName))
            return true;
    }
    return false;
}

} // namespace

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
    if (!_svc_IsLocalMachine(machineName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (databaseName && *databaseName && !jxtext::EqualsNoCase(databaseName, SERVICES_ACTIVE_DATABASEW)) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    const DWORD access = MapManagerAccess(desiredAccess) | SC_MANAGER_CONNECT;
    if (!IsElevatedAdministrator() && (access & ~kManagerReadRights) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto object = std::make_shared<CScObject>();
    object->m_isManager = true;
    object->m_access = access;
    SetLastError(ERROR_SUCCESS);
    return InsertScHandle(object);
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess) {
    std::shared_ptr<CScObject> scm = ReferenceScHandle(manager);
    if (!scm || !scm->m_isManager) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!_svc_IsValidName(serviceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    CRunStateLock lock;
    // A stopped service whose deletion waits is removed by the look at its state.
    if (std::optional<std::u16string> stored = FindServiceKey(serviceName))
        CurrentRunState(*stored);
    std::optional<std::u16string> stored = FindServiceKey(serviceName);
    if (!stored) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    const DWORD access = MapServiceAccess(desiredAccess);
    if (!IsElevatedAdministrator() && (access & ~kServiceReadRights) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto object = std::make_shared<CScObject>();
    object->m_access = access;
    object->m_name = *stored;
    SetLastError(ERROR_SUCCESS);
    return InsertScHandle(object);
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName, DWORD desiredAccess,
                         DWORD serviceType, DWORD startType, DWORD errorControl, LPCWSTR binaryPathName,
                         LPCWSTR loadOrderGroup, LPDWORD tagId, LPCWSTR dependencies,
                         LPCWSTR serviceStartName, LPCWSTR password) {
    std::shared_ptr<CScObject> scm = ReferenceScHandle(manager);
    if (!scm || !scm->m_isManager) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!CheckAccess(*scm, SC_MANAGER_CREATE_SERVICE))
        return nullptr;
    if (!_svc_IsValidName(serviceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (!binaryPathName || !*binaryPathName || startType > SERVICE_DISABLED ||
        errorControl > SERVICE_ERROR_CRITICAL || serviceType == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CRunStateLock lock;
    if (std::optional<std::u16string> stored = FindServiceKey(serviceName)) {
        CurrentRunState(*stored);
        if (FindServiceKey(serviceName)) {
            SetLastError(IsMarkedForDelete(*stored) ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
            return nullptr;
        }
    }
    const std::u16string display = displayName && *displayName ? displayName : serviceName;
    if (_svc_DisplayNameTaken(display, serviceName) || _svc_DisplayNameTaken(serviceName, serviceName)) {
        SetLastError(ERROR_DUPLICATE_SERVICE_NAME);
        return nullptr;
    }
    HKEY key = nullptr;
    const std::u16string path = std::u16string(kServicesKey) + u"\\" + serviceName;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                 KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return nullptr;
    }
    WriteDword(key, u"Type", serviceType);
    WriteDword(key, u"Start", startType);
    WriteDword(key, u"ErrorControl", errorControl);
    WriteText(key, u"ImagePath", binaryPathName, REG_EXPAND_SZ);
    WriteText(key, u"DisplayName", display, REG_SZ);
    if (loadOrderGroup && *loadOrderGroup)
        WriteText(key, u"Group", loadOrderGroup, REG_SZ);
    if (dependencies && *dependencies)
        WriteMultiText(key, u"DependOnService", SplitMultiString(dependencies));
    if (serviceType & (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS))
        WriteText(key, u"ObjectName",
                  serviceStartName && *serviceStartName ? std::u16string(serviceStartName) : u"LocalSystem",
                  REG_SZ);
    RegCloseKey(key);
    if (tagId)
        *tagId = 0;
    SaveRunState(serviceName, RunState{});

    auto object = std::make_shared<CScObject>();
    object->m_access = MapServiceAccess(desiredAccess);
    object->m_name = serviceName;
    SetLastError(ERROR_SUCCESS);
    return InsertScHandle(object);
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    if (!RemoveScHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Success leaves the last error alone, so a caller can still read why the call before failed.
    return TRUE;
}
