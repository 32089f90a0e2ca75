// ChangeServiceConfigW, ChangeServiceConfig2W, QueryServiceConfigW and QueryServiceConfig2W.
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winreg.h"
#include "service/svc_internal.h"
#include "service/svc_lock.h"

using namespace jxplat;
using namespace jxplat::svc;

namespace {

// The service of a handle as it stands; ERROR_SERVICE_MARKED_FOR_DELETE once it is marked or gone.
bool _svc_LiveService(const CScObject& object, ServiceInfo& info) {
    if (!ReadServiceConfig(object.m_name, info) || info.markedForDelete) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return false;
    }
    return true;
}

// Checks a change of the service: the right, the machine's refusals, a pending deletion.
std::shared_ptr<CScObject> _svc_ChangeTarget(SC_HANDLE handle, ServiceInfo& info) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(handle);
    if (!object || !CheckAccess(*object, SERVICE_CHANGE_CONFIG))
        return nullptr;
    if (!_svc_LiveService(*object, info))
        return nullptr;
    if (IsChangeRefused(object->m_name)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return object;
}

// Lays out a record and the texts it points to in the caller's buffer.
class CRecordWriter {
public:
    CRecordWriter(size_t recordSize) : m_size(recordSize) {}
    // Reserves room for a text (with its zero, or the list's closing zero).
    void Add(const std::u16string& text) { m_size += (text.size() + 1) * sizeof(WCHAR); }
    DWORD Size() const { return static_cast<DWORD>(m_size); }
    void Begin(LPBYTE buffer, size_t recordSize) {
        m_buffer = buffer;
        m_at = recordSize;
    }
    LPWSTR Put(const std::u16string& text) {
        auto* target = reinterpret_cast<LPWSTR>(m_buffer + m_at);
        std::memcpy(target, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        m_at += (text.size() + 1) * sizeof(WCHAR);
        return target;
    }

private:
    size_t m_size;
    LPBYTE m_buffer = nullptr;
    size_t m_at = 0;
};

// The buffer is large enough, else ERROR_INSUFFICIENT_BUFFER with the size needed.
bool _svc_FitBuffer(DWORD needed, DWORD bufferSize, LPBYTE buffer, LPDWORD bytesNeeded) {
    if (!bytesNeeded) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return false;
    }
    *bytesNeeded = needed;
    if (!buffer || bufferSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return true;
}

std::u16string _svc_JoinMulti(const std::vector<std::u16string>& texts) {
    std::u16string data;
    for (const auto& t : texts) {
        data += t;
        data.push_back(u'\0');
    }
    return data; // the closing zero comes with the writer's own terminator
}

} // namespace

