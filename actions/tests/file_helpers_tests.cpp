// The file-system helpers of the file record: paths, version texts, date texts and checksums.
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"
#include "jxtest/machine_root.h"
#include "jxtest/pe_builder.h"

namespace {

using JxSetup::Data::JxFile;
using JxSetup::Data::JxSystemTime;

void WriteHost(const std::u16string& path, const std::string& bytes) {
    std::ofstream(jxplat::WindowsToHostPath(path), std::ios::binary) << bytes;
}

TEST(FileHelpers, Paths) {
    EXPECT_EQ(JxFile::CombinePath(u"C:\\app\\", u"a.dll"), u"C:\\app\\a.dll");
    EXPECT_EQ(JxFile::CombinePath(u"C:\\app", u"a.dll"), u"C:\\app\\a.dll");
    EXPECT_EQ(JxFile::CombinePath(u"C:", u"a.dll"), u"C:a.dll");
    EXPECT_EQ(JxFile::CombinePath(u"C:\\app", u"sub", u"deep", u"a.dll"), u"C:\\app\\sub\\deep\\a.dll");
    EXPECT_EQ(JxFile::CombinePath(u"", u"a.dll"), u"a.dll");
    EXPECT_EQ(JxFile::GetPathPart(u"C:\\app\\a.dll"), u"C:\\app");
    EXPECT_EQ(JxFile::GetPathPart(u"a.dll"), u"");
    EXPECT_EQ(JxFile::GetFilePart(u"C:\\app\\a.dll"), u"a.dll");
    EXPECT_EQ(JxFile::GetFilePart(u"C:\\app\\"), u"");
    EXPECT_EQ(JxFile::RemoveTrailingBackslash(u"C:\\app\\\\"), u"C:\\app\\");
    EXPECT_EQ(JxFile::RemoveTrailingBackslash(u"C:\\app"), u"C:\\app");
    EXPECT_EQ(JxFile::RemoveTrailingBackslash(u""), u"");
}

TEST(FileHelpers, VersionNumbers) {
    jxtest::TempMachineRoot root;
    int warnings = 0;
    JxSetup::Data::JxLog::SetCaptureForTesting(
        [&](int level, std::u16string_view, std::u16string_view context, std::u16string_view) {
            if (level == JxSetup::Data::LP_WARNING && context == u"JxSetup::Data::JxFile::GetVersionNumbers")
                ++warnings;
        });
    const struct {
        const char16_t* text;
        bool result;
        std::vector<WORD> numbers;
    } cases[] = {
        {u"1.2.3.4", true, {1, 2, 3, 4}},
        {u"65535.0", true, {65535, 0}},
        {u"1.65536.3", false, {1}},
        {u"1..3", false, {1}},
        {u"1.2a", false, {1}},
        {u"", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(jxtext::N(c.text));
        warnings = 0;
        std::vector<WORD> numbers;
        EXPECT_EQ(JxFile::GetVersionNumbers(c.text, numbers), c.result);
        EXPECT_EQ(numbers, c.numbers);
        EXPECT_EQ(warnings, c.result ? 0 : 1);
    }
    JxSetup::Data::JxLog::SetCaptureForTesting({});
}

TEST(FileHelpers, DateTexts) {
    // 29.02.2024 23.59.58 UTC as a file time.
    const ULONGLONG ticks = (1709251198ull + 11644473600ull) * 10000000ull + 1234567;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const std::u16string text = JxFile::FileTimeToString(time);
    EXPECT_EQ(text, u"29.02.2024 23.59.58 ");

    const JxSystemTime parsed = JxFile::StringToSystemTime(text);
    EXPECT_EQ(parsed.wDay, 29);
    EXPECT_EQ(parsed.wMonth, 2);
    EXPECT_EQ(parsed.wYear, 2024);
    EXPECT_EQ(parsed.wHour, 23);
    EXPECT_EQ(parsed.wMinute, 59);
    EXPECT_EQ(parsed.wSecond, 58);
    EXPECT_EQ(JxFile::StringToSystemTime(u"29.02.2024 23:59:58").wMinute, 59);

    // Any part that is no 16-bit number, or too few parts, leave no date at all.
    for (const char16_t* bad : {u"", u"29.02.2024", u"29..2024 23.59.58", u"29.02.70000 23.59.58",
                                u"29.0x.2024 23.59.58", u"-1.02.2024 23.59.58"})
        EXPECT_EQ(JxFile::StringToSystemTime(bad).wYear, 0) << jxtext::N(bad);

    double date = 0;
    ASSERT_TRUE(JxFile::SystemTimeToOleDate(JxFile::StringToSystemTime(u"31.12.1899 18.00.00 "), date));
    EXPECT_DOUBLE_EQ(date, 1.75);
    ASSERT_TRUE(JxFile::SystemTimeToOleDate(parsed, date));
    EXPECT_NEAR(date, 45351.99997685, 1e-6);
    for (const char16_t* impossible :
         {u"29.02.2023 00.00.00", u"31.04.2024 00.00.00", u"00.01.2024 00.00.00", u"01.13.2024 00.00.00",
          u"01.01.2024 24.00.00", u"01.01.2024 00.60.00", u"01.01.0000 00.00.00"})
        EXPECT_FALSE(JxFile::SystemTimeToOleDate(JxFile::StringToSystemTime(impossible), date))
            << jxtext::N(impossible);
}

TEST(FileHelpers, FileFacts) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\app", nullptr));
    WriteHost(u"C:\\app\\abc.txt", "abc");
    WriteHost(u"C:\\app\\empty.txt", "");
    WriteHost(u"C:\\app\\one.bin", std::string("\x01\x00\x00\x00", 4));
    WriteHost(u"C:\\app\\lib.dll", jxtest::BuildVersionedPe(0x0001000200030004ull, 0x0005000600070008ull));

    EXPECT_TRUE(JxFile::FileExists(u"C:\\app\\abc.txt"));
    EXPECT_FALSE(JxFile::FileExists(u"C:\\app"));
    EXPECT_FALSE(JxFile::FileExists(u"C:\\app\\none.txt"));
    EXPECT_FALSE(JxFile::FileExists(u""));
    EXPECT_NE(JxFile::GetAttributes(u"C:\\app") & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(JxFile::GetAttributes(u"C:\\app\\none.txt"), INVALID_FILE_ATTRIBUTES);

    ULONGLONG size = 99;
    ASSERT_TRUE(JxFile::GetFileSize64(u"C:\\app\\abc.txt", size));
    EXPECT_EQ(size, 3u);
    EXPECT_FALSE(JxFile::GetFileSize64(u"C:\\app\\none.txt", size));
    FILETIME time{};
    EXPECT_TRUE(JxFile::GetLastWriteTime(u"C:\\app\\abc.txt", time));
    EXPECT_FALSE(JxFile::GetLastWriteTime(u"C:\\app\\none.txt", time));

    EXPECT_EQ(JxFile::GetFileVersionString(u"C:\\app\\lib.dll"), u"1.2.3.4");
    EXPECT_EQ(JxFile::GetFileVersionString(u"C:\\app\\abc.txt"), u"");
    EXPECT_EQ(JxFile::GetFileVersionString(u"C:\\app\\none.dll"), u"");
}

TEST(FileHelpers, Checksums) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\app", nullptr));
    WriteHost(u"C:\\app\\abc.txt", "abc");
    WriteHost(u"C:\\app\\empty.txt", "");
    WriteHost(u"C:\\app\\one.bin", std::string("\x01\x00\x00\x00", 4));
    // Several read blocks, with a short last one.
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + (i >> 9));
    WriteHost(u"C:\\app\\big.bin", big);

