// Walks the headers and the resource directory of a PE image (PE32 and PE32+) read from a host
// file, down to the data entry of its version resource.
#include "version/pe_resources.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "file/file_common.h"
#include "jxplat/winerror.h"

namespace jxplat {
namespace {

constexpr WORD kResourceTypeVersion = 16;
constexpr WORD kVersionInfoName = 1;
constexpr DWORD kSubdirectoryBit = 0x80000000u;
constexpr WORD kMaxSections = 96; // the loader's limit
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDataDirectoryResource = 2;

WORD Le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}
DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

struct CSection {
    DWORD virtualAddress;
    DWORD virtualSize;
    DWORD rawSize;
    DWORD rawOffset;
};

struct CDirectoryEntry {
    DWORD name;   // an id, or a name string (high bit set)
    DWORD target; // a subdirectory (high bit set) or a data entry, relative to the resource directory
};

class CImageReader {
public:
    explicit CImageReader(int fd) : m_fd(fd) {}

    // ERROR_SUCCESS when the headers make sense; the resource directory's RVA is then known.
    DWORD ReadHeaders();
    DWORD FindVersion(VersionResourceLocation& location);

private:
    bool Read(unsigned long long offset, void* out, size_t count) const;
    // File offset of the bytes [rva, rva + count) when one section holds them all in the file.
    std::optional<unsigned long long> FileOffsetOf(unsigned long long rva, unsigned long long count) const;
    bool ReadRva(unsigned long long rva, void* out, size_t count) const;
    // The entries of the directory at `offset` from the start of the resource directory.
    bool ReadDirectory(DWORD offset, std::vector<CDirectoryEntry>& entries) const;

