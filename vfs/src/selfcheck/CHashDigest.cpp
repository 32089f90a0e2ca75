#include "jxvfs/selfcheck/CHashDigest.h"

#include <openssl/evp.h>

namespace {

const EVP_MD* DigestOfType(int type) {
    switch (type) {
    case CHashDigest::MD5:
        return EVP_md5();
    case CHashDigest::SHA1:
        return EVP_sha1();
    case CHashDigest::SHA224:
        return EVP_sha224();
    case CHashDigest::SHA256:
        return EVP_sha256();
    default:
        return nullptr;
    }
}

} // namespace

CHashDigest::CHashDigest(int type) {
    const EVP_MD* md = DigestOfType(type);
    EVP_MD_CTX* ctx = md != nullptr ? EVP_MD_CTX_new() : nullptr;
    if (ctx != nullptr && EVP_DigestInit_ex(ctx, md, nullptr) != 1) {
        EVP_MD_CTX_free(ctx);
        ctx = nullptr;
    }
    m_context = ctx;
}

CHashDigest::~CHashDigest() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_context));
}

void CHashDigest::Update(const void* data, size_t length) {
    if (m_context != nullptr && !m_finished && length > 0)
        EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_context), data, length);
}

const std::u16string& CHashDigest::GetText() {
    if (m_finished || m_context == nullptr)
        return m_text;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_context), digest, &length) == 1) {
        static const char16_t kHex[] = u"0123456789abcdef";
        m_bytes.assign(digest, digest + length);
        for (unsigned int i = 0; i < length; ++i) {
            m_text.push_back(kHex[digest[i] >> 4]);
            m_text.push_back(kHex[digest[i] & 15]);
        }
    }
    m_finished = true;
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_context));
    m_context = nullptr;
    return m_text;
}
