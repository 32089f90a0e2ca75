// Path helpers of the shell's lightweight utility library.
#include "jxplat/fileapi.h"
#include "jxplat/shlwapi.h"

BOOL PathIsDirectoryW(LPCWSTR path) {
    if (!path || !*path)
        return FALSE;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? static_cast<BOOL>(FILE_ATTRIBUTE_DIRECTORY)
               : FALSE;
}

LPWSTR PathFindFileNameW(LPCWSTR path) {
    if (!path)
        return nullptr;
    LPCWSTR name = path;
    for (LPCWSTR at = path; *at; ++at) {
        // A separator (or the drive's colon) starts a name unless nothing but separators follows.
        if ((*at == u'\\' || *at == u'/' || *at == u':') && at[1] && at[1] != u'\\' && at[1] != u'/')
            name = at + 1;
    }
    return const_cast<LPWSTR>(name);
}

BOOL PathFileExistsW(LPCWSTR path) {
    return path && *path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? TRUE : FALSE;
}