BOOL ChangeServiceConfigW(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          LPCWSTR binaryPathName, LPCWSTR loadOrderGroup, LPDWORD tagId, LPCWSTR dependencies,
                          LPCWSTR serviceStartName, LPCWSTR password, LPCWSTR displayName) {
    CRunStateLock lock;
    ServiceInfo info;
    std::shared_ptr<CScObject> object = _svc_ChangeTarget(service, info);
    if (!object)
        return FALSE;
    if ((startType != SERVICE_NO_CHANGE && startType > SERVICE_DISABLED) ||
        (errorControl != SERVICE_NO_CHANGE && errorControl > SERVICE_ERROR_CRITICAL) || serviceType == 0 ||
        (binaryPathName && !*binaryPathName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HKEY key = nullptr;
    if (const LONG error = OpenServiceKey(object->m_name, KEY_ALL_ACCESS, &key); error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return FALSE;
    }
    LONG error = ERROR_SUCCESS;
    const auto write = [&error](LONG result) {
        if (error == ERROR_SUCCESS)
            error = result;
    };
    if (serviceType != SERVICE_NO_CHANGE)
        write(WriteDword(key, u"Type", serviceType));
    if (startType != SERVICE_NO_CHANGE)
        write(WriteDword(key, u"Start", startType));
    if (errorControl != SERVICE_NO_CHANGE)
        write(WriteDword(key, u"ErrorControl", errorControl));
    if (binaryPathName)
        write(WriteText(key, u"ImagePath", binaryPathName, REG_EXPAND_SZ));
    if (loadOrderGroup)
        write(WriteText(key, u"Group", loadOrderGroup, REG_SZ));
    if (dependencies)
        write(WriteMultiText(key, u"DependOnService", SplitMultiString(dependencies)));
    if (serviceStartName)
        write(WriteText(key, u"ObjectName", serviceStartName, REG_SZ));
    if (displayName)
        write(WriteText(key, u"DisplayName", displayName, REG_SZ));
    RegCloseKey(key);
    if (tagId)
        *tagId = 0;
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
    CRunStateLock lock;
    ServiceInfo config;
    std::shared_ptr<CScObject> object = _svc_ChangeTarget(service, config);
    if (!object)
        return FALSE;
    if (infoLevel != SERVICE_CONFIG_DESCRIPTION && infoLevel != SERVICE_CONFIG_FAILURE_ACTIONS &&
        infoLevel != SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!info) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    HKEY key = nullptr;
    if (const LONG error = OpenServiceKey(object->m_name, KEY_ALL_ACCESS, &key); error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return FALSE;
    }
    LONG error = ERROR_SUCCESS;
    if (infoLevel == SERVICE_CONFIG_DESCRIPTION) {
        const auto* description = static_cast<const SERVICE_DESCRIPTIONW*>(info);
        if (!description->lpDescription)
            error = ERROR_SUCCESS; // no change
        else if (!*description->lpDescription)
            RegDeleteValueW(key, u"Description");
        else
            error = WriteText(key, u"Description", description->lpDescription, REG_SZ);
    } else if (infoLevel == SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
        const auto* delayed = static_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(info);
        error = WriteDword(key, u"DelayedAutostart", delayed->fDelayedAutostart ? 1 : 0);
    } else {
        // Windows keeps the failure actions as one binary value: the reset period, three unused
        // fields, the count, then the (type, delay) pairs.
        const auto* actions = static_cast<const SERVICE_FAILURE_ACTIONSW*>(info);
        if (actions->lpRebootMsg)
            WriteText(key, u"RebootMessage", actions->lpRebootMsg, REG_SZ);
        if (actions->lpCommand)
            WriteText(key, u"FailureCommand", actions->lpCommand, REG_SZ);
        if (actions->lpsaActions || actions->cActions == 0) {
            std::vector<DWORD> data{actions->dwResetPeriod, 0, 0, actions->cActions, 0};
            for (DWORD i = 0; i < actions->cActions; ++i) {
                data.push_back(static_cast<DWORD>(actions->lpsaActions[i].Type));
                data.push_back(actions->lpsaActions[i].Delay);
            }
            error = RegSetValueExW(key, u"FailureActions", 0, REG_BINARY,
                                   reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size() * sizeof(DWORD)));
        }
    }
    RegCloseKey(key);
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW config, DWORD bufferSize,
                         LPDWORD bytesNeeded) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(service);
    if (!object || !CheckAccess(*object, SERVICE_QUERY_CONFIG))
        return FALSE;
    ServiceInfo info;
    if (!ReadServiceConfig(object->m_name, info)) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    HKEY key = nullptr;
    std::u16string group, startName;
    if (OpenServiceKey(object->m_name, KEY_READ, &key) == ERROR_SUCCESS) {
        for (auto [name, out] : {std::pair{u"Group", &group}, std::pair{u"ObjectName", &startName}}) {
            WCHAR text[512] = {};
            DWORD size = sizeof(text) - sizeof(WCHAR), type = 0;
            if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ)
                *out = text;
        }
        RegCloseKey(key);
    }
    const std::u16string dependencies = _svc_JoinMulti(info.dependencies);
    CRecordWriter writer(sizeof(QUERY_SERVICE_CONFIGW));
    for (const std::u16string* text : std::initializer_list<const std::u16string*>{
             &info.imagePath, &group, &dependencies, &startName, &info.displayName})
        writer.Add(*text);
    auto* buffer = reinterpret_cast<LPBYTE>(config);
    if (!_svc_FitBuffer(writer.Size(), bufferSize, buffer, bytesNeeded))
        return FALSE;
    writer.Begin(buffer, sizeof(QUERY_SERVICE_CONFIGW));
    config->dwServiceType = info.type;
    config->dwStartType = info.startType;
    config->dwErrorControl = info.errorControl;
    config->lpBinaryPathName = writer.Put(info.imagePath);
    config->lpLoadOrderGroup = writer.Put(group);
    config->dwTagId = 0;
    config->lpDependencies = writer.Put(dependencies);
    config->lpServiceStartName = writer.Put(startName);
    config->lpDisplayName = writer.Put(info.displayName);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL QueryServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded) {
    std::shared_ptr<CScObject> object = ServiceFromHandle(service);
    if (!object || !CheckAccess(*object, SERVICE_QUERY_CONFIG))
        return FALSE;
    ServiceInfo info;
    if (!ReadServiceConfig(object->m_name, info)) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    switch (infoLevel) {
    case SERVICE_CONFIG_DESCRIPTION: {
        CRecordWriter writer(sizeof(SERVICE_DESCRIPTIONW));
        writer.Add(info.description);
        if (!_svc_FitBuffer(writer.Size(), bufferSize, buffer, bytesNeeded))
            return FALSE;
        writer.Begin(buffer, sizeof(SERVICE_DESCRIPTIONW));
        reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer)->lpDescription = writer.Put(info.description);
        break;
    }
    case SERVICE_CONFIG_DELAYED_AUTO_START_INFO:
        if (!_svc_FitBuffer(sizeof(SERVICE_DELAYED_AUTO_START_INFO), bufferSize, buffer, bytesNeeded))
            return FALSE;
        reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(buffer)->fDelayedAutostart = info.delayedAutoStart;
        break;
    case SERVICE_CONFIG_LAUNCH_PROTECTED: {
        if (!_svc_FitBuffer(sizeof(SERVICE_LAUNCH_PROTECTED_INFO), bufferSize, buffer, bytesNeeded))
            return FALSE;
        DWORD value = 0, size = sizeof(value), type = 0;
        HKEY key = nullptr;
        if (OpenServiceKey(object->m_name, KEY_READ, &key) == ERROR_SUCCESS) {
            if (RegQueryValueExW(key, u"LaunchProtected", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                 &size) != ERROR_SUCCESS ||
                type != REG_DWORD)
                value = 0;
            RegCloseKey(key);
        }
        reinterpret_cast<SERVICE_LAUNCH_PROTECTED_INFO*>(buffer)->dwLaunchProtected = value;
        break;
    }
    case SERVICE_CONFIG_FAILURE_ACTIONS: {
        std::vector<DWORD> data;
        HKEY key = nullptr;
        if (OpenServiceKey(object->m_name, KEY_READ, &key) == ERROR_SUCCESS) {
            DWORD size = 0, type = 0;
            if (RegQueryValueExW(key, u"FailureActions", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
                type == REG_BINARY && size >= 5 * sizeof(DWORD)) {
                data.resize(size / sizeof(DWORD));
                RegQueryValueExW(key, u"FailureActions", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                 &size);
            }
            RegCloseKey(key);
        }
        const DWORD count =
            data.size() >= 5 ? std::min<DWORD>(data[3], static_cast<DWORD>((data.size() - 5) / 2)) : 0;
        const DWORD needed = static_cast<DWORD>(sizeof(SERVICE_FAILURE_ACTIONSW) + count * sizeof(SC_ACTION));
        if (!_svc_FitBuffer(needed, bufferSize, buffer, bytesNeeded))
            return FALSE;
        auto* actions = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(buffer);
        *actions = SERVICE_FAILURE_ACTIONSW{};
        actions->dwResetPeriod = data.empty() ? 0 : data[0];
        actions->cActions = count;
        auto* list = reinterpret_cast<SC_ACTION*>(buffer + sizeof(SERVICE_FAILURE_ACTIONSW));
        for (DWORD i = 0; i < count; ++i)
            list[i] = SC_ACTION{static_cast<SC_ACTION_TYPE>(data[5 + 2 * i]), data[6 + 2 * i]};
        actions->lpsaActions = count ? list : nullptr;
        break;
    }
    default:
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
