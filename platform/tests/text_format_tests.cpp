// The formatter against the Windows wide printf (_vsnwprintf) semantics.
#include "jxplat/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdint>
#include <string>

using jxtext::Format;
using jxtext::N;

namespace {

struct FormatRow {
    int line;
    std::string expected; // UTF-8 of the expected UTF-16 result
    std::u16string actual;
};

#define ROW(expected, ...)                                                                                   \
    FormatRow {                                                                                              \
        __LINE__, expected, Format(__VA_ARGS__)                                                              \
    }

size_t ToBuffer(char16_t* buffer, size_t count, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const size_t n = jxtext::FormatToBuffer(buffer, count, format, args);
    va_end(args);
    return n;
}

std::u16string ViaAppendFormatV(std::u16string out, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    jxtext::AppendFormatV(out, format, args);
    va_end(args);
    return out;
}

} // namespace

TEST(TextFormat, WindowsSemanticsTable) {
    const char16_t* const nullWide = nullptr;
    const char* const nullNarrow = nullptr;
    const FormatRow rows[] = {
        // literals and percent
        ROW("plain text", u"plain text"),
        ROW("", u""),
        ROW("100%", u"100%%"),
        ROW("%%", u"%%%%"),
        // signed integers: 32-bit, flags, width, precision
        ROW("0", u"%d", 0),
        ROW("-123", u"%d", -123),
        ROW("42", u"%i", 42),
        ROW("-2147483648", u"%d", INT_MIN),
        ROW("   42|", u"%5d|", 42),
        ROW("42   |", u"%-5d|", 42),
        ROW("00042", u"%05d", 42),
        ROW("-0042", u"%05d", -42),
        ROW("-42  |", u"%-05d|", -42),
        ROW("+5", u"%+d", 5),
        ROW("-5", u"%+d", -5),
        ROW(" 5", u"% d", 5),
        ROW("+5", u"%+ d", 5),
        ROW("+0005", u"%+05d", 5),
        ROW("007", u"%.3d", 7),
        ROW("-007", u"%.3d", -7),
        ROW("", u"%.0d", 0),
        ROW("  |", u"%2.0d|", 0),
        ROW("     007", u"%8.3d", 7),
        ROW("     007", u"%08.3d", 7), // a precision cancels the '0' flag
        ROW("   42|", u"%*d|", 5, 42),
        ROW("42   |", u"%*d|", -5, 42), // negative width: left-aligned
        ROW("00042", u"%.*d", 5, 42),
        ROW("42", u"%.*d", -1, 42), // negative precision: none
        // unsigned, hex, octal
        ROW("4294967295", u"%u", -1),
        ROW("ff FF", u"%x %X", 255, 255),
        ROW("0xff", u"%#x", 255),
        ROW("0XFF", u"%#X", 255),
        ROW("0", u"%#x", 0), // no prefix for zero
        ROW("0x00ff", u"%#06x", 255),
        ROW("  0xff", u"%#6x", 255),
        ROW("10", u"%o", 8),
        ROW("010", u"%#o", 8),
        ROW("0", u"%#o", 0),
        ROW("7", u"%+u", 7), // no sign on unsigned conversions
        // `l` is 32-bit (LLP64), h truncates to 16 bits, hh to 8
        ROW("4294967295", u"%lu", 0xFFFFFFFFu),
        ROW("-1", u"%ld", -1),
        ROW("deadbeef", u"%lx", 0xDEADBEEFu),
        ROW("4464", u"%hd", 70000),
        ROW("65535", u"%hu", -1),
        ROW("2345", u"%hx", 0x12345),
        ROW("-1", u"%hhd", 255),
        ROW("7", u"%I32d", 7),
        // 64-bit and pointer-sized
        ROW("-9223372036854775808", u"%I64d", INT64_MIN),
        ROW("18446744073709551615", u"%I64u", UINT64_MAX),
        ROW("123456789abcdef0", u"%I64x", 0x123456789ABCDEF0ull),
        ROW("9223372036854775807", u"%lld", INT64_MAX),
        ROW("18446744073709551615", u"%llu", UINT64_MAX),
        ROW("FFFFFFFFFFFFFFFF", u"%llX", UINT64_MAX),
        ROW("-9223372036854775808", u"%jd", INT64_MIN),
        ROW("18446744073709551615", u"%Iu", SIZE_MAX),
        ROW("-1", u"%Id", static_cast<ptrdiff_t>(-1)),
        ROW("12345678901", u"%zu", static_cast<size_t>(12345678901ull)),
        ROW("-12345678901", u"%zd", static_cast<ptrdiff_t>(-12345678901ll)),
        ROW("ffffffffff", u"%Ix", static_cast<size_t>(0xFFFFFFFFFFull)),
        ROW("1 2 3", u"%I64d %d %lld", 1ll, 2, 3ll), // arguments stay in step after 64-bit ones
        // pointers: upper-case hex, zero-padded to the pointer's width
        ROW("0000000000001234", u"%p", reinterpret_cast<void*>(0x1234)),
        ROW("0000000000000000", u"%p", nullptr),
        ROW("00000000ABCDEF01", u"%p", reinterpret_cast<void*>(0xABCDEF01)),
        ROW("[  000000000000BEEF]", u"[%18p]", reinterpret_cast<void*>(0xBEEF)),
        // wide strings
        ROW("wide", u"%s", u"wide"),
        ROW("wide", u"%ls", u"wide"),
        ROW("wide", u"%ws", u"wide"),
        ROW("wide", u"%lS", u"wide"),
        ROW("(null)", u"%s", nullWide),
        ROW("(nu", u"%.3s", nullWide),
        ROW("abc", u"%.3s", u"abcdef"),
        ROW("ab", u"%.3s", u"ab"),
        ROW("   ab|", u"%5s|", u"ab"),
        ROW("ab   |", u"%-5s|", u"ab"),
        ROW("000ab", u"%05s", u"ab"), // the Windows runtime pads strings with zeros too
        ROW("  abc|", u"%5.3s|", u"abcdef"),
        ROW("ab", u"%.*s", 2, u"abc"),
        ROW("Grüße ✓ 𝄞", u"%s", u"Grüße ✓ 𝄞"),
        // narrow strings are UTF-8
        ROW("narrow", u"%S", "narrow"),
        ROW("héllo ✓ 𝄞", u"%hs", "héllo ✓ 𝄞"),
        ROW("héllo", u"%hS", "héllo"),
        ROW("(null)", u"%hs", nullNarrow),
        ROW("(null)", u"%S", nullNarrow),
        ROW("h", u"%.2hs", "héllo"), // a byte precision never cuts a sequence in two
        ROW("hé", u"%.3hs", "héllo"),
        ROW("  ✓|", u"%3hs|", "✓"), // the width counts UTF-16 units
        ROW("\xEF\xBF\xBD", u"%hs", "\xC3"),
        // characters
        ROW("A", u"%c", u'A'),
        ROW("☺", u"%c", 0x263A),
        ROW("z", u"%C", 'z'),
        ROW("q", u"%hc", 'q'),
        ROW("ß", u"%lc", u'ß'),
        ROW("ß", u"%wc", u'ß'),
        ROW("  A|", u"%3c|", u'A'),
        ROW("A  |", u"%-3c|", u'A'),
        // floats through the host
        ROW("1.500000", u"%f", 1.5),
        ROW("3.14", u"%.2f", 3.14159),
        ROW("     3.142|", u"%10.3f|", 3.14159),
        ROW("2.5       |", u"%-10.1f|", 2.5),
        ROW("+2.5", u"%+.1f", 2.5),
        ROW("0002.50", u"%07.2f", 2.5),
        ROW("1.234568e+04", u"%e", 12345.678),
        ROW("1.23E+04", u"%.2E", 12345.678),
        ROW("0.0001", u"%g", 0.0001),
        ROW("1E-10", u"%G", 1e-10),
        ROW("0x1.0000000000000p+0", u"%a", 1.0),
        ROW("0x1.8p+1", u"%.1a", 3.0),
        ROW("2.50", u"%.*f", 2, 2.5),
        ROW("1.5 7", u"%.1Lf %d", 1.5L, 7),
        // %n is refused: nothing printed, the argument is consumed
        ROW("ab|5", u"a%nb|%d", static_cast<int*>(nullptr), 5),
        // unknown conversions and a format ending inside a conversion are copied as they are
        ROW("%k 5", u"%k %d", 5),
        ROW("%-5y 5", u"%-5y %d", 5),
        ROW("abc%", u"abc%"),
        ROW("abc%-5", u"abc%-5"),
        ROW("abc%l", u"abc%l"),
        // mixed
        ROW("key=3 (x) 0x1f", u"%s=%d (%hs) %#x", u"key", 3, "x", 31),
    };
    for (const FormatRow& row : rows) {
        EXPECT_EQ(N(row.actual), row.expected) << "row at line " << row.line;
    }
}

