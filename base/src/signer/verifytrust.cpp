#include "jxbase/verifytrust.h"

#include <cstring>

#include "authenticode.h"
#include "jxbase/trace.h"
#include "jxbase/win32errortext.h"
#include "jxplat/text.h"

namespace {

constexpr const char* kSha256Oid = "2.16.840.1.101.3.4.2.1";
constexpr int kMaxNestingDepth = 16; // deeper nesting is not a real signature but a crafted file
constexpr DWORD kThumbprintSize = 20;

#define VT_NAME_TRACE(format, ...)                                                                           \
    JX_QRV_TRACE(6, u"CVerifyTrust::GetSignatureSignerName", format, ##__VA_ARGS__)
#define VT_NAME_FAILED(step)                                                                                 \
    VT_NAME_TRACE(step u" failed %ls\n",                                                                     \
                  CWin32ErrorText(CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs).c_str())
#define VT_SHA256_FAILED(step)                                                                               \
    JX_QRV_TRACE(6, u"CVerifyTrust::IsSha256Signed", step u" failed %ls\n",                                  \
                 CWin32ErrorText(CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs).c_str())

// The thumbprint of a listed file from its hexadecimal text; false when it has none or it is not
// 20 bytes of hexadecimal.
bool _VtThumbprintFromHex(const std::string& hex, BYTE* out) {
    if (hex.size() != 2 * kThumbprintSize)
        return false;
    auto digit = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (DWORD i = 0; i < kThumbprintSize; ++i) {
        const int high = digit(hex[2 * i]);
        const int low = digit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<BYTE>(high * 16 + low);
    }
    return true;
}

bool _VtUsesSha256(PKCS7* p7, CVtPeFile& file, int depth) {
    if (VtSignerDigestOid(p7) == kSha256Oid)
        return true;
    if (depth >= kMaxNestingDepth)
        return false;
    for (CVtPkcs7& nested : VtNestedSignatures(p7)) {
        if (!nested) {
            VT_SHA256_FAILED(u"CryptQueryObject");
            continue;
        }
        // Unauthenticated attributes can be added by anyone: a nested signature counts only when it
        // holds for this file by itself.
        if (!VtVerifySignedData(nested.get(), file)) {
            VT_SHA256_FAILED(u"nested signature check");
            continue;
        }
        if (_VtUsesSha256(nested.get(), file, depth + 1))
            return true;
    }
    return false;
}

} // namespace

void CVerifyTrust::GetSignatureSignerName(LPCWSTR filePath, std::u16string& signerName, BYTE* hash,
                                          DWORD* hashSize) {
    VT_NAME_TRACE(u"->\n");
    signerName.clear();
    BYTE thumbprint[kThumbprintSize];
    bool haveThumbprint = false;
    bool nameRead = false;

    if (const jxplat::MachineTrustedFile* trusted = VtTrustedFile(filePath)) {
        signerName = jxtext::W(trusted->signer);
        nameRead = true;
        haveThumbprint = _VtThumbprintFromHex(trusted->thumbprint, thumbprint);
    } else {
        CVtPeFile file;
        CVtPkcs7 p7;
        if (!file.Open(filePath) ||
            !(p7 = VtParseSignedData(file.Signature().data(), file.Signature().size()))) {
            VT_NAME_FAILED(u"CryptQueryObject");
        } else {
            VT_NAME_TRACE(u"CryptQueryObject ok\n");
            X509* signer = VtSignerCertificate(p7.get());
            if (!signer) {
                SetLastError(kVtNotFound);
                VT_NAME_FAILED(u"CertFindCertificateInStore");
            } else if (!VtVerifySignedData(p7.get(), file)) {
                VT_NAME_FAILED(u"signature check");
            } else {
                signerName = VtSimpleDisplayName(signer);
                nameRead = true;
                unsigned int length = 0;
                haveThumbprint =
                    X509_digest(signer, EVP_sha1(), thumbprint, &length) == 1 && length == kThumbprintSize;
            }
        }
    }
    if (nameRead)
        VT_NAME_TRACE(u"signer='%s'\n", signerName.c_str());

    if (!hashSize)
        return;
    if (signerName.empty()) {
        *hashSize = 0;
        return;
    }
    if (!hash)
        return;
    // As a property read into a buffer that is too small, a short buffer gets nothing.
    if (!haveThumbprint || *hashSize < kThumbprintSize) {
        *hashSize = 0;
        return;
    }
    std::memcpy(hash, thumbprint, kThumbprintSize);
    *hashSize = kThumbprintSize;
}

bool CVerifyTrust::IsSha256Signed(LPCWSTR filePath) {
    if (const jxplat::MachineTrustedFile* trusted = VtTrustedFile(filePath))
        return trusted->sha256Signed;
    CVtPeFile file;
    CVtPkcs7 p7;
    if (!file.Open(filePath) || !(p7 = VtParseSignedData(file.Signature().data(), file.Signature().size()))) {
        VT_SHA256_FAILED(u"CryptQueryObject");
        return false;
    }
    if (!VtVerifySignedData(p7.get(), file)) {
        VT_SHA256_FAILED(u"signature check");
        return false;
    }
    return _VtUsesSha256(p7.get(), file, 0);
}
