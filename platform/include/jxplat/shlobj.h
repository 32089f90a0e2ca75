// The shell's special and known folders, and the shell's folder helpers.
//
// The folders have fixed places below drive C: as on a 64-bit Windows 10 machine (the user's
// profile is C:\Users\<user.name>). The engine is a 32-bit process: on a 64-bit machine
// CSIDL_PROGRAM_FILES and CSIDL_PROGRAM_FILES_COMMON answer the x86 folders, and CSIDL_SYSTEMX86 is
// SysWOW64. A folder that is looked up is made when missing, as a real machine has them all.
// SHGetKnownFolderPath is also an export of the built-in module "Shell32.dll".
#pragma once

#include <string>

#include "jxplat/guiddef.h"
#include "jxplat/wintypes.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_MYDOCUMENTS CSIDL_PERSONAL
#define CSIDL_STARTUP 0x0007
#define CSIDL_STARTMENU 0x000b
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_FONTS 0x0014
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_STARTUP 0x0018
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_PROFILE 0x0028
#define CSIDL_SYSTEMX86 0x0029
#define CSIDL_PROGRAM_FILESX86 0x002a
#define CSIDL_PROGRAM_FILES_COMMON 0x002b
#define CSIDL_PROGRAM_FILES_COMMONX86 0x002c
#define CSIDL_COMMON_DOCUMENTS 0x002e
#define CSIDL_FLAG_CREATE 0x8000
#define CSIDL_FLAG_DONT_VERIFY 0x4000
#define CSIDL_FLAG_MASK 0xFF00

#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

#define KF_FLAG_DEFAULT 0x00000000u
#define KF_FLAG_CREATE 0x00008000u
#define KF_FLAG_DONT_VERIFY 0x00004000u

typedef GUID KNOWNFOLDERID;
typedef const KNOWNFOLDERID& REFKNOWNFOLDERID;

// The known folders the stand-in answers.
extern const KNOWNFOLDERID FOLDERID_ProgramFiles;
extern const KNOWNFOLDERID FOLDERID_ProgramFilesX86;
extern const KNOWNFOLDERID FOLDERID_ProgramFilesX64;
extern const KNOWNFOLDERID FOLDERID_ProgramFilesCommon;
extern const KNOWNFOLDERID FOLDERID_ProgramFilesCommonX86;
extern const KNOWNFOLDERID FOLDERID_ProgramFilesCommonX64;
extern const KNOWNFOLDERID FOLDERID_ProgramData;
extern const KNOWNFOLDERID FOLDERID_Windows;
extern const KNOWNFOLDERID FOLDERID_System;
extern const KNOWNFOLDERID FOLDERID_SystemX86;
extern const KNOWNFOLDERID FOLDERID_Profile;
extern const KNOWNFOLDERID FOLDERID_RoamingAppData;
extern const KNOWNFOLDERID FOLDERID_LocalAppData;
extern const KNOWNFOLDERID FOLDERID_Documents;
extern const KNOWNFOLDERID FOLDERID_Desktop;
extern const KNOWNFOLDERID FOLDERID_PublicDesktop;
extern const KNOWNFOLDERID FOLDERID_StartMenu;
extern const KNOWNFOLDERID FOLDERID_Programs;
extern const KNOWNFOLDERID FOLDERID_CommonStartMenu;
extern const KNOWNFOLDERID FOLDERID_CommonPrograms;

// An item-id list of the shell namespace; the stand-in's lists name file-system folders only.
typedef struct _SHITEMID {
    WORD cb;
    BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
    SHITEMID mkid;
} ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;

// The folder into a buffer of MAX_PATH characters (see the table in platform/MACHINE.md); S_OK, or
// E_INVALIDARG for a folder number the stand-in does not know.
HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path);
// TRUE on success; with create set, a missing folder is made (it always is here).
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create);
// An item-id list of the folder, freed with ILFree or CoTaskMemFree.
HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* idList);
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE idList, LPWSTR path);
void ILFree(PIDLIST_ABSOLUTE idList);
// The folder as a text of the COM task allocator (freed with CoTaskMemFree); null on failure.
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a folder the machine does not have.
HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path);
// Creates the folder with every missing parent: ERROR_SUCCESS, ERROR_ALREADY_EXISTS when it
// exists, ERROR_FILE_EXISTS when a file has its name, ERROR_BAD_PATHNAME for a relative path,
// ERROR_FILENAME_EXCED_RANGE beyond MAX_PATH, or the error of the failed creation.
int SHCreateDirectoryExW(HWND owner, LPCWSTR path, const SECURITY_ATTRIBUTES* attributes);
// The machine's user is an administrator with an elevated token (user.administrator and
// user.elevated of the machine description).
BOOL IsUserAnAdmin();

namespace jxplat {
// The Windows path of a special folder (a CSIDL number without flags) on the current machine, or
// "" when the machine has no such folder.
std::u16string SpecialFolderPath(int folder);
} // namespace jxplat
