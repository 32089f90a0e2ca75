// Who signed a program file: the Authenticode signature embedded in a portable executable. The
// signature must hold for the file as it is now (the image digest it signs and the certificates it
// carries, each signed by the next); its chain is not checked against trusted roots, revocation
// lists or time stamps. A file whose signature does not hold has no signer.
#pragma once

#include <string>

#include <windows.h>

class CVerifyTrust {
public:
    // The simple display name of the signer's certificate, or "" for a file without a valid
    // embedded signature. With hash and hashSize, hash receives the certificate's SHA-1 thumbprint
    // and *hashSize its length; *hashSize is 0 when the name is empty or the buffer is too small.
    void GetSignatureSignerName(LPCWSTR filePath, std::u16string& signerName, BYTE* hash = nullptr,
                                DWORD* hashSize = nullptr);

    // True when the signature, or a valid nested signature at any depth, uses SHA-256.
    bool IsSha256Signed(LPCWSTR filePath);
};
