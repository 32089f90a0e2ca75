// The signer check against programs signed here with osslsigncode and test certificates made with
// the openssl command, and against files the machine description trusts by their SHA-256.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "jxbase/verifytrust.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/pe_builder.h"
#include "jxtest/run_program.h"

namespace {

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

// Certificates and keys shared by the tests: a self-signed signer, and a signer issued by a test
// CA together with an impostor CA of the same name but another key.
class SignerTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        char folder[] = "/tmp/jxsigner-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        s_keys = folder;
        ASSERT_TRUE(Shell("command -v osslsigncode"))
            << "osslsigncode is not installed; ./run installs it with the project's packages";
        const std::string req = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -sha256 ";
        ASSERT_TRUE(Shell(req + "-subj '/O=Jx Test Org/CN=Jx Test Signer' -keyout " + s_keys +
                          "/self.key -out " + s_keys + "/self.pem"));
        ASSERT_TRUE(
            Shell(req + "-subj '/CN=Jx Test CA' -keyout " + s_keys + "/ca.key -out " + s_keys + "/ca.pem"));
        ASSERT_TRUE(Shell(req + "-subj '/CN=Jx Test CA' -keyout " + s_keys + "/impostor.key -out " + s_keys +
                          "/impostor.pem"));
        ASSERT_TRUE(Shell("openssl req -new -newkey rsa:2048 -nodes -subj '/CN=Jx Issued Signer' -keyout " +
                          s_keys + "/leaf.key -out " + s_keys + "/leaf.csr"));
        ASSERT_TRUE(Shell("openssl x509 -req -days 2 -sha256 -set_serial 7 -in " + s_keys + "/leaf.csr -CA " +
                          s_keys + "/ca.pem -CAkey " + s_keys + "/ca.key -out " + s_keys + "/leaf.pem"));
        const std::string leaf = jxtest::ReadHostFile(s_keys + "/leaf.pem");
        WriteHostFile(s_keys + "/chain.pem", leaf + jxtest::ReadHostFile(s_keys + "/ca.pem"));
        WriteHostFile(s_keys + "/broken.pem", leaf + jxtest::ReadHostFile(s_keys + "/impostor.pem"));
    }

    static void TearDownTestSuite() {
        if (!s_keys.empty())
            Shell("rm -rf '" + s_keys + "'");
    }

    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(u"C:\\work", nullptr)); }

    static std::string Host(const std::u16string& windowsPath) {
        return jxplat::WindowsToHostPath(windowsPath);
    }

    // An unsigned program at C:\work\<name>.
    static std::u16string Unsigned(const std::u16string& name) {
        const std::u16string path = u"C:\\work\\" + name;
        WriteHostFile(Host(path), jxtest::BuildVersionedPe(0x0001000200030004ull, 0x0001000200030004ull));
        return path;
    }

    // Signs `from` into C:\work\<to> with the certificates of `certs` and the key `key`.
    static std::u16string Sign(const std::u16string& from, const std::u16string& to, const std::string& certs,
                               const std::string& key, const std::string& digest, bool nest = false) {
        const std::u16string path = u"C:\\work\\" + to;
        EXPECT_TRUE(Shell("osslsigncode sign " + std::string(nest ? "-nest " : "") + "-certs " + s_keys +
                          "/" + certs + " -key " + s_keys + "/" + key + " -h " + digest + " -in '" +
                          Host(from) + "' -out '" + Host(path) + "'"));
        return path;
    }

    static std::string SelfSigned(const std::string& digest = "sha256") {
        return Host(Sign(Unsigned(u"plain.exe"), u"signed.exe", "self.pem", "self.key", digest));
    }

    static std::string s_keys;
    jxtest::TempMachineRoot m_root;
};

std::string SignerTest::s_keys;

std::u16string SignerOf(const std::string& hostPath) {
    std::u16string name = u"unset";
    CVerifyTrust().GetSignatureSignerName(jxplat::HostToWindowsPath(hostPath).c_str(), name);
    return name;
}

void FlipByte(const std::string& hostPath, std::streamoff at) {
    std::fstream file(hostPath, std::ios::binary | std::ios::in | std::ios::out);
    file.seekg(at);
    char c = 0;
    file.get(c);
    file.seekp(at);
    file.put(static_cast<char>(c ^ 0x5A));
}

