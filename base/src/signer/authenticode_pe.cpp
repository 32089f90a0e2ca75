#include <cstring>

#include "authenticode.h"

namespace {

constexpr unsigned long long kMaxCertificateTable = 16ull << 20; // far above any real signature
constexpr WORD kCertificateRevision2 = 0x0200;
constexpr WORD kCertificateTypePkcsSignedData = 0x0002;
constexpr DWORD kSecurityDirectory = 4;

WORD _VtWord(const unsigned char* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD _VtDword(const unsigned char* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

} // namespace

CVtPeFile::~CVtPeFile() {
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
}

bool CVtPeFile::_VtReadAt(unsigned long long offset, void* buffer, size_t size) {
    if (offset > m_size || size > m_size - offset) {
        SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN))
        return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(m_file, out, chunk, &got, nullptr))
            return false;
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        out += got;
        size -= got;
    }
    return true;
}

bool CVtPeFile::Open(LPCWSTR path) {
    m_file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_file, &size))
        return false;
    m_size = static_cast<unsigned long long>(size.QuadPart);

    unsigned char dos[64];
    if (!_VtReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        SetLastError(kVtNoSignature);
        return false;
    }
    const unsigned long long ntAt = _VtDword(dos + 0x3C);
    // Signature, file header and the optional header up to the end of the PE32+ directory table.
    unsigned char nt[24 + 112 + 16 * 8];
    std::memset(nt, 0, sizeof nt);
    if (!_VtReadAt(ntAt, nt, 24 + 96) || std::memcmp(nt, "PE\0\0", 4) != 0) {
        SetLastError(kVtNoSignature);
        return false;
    }
    const unsigned long long optionalAt = ntAt + 24;
    const WORD optionalSize = _VtWord(nt + 20);
    const WORD magic = _VtWord(nt + 24);
    unsigned long long countAt = 0;
    if (magic == 0x10B)
        countAt = 92;
    else if (magic == 0x20B)
        countAt = 108;
    else {
        SetLastError(kVtNoSignature);
        return false;
    }
    const unsigned long long entryAt = countAt + 4 + kSecurityDirectory * 8;
    if (entryAt + 8 > optionalSize || !_VtReadAt(optionalAt, nt + 24, entryAt + 8)) {
        SetLastError(kVtNoSignature);
        return false;
    }
    if (_VtDword(nt + 24 + countAt) <= kSecurityDirectory) {
        SetLastError(kVtNoSignature);
        return false;
    }
    m_checksumAt = optionalAt + 64;
    m_securityEntryAt = optionalAt + entryAt;
    m_tableAt = _VtDword(nt + 24 + entryAt);
    m_tableSize = _VtDword(nt + 24 + entryAt + 4);
    if (m_tableAt == 0 || m_tableSize < 8) {
        SetLastError(kVtNoSignature);
        return false;
    }
    // The table is file data after the headers; one that overlaps them or runs past the end of the
    // file is not a signature but damage.
    if (m_tableAt < m_securityEntryAt + 8 || m_tableAt > m_size || m_tableSize > m_size - m_tableAt ||
        m_tableSize > kMaxCertificateTable) {
        SetLastError(kVtBadEncoding);
        return false;
    }
    std::vector<unsigned char> table(m_tableSize);
    if (!_VtReadAt(m_tableAt, table.data(), table.size()))
        return false;
    // WIN_CERTIFICATE entries, each on an 8-byte boundary; the first PKCS #7 one is the signature.
    size_t at = 0;
    while (at + 8 <= table.size()) {
        const DWORD length = _VtDword(table.data() + at);
        const WORD revision = _VtWord(table.data() + at + 4);
        const WORD type = _VtWord(table.data() + at + 6);
        if (length < 8 || length > table.size() - at)
            break;
        if (revision == kCertificateRevision2 && type == kCertificateTypePkcsSignedData) {
            m_signature.assign(table.begin() + at + 8, table.begin() + at + length);
            return true;
        }
        at += (static_cast<size_t>(length) + 7) & ~static_cast<size_t>(7);
    }
    SetLastError(kVtNoSignature);
    return false;
}

bool CVtPeFile::_VtHashRange(EVP_MD_CTX* ctx, unsigned long long from, unsigned long long to) {
    std::vector<unsigned char> buffer(0x10000);
    while (from < to) {
        const size_t chunk = static_cast<size_t>(std::min<unsigned long long>(to - from, buffer.size()));
        if (!_VtReadAt(from, buffer.data(), chunk) || EVP_DigestUpdate(ctx, buffer.data(), chunk) != 1)
            return false;
        from += chunk;
    }
    return true;
}

bool CVtPeFile::Digest(const EVP_MD* md, std::vector<unsigned char>& digest) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // Data after the table is hashed too, so nothing can be added to a signed file unnoticed.
    if (!_VtHashRange(ctx.get(), 0, m_checksumAt) ||
        !_VtHashRange(ctx.get(), m_checksumAt + 4, m_securityEntryAt) ||
        !_VtHashRange(ctx.get(), m_securityEntryAt + 8, m_tableAt) ||
        !_VtHashRange(ctx.get(), m_tableAt + m_tableSize, m_size))
        return false;
    unsigned int length = 0;
    digest.resize(EVP_MAX_MD_SIZE);
    if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1)
        return false;
    digest.resize(length);
    return true;
}