TEST(TextFormat, PercentNNeverWrites) {
    int target = 12345;
    EXPECT_EQ(N(Format(u"abc%n%d", &target, 9)), "abc9");
    EXPECT_EQ(target, 12345);
    long long wide = 7;
    EXPECT_EQ(N(Format(u"x%lln%hny", &wide, &target)), "xy");
    EXPECT_EQ(wide, 7);
    EXPECT_EQ(target, 12345);
}

TEST(TextFormat, EmbeddedZeroCharacterIsKept) {
    const std::u16string text = Format(u"a%cb", 0);
    EXPECT_EQ(text, std::u16string(u"a\0b", 3));
}

TEST(TextFormat, LongOutput) {
    const std::u16string long1000(1000, u'x');
    const std::u16string text = Format(u"[%s][%300d][%-400.2f]", long1000.c_str(), 1, 1e300);
    ASSERT_EQ(text.size(), 2 + 1000 + 2 + 300 + 2 + 400);
    EXPECT_EQ(text.substr(0, 3), u"[xx");
    EXPECT_EQ(text.substr(1001, 3), u"][ ");
    EXPECT_EQ(text.substr(1302, 3), u"1][");
    EXPECT_EQ(text.substr(1304, 3), u"[10");
    EXPECT_EQ(text.back(), u']');
    // A float longer than the formatter's stack buffer.
    char expected[400];
    std::snprintf(expected, sizeof expected, "%f", 1e200);
    EXPECT_EQ(N(Format(u"%f", 1e200)), expected);
    EXPECT_GT(std::string(expected).size(), 200u);
}

