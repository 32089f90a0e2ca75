// Number parsing as wcstol/wcstoul do, strict parsing, printing; split and trim.
#include "jxplat/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

using namespace jxtext;

TEST(TextNumber, ParseInt64Table) {
    struct Row {
        std::u16string text;
        int base;
        long long value;
        size_t used;
    };
    const Row rows[] = {
        {u"123", 10, 123, 3},
        {u"  -42xyz", 10, -42, 5},
        {u"\t\r\n +7", 10, 7, 6},
        {u"+", 10, 0, 0},
        {u"-", 10, 0, 0},
        {u"- 5", 10, 0, 0}, // no blanks after the sign
        {u"", 10, 0, 0},
        {u"   ", 10, 0, 0},
        {u"abc", 10, 0, 0},
        {u"007", 10, 7, 3},
        {u"0x1F", 0, 31, 4},
        {u"0X1f", 16, 31, 4},
        {u"1F", 16, 31, 2},
        {u"-0x10", 0, -16, 5},
        {u"017", 0, 15, 3},
        {u"08", 0, 0, 1}, // octal stops at 8
        {u"0", 0, 0, 1},
        {u"9", 0, 9, 1},
        {u"0x", 16, 0, 0}, // "0x" without hex digits is no number (Windows runtime)
        {u"0xg", 0, 0, 0},
        {u"z", 36, 35, 1},
        {u"101", 2, 5, 3},
        {u"12", 2, 1, 1},
        {u"12", 1, 0, 0}, // bad base
        {u"12", 37, 0, 0},
        {u"9223372036854775807", 10, INT64_MAX, 19},
        {u"9223372036854775808", 10, INT64_MAX, 19},
        {u"-9223372036854775808", 10, INT64_MIN, 20},
        {u"-9223372036854775809", 10, INT64_MIN, 20},
        {u"99999999999999999999999999", 10, INT64_MAX, 26},
        {u"-99999999999999999999999999", 10, INT64_MIN, 27},
        {u"0xFFFFFFFFFFFFFFFF", 16, INT64_MAX, 18},
        {u"١٢", 10, 0, 0}, // only ASCII digits
    };
    for (const Row& row : rows) {
        size_t used = 999;
        EXPECT_EQ(ParseInt64(row.text, row.base, &used), row.value) << N(row.text) << " base " << row.base;
        EXPECT_EQ(used, row.used) << N(row.text) << " base " << row.base;
    }
    EXPECT_EQ(ParseInt64(u"77"), 77); // default base, no used pointer
}

