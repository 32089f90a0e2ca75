// Certificates of the web tests, made at run time with OpenSSL: a CA the machine trusts, and
// server certificates that are valid, expired, for another name, self-signed, or from a CA the
// machine does not know. Keys are P-256, quick to make.
#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

#include "testserver.h"

namespace jxwebtest {
namespace {

struct CKeyed {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
};

void _pki_Extension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for the name, signed by the issuer (itself when none), valid from..to days from now.
CKeyed _pki_Make(const char* commonName, const char* altNames, const CKeyed* issuer, long fromDays,
                 long toDays, bool ca) {
    static long serial = 1;
    CKeyed made;
    made.key = EVP_EC_gen("P-256");
    X509* c = X509_new();
    X509_set_version(c, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c), serial++);
    X509_gmtime_adj(X509_getm_notBefore(c), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(c), toDays * 86400);
    X509_set_pubkey(c, made.key);
    X509_NAME* name = X509_get_subject_name(c);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509_set_issuer_name(c, issuer ? X509_get_subject_name(issuer->certificate) : name);
    _pki_Extension(c, issuer ? issuer->certificate : c, NID_basic_constraints,
                   ca ? "critical,CA:TRUE" : "CA:FALSE");
    if (altNames)
        _pki_Extension(c, issuer ? issuer->certificate : c, NID_subject_alt_name, altNames);
    X509_sign(c, issuer ? issuer->key : made.key, EVP_sha256());
    made.certificate = c;
    return made;
}

void _pki_Write(const CKeyed& keyed, const std::string& base, TlsFiles* files, std::string* certificateOnly) {
    const std::string certificatePath = base + ".crt", keyPath = base + ".key";
    FILE* out = std::fopen(certificatePath.c_str(), "w");
    if (!out)
        throw std::runtime_error("cannot write " + certificatePath);
    PEM_write_X509(out, keyed.certificate);
    std::fclose(out);
    if (certificateOnly)
        *certificateOnly = certificatePath;
    if (files) {
        out = std::fopen(keyPath.c_str(), "w");
        PEM_write_PrivateKey(out, keyed.key, nullptr, nullptr, 0, nullptr, nullptr);
        std::fclose(out);
        *files = {certificatePath, keyPath};
    }
}

void _pki_Free(CKeyed& keyed) {
    X509_free(keyed.certificate);
    EVP_PKEY_free(keyed.key);
}

} // namespace

TestPki::TestPki(const std::string& folder) {
    const char* names = "DNS:localhost,IP:127.0.0.1";
    CKeyed ca = _pki_Make("Jx Test Root", nullptr, nullptr, -1, 30, true);
    CKeyed otherCa = _pki_Make("Jx Unknown Root", nullptr, nullptr, -1, 30, true);
    CKeyed valid = _pki_Make("localhost", names, &ca, -1, 30, false);
    CKeyed expired = _pki_Make("localhost", names, &ca, -30, -1, false);
    CKeyed wrongName = _pki_Make("updates.elsewhere.test", "DNS:updates.elsewhere.test", &ca, -1, 30, false);
    CKeyed selfSigned = _pki_Make("localhost", names, nullptr, -1, 30, false);
    CKeyed unknown = _pki_Make("localhost", names, &otherCa, -1, 30, false);
    const std::string updateNames = std::string("DNS:*") + JX_UPDATE_SERVER_DOMAIN + "," + names;
    CKeyed update = _pki_Make("localhost", updateNames.c_str(), &ca, -1, 30, false);
    _pki_Write(ca, folder + "/ca", nullptr, &caPem);
    _pki_Write(valid, folder + "/valid", &this->valid, nullptr);
    _pki_Write(expired, folder + "/expired", &this->expired, nullptr);
    _pki_Write(wrongName, folder + "/wrongname", &this->wrongName, nullptr);
    _pki_Write(selfSigned, folder + "/selfsigned", &this->selfSigned, nullptr);
    _pki_Write(unknown, folder + "/unknownca", &this->unknownCa, nullptr);
    _pki_Write(update, folder + "/updateserver", &this->updateServer, nullptr);
    for (CKeyed* k : {&ca, &otherCa, &valid, &expired, &wrongName, &selfSigned, &unknown, &update})
        _pki_Free(*k);
}

} // namespace jxwebtest
