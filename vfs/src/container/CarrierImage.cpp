// The start of a carrier: a package file, a PE program (packages after the raw data of its
// sections, before its certificate table) or an ELF program (packages after its sections, program
// headers and section header table).
#include "jxvfs/container/CarrierImage.h"

#include <algorithm>
#include <vector>

#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/PackageFormat.h"

namespace jxpkg {

namespace {

constexpr DWORD kPeSignature = 0x00004550;
constexpr WORD kPe32Magic = 0x10B;
constexpr WORD kPe32PlusMagic = 0x20B;
constexpr DWORD kPeHeadersRead = 248;
constexpr DWORD kSectionEntry = 40;
constexpr DWORD kCertificateDirectory = 4;

// a + b, saturated instead of wrapping.
ULONGLONG AddSat(ULONGLONG a, ULONGLONG b) {
    return a > ~0ULL - b ? ~0ULL : a + b;
}

struct PeInfo {
    bool headersRead = false;
    bool valid = false; // signature and magic
    ULONGLONG imageEnd = 0;
    bool sectionsRead = false;
    ULONGLONG certOffset = 0;
    ULONGLONG certSize = 0;
};

PeInfo ReadPe(CPkgAccessor& carrier, const BYTE* start64) {
    PeInfo pe;
    const ULONGLONG peOffset = LoadU32(start64 + 60);
    BYTE h[kPeHeadersRead];
    if (carrier.ReadAt(peOffset, kPeHeadersRead, h) < kPeHeadersRead)
        return pe;
    pe.headersRead = true;
    const DWORD signature = LoadU32(h);
    const WORD sections = LoadU16(h + 4 + 2);
    const WORD optionalSize = LoadU16(h + 4 + 16);
    const WORD magic = LoadU16(h + 24);
    pe.valid = signature == kPeSignature && (magic == kPe32Magic || magic == kPe32PlusMagic);
    if (!pe.valid)
        return pe;

    // The data directories begin at 96 (PE32) or 112 (PE32+) into the optional header; the entry
    // is used only when the optional header really holds it.
    const DWORD directories = magic == kPe32Magic ? 96 : 112;
    const DWORD entry = directories + 8 * kCertificateDirectory;
    const DWORD rvaCount = LoadU32(h + 24 + directories - 4);
    if (optionalSize >= entry + 8 && rvaCount > kCertificateDirectory) {
        pe.certOffset = LoadU32(h + 24 + entry);
        pe.certSize = LoadU32(h + 24 + entry + 4);
    }

    std::vector<BYTE> table(static_cast<size_t>(sections) * kSectionEntry);
    const ULONGLONG tableOffset = peOffset + 24 + optionalSize;
    if (!table.empty() &&
        carrier.ReadAt(tableOffset, static_cast<DWORD>(table.size()), table.data()) < table.size())
        return pe;
    pe.sectionsRead = true;
    for (size_t i = 0; i < sections; ++i) {
        const BYTE* s = table.data() + i * kSectionEntry;
        const ULONGLONG end = static_cast<ULONGLONG>(LoadU32(s + 20)) + LoadU32(s + 16);
        pe.imageEnd = std::max(pe.imageEnd, end);
    }
    return pe;
}

// The end of an ELF file's image: the furthest of its headers, sections with file data, program
// segments and section header table. 0 when the headers cannot be read.
ULONGLONG ElfImageEnd(CPkgAccessor& carrier, const BYTE* h) {
    const bool is64 = h[4] == 2;
    if ((h[4] != 1 && h[4] != 2) || h[5] != 1) // little-endian ELF32/ELF64 only
        return 0;
    const ULONGLONG phoff = is64 ? LoadU64(h + 0x20) : LoadU32(h + 0x1C);
    const ULONGLONG shoff = is64 ? LoadU64(h + 0x28) : LoadU32(h + 0x20);
    const WORD ehsize = LoadU16(h + (is64 ? 0x34 : 0x28));
    const WORD phentsize = LoadU16(h + (is64 ? 0x36 : 0x2A));
    ULONGLONG phnum = LoadU16(h + (is64 ? 0x38 : 0x2C));
    const WORD shentsize = LoadU16(h + (is64 ? 0x3A : 0x2E));
    ULONGLONG shnum = LoadU16(h + (is64 ? 0x3C : 0x30));
    const ULONGLONG size = carrier.GetSize();
    ULONGLONG end = ehsize;

    const DWORD minShent = is64 ? 64 : 40;
    if (shoff != 0 && shentsize >= minShent && shoff < size) {
        std::vector<BYTE> entry(shentsize);
        // More than 0xFF00 sections: the count is in the first section header's size field.
        if (shnum == 0 && carrier.ReadAt(shoff, shentsize, entry.data()) == shentsize)
            shnum = is64 ? LoadU64(entry.data() + 0x20) : LoadU32(entry.data() + 0x14);
        shnum = std::min<ULONGLONG>(shnum, (size - shoff) / shentsize);
        end = std::max(end, AddSat(shoff, shnum * shentsize));
        for (ULONGLONG i = 0; i < shnum; ++i) {
            if (carrier.ReadAt(shoff + i * shentsize, shentsize, entry.data()) < shentsize)
                break;
            const DWORD type = LoadU32(entry.data() + 4);
            if (type == 8) // SHT_NOBITS: no bytes in the file
                continue;
            const ULONGLONG offset = is64 ? LoadU64(entry.data() + 0x18) : LoadU32(entry.data() + 0x10);
            const ULONGLONG length = is64 ? LoadU64(entry.data() + 0x20) : LoadU32(entry.data() + 0x14);
            end = std::max(end, AddSat(offset, length));
        }
    }
    const DWORD minPhent = is64 ? 56 : 32;
    if (phoff != 0 && phentsize >= minPhent && phoff < size) {
        std::vector<BYTE> entry(phentsize);
        phnum = std::min<ULONGLONG>(phnum, (size - phoff) / phentsize);
        end = std::max(end, AddSat(phoff, phnum * phentsize));
        for (ULONGLONG i = 0; i < phnum; ++i) {
            if (carrier.ReadAt(phoff + i * phentsize, phentsize, entry.data()) < phentsize)
                break;
            const ULONGLONG offset = is64 ? LoadU64(entry.data() + 8) : LoadU32(entry.data() + 4);
            const ULONGLONG length = is64 ? LoadU64(entry.data() + 0x20) : LoadU32(entry.data() + 0x10);
            end = std::max(end, AddSat(offset, length));
        }
    }
    return end;
}

bool IsElf(const BYTE* h) {
    return h[0] == 0x7F && h[1] == 'E' && h[2] == 'L' && h[3] == 'F';
}

} // namespace

CARRIER_LAYOUT LocateCarrierLayout(CPkgAccessor& carrier) {
    CARRIER_LAYOUT layout;
    const ULONGLONG size = carrier.GetSize();
    layout.limit = size;
    layout.dataCheckLength = size;
    BYTE start[64] = {};
    if (carrier.ReadAt(0, sizeof(start), start) < sizeof(start)) {
        layout.shortStart = true;
        return layout;
    }
    if (start[0] == 'M' && start[1] == 'Z') {
        const PeInfo pe = ReadPe(carrier, start);
        if (!pe.headersRead) {
            layout.kind = CarrierKind::BadProgram;
            return layout;
        }
        layout.kind = CarrierKind::PeProgram;
        if (pe.valid && pe.certOffset != 0 && pe.certSize != 0 && pe.certOffset <= size &&
            pe.certSize <= size - pe.certOffset) {
            layout.hasCertificate = true;
            layout.certificateOffset = pe.certOffset;
            layout.certificateSize = pe.certSize;
            layout.limit = size - pe.certSize;
            layout.dataCheckLength = pe.certOffset;
        }
        if (pe.valid && pe.sectionsRead)
            layout.firstOffset = pe.imageEnd;
        return layout;
    }
    if (IsElf(start)) {
        layout.kind = CarrierKind::ElfProgram;
        layout.firstOffset = std::min(ElfImageEnd(carrier, start), size);
    }
    return layout;
}

ULONGLONG ProgramImageEnd(CPkgAccessor& carrier, CarrierKind* kind) {
    const CARRIER_LAYOUT layout = LocateCarrierLayout(carrier);
    if (kind != nullptr)
        *kind = layout.kind;
    if (layout.kind == CarrierKind::PeProgram || layout.kind == CarrierKind::ElfProgram)
        return layout.firstOffset;
    return carrier.GetSize();
}

} // namespace jxpkg
