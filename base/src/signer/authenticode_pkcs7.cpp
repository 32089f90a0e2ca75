#include <cstring>
#include <set>

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include "authenticode.h"
#include "jxplat/text.h"

namespace {

constexpr const char* kSpcIndirectData = "1.3.6.1.4.1.311.2.1.4";
constexpr const char* kSpcPeImageData = "1.3.6.1.4.1.311.2.1.15";
constexpr const char* kNestedSignature = "1.3.6.1.4.1.311.2.4.1";

std::string _VtOid(const ASN1_OBJECT* object) {
    char text[128];
    const int length = OBJ_obj2txt(text, sizeof text, object, 1);
    if (length <= 0 || length >= static_cast<int>(sizeof text))
        return {};
    return text;
}

PKCS7_SIGNER_INFO* _VtFirstSigner(PKCS7* p7) {
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7);
    return sk_PKCS7_SIGNER_INFO_num(signers) > 0 ? sk_PKCS7_SIGNER_INFO_value(signers, 0) : nullptr;
}

// One DER element at p (within end): its contents and the position after it.
bool _VtElement(const unsigned char*& p, const unsigned char* end, int expectedTag,
                const unsigned char*& contents, long& length) {
    int tag = 0;
    int xclass = 0;
    const int result = ASN1_get_object(&p, &length, &tag, &xclass, end - p);
    if ((result & 0x80) || tag != expectedTag || xclass != V_ASN1_UNIVERSAL || length > end - p)
        return false;
    contents = p;
    p += length;
    return true;
}

// SpcIndirectDataContent ::= SEQUENCE { data SpcAttributeTypeAndOptionalValue, messageDigest DigestInfo }.
// Gives the bytes that the signer's message digest covers (the sequence's contents), the digest
// algorithm and the image digest.
bool _VtIndirectData(PKCS7* p7, const unsigned char*& signedContent, long& signedLength,
                     std::string& digestOid, std::vector<unsigned char>& imageDigest) {
    const ASN1_TYPE* content = p7->d.sign->contents->d.other;
    if (!content || content->type != V_ASN1_SEQUENCE || !content->value.sequence)
        return false;
    const unsigned char* p = content->value.sequence->data;
    const unsigned char* end = p + content->value.sequence->length;
    if (!_VtElement(p, end, V_ASN1_SEQUENCE, signedContent, signedLength))
        return false;
    p = signedContent;
    end = signedContent + signedLength;

    const unsigned char* data = nullptr;
    long dataLength = 0;
    if (!_VtElement(p, end, V_ASN1_SEQUENCE, data, dataLength))
        return false;
    const unsigned char* typeAt = data;
    ASN1_OBJECT* type = d2i_ASN1_OBJECT(nullptr, &typeAt, dataLength);
    const bool peImage = type && _VtOid(type) == kSpcPeImageData;
    ASN1_OBJECT_free(type);
    if (!peImage)
        return false;

    const unsigned char* digestInfoAt = p;
    X509_SIG* digestInfo = d2i_X509_SIG(nullptr, &digestInfoAt, end - p);
    if (!digestInfo)
        return false;
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* digest = nullptr;
    X509_SIG_get0(digestInfo, &algorithm, &digest);
    const ASN1_OBJECT* algorithmObject = nullptr;
    X509_ALGOR_get0(&algorithmObject, nullptr, nullptr, algorithm);
    digestOid = _VtOid(algorithmObject);
    imageDigest.assign(digest->data, digest->data + digest->length);
    X509_SIG_free(digestInfo);
    return !digestOid.empty();
}

// Each certificate from the signer upwards must be signed by its issuer when the message carries
// that issuer, and a self-signed one by itself.
bool _VtChainHolds(PKCS7* p7, X509* signer) {
    STACK_OF(X509)* certs = p7->d.sign->cert;
    std::set<X509*> visited;
    X509* current = signer;
    while (visited.insert(current).second) {
        bool issuerSeen = false;
        X509* issuer = nullptr;
        for (int i = 0; i < sk_X509_num(certs) && !issuer; ++i) {
            X509* candidate = sk_X509_value(certs, i);
            // By name only: a certificate with the issuer's name but another key is a forged
            // issuer, not a chain that goes on elsewhere.
            if (candidate == current || X509_cmp(candidate, current) == 0 ||
                X509_NAME_cmp(X509_get_subject_name(candidate), X509_get_issuer_name(current)) != 0)
                continue;
            issuerSeen = true;
            EVP_PKEY* key = X509_get0_pubkey(candidate);
            if (key && X509_verify(current, key) == 1)
                issuer = candidate;
        }
        if (issuer) {
            current = issuer;
            continue;
        }
        if (X509_NAME_cmp(X509_get_subject_name(current), X509_get_issuer_name(current)) == 0) {
            EVP_PKEY* key = X509_get0_pubkey(current);
            return key && X509_verify(current, key) == 1;
        }
        if (issuerSeen)
            return false;
        return true; // the chain goes on outside the message
    }
    return true;
}

} // namespace

