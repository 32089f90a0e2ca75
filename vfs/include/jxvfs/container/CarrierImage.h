// Where the packages of a carrier begin. A package file holds them from offset 0. A program file
// carries them after its image: for a PE file after the largest end of raw section data and before
// its certificate table; for an ELF file (the program on this host) after the last section and the
// section header table.
#pragma once

#include <cstdint>

#include <windows.h>

class CPkgAccessor;

namespace jxpkg {

enum class CarrierKind {
    PackageFile, // no "MZ" / ELF signature: packages from offset 0
    PeProgram,
    ElfProgram,
    BadProgram, // "MZ" but its PE headers cannot be read (fewer than 248 bytes): give the file up
};

struct CARRIER_LAYOUT {
    CarrierKind kind = CarrierKind::PackageFile;
    bool shortStart = false;       // fewer than 64 bytes at the start could be read
    ULONGLONG firstOffset = 0;     // where the walk begins
    ULONGLONG limit = 0;           // the walk stays below it (file size, less a valid certificate table)
    ULONGLONG dataCheckLength = 0; // length the data-area bounds check compares against
    bool hasCertificate = false;   // a valid certificate entry was used
    ULONGLONG certificateOffset = 0;
    ULONGLONG certificateSize = 0;
};

// Reads the start of the carrier (which must be open) and works out the layout. The certificate
// entry of a PE file is used only when the PE signature and the optional-header magic (0x10B or
// 0x20B, read at the position that magic implies) are valid and offset + size <= file size.
CARRIER_LAYOUT LocateCarrierLayout(CPkgAccessor& carrier);

// The end of a program image (where appended packages go), for a PE or ELF file; for other files
// the file size. Used by the package tool.
ULONGLONG ProgramImageEnd(CPkgAccessor& carrier, CarrierKind* kind = nullptr);

} // namespace jxpkg
