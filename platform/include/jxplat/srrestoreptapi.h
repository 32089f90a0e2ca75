// The System Restore client ("SrClient.dll"): the request and status records of a restore point
// and the two functions the library exports. The stand-in's library is present only on a machine
// whose description switches the restore service on (platform/MACHINE.md).
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"

#define BEGIN_SYSTEM_CHANGE 100
#define END_SYSTEM_CHANGE 101
#define APPLICATION_INSTALL 0
#define CANCELLED_OPERATION 13
#define MAX_DESC_W 256

typedef struct _RESTOREPTINFOW {
    DWORD dwEventType;
    DWORD dwRestorePtType;
    LONGLONG llSequenceNumber;
    WCHAR szDescription[MAX_DESC_W];
} RESTOREPOINTINFOW, *PRESTOREPOINTINFOW;

typedef struct _SMGRSTATUS {
    DWORD nStatus;
    LONGLONG llSequenceNumber;
} STATEMGRSTATUS, *PSTATEMGRSTATUS;

// The exports, found with GetProcAddress in the loaded library.
typedef BOOL(WINAPI* PFN_SRSetRestorePointW)(PRESTOREPOINTINFOW restorePtSpec, PSTATEMGRSTATUS smgrStatus);
typedef DWORD(WINAPI* PFN_SRRemoveRestorePoint)(DWORD sequenceNumber);

namespace jxplat {

// A restore point as the stand-in's restore service recorded it.
struct RestorePointRecord {
    LONGLONG sequence = 0;
    std::u16string description;
    // "open" (begun, not ended), "kept" (ended as an application install), "cancelled" (ended as a
    // cancelled operation: the system discards it) or "removed".
    std::string state;
};

// The points of the machine, oldest first (empty without the service or before its first use).
std::vector<RestorePointRecord> ReadRestorePoints();

} // namespace jxplat
