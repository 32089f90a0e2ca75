// The encrypted frames of the command channel's socket protocol. A frame's payload is the marker 0,
// a 16-byte IV, the AES-128-CBC ciphertext (PKCS #7 padding) and the SHA-256 digest of everything
// before it. The digest is unkeyed: it guards against damage in transit, the server relies on it
// as it is.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

namespace MmsCmdFrame {

// A receiver refuses a frame length above this.
constexpr DWORD kMaxLength = 0x1f400000;
constexpr size_t kIvOffset = 1;
constexpr size_t kCipherOffset = 17;
constexpr size_t kDigestSize = 32;
constexpr size_t kMinEncrypted = kCipherOffset + kDigestSize + 1;
constexpr size_t kKeySize = 16;

// The ciphertext length for a plaintext of size bytes: a whole block of padding is always added.
constexpr size_t CipherLength(size_t size) {
    return size / 16 * 16 + 16;
}

// Builds the payload of an encrypted frame: 0 on success, 19 when the cipher gives another length
// than expected (or fails), 25 when the digest fails. The key has kKeySize bytes.
int Encrypt(const std::string& key, const void* plain, size_t size, std::vector<BYTE>& payload);
// The format and digest check of a received encrypted frame.
bool Check(const BYTE* payload, size_t size);
// Decrypts a checked payload; false when the ciphertext or its padding is malformed.
bool Decrypt(const std::string& key, const BYTE* payload, size_t size, std::vector<BYTE>& plain);

} // namespace MmsCmdFrame