TEST(TextFormat, FormatToBufferCutsAndTerminates) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');

    EXPECT_EQ(ToBuffer(buffer, 6, u"%s", u"abcdefgh"), 5u);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    EXPECT_EQ(buffer[6], u'#'); // nothing written past count

    EXPECT_EQ(ToBuffer(buffer, 6, u"%d", 12345), 5u); // exactly fits
    EXPECT_EQ(std::u16string(buffer), u"12345");

    EXPECT_EQ(ToBuffer(buffer, 8, u"%d-%s", 7, u"x"), 3u);
    EXPECT_EQ(std::u16string(buffer), u"7-x");

    EXPECT_EQ(ToBuffer(buffer, 1, u"%s", u"abc"), 0u);
    EXPECT_EQ(buffer[0], 0);

    EXPECT_EQ(ToBuffer(buffer, 8, u""), 0u);
    EXPECT_EQ(buffer[0], 0);
}

TEST(TextFormat, AppendFormatKeepsWhatIsThere) {
    EXPECT_EQ(ViaAppendFormatV(u"line: ", u"%d %s", 5, u"ok"), u"line: 5 ok");
    std::u16string out = u"a";
    jxtext::AppendFormat(out, u"%hs", "b");
    jxtext::AppendFormat(out, u"%c", u'c');
    EXPECT_EQ(out, u"abc");
}

TEST(TextFormat, NullFormatGivesEmptyText) {
    EXPECT_EQ(Format(nullptr), u"");
}
