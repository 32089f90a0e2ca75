#include <cctype>

#include <openssl/evp.h>

#include "authenticode.h"

namespace {

// The SHA-256 of the file's content in lower-case hexadecimal; "" when it cannot be read.
std::string _VtFileSha256(LPCWSTR path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    std::vector<unsigned char> buffer(0x10000);
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            ok = false;
        else if (got == 0)
            break;
        else
            ok = EVP_DigestUpdate(ctx.get(), buffer.data(), got) == 1;
    }
    CloseHandle(file);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

bool _VtSameHex(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

const jxplat::MachineTrustedFile* VtTrustedFile(LPCWSTR path) {
    const std::vector<jxplat::MachineTrustedFile>& trusted = jxplat::Machine().trustedFiles;
    if (trusted.empty())
        return nullptr; // most machines list none: no need to read the whole file
    const DWORD lastError = GetLastError();
    const std::string sha256 = _VtFileSha256(path);
    SetLastError(lastError);
    if (sha256.empty())
        return nullptr;
    for (const jxplat::MachineTrustedFile& file : trusted)
        if (_VtSameHex(file.sha256, sha256))
            return &file;
    return nullptr;
}
