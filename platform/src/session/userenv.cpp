// The user environment of a session's token, impersonation and processes started as that user.
#include <cstring>
#include <string>
#include <vector>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/wtsapi.h"
#include "session/session_token.h"

extern char** environ;

namespace jxplat {
void RecordProcessSession(DWORD processId, DWORD sessionId);

namespace {

thread_local std::shared_ptr<CSessionToken> t_impersonated;

} // namespace
} // namespace jxplat

using namespace jxplat;

BOOL CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit) {
    if (!environment) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *environment = nullptr;
    auto session = ReferenceKernelHandleAs<CSessionToken>(token);
    if (token && !session) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (session && session->m_environmentFault) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const std::string user = session ? session->m_user : Machine().user.name;
    std::vector<std::u16string> variables;
    if (inherit) {
        for (char** at = environ; at && *at; ++at) {
            const std::string entry(*at);
            if (entry.rfind("USERNAME=", 0) != 0 && entry.rfind("USERPROFILE=", 0) != 0)
                variables.push_back(jxtext::Utf8ToUtf16(entry));
        }
    }
    variables.push_back(u"USERNAME=" + jxtext::Utf8ToUtf16(user));
    variables.push_back(u"USERPROFILE=C:\\Users\\" + jxtext::Utf8ToUtf16(user));
    size_t characters = 1;
    for (const auto& variable : variables)
        characters += variable.size() + 1;
    auto* block = static_cast<char16_t*>(LocalAlloc(0, characters * sizeof(char16_t)));
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    char16_t* at = block;
    for (const auto& variable : variables) {
        std::memcpy(at, variable.c_str(), (variable.size() + 1) * sizeof(char16_t));
        at += variable.size() + 1;
    }
    *at = 0;
    *environment = block;
    return TRUE;
}

BOOL DestroyEnvironmentBlock(LPVOID environment) {
    if (!environment) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LocalFree(environment);
    return TRUE;
}

BOOL ImpersonateLoggedOnUser(HANDLE token) {
    auto session = ReferenceKernelHandleAs<CSessionToken>(token);
    if (!session) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    t_impersonated = session;
    return TRUE;
}

BOOL RevertToSelf() {
    t_impersonated.reset();
    return TRUE;
}

BOOL CreateProcessAsUserW(HANDLE token, LPCWSTR applicationName, LPWSTR commandLine,
                          LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                          BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                          LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                          LPPROCESS_INFORMATION processInformation) {
    auto session = ReferenceKernelHandleAs<CSessionToken>(token);
    if (!session) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!CreateProcessW(applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
                        creationFlags, environment, currentDirectory, startupInfo, processInformation))
        return FALSE;
    RecordProcessSession(processInformation->dwProcessId, session->m_sessionId);
    return TRUE;
}
