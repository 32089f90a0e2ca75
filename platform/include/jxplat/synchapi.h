// Mutexes of the stand-in. A named mutex is one object for every process on the machine root:
// "Global\X" is shared by all sessions, "Local\X" and a name without prefix by the session.
// Across processes the mutex is a lock file below the machine root ("mutexes/"); a holder that
// ends without ReleaseMutex leaves it abandoned, and the next wait gets WAIT_ABANDONED.
#pragma once

#include "jxplat/wintypes.h"
#include "jxplat/winnt.h"

#define MUTEX_MODIFY_STATE 0x0001u
#define MUTEX_ALL_ACCESS 0x001F0001u

// Sets ERROR_ALREADY_EXISTS (and ignores initialOwner) when the named mutex existed already.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);
// ERROR_FILE_NOT_FOUND when no process holds a handle of that name.
HANDLE OpenMutexW(DWORD desiredAccess, BOOL inheritHandle, LPCWSTR name);
// ERROR_NOT_OWNER unless the calling thread owns the mutex.
BOOL ReleaseMutex(HANDLE mutex);
