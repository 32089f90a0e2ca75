// OpenProcessToken, LookupPrivilegeValueW, AdjustTokenPrivileges and GetTokenInformation over the
// process's one token.
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/security.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/text.h"
#include "security/privileges.h"
#include "security/token_state.h"

using jxplat::security::CTokenObject;
using jxplat::security::CTokenState;

namespace {

const HANDLE kCurrentProcessPseudoHandle = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

bool _sec_IsLocalSystem(LPCWSTR systemName) {
    return systemName == nullptr || systemName[0] == 0;
}

LUID_AND_ATTRIBUTES* _sec_FindHeld(CTokenState& state, const LUID& luid) {
    for (LUID_AND_ATTRIBUTES& held : state.privileges)
        if (held.Luid.LowPart == luid.LowPart && held.Luid.HighPart == luid.HighPart)
            return &held;
    return nullptr;
}

BOOL _sec_Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

} // namespace

HANDLE GetCurrentProcess() {
    return kCurrentProcessPseudoHandle;
}

BOOL OpenProcessToken(HANDLE processHandle, DWORD desiredAccess, PHANDLE tokenHandle) {
    if (tokenHandle == nullptr)
        return _sec_Fail(ERROR_INVALID_PARAMETER);
    if (processHandle != kCurrentProcessPseudoHandle) {
        if (jxplat::ReferenceKernelHandle(processHandle) == nullptr)
            return _sec_Fail(ERROR_INVALID_HANDLE);
        if (GetProcessId(processHandle) != GetCurrentProcessId())
            return _sec_Fail(ERROR_ACCESS_DENIED);
    }
    if ((desiredAccess & MAXIMUM_ALLOWED) != 0)
        desiredAccess = TOKEN_ALL_ACCESS;
    *tokenHandle = jxplat::InsertKernelHandle(std::make_shared<CTokenObject>(desiredAccess));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid) {
    if (name == nullptr || luid == nullptr)
        return _sec_Fail(ERROR_INVALID_PARAMETER);
    if (!_sec_IsLocalSystem(systemName))
        return _sec_Fail(ERROR_ACCESS_DENIED);
    if (!jxplat::security::PrivilegeLuid(name, luid))
        return _sec_Fail(ERROR_NO_SUCH_PRIVILEGE);
    return TRUE;
}

