// Path helpers of the shell's lightweight utility library.
#pragma once

#include "jxplat/wintypes.h"

// TRUE (FILE_ATTRIBUTE_DIRECTORY) when the path names an existing folder, else FALSE.
BOOL PathIsDirectoryW(LPCWSTR path);
// Whether a file or folder exists at the path.
BOOL PathFileExistsW(LPCWSTR path);
// The position of the file name in the path: after the last "\", "/" or the drive's ":" (a trailing
// separator is not a name boundary); the path itself when it has none.
LPWSTR PathFindFileNameW(LPCWSTR path);
