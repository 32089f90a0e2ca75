// Checksums of files: SHA-256 for the overwrite decision, the two-sum checksum of the file lists.
#include <cstdio>
#include <cstring>
#include <memory>

#include <openssl/evp.h>

#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kShaContext = u"JxSetup::Data::JxFile::CalcSHA256";

struct CHandleCloser {
    void operator()(void* handle) const { CloseHandle(handle); }
};
using CFileHandle = std::unique_ptr<void, CHandleCloser>;

struct CDigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

CFileHandle _sum_Open(const std::u16string& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return CFileHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

std::u16string _sum_Hex(const unsigned char* bytes, size_t count) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

} // namespace

std::u16string JxFile::CalcSHA256(const std::u16string& path) {
    if (path.empty() || !FileExists(path))
        return {};
    CFileHandle file = _sum_Open(path);
    if (!file) {
        Instance()->Log(LP_WARNING, u"lib", kShaContext, u"Error opening file %s.", path.c_str());
        return {};
    }
    std::unique_ptr<EVP_MD_CTX, CDigestFree> context(EVP_MD_CTX_new());
    if (!context) {
        Instance()->Log(LP_WARNING, u"lib", kShaContext, u"Failed to initialize.");
        return {};
    }
    if (EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        Instance()->Log(LP_WARNING, u"lib", kShaContext, u"Failed to initialize hash of file %s.",
                        path.c_str());
        return {};
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[64 * 1024]);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.get(), 64 * 1024, &read, nullptr) ||
            EVP_DigestUpdate(context.get(), buffer.get(), read) != 1) {
            Instance()->Log(LP_WARNING, u"lib", kShaContext, u"Failed to calculate hash of file %s.",
                            path.c_str());
            return {};
        }
        if (read == 0)
            break;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        Instance()->Log(LP_WARNING, u"lib", kShaContext, u"Failed to calculate hash of file %s.",
                        path.c_str());
        return {};
    }
    return _sum_Hex(digest, length);
}

std::u16string JxFile::CalcChecksum(const std::u16string& path) {
    CFileHandle file = _sum_Open(path);
    if (!file)
        return {};
    constexpr DWORD kBlock = 5000;
    unsigned char block[kBlock];
    uint32_t a = 0;
    uint32_t b = 0;
    for (;;) {
        std::memset(block, 0, sizeof block);
        DWORD read = 0;
        if (!ReadFile(file.get(), block, kBlock, &read, nullptr))
            return {};
        if (read == 0)
            break;
        // The whole block counts, zero-padded after a short read.
        for (DWORD i = 0; i < kBlock; i += 4) {
            const uint32_t word = static_cast<uint32_t>(block[i]) | static_cast<uint32_t>(block[i + 1]) << 8 |
                                  static_cast<uint32_t>(block[i + 2]) << 16 |
                                  static_cast<uint32_t>(block[i + 3]) << 24;
            a += word;
            b += word * a;
        }
        if (read < kBlock)
            break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%X", a + b);
    return std::u16string(text, text + std::strlen(text));
}

} // namespace JxSetup::Data
