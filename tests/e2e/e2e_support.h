// Helpers of the end-to-end runs: the built program, and a machine that trusts it.
#pragma once

#include <openssl/evp.h>

#include <cstdio>
#include <string>

#include "jxplat/machine.h"
#include "jxtest/machine_root.h"

namespace jxe2e {

inline std::string Program() {
    return jxtest::BuildDir() + "/engine/program/jxsetup";
}

// SHA-256 of a host file as lower-case hexadecimal; "" when it cannot be read.
inline std::string HostFileSha256(const std::string& path) {
    const std::string bytes = jxtest::ReadHostFile(path);
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

// A machine on which the built program counts as signed by the maker, as a released setup is: an
// ELF file carries no signature, so the machine names it by its digest.
inline jxplat::MachineDescription TrustingMachine(const std::string& program = Program()) {
    jxplat::MachineDescription description;
    jxplat::MachineTrustedFile trusted;
    trusted.sha256 = HostFileSha256(program);
    trusted.signer = "Tolvane Software GmbH";
    description.trustedFiles.push_back(trusted);
    return description;
}

} // namespace jxe2e
