// The self-check's own rules: configuration, records and their judgement, I/O error codes, the
// file test, digests over a whole carrier, progress steps and the dump.
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include <openssl/evp.h>

#include "container_testutil.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winuser.h"
#include "jxtest/machine_root.h"
#include "jxvfs/container/CPackageWriter.h"
#include "jxvfs/selfcheck/CHashDigest.h"

using namespace pkgtest;

namespace {

Bytes PackageWith(const std::vector<std::pair<std::u16string, Bytes>>& files, DWORD blockSize = 4096) {
    PACKAGE_WRITER_OPTIONS options;
    options.name = "$SETUP";
    options.blockSize = blockSize;
    CPackageWriter writer(options);
    for (const auto& [path, content] : files) {
        PACKAGE_FILE_INPUT in;
        in.content = content;
        writer.AddFile(path, in);
    }
    std::vector<BYTE> bytes;
    writer.Build(bytes);
    return bytes;
}

TEST(SelfcheckRecords, JudgementWithAndWithoutCheckOptions) {
    struct Case {
        DWORD code;
        bool plainContinue, plainResult;     // no check option
        bool optionsContinue, optionsResult; // with the data CRC check
    } cases[] = {
        {0x80000007, false, false, false, false}, // stops the use of the carrier
        {0x90000004, false, false, true,
         true},                               // stops the walk, unless a check option collects further errors
        {0x00000003, true, true, true, true}, // small I/O codes never count
        {0x10000000, true, false, true, true}, // above 0x0FFFFFFF counts without options
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        CSelfcheck plain;
        plain.Configure(1, 0, nullptr);
        plain.AddError(c.code, 0, 0, 0);
        EXPECT_EQ(plain.CanContinue(), c.plainContinue);
        EXPECT_EQ(plain.IsResultOk(), c.plainResult);
        CSelfcheck checking;
        checking.Configure(1, kSelfcheckDataCrc, nullptr);
        checking.AddError(c.code, 0, 0, 0);
        EXPECT_EQ(checking.CanContinue(), c.optionsContinue);
        EXPECT_EQ(checking.IsResultOk(), c.optionsResult);
        EXPECT_EQ(checking.GetLastErrorCode(), c.code);
    }
}

TEST(SelfcheckRecords, IoErrorCodesAndVerbosity) {
    struct Case {
        DWORD origin;
        DWORD code;
    } cases[] = {
        {0x80000005, 0x80000003}, {0x80000000, 0x80000003}, {0x90000001, 0x90000003}, {2, 3}, {7, 3}};
    for (const Case& c : cases) {
        CSelfcheck s;
        s.Configure(1, 0, nullptr);
        SetLastError(38);
        s.AddIoError(c.origin, 0x1000, 0x2, 60);
        const auto errors = s.GetErrors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].code, c.code);
        EXPECT_EQ(errors[0].detail, 38u | ((c.origin & 0xF) << 28));
        EXPECT_EQ(errors[0].valueLow, 0x1000u);
        EXPECT_EQ(errors[0].valueHigh, 0x2u | 60u);
    }
    // Verbosity 0: no notes and no I/O errors; other errors are always recorded.
    CSelfcheck quiet;
    quiet.Configure(0, 0, nullptr);
    quiet.AddNote(0, u"level %d", 0);
    quiet.AddNote(1, u"dropped");
    quiet.AddIoError(0x80000005, 0, 0, 60);
    quiet.AddError(0x90000004, 0, 1, 2);
    ASSERT_EQ(quiet.GetEntries().size(), 2u);
    EXPECT_EQ(static_cast<const NOTE_ENTRY&>(*quiet.GetEntries()[0]).text, u"level 0");
    EXPECT_EQ(quiet.GetErrors().size(), 1u);
}

