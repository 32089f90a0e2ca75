// Version values from text, back to text, and their order.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "jxbase/FileVer64.h"
#include "jxplat/text.h"

namespace {

ULONGLONG Pack(ULONGLONG a, ULONGLONG b, ULONGLONG c, ULONGLONG d) {
    return a << 48 | b << 32 | c << 16 | d;
}

TEST(FileVer64Parse, Table) {
    const struct {
        const char16_t* text;
        bool result;
        ULONGLONG value;
    } cases[] = {
        {u"1.2.3.4", true, Pack(1, 2, 3, 4)},
        {u"Version 5, 1, 0, 27", true, Pack(5, 1, 0, 27)},
        {u"7.1", true, Pack(7, 1, 0, 0)},
        {u"1..2", true, Pack(1, 0, 0, 0)}, // an empty part ends the parse
        {u"10.0.19041.1", true, (10ull << 48) | (19041ull << 16) | 1},
        {u"1.2.70000.4", true, Pack(1, 2, 4464, 4)}, // cut to 16 bits
        {u"65535.65535.65535.65535", true, ~0ull},
        {u"v.2.3", true, Pack(2, 3, 0, 0)}, // everything before the first digit goes
        {u".5", true, Pack(5, 0, 0, 0)},
        {u"1.2.3.4.5", true, Pack(1, 2, 3, 4)},
        {u"3.1-beta.2", true, Pack(3, 1, 0, 0)}, // ends before the first other character
        {u" 1 . 2 ,\t3", true, Pack(1, 2, 3, 0)},
        {u"4.", true, Pack(4, 0, 0, 0)},
        {u"0.0.0.0", false, 0},
        {u"0", false, 0},
        {u"", false, 0},
        {u"no digits", false, 0},
        {u"...", false, 0},
        // an overlong run accumulates modulo 2^32: 123456789012345678901234567890 % 2^32 = 1312754386,
        // whose low 16 bits are 2770
        {u"123456789012345678901234567890.1", true, Pack(2770, 1, 0, 0)},
        {u"4294967297.65537", true, Pack(1, 1, 0, 0)}, // 2^32 + 1 and 2^16 + 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(jxtext::N(c.text));
        FileVer64 version(0x1234); // the value is set whatever the result
        EXPECT_EQ(version.Parse(c.text), c.result);
        EXPECT_EQ(version.GetValue(), c.value);
    }
}

TEST(FileVer64Parse, PartsAreZeroedAndCounted) {
    DWORD parts[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_FALSE(ParseVersionParts(u"none", parts, 6));
    EXPECT_EQ(std::vector<DWORD>(parts, parts + 6), std::vector<DWORD>(6, 0));

    EXPECT_TRUE(ParseVersionParts(u"1.2.3.4.5.6.7", parts, 6));
    EXPECT_EQ(std::vector<DWORD>(parts, parts + 6), (std::vector<DWORD>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(ParseVersionParts(u"70000.9", parts, 2));
    EXPECT_EQ(parts[0], 70000u) << "the parser keeps 32 bits; Parse cuts to 16";
    EXPECT_EQ(parts[1], 9u);
    EXPECT_TRUE(ParseVersionParts(u"0", parts, 4)) << "a digit is enough, even when every part is 0";
}

TEST(FileVer64Text, ToStringRoundTrips) {
    for (const char16_t* text : {u"10.0.19041.1", u"65535.65535.65535.65535", u"0.0.0.0", u"1.0.0.20"}) {
        FileVer64 version;
        version.Parse(text);
        EXPECT_EQ(version.ToString(), text);
    }
    FileVer64 parts(1, 2, 3, 4);
    EXPECT_EQ(parts.GetValue(), Pack(1, 2, 3, 4));
    EXPECT_EQ(parts.Major() * 1000 + parts.Minor() * 100 + parts.Build() * 10 + parts.Revision(), 1234);
}

TEST(FileVer64Compare, AsNumbers) {
    auto v = [](const char16_t* text) {
        FileVer64 version;
        version.Parse(text);
        return version;
    };
    EXPECT_GT(v(u"1.10.0.0"), v(u"1.9.9.9"));
    EXPECT_GT(v(u"2.0.0.0"), v(u"1.65535.65535.65535"));
    EXPECT_GT(v(u"1.0.0.1"), v(u"1.0.0.0"));
    EXPECT_LT(v(u"0.0.0.1"), v(u"0.0.1.0"));
    EXPECT_EQ(v(u"1.2"), v(u"1.2.0.0"));
    EXPECT_NE(v(u"1.2"), v(u"1.2.0.1"));
    EXPECT_GT(v(u"65535.0.0.0"), v(u"32767.65535.65535.65535")) << "unsigned: the top bit is no sign";

    std::vector<FileVer64> list = {v(u"3.0"), v(u"1.10"), v(u"1.9.9.9"), FileVer64(), v(u"1.9.10")};
    std::sort(list.begin(), list.end());
    std::vector<std::u16string> texts;
    for (const FileVer64& version : list)
        texts.push_back(version.ToString());
    EXPECT_EQ(texts,
              (std::vector<std::u16string>{u"0.0.0.0", u"1.9.9.9", u"1.9.10.0", u"1.10.0.0", u"3.0.0.0"}));
}

TEST(SplitVersionNumbers, StrictPartsWithoutThrowing) {
    const struct {
        const char16_t* text;
        bool result;
        std::vector<WORD> parts;
    } cases[] = {
        {u"1.2.3.4", true, {1, 2, 3, 4}},
        {u"65535", true, {65535}},
        {u"007.0", true, {7, 0}},
        {u"1..2", false, {1}},
        {u"1.2.", false, {1, 2}},
        {u"1.x", false, {1}},
        {u"1.65536", false, {1}},
        {u"99999999999999999999", false, {}},
        {u" 1", false, {}},
        {u"-1", false, {}},
        {u"", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(jxtext::N(c.text));
        std::vector<WORD> parts = {9, 9};
        EXPECT_EQ(SplitVersionNumbers(c.text, parts), c.result);
        EXPECT_EQ(parts, c.parts);
    }
}

} // namespace
