// RegLoadKeyW and RegUnLoadKeyW: a user's hive file (a hive database like the machine's) becomes
// the key HKEY_USERS\<name> for every process of the machine until it is unloaded.
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "registry/reg_resolve.h"
#include "registry/reg_state.h"
#include "security/privileges.h"

#include <sys/stat.h>

using namespace jxplat::registry;

namespace {

// The name of a key directly below HKEY_USERS.
LSTATUS _RegCheckHiveName(HKEY hKey, LPCWSTR lpSubKey) {
    if (hKey != HKEY_USERS)
        return ERROR_INVALID_PARAMETER;
    if (lpSubKey == nullptr || lpSubKey[0] == 0)
        return ERROR_INVALID_PARAMETER;
    std::u16string_view name(lpSubKey);
    if (name.find(u'\\') != std::u16string_view::npos || name.size() > kRegMaxKeyNameLength)
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// Loading and unloading hives needs both the backup and the restore privilege enabled.
bool _RegHasHivePrivileges() {
    return jxplat::security::IsPrivilegeEnabled(SE_BACKUP_NAME) &&
           jxplat::security::IsPrivilegeEnabled(SE_RESTORE_NAME);
}

} // namespace

LSTATUS RegLoadKeyW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpFile) {
    LSTATUS status = _RegCheckHiveName(hKey, lpSubKey);
    if (status != ERROR_SUCCESS)
        return status;
    if (lpFile == nullptr || lpFile[0] == 0)
        return ERROR_INVALID_PARAMETER;
    if (!_RegHasHivePrivileges())
        return ERROR_PRIVILEGE_NOT_HELD;
    const std::string hostPath = jxplat::WindowsToHostPath(lpFile);
    struct stat info {};
    if (hostPath.empty() || ::stat(hostPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return ERROR_FILE_NOT_FOUND;

    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    JxRegHive& users = state.Hive(RegHiveId::Users);
    status = users.Open();
    if (status != ERROR_SUCCESS)
        return status;
    // The name must be free, and the file not loaded under another name.
    int64_t existing = 0;
    bool isVolatile = false;
    status = RegWalk(RegHiveId::Users, kRegRootKeyId, {lpSubKey}, 0, &existing, &isVolatile);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<CRegLoadedHive> loaded;
    status = users.AllLoaded(&loaded);
    if (status != ERROR_SUCCESS)
        return status;
    if (existing != 0 || jxtext::EqualsNoCase(lpSubKey, state.Machine().userSid))
        return ERROR_ALREADY_EXISTS;
    for (const CRegLoadedHive& hive : loaded) {
        if (jxtext::EqualsNoCase(hive.name, lpSubKey))
            return ERROR_ALREADY_EXISTS;
        if (hive.file == hostPath)
            return ERROR_SHARING_VIOLATION;
    }

    // The file must be a hive (an empty file becomes an empty hive).
    const RegHiveId id = state.LoadedHive(hostPath);
    status = state.Hive(id).Open();
    if (status != ERROR_SUCCESS) {
        state.DropLoadedHive(id);
        return status == ERROR_REGISTRY_CORRUPT ? ERROR_BADDB : status;
    }
    status = users.Begin();
    if (status == ERROR_SUCCESS)
        status = users.AddLoaded({lpSubKey, hostPath});
    if (status != ERROR_SUCCESS) {
        users.Rollback();
        return status;
    }
    return users.Commit();
}

LSTATUS RegUnLoadKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    LSTATUS status = _RegCheckHiveName(hKey, lpSubKey);
    if (status != ERROR_SUCCESS)
        return status;
    if (!_RegHasHivePrivileges())
        return ERROR_PRIVILEGE_NOT_HELD;
    JxRegState& state = JxRegState::Get();
    auto guard = state.Enter();
    JxRegHive& users = state.Hive(RegHiveId::Users);
    status = users.Open();
    if (status != ERROR_SUCCESS)
        return status;
    CRegLoadedHive loaded;
    bool found = false;
    status = users.FindLoaded(lpSubKey, &loaded, &found);
    if (status != ERROR_SUCCESS)
        return status;
    if (!found)
        return ERROR_INVALID_PARAMETER; // not the root of a loaded hive
    const RegHiveId id = state.LoadedHive(loaded.file);
    // A key of the hive still open in this process keeps it loaded.
    if (state.HasHandlesIn(id))
        return ERROR_ACCESS_DENIED;
    // The file takes every change with it.
    if (state.Hive(id).Open() == ERROR_SUCCESS)
        state.Hive(id).Checkpoint();
    status = users.Begin();
    if (status == ERROR_SUCCESS)
        status = users.RemoveLoaded(lpSubKey);
    if (status != ERROR_SUCCESS) {
        users.Rollback();
        return status;
    }
    status = users.Commit();
    if (status == ERROR_SUCCESS)
        state.DropLoadedHive(id);
    return status;
}

namespace jxplat {

LSTATUS CreateRegistryHiveFile(LPCWSTR windowsPath) {
    if (windowsPath == nullptr)
        return ERROR_INVALID_PARAMETER;
    const std::string hostPath = WindowsToHostPath(windowsPath);
    if (hostPath.empty())
        return ERROR_PATH_NOT_FOUND;
    struct stat info {};
    if (::stat(hostPath.c_str(), &info) == 0)
        return ERROR_ALREADY_EXISTS;
    // Made and closed again by a hive object of its own, so that nothing of it stays open.
    JxRegHive hive(static_cast<RegHiveId>(kRegFirstLoadedHive), hostPath);
    LSTATUS status = hive.Open();
    if (status == ERROR_SUCCESS)
        hive.EndCall();
    if (status == ERROR_SUCCESS)
        status = hive.Checkpoint();
    return status;
}

} // namespace jxplat
