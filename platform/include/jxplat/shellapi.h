// Starting programs and opening documents and addresses through the shell. The stand-in runs
// programs with CreateProcessW; a web address or a document is not opened: the request is recorded
// in "shellexecute.jsonl" below the machine root.
#pragma once

#include "jxplat/wintypes.h"

#define SEE_MASK_DEFAULT 0x00000000u
#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
#define SEE_MASK_NOASYNC 0x00000100u
#define SEE_MASK_FLAG_NO_UI 0x00000400u

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

#ifndef SW_HIDE
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5
#endif

typedef struct _SHELLEXECUTEINFOW {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
} SHELLEXECUTEINFOW, *LPSHELLEXECUTEINFOW;

// Verb none or "open": a program (".exe", ".com", ".bat", ".cmd" or a file the host can run) is
// started with the file quoted and the parameters as its command line, in lpDirectory; with
// SEE_MASK_NOCLOSEPROCESS its process handle is returned in hProcess. A web address ("scheme://",
// "mailto:") or another existing file is recorded as opened, hProcess stays null. "runas" starts
// as "open" when the machine's user is an elevated administrator (no prompt); for any other user a
// program meets the elevation prompt ("User Account Control" message box, answered from the
// machine's answers): Yes starts it as the elevated administrator, any other answer fails with
// ERROR_CANCELLED (hInstApp SE_ERR_ACCESSDENIED); without UAC: ERROR_ACCESS_DENIED. Failures:
// ERROR_FILE_NOT_FOUND (hInstApp SE_ERR_FNF), ERROR_NO_ASSOCIATION for another verb, ERROR_INVALID_PARAMETER
// for a bad size or no file; what CreateProcessW reports otherwise.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);
// The same without a process handle; a value above 32 on success, else an SE_ERR_ code.
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        INT showCommand);