    EXPECT_EQ(JxFile::CalcSHA256(u"C:\\app\\abc.txt"),
              u"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    EXPECT_EQ(JxFile::CalcSHA256(u"C:\\app\\empty.txt"),
              u"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(JxFile::CalcSHA256(u"C:\\app\\none.txt"), u"");
    EXPECT_EQ(JxFile::CalcSHA256(u""), u"");
    EXPECT_EQ(JxFile::CalcSHA256(u"C:\\app"), u"");

    // Against the openssl command on the same host file.
    const std::string host = jxplat::WindowsToHostPath(u"C:\\app\\big.bin");
    const std::string listing = root.Path() + "/sha.txt";
    ASSERT_EQ(std::system(("openssl dgst -sha256 -r '" + host + "' > '" + listing + "'").c_str()), 0);
    const std::string expected = jxtext::N(jxtext::ToLower(JxFile::CalcSHA256(u"C:\\app\\big.bin")));
    EXPECT_EQ(jxtest::ReadHostFile(listing).substr(0, 64), expected);

    EXPECT_EQ(JxFile::CalcChecksum(u"C:\\app\\empty.txt"), u"0");
    EXPECT_EQ(JxFile::CalcChecksum(u"C:\\app\\one.bin"), u"2");
    EXPECT_EQ(JxFile::CalcChecksum(u"C:\\app\\none.txt"), u"");
}

} // namespace
