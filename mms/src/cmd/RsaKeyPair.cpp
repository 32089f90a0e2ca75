#include "RsaKeyPair.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include "jxbase/trace.h"

namespace {

constexpr int kBits = 1024;

EVP_PKEY* _RsaMakeKey() {
    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    if (ctx == nullptr || EVP_PKEY_keygen_init(ctx) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, kBits) != 1 || EVP_PKEY_keygen(ctx, &key) != 1)
        key = nullptr;
    EVP_PKEY_CTX_free(ctx);
    return key;
}

void _RsaPut32(std::vector<BYTE>& out, DWORD value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<BYTE>(value >> (8 * i)));
}

} // namespace

RsaKeyPair::RsaKeyPair() {
    EVP_PKEY* key = _RsaMakeKey();
    BIGNUM* modulus = nullptr;
    BIGNUM* exponent = nullptr;
    if (key == nullptr || EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &modulus) != 1 ||
        EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponent) != 1) {
        JX_ENGINE_TRACE(0, u"RsaKeyPair::RsaKeyPair", u"Error: CryptAcquireContext() failed: %ls\n",
                        u"no RSA key");
        EVP_PKEY_free(key);
        BN_free(modulus);
        BN_free(exponent);
        return;
    }
    m_Key = key;
    // Blob header: public-key blob, version 2, reserved, key-exchange RSA; then "RSA1", bit length,
    // public exponent; then the modulus, least significant byte first.
    m_Blob = {0x06, 0x02, 0x00, 0x00};
    _RsaPut32(m_Blob, 0x0000A400);
    _RsaPut32(m_Blob, 0x31415352);
    _RsaPut32(m_Blob, kBits);
    _RsaPut32(m_Blob, static_cast<DWORD>(BN_get_word(exponent)));
    const size_t offset = m_Blob.size();
    m_Blob.resize(offset + kBits / 8);
    BN_bn2lebinpad(modulus, m_Blob.data() + offset, kBits / 8);
    BN_free(modulus);
    BN_free(exponent);
}

RsaKeyPair::~RsaKeyPair() {
    EVP_PKEY_free(static_cast<EVP_PKEY*>(m_Key));
}

bool RsaKeyPair::Decrypt(const BYTE* cipher, size_t size, std::string& plain) const {
    plain.clear();
    if (m_Key == nullptr)
        return false;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(static_cast<EVP_PKEY*>(m_Key), nullptr);
    size_t length = 0;
    bool ok = ctx != nullptr && EVP_PKEY_decrypt_init(ctx) == 1 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
              EVP_PKEY_decrypt(ctx, nullptr, &length, cipher, size) == 1;
    if (ok) {
        plain.resize(length);
        ok =
            EVP_PKEY_decrypt(ctx, reinterpret_cast<unsigned char*>(plain.data()), &length, cipher, size) == 1;
        plain.resize(ok ? length : 0);
    }
    EVP_PKEY_CTX_free(ctx);
    ERR_clear_error();
    return ok;
}
