// Version resources of program files: the size of a file's version resource, a copy of it, and
// the values inside the copy ("\" the fixed file information, "\VarFileInfo\Translation",
// "\StringFileInfo\<language><code page>\<name>"). The resource is read from the PE resource
// directory (type RT_VERSION, name 1, the first language) of the file at its mapped host path.
//
// A file without a resource section fails with ERROR_RESOURCE_DATA_NOT_FOUND, one with resources
// but no version resource with ERROR_RESOURCE_TYPE_NOT_FOUND (ERROR_RESOURCE_NAME_NOT_FOUND when
// the type has no name 1); a file that is no PE image, or whose headers or resource tree point
// outside the file, fails with ERROR_BAD_EXE_FORMAT.
#pragma once

#include "jxplat/wintypes.h"

typedef UINT* PUINT;

#ifndef RT_VERSION
#define RT_VERSION MAKEINTRESOURCEW(16)
#endif
#define VS_FILE_INFO RT_VERSION
#define VS_VERSION_INFO 1
#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature; // VS_FFI_SIGNATURE
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS; // major << 16 | minor
    DWORD dwFileVersionLS; // build << 16 | revision
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

// Bytes a buffer needs for the file's version resource; 0 with the last error set when it has none.
// *handle (optional) is set to 0.
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
// Copies the version resource into data (at most length bytes). A shorter buffer gets a cut copy
// whose blocks end inside it.
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data);
// Finds a value in a copy made by GetFileVersionInfoW. Names compare ignoring case. *length is the
// value's size: bytes for binary values, characters (with the terminator) for text. FALSE when
// the block or its value does not exist (a block without a value has none).
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);