BOOL LookupPrivilegeNameW(LPCWSTR systemName, PLUID luid, LPWSTR name, LPDWORD cchName) {
    if (luid == nullptr || cchName == nullptr)
        return _sec_Fail(ERROR_INVALID_PARAMETER);
    if (!_sec_IsLocalSystem(systemName))
        return _sec_Fail(ERROR_ACCESS_DENIED);
    std::u16string_view found = jxplat::security::PrivilegeName(*luid);
    if (found.empty())
        return _sec_Fail(ERROR_NO_SUCH_PRIVILEGE);
    if (name == nullptr || *cchName <= found.size()) {
        *cchName = static_cast<DWORD>(found.size() + 1);
        return _sec_Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(name, found.data(), found.size() * sizeof(WCHAR));
    name[found.size()] = 0;
    *cchName = static_cast<DWORD>(found.size());
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE tokenHandle, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState, LPDWORD returnLength) {
    auto token = jxplat::ReferenceKernelHandleAs<CTokenObject>(tokenHandle);
    if (!token)
        return _sec_Fail(ERROR_INVALID_HANDLE);
    if ((token->Access() & TOKEN_ADJUST_PRIVILEGES) == 0 ||
        (previousState != nullptr && (token->Access() & TOKEN_QUERY) == 0))
        return _sec_Fail(ERROR_ACCESS_DENIED);
    if (!disableAllPrivileges && newState == nullptr)
        return _sec_Fail(ERROR_INVALID_PARAMETER);

    CTokenState& state = CTokenState::Get();
    std::lock_guard<std::mutex> guard(state.lock);
    state.EnsureLoaded();

    // Which privileges change and how: (entry, new attributes).
    std::vector<std::pair<LUID_AND_ATTRIBUTES*, DWORD>> changes;
    bool allAssigned = true;
    if (disableAllPrivileges) {
        for (LUID_AND_ATTRIBUTES& held : state.privileges)
            if (held.Attributes & SE_PRIVILEGE_ENABLED)
                changes.emplace_back(&held, held.Attributes & ~DWORD{SE_PRIVILEGE_ENABLED});
    } else {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& wanted = newState->Privileges[i];
            LUID_AND_ATTRIBUTES* held = _sec_FindHeld(state, wanted.Luid);
            if (held == nullptr) {
                allAssigned = false;
                continue;
            }
            DWORD attributes = (held->Attributes & SE_PRIVILEGE_ENABLED_BY_DEFAULT) |
                               (wanted.Attributes & SE_PRIVILEGE_ENABLED);
            if (attributes != held->Attributes)
                changes.emplace_back(held, attributes);
        }
    }

    if (previousState != nullptr) {
        DWORD needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                          changes.size() * sizeof(LUID_AND_ATTRIBUTES));
        if (returnLength != nullptr)
            *returnLength = needed;
        if (bufferLength < needed)
            return _sec_Fail(ERROR_INSUFFICIENT_BUFFER);
        previousState->PrivilegeCount = static_cast<DWORD>(changes.size());
        for (size_t i = 0; i < changes.size(); ++i)
            previousState->Privileges[i] = *changes[i].first;
    }
    for (auto& change : changes)
        change.first->Attributes = change.second;
    SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL GetTokenInformation(HANDLE tokenHandle, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                         DWORD informationLength, LPDWORD returnLength) {
    auto token = jxplat::ReferenceKernelHandleAs<CTokenObject>(tokenHandle);
    if (!token)
        return _sec_Fail(ERROR_INVALID_HANDLE);
    if (returnLength == nullptr)
        return _sec_Fail(ERROR_INVALID_PARAMETER);
    if ((token->Access() & TOKEN_QUERY) == 0)
        return _sec_Fail(ERROR_ACCESS_DENIED);
    CTokenState& state = CTokenState::Get();
    std::lock_guard<std::mutex> guard(state.lock);
    state.EnsureLoaded();
    if (informationClass == TokenElevation) {
        *returnLength = sizeof(TOKEN_ELEVATION);
        if (information == nullptr || informationLength < sizeof(TOKEN_ELEVATION))
            return _sec_Fail(ERROR_INSUFFICIENT_BUFFER);
        static_cast<TOKEN_ELEVATION*>(information)->TokenIsElevated = token->IsElevated(state) ? 1 : 0;
        return TRUE;
    }
    if (informationClass == TokenElevationType) {
        *returnLength = sizeof(DWORD);
        if (information == nullptr || informationLength < sizeof(DWORD))
            return _sec_Fail(ERROR_INSUFFICIENT_BUFFER);
        const DWORD type = !state.hasLinkedToken      ? TokenElevationTypeDefault
                           : token->IsElevated(state) ? TokenElevationTypeFull
                                                      : TokenElevationTypeLimited;
        *static_cast<DWORD*>(information) = type;
        return TRUE;
    }
    if (informationClass == TokenLinkedToken) {
        *returnLength = sizeof(TOKEN_LINKED_TOKEN);
        if (information == nullptr || informationLength < sizeof(TOKEN_LINKED_TOKEN))
            return _sec_Fail(ERROR_INSUFFICIENT_BUFFER);
        if (!state.hasLinkedToken)
            return _sec_Fail(ERROR_NO_SUCH_LOGON_SESSION);
        static_cast<TOKEN_LINKED_TOKEN*>(information)->LinkedToken =
            jxplat::InsertKernelHandle(std::make_shared<CTokenObject>(
                TOKEN_QUERY | TOKEN_QUERY_SOURCE | TOKEN_DUPLICATE | TOKEN_IMPERSONATE, !token->IsLinked()));
        return TRUE;
    }
    if (informationClass != TokenPrivileges)
        return _sec_Fail(ERROR_INVALID_PARAMETER);
    DWORD needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) +
                                      state.privileges.size() * sizeof(LUID_AND_ATTRIBUTES));
    *returnLength = needed;
    if (information == nullptr || informationLength < needed)
        return _sec_Fail(ERROR_INSUFFICIENT_BUFFER);
    auto* out = static_cast<TOKEN_PRIVILEGES*>(information);
    out->PrivilegeCount = static_cast<DWORD>(state.privileges.size());
    for (size_t i = 0; i < state.privileges.size(); ++i)
        out->Privileges[i] = state.privileges[i];
    return TRUE;
}
