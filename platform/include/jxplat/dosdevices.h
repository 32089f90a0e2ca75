// DOS device names, the drives of the machine and its Windows folders, and the filter manager's
// volume names ("FltLib.dll", a built-in module whose FilterGetDosName GetProcAddress finds).
#pragma once

#include "jxplat/wintypes.h"

// The NT device behind a DOS device name ("C:" -> "\Device\HarddiskVolume2"), from the machine
// description's "dosDevices"; a null name lists every name. Returns the characters stored with
// the terminating zeros, or 0 (ERROR_FILE_NOT_FOUND, ERROR_INSUFFICIENT_BUFFER).
DWORD QueryDosDeviceW(LPCWSTR deviceName, LPWSTR targetPath, DWORD max);
// Bit n for each drive letter 'A' + n of the machine (its drive folders, and Z: for the host).
DWORD GetLogicalDrives();
// "C:\Windows" and its system folder; the length without the zero, or the size needed with it.
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);

// FltLib.dll: the DOS name ("C:") of a volume ("\Device\HarddiskVolume2").
typedef HRESULT(WINAPI* PFN_FilterGetDosName)(LPCWSTR volumeName, LPWSTR dosName, DWORD dosNameBufferSize);
HRESULT FilterGetDosName(LPCWSTR volumeName, LPWSTR dosName, DWORD dosNameBufferSize);

namespace jxplat {
// How often FilterGetDosName was called in this process (tests of the callers' caches).
DWORD FilterGetDosNameCalls();
} // namespace jxplat
