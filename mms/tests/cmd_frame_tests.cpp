// The encrypted frames: sizes, the cipher and digest cross-checked with the openssl command and the
// tests' own implementation, and hostile payloads refused.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "cmdserver.h"
#include "jxmms/MmsCmdFrame.h"
#include "jxtest/run_program.h"

namespace {

const std::string kKey = "0123456789abcdef";

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string TempFile(const std::string& bytes) {
    char path[] = "/tmp/jxmmsframe-XXXXXX";
    FILE* f = fdopen(mkstemp(path), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
}

std::string Payload(const std::string& plain) {
    std::vector<BYTE> payload;
    EXPECT_EQ(MmsCmdFrame::Encrypt(kKey, plain.data(), plain.size(), payload), 0);
    return std::string(payload.begin(), payload.end());
}

} // namespace

TEST(CmdFrames, LengthsFollowThePlaintext) {
    struct Case {
        size_t plain;
        size_t n;
    };
    // A request of 0 serialized bytes has P = 8 ("pbmmscmd"): L = 16, N = 65; P = 16 adds a whole block.
    for (const Case& c : {Case{8, 65}, Case{15, 65}, Case{16, 81}, Case{0, 65}, Case{65536, 65536 + 16 + 49}})
        EXPECT_EQ(Payload(std::string(c.plain, 'p')).size(), c.n) << c.plain;
}

TEST(CmdFrames, OpensslReadsTheCipherAndTheDigest) {
    const std::string plain = "pbmmscmd" + std::string(100, 'q');
    const std::string payload = Payload(plain);
    const std::string iv = payload.substr(1, 16);
    const std::string cipher = payload.substr(17, payload.size() - 49);
    const std::string cipherFile = TempFile(cipher),
                      signedFile = TempFile(payload.substr(0, payload.size() - 32));
    EXPECT_EQ(jxtest::CommandOutput("openssl enc -d -aes-128-cbc -K " + Hex(kKey) + " -iv " + Hex(iv) +
                                    " -in " + cipherFile),
              plain);
    EXPECT_EQ(jxtest::CommandOutput("openssl dgst -sha256 -r " + signedFile).substr(0, 64),
              Hex(payload.substr(payload.size() - 32)));
    std::remove(cipherFile.c_str());
    std::remove(signedFile.c_str());

    // And the other way: a frame of the tests' implementation decrypts here.
    const std::string theirs = cmdtest::EncryptFrame(kKey, "answer");
    std::vector<BYTE> out;
    ASSERT_TRUE(MmsCmdFrame::Check(reinterpret_cast<const BYTE*>(theirs.data()), theirs.size()));
    ASSERT_TRUE(MmsCmdFrame::Decrypt(kKey, reinterpret_cast<const BYTE*>(theirs.data()), theirs.size(), out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "answer");
}

TEST(CmdFrames, HostilePayloadsAreRefused) {
    const std::string good = Payload("hello");
    auto check = [](const std::string& p) {
        return MmsCmdFrame::Check(reinterpret_cast<const BYTE*>(p.data()), p.size());
    };
    auto decrypt = [](const std::string& p, const std::string& key) {
        std::vector<BYTE> out;
        return MmsCmdFrame::Decrypt(key, reinterpret_cast<const BYTE*>(p.data()), p.size(), out);
    };
    EXPECT_TRUE(check(good));
    std::string marker = good;
    marker[0] = 1;
    std::string digest = good;
    digest.back() ^= 1;
    std::string body = good;
    body[20] ^= 1;
    for (const std::string& bad :
         {marker, digest, body, good.substr(0, 49), std::string(), good.substr(0, good.size() - 1)})
        EXPECT_FALSE(check(bad));
    // A ciphertext that is not whole blocks, or that the wrong key leaves with bad padding.
    const std::string body17 = std::string(1, '\0') + std::string(16, 'i') + std::string(17, 'c');
    EXPECT_FALSE(decrypt(body17 + cmdtest::Sha256(body17), kKey));
    EXPECT_FALSE(decrypt(good, "short"));
}
