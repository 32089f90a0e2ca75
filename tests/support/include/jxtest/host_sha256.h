// SHA-256 of a host file as lower-case hexadecimal, as a machine description names a trusted file.
// Header-only, so that the benchmarks can use it without the tests' library.
#pragma once

#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace jxtest {

// "" when the file cannot be read or is empty.
inline std::string HostFileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof(pair), "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

} // namespace jxtest
