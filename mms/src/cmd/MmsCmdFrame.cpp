#include "jxmms/MmsCmdFrame.h"

#include <cstring>
#include <memory>

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace MmsCmdFrame {
namespace {

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

bool _FrameDigest(const BYTE* data, size_t size, BYTE* digest) {
    unsigned int length = 0;
    return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 && length == kDigestSize;
}

// One pass of AES-128-CBC; the output length, or -1 on a failure.
long _FrameCipher(bool encrypt, const std::string& key, const BYTE* iv, const BYTE* in, size_t size,
                  BYTE* out) {
    if (key.size() != kKeySize || size > 0x7FFFFFF0)
        return -1;
    CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    const auto* rawKey = reinterpret_cast<const unsigned char*>(key.data());
    int first = 0, last = 0;
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, rawKey, iv, encrypt ? 1 : 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), out, &first, in, static_cast<int>(size)) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out + first, &last) != 1)
        return -1;
    return static_cast<long>(first) + last;
}

} // namespace

int Encrypt(const std::string& key, const void* plain, size_t size, std::vector<BYTE>& payload) {
    const size_t cipherLength = CipherLength(size);
    payload.assign(kCipherOffset + cipherLength + kDigestSize, 0);
    if (RAND_bytes(payload.data() + kIvOffset, 16) != 1)
        return 19;
    const long written = _FrameCipher(true, key, payload.data() + kIvOffset, static_cast<const BYTE*>(plain),
                                      size, payload.data() + kCipherOffset);
    if (written < 0 || static_cast<size_t>(written) != cipherLength)
        return 19;
    if (!_FrameDigest(payload.data(), kCipherOffset + cipherLength,
                      payload.data() + kCipherOffset + cipherLength))
        return 25;
    return 0;
}

bool Check(const BYTE* payload, size_t size) {
    if (size < kMinEncrypted || payload[0] != 0)
        return false;
    BYTE digest[kDigestSize];
    return _FrameDigest(payload, size - kDigestSize, digest) &&
           std::memcmp(digest, payload + size - kDigestSize, kDigestSize) == 0;
}

bool Decrypt(const std::string& key, const BYTE* payload, size_t size, std::vector<BYTE>& plain) {
    if (size < kMinEncrypted)
        return false;
    const size_t cipherLength = size - kCipherOffset - kDigestSize;
    plain.assign(cipherLength + 16, 0);
    const long written =
        _FrameCipher(false, key, payload + kIvOffset, payload + kCipherOffset, cipherLength, plain.data());
    if (written < 0) {
        plain.clear();
        return false;
    }
    plain.resize(static_cast<size_t>(written));
    return true;
}

} // namespace MmsCmdFrame
