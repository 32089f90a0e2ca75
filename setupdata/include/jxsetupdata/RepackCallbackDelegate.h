// The receiver of repacking progress. The data object implements it as the first operation of its
// interface, so the one virtual operation keeps its place and its four arguments.
//
// Calls in order (phase: first, second, third):
//   0 once before copying:   0, total repack length, number of packages found
//   1 before each package:   0, 0, the package (InternalPackage*)
//   2 after each chunk:      bytes copied of all packages so far, total repack length, bytes of this package
//   3 after each package:    1 when it was copied (else 0), 0, bytes of this package copied
//   4 once at the end:       bytes copied in all, total repack length, failed * 65536 + copied (low 16 bits)
// The result is ignored.
#pragma once

#include <windows.h>

class RepackCallbackDelegate {
public:
    virtual int OnRepackProgress(DWORD phase, DWORD first, DWORD second, DWORD_PTR third) = 0;

protected:
    ~RepackCallbackDelegate() = default;
};