TEST_F(SignerTest, SignedProgramNamesItsSignerAndThumbprint) {
    const std::string signedFile = SelfSigned();
    BYTE hash[32] = {};
    DWORD size = sizeof hash;
    std::u16string name;
    CVerifyTrust().GetSignatureSignerName(jxplat::HostToWindowsPath(signedFile).c_str(), name, hash, &size);
    EXPECT_EQ(name, u"Jx Test Signer"); // the common name, not the organization
    ASSERT_EQ(size, 20u);
    std::string hex;
    for (DWORD i = 0; i < size; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", hash[i]);
        hex += digits;
    }
    const std::string fingerprint =
        jxtest::CommandOutput("openssl x509 -noout -fingerprint -sha1 -in " + s_keys + "/self.pem");
    std::string expected;
    for (char c : fingerprint.substr(fingerprint.find('=') + 1))
        if (std::isxdigit(static_cast<unsigned char>(c)))
            expected += c;
    EXPECT_EQ(hex, expected);

    // A buffer too small for the thumbprint gets none; without a buffer the size stays as it was.
    size = 19;
    CVerifyTrust().GetSignatureSignerName(jxplat::HostToWindowsPath(signedFile).c_str(), name, hash, &size);
    EXPECT_EQ(name, u"Jx Test Signer");
    EXPECT_EQ(size, 0u);
    size = 77;
    CVerifyTrust().GetSignatureSignerName(jxplat::HostToWindowsPath(signedFile).c_str(), name, nullptr,
                                          &size);
    EXPECT_EQ(size, 77u);
}

TEST_F(SignerTest, ProgramsWithoutAValidSignatureHaveNoSigner) {
    const std::string unsignedFile = Host(Unsigned(u"plain.exe"));
    BYTE hash[20] = {};
    DWORD size = sizeof hash;
    std::u16string name = u"unset";
    CVerifyTrust().GetSignatureSignerName(jxplat::HostToWindowsPath(unsignedFile).c_str(), name, hash, &size);
    EXPECT_EQ(name, u"");
    EXPECT_EQ(size, 0u);
    size = 20;
    CVerifyTrust().GetSignatureSignerName(u"C:\\work\\missing.exe", name, nullptr, &size);
    EXPECT_EQ(name, u"");
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(CVerifyTrust().IsSha256Signed(jxplat::HostToWindowsPath(unsignedFile).c_str()));
    EXPECT_FALSE(CVerifyTrust().IsSha256Signed(u"C:\\work\\missing.exe"));
    WriteHostFile(Host(u"C:\\work\\notes.txt"), "MZ but nothing more");
    EXPECT_EQ(SignerOf(Host(u"C:\\work\\notes.txt")), u"");
}

