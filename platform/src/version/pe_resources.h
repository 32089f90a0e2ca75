// The version resource of a PE file on the host: where its bytes lie. Every offset the file names
// is checked against the file before it is read, so a damaged or hostile file gives an error,
// never a read outside it.
#pragma once

#include "jxplat/wintypes.h"

namespace jxplat {

// A version block's length field is 16 bits wide: nothing past this many bytes can belong to it.
constexpr DWORD kMaxVersionResourceSize = 0xFFFF;

struct VersionResourceLocation {
    unsigned long long offset = 0; // in the file
    DWORD size = 0;                // at most kMaxVersionResourceSize
};

// Finds the version resource (type 16, name 1, first language) of the PE file open as fd.
// ERROR_SUCCESS, or the Win32 error that GetFileVersionInfoSizeW reports.
DWORD FindVersionResource(int fd, VersionResourceLocation& location);

} // namespace jxplat