TEST(SelfcheckConfigure, IgnoredWhileACheckIsActive) {
    CSelfcheck s;
    s.Configure(3, kSelfcheckMd5, nullptr);
    EXPECT_TRUE(s.IsCheckActive());
    s.Configure(7, 0, nullptr);
    EXPECT_EQ(s.GetVerbosity(), 3u);
    EXPECT_TRUE(s.IsCheckActive());
    // The certificate bit and progress reporting are no checks.
    CSelfcheck t;
    t.Configure(1, kSelfcheckCertificate | kSelfcheckProgress, nullptr);
    EXPECT_FALSE(t.IsCheckActive());
    t.Configure(5, 0, nullptr);
    EXPECT_EQ(t.GetVerbosity(), 5u);
}

// A PE program whose image is skipped by the walk and whose certificate table is not mounted: the
// digests still cover every byte of the file.
TEST(SelfcheckDigests, CoverTheWholeCarrier) {
    Bytes file(0x400, 0x11);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 60, 0x80);
    Put32(file, 0x80, 0x00004550);
    Put16(file, 0x86, 1);
    Put16(file, 0x80 + 20, 224);
    Put16(file, 0x98, 0x10B);
    Put32(file, 0x98 + 92, 16);
    const size_t section = 0x98 + 224;
    Put32(file, section + 16, 0x100); // raw size
    Put32(file, section + 20, 0x300); // raw pointer: the image ends at 0x400
    const Bytes package = PackageWith({{u"$SETUP\\a.txt", Bytes(100000, 'a')}});
    file.insert(file.end(), package.begin(), package.end());
    while (file.size() % 8)
        file.push_back(0);
    const size_t cert = file.size();
    file.insert(file.end(), 512, 0xCC);
    Put32(file, 0x98 + 96 + 32, static_cast<uint32_t>(cert));
    Put32(file, 0x98 + 96 + 36, 512);

    const ScanResult r = Scan(file, 5, kSelfcheckMd5 | kSelfcheckSha1);
    EXPECT_TRUE(r.finalOk);
    EXPECT_EQ(r.packages.size(), 1u);
    auto hex = [&file](const EVP_MD* md) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_Digest(file.data(), file.size(), digest, &length, md, nullptr);
        std::u16string text;
        for (unsigned int i = 0; i < length; ++i)
            text += jxtext::Format(u"%02x", digest[i]);
        return text;
    };
    EXPECT_TRUE(r.HasNote(u"MD5 digest over file: " + hex(EVP_md5())));
    EXPECT_TRUE(r.HasNote(u"SHA1 digest over file: " + hex(EVP_sha1())));

    CHashDigest sha256(CHashDigest::SHA256);
    sha256.Update("abc", 3);
    EXPECT_EQ(sha256.GetText(), u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    sha256.Update("more", 4); // finished: no further input
    EXPECT_EQ(sha256.GetText(), u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(SelfcheckFileTest, ShortLastChunksPassAndBadContentFailsTheResult) {
    // 20000 bytes: a full 16 KiB chunk and a short one; 16384 bytes: exactly one chunk; a small file
    // whose first read already delivers everything.
    const Bytes big(20000, 'x'), exact(16384, 'y'), small(10, 'z');
    Bytes good = PackageWith(
        {{u"$SETUP\\big.bin", big}, {u"$SETUP\\exact.bin", exact}, {u"$SETUP\\small.bin", small}});
    const ScanResult ok = Scan(good, 8, kSelfcheckFileTest);
    EXPECT_TRUE(ok.finalOk);
    EXPECT_TRUE(ok.HasNote(u"checking \\$SETUP\\big.bin (20000 bytes)"));
    EXPECT_FALSE(ok.HasNote(u"Error accessing"));

    // The stored checksum of small.bin made wrong: the meta is rebuilt so only the checksum differs.
    for (DWORD verbosity : {0u, 1u}) {
        SCOPED_TRACE(verbosity);
        CMemoryPkgAccessor carrier(u"Z:\\t.wpk", good);
        CCarrierCheck check;
        CSelfcheck selfcheck(&check);
        selfcheck.Configure(verbosity, kSelfcheckFileTest, nullptr);
        ASSERT_TRUE(check.Scan(selfcheck, carrier));
        // Damage the tree the file test reads: the view serves the scanned nodes.
        auto& packages = const_cast<std::vector<CCarrierCheck::PACKAGE>&>(check.Packages());
        META_NODE& node = const_cast<META_NODE&>(packages[0].tree.Nodes().back());
        ASSERT_EQ(node.name, u"small.bin");
        node.checksum ^= 0x10;
        EXPECT_FALSE(selfcheck.FinalizeCheck());
        EXPECT_TRUE(selfcheck.GetErrors().empty()) << "the file test adds notes, not errors";
        EXPECT_EQ(verbosity > 0, !selfcheck.GetEntries().empty());
        EXPECT_TRUE(selfcheck.HasFileTestFailed());
        selfcheck.SetDumpFolder(u"Z:\\nonexistent-folder-for-the-dump");
        EXPECT_FALSE(selfcheck.EndCheck()) << "a failed file test fails the end of the check";
    }
}

TEST(SelfcheckProgress, StepsWithoutAWindowOnlyUpdateTheCounts) {
    CSelfcheck s;
    s.Configure(1, kSelfcheckProgress, nullptr);
    s.Digest(2);
    s.Digest(2);
    s.Digest(3);
    EXPECT_TRUE(s.GetEntries().empty());
}

// Each new step goes to the progress window once; bit 16 tells that errors came since the last one.
TEST(SelfcheckProgress, StepsGoToTheProgressWindow) {
    jxtest::TempMachineRoot root;
    CSelfcheck s;
    s.Configure(1, kSelfcheckProgress, reinterpret_cast<HWND>(1234));
    s.Digest(2);
    s.Digest(2);
    s.AddError(0x80000003, 128, 2, 0);
    s.Digest(3);
    s.Digest(4);
    const std::vector<jxplat::RecordedWindowMessage> messages = jxplat::ReadRecordedWindowMessages();
    ASSERT_EQ(messages.size(), 3u);
    const LPARAM reports[] = {2, 0x10000 | 3, 4};
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].window, 1234u);
        EXPECT_EQ(messages[i].message, kSelfcheckProgressMessage);
        EXPECT_EQ(messages[i].wParam, 0u);
        EXPECT_EQ(messages[i].lParam, reports[i]) << i;
    }
}