TEST_F(SignerTest, ChangesAfterSigningTakeTheSignerAwayExceptInTheExcludedFields) {
    const std::string original = jxtest::ReadHostFile(SelfSigned());
    ASSERT_FALSE(original.empty());
    const std::streamoff optionalHeader = 0x40 + 24;
    // The signed data starts after the table entry's 8-byte header as SEQUENCE with a two-byte
    // length; it ends with the signer's signature value.
    auto byteAt = [&](size_t at) { return static_cast<unsigned char>(original.at(at)); };
    const size_t securityEntry = optionalHeader + 96 + 4 * 8;
    const size_t table =
        byteAt(securityEntry) | byteAt(securityEntry + 1) << 8 | byteAt(securityEntry + 2) << 16;
    ASSERT_EQ(byteAt(table + 8), 0x30);
    ASSERT_EQ(byteAt(table + 9), 0x82);
    const size_t signatureEnd = table + 8 + 4 + (byteAt(table + 10) << 8 | byteAt(table + 11));
    struct Case {
        const char* what;
        std::streamoff at; // -1: a byte appended
        bool keepsSigner;
    };
    const Case cases[] = {
        {"a byte of the resource section", 0x200 + 0x30, false},
        {"the time stamp of the file header", 0x40 + 8, false},
        {"the checksum", optionalHeader + 64, true},
        {"data appended after the signature", -1, false},
        {"the signer's signature value", static_cast<std::streamoff>(signatureEnd - 16), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Host(u"C:\\work\\changed.exe");
        WriteHostFile(path, original);
        if (c.at < 0)
            std::ofstream(path, std::ios::binary | std::ios::app) << "appended";
        else
            FlipByte(path, c.at);
        EXPECT_EQ(SignerOf(path), c.keepsSigner ? u"Jx Test Signer" : u"");
        EXPECT_EQ(CVerifyTrust().IsSha256Signed(jxplat::HostToWindowsPath(path).c_str()), c.keepsSigner);
    }
}

TEST_F(SignerTest, ChainMustHoldUpToTheCarriedCertificates) {
    const std::u16string plain = Unsigned(u"plain.exe");
    EXPECT_EQ(SignerOf(Host(Sign(plain, u"chain.exe", "chain.pem", "leaf.key", "sha256"))),
              u"Jx Issued Signer");
    // The issuer is not carried: the chain goes on outside the file, which is not checked.
    EXPECT_EQ(SignerOf(Host(Sign(plain, u"leaf.exe", "leaf.pem", "leaf.key", "sha256"))),
              u"Jx Issued Signer");
    // A carried CA of the issuer's name that did not issue the signer's certificate.
    const std::u16string forged = Sign(plain, u"forged.exe", "broken.pem", "leaf.key", "sha256");
    EXPECT_EQ(SignerOf(Host(forged)), u"");
    EXPECT_FALSE(CVerifyTrust().IsSha256Signed(forged.c_str()));
}

TEST_F(SignerTest, Sha256InTheSignatureOrANestedOne) {
    const std::u16string plain = Unsigned(u"plain.exe");
    const std::u16string sha1 = Sign(plain, u"sha1.exe", "self.pem", "self.key", "sha1");
    const std::u16string sha256 = Sign(plain, u"sha256.exe", "self.pem", "self.key", "sha256");
    const std::u16string nested = Sign(sha1, u"nested.exe", "chain.pem", "leaf.key", "sha256", true);
    const std::u16string nestedSha1 = Sign(sha1, u"nested1.exe", "chain.pem", "leaf.key", "sha1", true);
    EXPECT_FALSE(CVerifyTrust().IsSha256Signed(sha1.c_str()));
    EXPECT_TRUE(CVerifyTrust().IsSha256Signed(sha256.c_str()));
    EXPECT_TRUE(CVerifyTrust().IsSha256Signed(nested.c_str()));
    EXPECT_FALSE(CVerifyTrust().IsSha256Signed(nestedSha1.c_str()));
    // The first (outer) signer names the file.
    EXPECT_EQ(SignerOf(Host(nested)), u"Jx Test Signer");
}

TEST_F(SignerTest, MachineTrustsListedFilesByTheirContent) {
    const std::string program = Host(u"C:\\work\\setup.exe");
    WriteHostFile(program, std::string("\x7f"
                                       "ELF",
                                       4) +
                               std::string(300, 'x'));
    const std::string sha256 =
        jxtest::CommandOutput("openssl dgst -sha256 -r '" + program + "' | cut -d' ' -f1 | tr -d '\\n'");
    ASSERT_EQ(sha256.size(), 64u);
    std::string upper;
    for (char c : sha256)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    jxplat::MachineDescription description;
    description.trustedFiles = {
        {"0000", "Nobody", true, ""},
        {upper, "Jx Trusted Maker", false, "00112233445566778899AABBCCDDEEFF01234567"}};
    m_root.Describe(description);

    BYTE hash[20] = {};
    DWORD size = sizeof hash;
    std::u16string name;
    CVerifyTrust().GetSignatureSignerName(u"C:\\work\\setup.exe", name, hash, &size);
    EXPECT_EQ(name, u"Jx Trusted Maker");
    ASSERT_EQ(size, 20u);
    EXPECT_EQ(hash[0], 0x00);
    EXPECT_EQ(hash[10], 0xAA);
    EXPECT_EQ(hash[19], 0x67);
    EXPECT_FALSE(CVerifyTrust().IsSha256Signed(u"C:\\work\\setup.exe"));

    // The same name with other content is not trusted.
    std::ofstream(program, std::ios::binary | std::ios::app) << "!";
    EXPECT_EQ(SignerOf(program), u"");

    // The key survives the description's round trip through machine.json.
    const jxplat::MachineDescription loaded = jxplat::LoadMachineDescription(m_root.Path());
    ASSERT_EQ(loaded.trustedFiles.size(), 2u);
    EXPECT_EQ(loaded.trustedFiles[1].signer, "Jx Trusted Maker");
    EXPECT_FALSE(loaded.trustedFiles[1].sha256Signed);
    EXPECT_EQ(loaded.trustedFiles[1].thumbprint, "00112233445566778899AABBCCDDEEFF01234567");
}

} // namespace
