// Toolhelp process snapshots. The stand-in's process table holds only the processes started on
// this machine root (by any process on it); a snapshot lists those still running, oldest first.
#pragma once

#include "jxplat/wintypes.h"

#define TH32CS_SNAPHEAPLIST 0x00000001u
#define TH32CS_SNAPPROCESS 0x00000002u
#define TH32CS_SNAPTHREAD 0x00000004u
#define TH32CS_SNAPMODULE 0x00000008u

typedef struct tagPROCESSENTRY32W {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    ULONG_PTR th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    WCHAR szExeFile[MAX_PATH]; // the executable's file name
} PROCESSENTRY32W, *LPPROCESSENTRY32W;

// Only TH32CS_SNAPPROCESS is kept (other flags add nothing); the process id is ignored.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
// ERROR_BAD_LENGTH when dwSize is not the entry's size; ERROR_NO_MORE_FILES after the last entry.
BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry);
BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry);
