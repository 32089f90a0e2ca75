// Terminal-services sessions and the user environment: enumerating the machine's sessions, the
// token of a session's user, the user's environment block, impersonation and starting a process
// as that user.
//
// The sessions are the machine description's ("sessions"). A process that CreateProcessAsUserW
// started belongs to the token's session (recorded below the root in "sessions/"); every other
// process of the machine belongs to the first active session.
#pragma once

#include "jxplat/processthreadsapi.h"
#include "jxplat/wintypes.h"

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE) nullptr)

typedef enum _WTS_CONNECTSTATE_CLASS {
    WTSActive,
    WTSConnected,
    WTSConnectQuery,
    WTSShadow,
    WTSDisconnected,
    WTSIdle,
    WTSListen,
    WTSReset,
    WTSDown,
    WTSInit
} WTS_CONNECTSTATE_CLASS;

typedef struct _WTS_SESSION_INFOW {
    DWORD SessionId;
    LPWSTR pWinStationName;
    WTS_CONNECTSTATE_CLASS State;
} WTS_SESSION_INFOW, *PWTS_SESSION_INFOW;

// Only the local server (WTS_CURRENT_SERVER_HANDLE) and version 1; the list is freed with
// WTSFreeMemory.
BOOL WTSEnumerateSessionsW(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* sessionInfo,
                           DWORD* count);
void WTSFreeMemory(PVOID memory);
// The primary token of the session's user, closed with CloseHandle. Needs an elevated
// administrator (ERROR_PRIVILEGE_NOT_HELD); ERROR_NO_TOKEN for a session without a user.
BOOL WTSQueryUserToken(ULONG sessionId, PHANDLE token);
// The first active session, 0xFFFFFFFF when there is none.
DWORD WTSGetActiveConsoleSessionId();
// ERROR_INVALID_PARAMETER for a process the machine does not know.
BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId);

// The user's environment: this process's variables (with inherit) plus USERNAME and USERPROFILE of
// the token's user, as a block of UTF-16 "name=value" texts ending with an empty one.
BOOL CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit);
BOOL DestroyEnvironmentBlock(LPVOID environment);

// The calling thread acts as the token's user until RevertToSelf.
BOOL ImpersonateLoggedOnUser(HANDLE token);
BOOL RevertToSelf();

// CreateProcessW in the session of a token from WTSQueryUserToken (ERROR_INVALID_HANDLE otherwise).
BOOL CreateProcessAsUserW(HANDLE token, LPCWSTR applicationName, LPWSTR commandLine,
                          LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                          BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                          LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                          LPPROCESS_INFORMATION processInformation);
