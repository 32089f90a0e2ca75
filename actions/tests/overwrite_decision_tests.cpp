// The overwrite decision on real files in a fresh machine root: every copy mode against every state
// of the target, and the doubtful cases it must resolve without crashing or losing an update.
#include <fstream>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxtest/machine_root.h"
#include "jxtest/pe_builder.h"

namespace {

using JxSetup::Data::JxFile;

constexpr uint64_t kV1 = 0x0001000000000000ull;
constexpr uint64_t kV2 = 0x0002000000000000ull;
constexpr uint64_t kV3 = 0x0003000000000000ull;
// 15.06.2020 12.00.00 UTC as a file time, and one day in file-time ticks.
constexpr ULONGLONG kT0 = (1592222400ull + 11644473600ull) * 10000000ull;
constexpr ULONGLONG kDay = 86400ull * 10000000ull;

FILETIME ToFileTime(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void WriteTestFile(const std::u16string& path, const std::string& bytes, ULONGLONG writeTime) {
    std::ofstream(jxplat::WindowsToHostPath(path), std::ios::binary) << bytes;
    HANDLE file =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME time = ToFileTime(writeTime);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

// The record of a file on disk as the file actions build it: nothing for a missing file; size,
// version and last-write date otherwise, the checksum left for the decision to compute.
JxFile TargetRecord(const std::u16string& path) {
    JxFile record;
    record.SetFullPath(path);
    ULONGLONG size = 0;
    FILETIME time{};
    if (!JxFile::GetFileSize64(path, size) || !JxFile::GetLastWriteTime(path, time))
        return record;
    record.size = jxtext::ToText(static_cast<unsigned long long>(size));
    record.version = JxFile::GetFileVersionString(path);
    record.lastwritetime = JxFile::FileTimeToString(time);
    return record;
}

// The same image with its last byte changed: same size, same version, other checksum.
std::string Altered(std::string image) {
    image.back() = static_cast<char>(image.back() ^ 0x5A);
    return image;
}

TEST(OverwriteDecision, CopyModesAgainstTargetStates) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\pkg", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"C:\\app", nullptr));

    // The file the setup brings: version 2.0.0.0, written at T0.
    const std::string image = jxtest::BuildVersionedPe(kV2, kV2);
    WriteTestFile(u"C:\\pkg\\lib.dll", image, kT0);
    JxFile source = TargetRecord(u"C:\\pkg\\lib.dll");
    source.sha = JxFile::CalcSHA256(u"C:\\pkg\\lib.dll");
    source.componentid = u"core";
    ASSERT_EQ(source.version, u"2.0.0.0");
    ASSERT_EQ(source.sha.size(), 64u);

    enum State { Missing, Older, Newer, Same, OtherChecksum, ReadOnly, Locked };
    const struct {
        const char* name;
        State state;
        // always, byversion, bydate, bycrc, nooverwrite, "" (as bycrc), delete
        bool expected[7];
    } cases[] = {
        {"missing", Missing, {true, true, true, true, true, true, false}},
        {"older version and date", Older, {true, true, true, true, false, true, false}},
        {"newer version and date", Newer, {true, false, false, true, false, true, false}},
        {"same file", Same, {true, false, false, false, false, false, false}},
        // Same version and size, changed later on the machine: only the checksum tells.
        {"different checksum", OtherChecksum, {true, false, false, true, false, true, false}},
        {"read-only and older", ReadOnly, {true, true, true, true, false, true, false}},
        // The same content but an older date, held open without sharing: the checksum cannot be
        // read, so the checksum rule copies rather than trusting an unread file.
        {"locked, same content, older date", Locked, {true, false, true, true, false, true, false}},
    };
    const char16_t* modes[] = {u"always", u"byversion", u"bydate", u"bycrc", u"nooverwrite", u"", u"delete"};

    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string target = u"C:\\app\\lib" + jxtext::ToText(index++) + u".dll";
        switch (c.state) {
        case Missing:
            break;
        case Older:
            WriteTestFile(target, jxtest::BuildVersionedPe(kV1, kV1), kT0 - kDay);
            break;
        case Newer:
            WriteTestFile(target, jxtest::BuildVersionedPe(kV3, kV3), kT0 + kDay);
            break;
        case Same:
            WriteTestFile(target, image, kT0);
            break;
        case OtherChecksum:
            WriteTestFile(target, Altered(image), kT0 + kDay);
            break;
        case ReadOnly:
            WriteTestFile(target, jxtest::BuildVersionedPe(kV1, kV1), kT0 - kDay);
            ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
            ASSERT_NE(JxFile::GetAttributes(target) & FILE_ATTRIBUTE_READONLY, 0u);
            break;
        case Locked:
            WriteTestFile(target, image, kT0 - kDay);
            break;
        }
        const JxFile targetRecord = TargetRecord(target);
        EXPECT_EQ(targetRecord.IsMissingTarget(), c.state == Missing);

        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.state == Locked) {
            lock = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }
        for (size_t m = 0; m < std::size(modes); ++m) {
            SCOPED_TRACE(jxtext::N(modes[m]));
            JxFile row = source;
            row.copymode = modes[m];
            EXPECT_EQ(row.IsFileDifferentTo(targetRecord), c.expected[m]);
            EXPECT_EQ(row.copymode, modes[m]); // the record keeps its own mode
        }
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
    }
}

