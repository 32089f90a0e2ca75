// The package self-check options of the setup program's command line: words after the program path
// that begin with "/" or "-" (names ignoring case):
//   full = 0x1F, quick = 0x14 (both replace the bits so far), check_cert |= 0x10, check_files |= 0x08,
//   check_payload |= 0x04, md5 |= 0x01, sha1 |= 0x02, dig<N> |= 0x20 with N the progress window
//   (ignored for N = 0 or none), v <N> the verbosity (1 for 0 or no number; the word is taken).
#pragma once

#include <string>

#include <windows.h>

#include "jxvfs/selfcheck/CSelfcheck.h"

constexpr DWORD kSelfcheckFull = 0x1F;
constexpr DWORD kSelfcheckQuick = 0x14;

struct SELFCHECK_OPTIONS {
    DWORD options = 0;
    DWORD verbosity = 0;
    DWORD window = 0; // the progress window's handle value

    bool IsRequested() const { return options != 0; }
    HWND GetWindow() const { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(window)); }
};

// Reads the options of a whole command line. The program path is found by the first ".exe"
// (matched exactly); the options begin 5 characters after its start, past ".exe" and the quote or
// blank that closes the path (at character 4 when there is no ".exe").
SELFCHECK_OPTIONS ParseSelfcheckOptions(std::u16string_view commandLine);