TEST(TextNumber, Parse32AndUnsignedTable) {
    struct Row {
        std::u16string text;
        int base;
        int32_t int32;
        uint32_t uint32;
        unsigned long long uint64;
        size_t used;
    };
    const Row rows[] = {
        {u"12abc", 10, 12, 12, 12, 2},
        {u"-1", 10, -1, 0xFFFFFFFFu, UINT64_MAX, 2},
        {u"-2", 10, -2, 0xFFFFFFFEu, UINT64_MAX - 1, 2},
        {u"2147483647", 10, INT32_MAX, 2147483647u, 2147483647ull, 10},
        {u"2147483648", 10, INT32_MAX, 2147483648u, 2147483648ull, 10},
        {u"-2147483648", 10, INT32_MIN, 2147483648u, 0xFFFFFFFF80000000ull, 11},
        {u"-2147483649", 10, INT32_MIN, 2147483647u, 0xFFFFFFFF7FFFFFFFull, 11},
        {u"4294967295", 10, INT32_MAX, 0xFFFFFFFFu, 4294967295ull, 10},
        {u"4294967296", 10, INT32_MAX, 0xFFFFFFFFu, 4294967296ull, 10},
        {u"-4294967295", 10, INT32_MIN, 1u, 0xFFFFFFFF00000001ull, 11},
        {u"-4294967296", 10, INT32_MIN, 0xFFFFFFFFu, 0xFFFFFFFF00000000ull, 11},
        {u"0xFFFFFFFF", 0, INT32_MAX, 0xFFFFFFFFu, 0xFFFFFFFFull, 10},
        {u"80000000", 16, INT32_MAX, 0x80000000u, 0x80000000ull, 8},
        {u"18446744073709551615", 10, INT32_MAX, 0xFFFFFFFFu, UINT64_MAX, 20},
        {u"18446744073709551616", 10, INT32_MAX, 0xFFFFFFFFu, UINT64_MAX, 20},
        {u"-18446744073709551616", 10, INT32_MIN, 0xFFFFFFFFu, UINT64_MAX, 21},
        {u"x", 10, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        size_t used = 999;
        EXPECT_EQ(ParseInt32(row.text, row.base, &used), row.int32) << N(row.text);
        EXPECT_EQ(used, row.used) << N(row.text);
        used = 999;
        EXPECT_EQ(ParseUInt32(row.text, row.base, &used), row.uint32) << N(row.text);
        EXPECT_EQ(used, row.used) << N(row.text);
        used = 999;
        EXPECT_EQ(ParseUInt64(row.text, row.base, &used), row.uint64) << N(row.text);
        EXPECT_EQ(used, row.used) << N(row.text);
    }
}

TEST(TextNumber, TryParseIntIsStrict) {
    struct Row {
        std::u16string text;
        int base;
        std::optional<long long> value;
    };
    const Row rows[] = {
        {u"42", 10, 42},
        {u" 42 ", 10, 42},
        {u"\t-7\r\n", 10, -7},
        {u"+0", 10, 0},
        {u"-0x10", 0, -16},
        {u"ff", 16, 255},
        {u"0xff", 16, 255},
        {u"-9223372036854775808", 10, INT64_MIN},
        {u"9223372036854775807", 10, INT64_MAX},
        {u"9223372036854775808", 10, std::nullopt},
        {u"-9223372036854775809", 10, std::nullopt},
        {u"99999999999999999999999", 10, std::nullopt},
        {u"42a", 10, std::nullopt},
        {u"1 2", 10, std::nullopt},
        {u"", 10, std::nullopt},
        {u"  ", 10, std::nullopt},
        {u"+", 10, std::nullopt},
        {u"0x", 16, std::nullopt},
        {u"08", 0, std::nullopt},
        {u"1.5", 10, std::nullopt},
        {u"12", 99, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TryParseInt(row.text, row.base), row.value) << N(row.text) << " base " << row.base;
    }
}

TEST(TextNumber, ToText) {
    EXPECT_EQ(ToText(0), u"0");
    EXPECT_EQ(ToText(-1), u"-1");
    EXPECT_EQ(ToText(4294967295u), u"4294967295");
    EXPECT_EQ(ToText(static_cast<long long>(INT64_MIN)), u"-9223372036854775808");
    EXPECT_EQ(ToText(static_cast<unsigned long long>(UINT64_MAX)), u"18446744073709551615");
    EXPECT_EQ(ParseInt64(ToText(static_cast<long long>(INT64_MIN))), INT64_MIN);
}

TEST(TextSplit, SplitKeepsEmptyParts) {
    using Parts = std::vector<std::u16string>;
    EXPECT_EQ(Split(u"a,b,c", u','), (Parts{u"a", u"b", u"c"}));
    EXPECT_EQ(Split(u"a,,b", u','), (Parts{u"a", u"", u"b"}));
    EXPECT_EQ(Split(u",a,", u','), (Parts{u"", u"a", u""}));
    EXPECT_EQ(Split(u"abc", u','), (Parts{u"abc"}));
    EXPECT_EQ(Split(u"", u','), (Parts{u""}));
    EXPECT_EQ(Split(u",", u','), (Parts{u"", u""}));
    EXPECT_EQ(Split(std::u16string(u"a\0b", 3), u'\0'), (Parts{u"a", u"b"}));
}

TEST(TextSplit, Trim) {
    EXPECT_EQ(Trim(u"  a b \t\r\n"), u"a b");
    EXPECT_EQ(Trim(u"ab"), u"ab");
    EXPECT_EQ(Trim(u""), u"");
    EXPECT_EQ(Trim(u" \t\r\n "), u"");
    EXPECT_EQ(Trim(u"\"quoted\"", u"\""), u"quoted");
    EXPECT_EQ(Trim(u"xxaxx", u"x"), u"a");
    EXPECT_EQ(Trim(u"  a  ", u""), u"  a  ");
}

TEST(TextWildcard, MatchesByTheWindowsRules) {
    struct Row {
        const char16_t* name;
        const char16_t* pattern;
        bool matches;
    } rows[] = {
        {u"setup.exe", u"*.exe", true},    {u"SETUP.EXE", u"setup.*", true},
        {u"setup.exe", u"*.dll", false},   {u"a.wpk", u"?.wpk", true},
        {u"ab.wpk", u"?.wpk", false},      {u"$CONFIG.wpk", u"$*.wpk", true},
        {u"x.wpk.jxtmp", u"*.wpk", false}, {u"", u"*", true},
        {u"abc", u"a*b*c*", true},         {u"abc", u"", false},
        {u"aXbXc", u"a*c", true},          {u"{1}.wpk", u"{*}.wpk", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(jxtext::MatchesWildcard(row.name, row.pattern), row.matches)
            << jxtext::N(row.name) << " ~ " << jxtext::N(row.pattern);
}
