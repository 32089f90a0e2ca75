// The RSA key pair of one key exchange: a 1024-bit key made for it, its public key exported as the
// public-key blob the server expects (blob header, RSA header, modulus least significant byte first),
// and the decryption of the session key the server sends (PKCS #1 v1.5, most significant byte first).
#pragma once

#include <string>
#include <vector>

#include <windows.h>

class RsaKeyPair {
public:
    RsaKeyPair();
    ~RsaKeyPair();
    RsaKeyPair(const RsaKeyPair&) = delete;
    RsaKeyPair& operator=(const RsaKeyPair&) = delete;

    // Empty when the key could not be made.
    const std::vector<BYTE>& PublicKeyBlob() const { return m_Blob; }
    // False when the ciphertext does not decrypt.
    bool Decrypt(const BYTE* cipher, size_t size, std::string& plain) const;

private:
    void* m_Key = nullptr; // EVP_PKEY
    std::vector<BYTE> m_Blob;
};