    int m_fd;
    unsigned long long m_fileSize = 0;
    std::vector<CSection> m_sections;
    DWORD m_resourceRva = 0;
};

bool CImageReader::Read(unsigned long long offset, void* out, size_t count) const {
    if (offset > m_fileSize || count > m_fileSize - offset)
        return false;
    BYTE* to = static_cast<BYTE*>(out);
    while (count > 0) {
        ssize_t got = ::pread(m_fd, to, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        to += got;
        offset += static_cast<unsigned long long>(got);
        count -= static_cast<size_t>(got);
    }
    return true;
}

std::optional<unsigned long long> CImageReader::FileOffsetOf(unsigned long long rva,
                                                             unsigned long long count) const {
    for (const CSection& section : m_sections) {
        if (rva < section.virtualAddress)
            continue;
        const unsigned long long inside = rva - section.virtualAddress;
        if (inside > section.rawSize || count > section.rawSize - inside)
            continue;
        return section.rawOffset + inside;
    }
    return std::nullopt;
}

bool CImageReader::ReadRva(unsigned long long rva, void* out, size_t count) const {
    auto offset = FileOffsetOf(rva, count);
    return offset && Read(*offset, out, count);
}

DWORD CImageReader::ReadHeaders() {
    struct stat status {};
    if (::fstat(m_fd, &status) != 0)
        return Win32ErrorFromErrno(errno);
    if (S_ISDIR(status.st_mode))
        return ERROR_ACCESS_DENIED;
    if (!S_ISREG(status.st_mode))
        return ERROR_BAD_EXE_FORMAT;
    m_fileSize = static_cast<unsigned long long>(status.st_size);

    BYTE dos[64];
    if (!Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return ERROR_BAD_EXE_FORMAT;
    const DWORD ntOffset = Le32(dos + 0x3C);

    BYTE fileHeader[24]; // "PE\0\0" and the COFF file header
    if (!Read(ntOffset, fileHeader, sizeof fileHeader) || Le32(fileHeader) != 0x00004550u)
        return ERROR_BAD_EXE_FORMAT;
    const WORD sectionCount = Le16(fileHeader + 6);
    const WORD optionalSize = Le16(fileHeader + 20);
    if (sectionCount > kMaxSections)
        return ERROR_BAD_EXE_FORMAT;

    const unsigned long long optionalOffset = ntOffset + 24ull;
    std::vector<BYTE> optional(optionalSize);
    if (optionalSize < 2 || !Read(optionalOffset, optional.data(), optional.size()))
        return ERROR_BAD_EXE_FORMAT;
    size_t countField = 0; // offset of NumberOfRvaAndSizes; the data directories follow it
    switch (Le16(optional.data())) {
    case 0x10B: // PE32
        countField = 92;
        break;
    case 0x20B: // PE32+
        countField = 108;
        break;
    default:
        return ERROR_BAD_EXE_FORMAT;
    }
    if (optional.size() < countField + 4)
        return ERROR_BAD_EXE_FORMAT;
    const DWORD directoryCount = Le32(optional.data() + countField);
    const size_t resourceEntry = countField + 4 + kDataDirectoryResource * 8;
    if (directoryCount > kDataDirectoryResource && optional.size() >= resourceEntry + 8)
        m_resourceRva = Le32(optional.data() + resourceEntry);

    std::vector<BYTE> table(static_cast<size_t>(sectionCount) * kSectionHeaderSize);
    if (!Read(optionalOffset + optionalSize, table.data(), table.size()))
        return ERROR_BAD_EXE_FORMAT;
    for (WORD i = 0; i < sectionCount; ++i) {
        const BYTE* header = table.data() + i * kSectionHeaderSize;
        m_sections.push_back({Le32(header + 12), Le32(header + 8), Le32(header + 16), Le32(header + 20)});
    }
    return ERROR_SUCCESS;
}

bool CImageReader::ReadDirectory(DWORD offset, std::vector<CDirectoryEntry>& entries) const {
    const unsigned long long at = static_cast<unsigned long long>(m_resourceRva) + offset;
    BYTE header[16];
    if (!ReadRva(at, header, sizeof header))
        return false;
    const size_t count = static_cast<size_t>(Le16(header + 12)) + Le16(header + 14);
    std::vector<BYTE> raw(count * 8);
    if (!ReadRva(at + sizeof header, raw.data(), raw.size()))
        return false;
    entries.clear();
    for (size_t i = 0; i < count; ++i)
        entries.push_back({Le32(raw.data() + i * 8), Le32(raw.data() + i * 8 + 4)});
    return true;
}

// The subdirectory of the entry with the numeric id, or the error of a missing one.
DWORD FindById(const std::vector<CDirectoryEntry>& entries, WORD id, DWORD missingError,
               DWORD& subdirectory) {
    for (const CDirectoryEntry& entry : entries) {
        if ((entry.name & kSubdirectoryBit) == 0 && entry.name == id) {
            if ((entry.target & kSubdirectoryBit) == 0)
                return ERROR_BAD_EXE_FORMAT;
            subdirectory = entry.target & ~kSubdirectoryBit;
            return ERROR_SUCCESS;
        }
    }
    return missingError;
}

DWORD CImageReader::FindVersion(VersionResourceLocation& location) {
    if (m_resourceRva == 0)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    std::vector<CDirectoryEntry> entries;
    if (!ReadDirectory(0, entries))
        return ERROR_BAD_EXE_FORMAT;
    DWORD names = 0, languages = 0;
    if (DWORD error = FindById(entries, kResourceTypeVersion, ERROR_RESOURCE_TYPE_NOT_FOUND, names))
        return error;
    if (!ReadDirectory(names, entries))
        return ERROR_BAD_EXE_FORMAT;
    if (DWORD error = FindById(entries, kVersionInfoName, ERROR_RESOURCE_NAME_NOT_FOUND, languages))
        return error;
    if (!ReadDirectory(languages, entries))
        return ERROR_BAD_EXE_FORMAT;
    if (entries.empty())
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    if (entries.front().target & kSubdirectoryBit)
        return ERROR_BAD_EXE_FORMAT; // the tree has three levels; a fourth is damage

    BYTE dataEntry[16]; // RVA of the data, its size, code page, reserved
    if (!ReadRva(static_cast<unsigned long long>(m_resourceRva) + entries.front().target, dataEntry,
                 sizeof dataEntry))
        return ERROR_BAD_EXE_FORMAT;
    const DWORD size = std::min(Le32(dataEntry + 4), kMaxVersionResourceSize);
    if (size < 6) // not even one block header
        return ERROR_BAD_EXE_FORMAT;
    auto offset = FileOffsetOf(Le32(dataEntry), size);
    if (!offset || *offset > m_fileSize || size > m_fileSize - *offset)
        return ERROR_BAD_EXE_FORMAT;
    location.offset = *offset;
    location.size = size;
    return ERROR_SUCCESS;
}

} // namespace

DWORD FindVersionResource(int fd, VersionResourceLocation& location) {
    CImageReader reader(fd);
    if (DWORD error = reader.ReadHeaders())
        return error;
    return reader.FindVersion(location);
}

} // namespace jxplat