// Decisions on records whose texts are doubtful: each resolves to a definite answer.
TEST(OverwriteDecision, DoubtfulRecords) {
    jxtest::TempMachineRoot root;
    const std::u16string kDate = u"15.06.2020 12.00.00 ";
    const std::u16string kLater = u"15.06.2020 12.00.01 ";
    const std::u16string kShaA(64, u'A');
    const std::u16string kShaB(64, u'b');

    struct Side {
        const char16_t* version;
        const char16_t* date;
        const char16_t* size;
        std::u16string sha;
        const char16_t* path;
    };
    const struct {
        const char* name;
        const char16_t* mode;
        Side source;
        Side target;
        bool expected;
    } cases[] = {
        {"mode in capitals",
         u"ByVersion",
         {u"2.0.0.0", kDate.c_str(), u"1", kShaA, u""},
         {u"1.0.0.0", kDate.c_str(), u"1", kShaA, u""},
         true},
        {"versions compare as numbers",
         u"byversion",
         {u"2.0.0.0", kDate.c_str(), u"1", kShaA, u""},
         {u"10.0.0.0", kDate.c_str(), u"1", kShaB, u""},
         false},
        {"equal versions",
         u"byversion",
         {u"1.2.3.4", kDate.c_str(), u"1", kShaA, u""},
         {u"1.2.3.4", kLater.c_str(), u"1", kShaB, u""},
         false},
        {"source version 0.0.0.0 falls back to the checksum",
         u"byversion",
         {u"0.0.0.0", kDate.c_str(), u"1", kShaA, u""},
         {u"1.0.0.0", kLater.c_str(), u"1", kShaB, u""},
         true},
        {"target without version",
         u"byversion",
         {u"2.0.0.0", kDate.c_str(), u"1", kShaA, u""},
         {u"", kDate.c_str(), u"1", kShaA, u""},
         true},
        {"one second older",
         u"bydate",
         {u"", kDate.c_str(), u"1", kShaA, u""},
         {u"", kLater.c_str(), u"1", kShaB, u""},
         false},
        {"one second newer",
         u"bydate",
         {u"", kLater.c_str(), u"1", kShaA, u""},
         {u"", kDate.c_str(), u"1", kShaB, u""},
         true},
        {"equal dates",
         u"bydate",
         {u"", kDate.c_str(), u"1", kShaA, u""},
         {u"", kDate.c_str(), u"1", kShaB, u""},
         false},
        {"malformed date parts fall back to the checksum",
         u"bydate",
         {u"", u"15.x6.2020 12.00.00 ", u"1", kShaA, u""},
         {u"", u"15.06.99999 12.00.00 ", u"1", kShaB, u""},
         true},
        {"impossible target day counts as oldest",
         u"bydate",
         {u"", kDate.c_str(), u"1", kShaA, u""},
         {u"", u"31.02.2020 12.00.00 ", u"1", kShaA, u""},
         true},
        {"equal size and date trust the date",
         u"bycrc",
         {u"", kDate.c_str(), u"7", kShaA, u""},
         {u"", kDate.c_str(), u"7", kShaB, u""},
         false},
        {"different sizes",
         u"bycrc",
         {u"", kDate.c_str(), u"7", kShaA, u""},
         {u"", kDate.c_str(), u"8", kShaA, u""},
         true},
        {"64-bit sizes",
         u"bycrc",
         {u"", kDate.c_str(), u"4294967297", kShaA, u""},
         {u"", kDate.c_str(), u"1", kShaA, u""},
         true},
        {"checksums equal ignoring case",
         u"bycrc",
         {u"", kDate.c_str(), u"7", kShaA, u""},
         {u"", kLater.c_str(), u"7", std::u16string(64, u'a'), u""},
         false},
        // Two unknown dates prove nothing: the checksums decide.
        {"both dates unknown, checksums differ",
         u"bycrc",
         {u"", u"", u"7", kShaA, u""},
         {u"1.0.0.0", u"", u"7", kShaB, u""},
         true},
        {"both dates unknown, checksums equal",
         u"bycrc",
         {u"", u"", u"7", kShaA, u""},
         {u"1.0.0.0", u"", u"7", kShaA, u""},
         false},
        {"unknown checksum of an unexpanded path",
         u"bycrc",
         {u"", kDate.c_str(), u"7", kShaA, u""},
         {u"", kLater.c_str(), u"7", u"", u"[INSTALLDIR]\\a.dll"},
         true},
        {"unknown checksum of a vanished file",
         u"bycrc",
         {u"", kDate.c_str(), u"7", kShaA, u""},
         {u"", kLater.c_str(), u"7", u"", u"C:\\gone\\a.dll"},
         true},
        {"unknown copy mode", u"copy", {u"", u"", u"", kShaA, u""}, {u"", u"", u"", u"", u""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JxFile source;
        source.copymode = c.mode;
        source.version = c.source.version;
        source.lastwritetime = c.source.date;
        source.size = c.source.size;
        source.sha = c.source.sha;
        JxFile target;
        target.version = c.target.version;
        target.lastwritetime = c.target.date;
        target.size = c.target.size;
        target.sha = c.target.sha;
        target.m_FullPath = c.target.path;
        EXPECT_EQ(source.IsFileDifferentTo(target), c.expected);
    }
}

TEST(FileRecord, CopyModeKinds) {
    const struct {
        const char16_t* mode;
        bool copy;
        bool remove;
    } cases[] = {
        {u"always", true, false}, {u"BYCRC", true, false},          {u"byversion", true, false},
        {u"bydate", true, false}, {u"nooverwrite", true, false},    {u"", false, false},
        {u"Delete", false, true}, {u"deleteonupdate", false, true}, {u"copy", false, false},
    };
    for (const auto& c : cases) {
        JxFile file;
        file.copymode = c.mode;
        EXPECT_EQ(file.IsCopyAction(), c.copy) << jxtext::N(c.mode);
        EXPECT_EQ(file.IsDeleteAction(), c.remove) << jxtext::N(c.mode);
    }
}

TEST(FileRecord, SetFullPathNamesAnUnnamedRecord) {
    JxFile unnamed;
    unnamed.SetFullPath(u"C:\\app\\a.dll");
    EXPECT_EQ(unnamed.name, u"a.dll");
    EXPECT_EQ(unnamed.GetFullPath(), u"C:\\app\\a.dll");

    JxFile bare;
    bare.SetFullPath(u"a.dll");
    EXPECT_EQ(bare.name, u"a.dll");

    JxFile named;
    named.name = u"sub\\a.dll";
    named.SetFullPath(u"C:\\app\\sub\\a.dll");
    EXPECT_EQ(named.name, u"sub\\a.dll");
}

} // namespace
