// The pieces of an Authenticode check over OpenSSL: the signature embedded in a portable
// executable, its image digest, and the PKCS #7 signed data with its certificates.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <windows.h>

#include "jxplat/machine.h"

// Results of the trust checks, as the Windows trust provider reports them.
constexpr DWORD kVtNoSignature = 0x800B0100;  // TRUST_E_NOSIGNATURE
constexpr DWORD kVtBadDigest = 0x80096010;    // TRUST_E_BAD_DIGEST
constexpr DWORD kVtBadSignature = 0x80096004; // TRUST_E_CERT_SIGNATURE
constexpr DWORD kVtChaining = 0x800B010A;     // CERT_E_CHAINING
constexpr DWORD kVtNotFound = 0x80092004;     // CRYPT_E_NOT_FOUND
constexpr DWORD kVtBadEncoding = 0x80092002;  // CRYPT_E_BAD_ENCODE

struct CVtPkcs7Free {
    void operator()(PKCS7* p7) const { PKCS7_free(p7); }
};
using CVtPkcs7 = std::unique_ptr<PKCS7, CVtPkcs7Free>;

// A portable executable opened for reading its embedded signature and hashing its image.
class CVtPeFile {
public:
    CVtPeFile() = default;
    ~CVtPeFile();
    CVtPeFile(const CVtPeFile&) = delete;
    CVtPeFile& operator=(const CVtPeFile&) = delete;

    // Reads the headers and the first PKCS #7 entry of the certificate table. False, with the last
    // error set, when the file cannot be read or carries no embedded signature.
    bool Open(LPCWSTR path);
    const std::vector<unsigned char>& Signature() const { return m_signature; }
    // The Authenticode image digest: every byte but the checksum, the security directory entry and
    // the certificate table.
    bool Digest(const EVP_MD* md, std::vector<unsigned char>& digest);

private:
    bool _VtReadAt(unsigned long long offset, void* buffer, size_t size);
    bool _VtHashRange(EVP_MD_CTX* ctx, unsigned long long from, unsigned long long to);

    HANDLE m_file = INVALID_HANDLE_VALUE;
    unsigned long long m_size = 0;
    unsigned long long m_checksumAt = 0;
    unsigned long long m_securityEntryAt = 0;
    unsigned long long m_tableAt = 0;
    unsigned long long m_tableSize = 0;
    std::vector<unsigned char> m_signature;
};

// The DER bytes as Authenticode signed data; null (last error set) when they are not.
CVtPkcs7 VtParseSignedData(const unsigned char* der, size_t size);
// The certificate of the first signer, found among the message's certificates by its issuer and
// serial number; null when the message does not carry it. Owned by the message.
X509* VtSignerCertificate(PKCS7* p7);
// The dotted object identifier of the first signer's digest algorithm.
std::string VtSignerDigestOid(PKCS7* p7);
// The nested signatures held in the first signer's unauthenticated attributes, in order; null for
// a value that is not signed data (the last error set).
std::vector<CVtPkcs7> VtNestedSignatures(PKCS7* p7);
// Whether the message signs this file as it is: the signer's signature over the signed content,
// the image digest the content names, and each carried certificate in the signer's chain signed by
// its issuer. False with the last error set otherwise.
bool VtVerifySignedData(PKCS7* p7, CVtPeFile& file);
// The simple display name of a certificate: its common name, else its organizational unit,
// organization or e-mail address; "" when it has none.
std::u16string VtSimpleDisplayName(X509* cert);

// The machine description's entry for a file listed by the SHA-256 of its content; null when the
// file is not listed or cannot be read.
const jxplat::MachineTrustedFile* VtTrustedFile(LPCWSTR path);