TEST(SelfcheckDump, FileNameNeverTakesTheProgramsName) {
    struct {
        std::u16string program, dump;
    } cases[] = {{u"setup.exe", u"setup.dump"},
                 {u"JxSetup.EXE", u"JxSetup.dump"},
                 {u"a.b.c", u"a.b.dump"},
                 {u"vfs_tests", u"vfs_tests.dump"}};
    for (const auto& c : cases)
        EXPECT_EQ(CSelfcheck::DumpFileNameOf(c.program), c.dump);
}

TEST(SelfcheckDump, WrittenAtTheEndWithNotesAndErrors) {
    jxtest::TempMachineRoot root;
    const std::string folder = root.Path() + "/dump";
    ::mkdir(folder.c_str(), 0755);
    CSelfcheck s;
    s.Configure(5, kSelfcheckCertificate, nullptr); // any bit turns the dump on
    s.SetDumpFolder(jxplat::HostToWindowsPath(folder));
    s.AddNote(5, u"Found Package: %s", u"$SETUP \u00e9\u4e00");
    s.AddNote(6, u"above the verbosity");
    s.AddError(0x90000004, 0, 0x11111111, 0x22222222);
    EXPECT_EQ(
        s.GetDumpText(),
        u"Found Package: $SETUP \u00e9\u4e00\r\nError list:\r\n90000004-00000000-22222222'11111111\r\n");
    EXPECT_FALSE(s.EndCheck());
    EXPECT_EQ(s.GetVerbosity(), 0u);
    EXPECT_TRUE(s.GetEntries().empty());

    WCHAR module[261] = {};
    GetModuleFileNameW(nullptr, module, 261);
    std::u16string program(module);
    program = program.substr(program.find_last_of(u"\\/") + 1);
    const std::string dump = folder + "/" + jxtext::N(CSelfcheck::DumpFileNameOf(program));
    std::ifstream in(dump, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // ANSI: é is one byte, the CJK character becomes a blank.
    EXPECT_EQ(text, "Found Package: $SETUP \xe9 \r\nError list:\r\n90000004-00000000-22222222'11111111\r\n");
}

} // namespace