CVtPkcs7 VtParseSignedData(const unsigned char* der, size_t size) {
    const unsigned char* p = der;
    CVtPkcs7 p7(d2i_PKCS7(nullptr, &p, static_cast<long>(size)));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign || !p7->d.sign->contents ||
        _VtOid(p7->d.sign->contents->type) != kSpcIndirectData || !_VtFirstSigner(p7.get())) {
        SetLastError(kVtBadEncoding);
        return nullptr;
    }
    return p7;
}

X509* VtSignerCertificate(PKCS7* p7) {
    PKCS7_SIGNER_INFO* signer = _VtFirstSigner(p7);
    if (!signer || !signer->issuer_and_serial || !p7->d.sign->cert)
        return nullptr;
    return X509_find_by_issuer_and_serial(p7->d.sign->cert, signer->issuer_and_serial->issuer,
                                          signer->issuer_and_serial->serial);
}

std::string VtSignerDigestOid(PKCS7* p7) {
    PKCS7_SIGNER_INFO* signer = _VtFirstSigner(p7);
    return signer && signer->digest_alg ? _VtOid(signer->digest_alg->algorithm) : std::string();
}

std::vector<CVtPkcs7> VtNestedSignatures(PKCS7* p7) {
    std::vector<CVtPkcs7> nested;
    PKCS7_SIGNER_INFO* signer = _VtFirstSigner(p7);
    if (!signer)
        return nested;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(signer->unauth_attr); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, i);
        if (_VtOid(X509_ATTRIBUTE_get0_object(attribute)) != kNestedSignature)
            continue;
        for (int v = 0; v < X509_ATTRIBUTE_count(attribute); ++v) {
            const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, v);
            if (!value || value->type != V_ASN1_SEQUENCE || !value->value.sequence) {
                SetLastError(kVtBadEncoding);
                nested.push_back(nullptr);
                continue;
            }
            nested.push_back(VtParseSignedData(value->value.sequence->data,
                                               static_cast<size_t>(value->value.sequence->length)));
        }
    }
    return nested;
}

bool VtVerifySignedData(PKCS7* p7, CVtPeFile& file) {
    const unsigned char* signedContent = nullptr;
    long signedLength = 0;
    std::string digestOid;
    std::vector<unsigned char> expected;
    if (!_VtIndirectData(p7, signedContent, signedLength, digestOid, expected)) {
        SetLastError(kVtBadEncoding);
        return false;
    }
    ASN1_OBJECT* digestObject = OBJ_txt2obj(digestOid.c_str(), 1);
    const EVP_MD* md = digestObject ? EVP_get_digestbyobj(digestObject) : nullptr;
    ASN1_OBJECT_free(digestObject);
    std::vector<unsigned char> actual;
    if (!md) {
        SetLastError(kVtBadEncoding);
        return false;
    }
    if (!file.Digest(md, actual))
        return false;
    if (actual != expected) {
        SetLastError(kVtBadDigest);
        return false;
    }

    // The signer's signature over its attributes, whose message digest covers the content.
    std::unique_ptr<BIO, decltype(&BIO_free)> content(
        BIO_new_mem_buf(signedContent, static_cast<int>(signedLength)), BIO_free);
    const bool signatureHolds = content && PKCS7_verify(p7, nullptr, nullptr, content.get(), nullptr,
                                                        PKCS7_NOVERIFY | PKCS7_BINARY) == 1;
    ERR_clear_error();
    if (!signatureHolds) {
        SetLastError(kVtBadSignature);
        return false;
    }
    X509* signer = VtSignerCertificate(p7);
    if (!signer || !_VtChainHolds(p7, signer)) {
        SetLastError(kVtChaining);
        return false;
    }
    return true;
}

std::u16string VtSimpleDisplayName(X509* cert) {
    X509_NAME* subject = X509_get_subject_name(cert);
    for (int nid :
         {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
        const int index = X509_NAME_get_index_by_NID(subject, nid, -1);
        if (index < 0)
            continue;
        unsigned char* utf8 = nullptr;
        const int length =
            ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
        if (length < 0)
            continue;
        std::u16string name = jxtext::Utf8ToUtf16(std::string_view(reinterpret_cast<char*>(utf8), length));
        OPENSSL_free(utf8);
        return name;
    }
    std::u16string name;
    GENERAL_NAMES* alternatives =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; i < sk_GENERAL_NAME_num(alternatives) && name.empty(); ++i) {
        const GENERAL_NAME* entry = sk_GENERAL_NAME_value(alternatives, i);
        if (entry->type == GEN_EMAIL)
            name = jxtext::Utf8ToUtf16(std::string_view(
                reinterpret_cast<const char*>(entry->d.rfc822Name->data), entry->d.rfc822Name->length));
    }
    GENERAL_NAMES_free(alternatives);
    return name;
}
