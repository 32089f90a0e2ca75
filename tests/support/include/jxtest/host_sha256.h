// SHA-256 of a host file as lower-case hexadecimal, as a machine description names a trusted file.
// Header-only, so that the benchmarks can use it without the tests' library.
#pragma once

#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace jxtest {

// "" when the file cannot be read or is empty.
inline std::string HostFileSha256(const std::string& path) {
    // Read in blocks: a setup of the sanitizer build is over 100 MB.
    std::ifstream in(path, std::ios::binary);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    std::vector<char> buffer(1 << 20);
    size_t total = 0;
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        EVP_DigestUpdate(context, buffer.data(), static_cast<size_t>(in.gcount()));
        total += static_cast<size_t>(in.gcount());
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    EVP_MD_CTX_free(context);
    if (total == 0)
        return {};
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

} // namespace jxtest
