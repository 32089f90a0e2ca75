// UTF-8 <-> UTF-16 conversion: round trips, surrogate pairs, ill-formed input.
#include "jxplat/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using jxtext::Utf16ToUtf8;
using jxtext::Utf8ToUtf16;

namespace {

// Reference encoders written independently of the code under test.
void RefAppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
}

void RefAppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr char16_t R = 0xFFFD;

} // namespace

TEST(TextUtf, ValidTable) {
    struct Row {
        std::string utf8;
        std::u16string utf16;
    };
    const Row rows[] = {
        {"", u""},
        {"A", u"A"},
        {"\x7F", u"\x7F"},
        {"\xC2\x80", u"\x0080"},
        {"é", u"\x00E9"},
        {"\xDF\xBF", u"\x07FF"},
        {"\xE0\xA0\x80", u"\x0800"},
        {"€", u"\x20AC"},
        {"\xED\x9F\xBF", u"\xD7FF"},
        {"\xEE\x80\x80", u"\xE000"},
        {"\xEF\xBF\xBD", u"\xFFFD"},
        {"\xEF\xBF\xBF", u"\xFFFF"},
        {"𝄞", std::u16string{char16_t(0xD834), char16_t(0xDD1E)}},
        {"\xF0\x90\x80\x80", std::u16string{char16_t(0xD800), char16_t(0xDC00)}},
        {"\xF4\x8F\xBF\xBF", std::u16string{char16_t(0xDBFF), char16_t(0xDFFF)}},
        {std::string("a\0b\0", 4), std::u16string(u"a\0b\0", 4)}, // embedded zeros are kept
        {"Grüße, Привет, 日本語 😀", u"Grüße, Привет, 日本語 😀"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Utf8ToUtf16(row.utf8), row.utf16) << "utf8: " << row.utf8;
        EXPECT_EQ(Utf16ToUtf8(row.utf16), row.utf8) << "utf8: " << row.utf8;
    }
}

TEST(TextUtf, InvalidUtf8BecomesReplacement) {
    struct Row {
        const char* what;
        std::string utf8;
        std::u16string utf16;
    };
    const Row rows[] = {
        {"continuation as lead", "\x80", {R}},
        {"continuation as lead", "\xBF", {R}},
        {"continuation inside ASCII", "a\x80\x80z", {u'a', R, R, u'z'}},
        {"overlong NUL", "\xC0\x80", {R, R}},
        {"overlong 2-byte", "\xC1\xBF", {R, R}},
        {"overlong 3-byte", "\xE0\x80\xAF", {R, R, R}},
        {"overlong 4-byte", "\xF0\x80\x80\xAF", {R, R, R, R}},
        {"truncated 2-byte at end", "a\xC3", {u'a', R}},
        {"truncated 3-byte at end", "\xE2\x82", {R}},
        {"truncated 3-byte before ASCII",
         "\xE2\x82"
         "A",
         {R, u'A'}},
        {"truncated 4-byte at end", "\xF0\x9F\x98", {R}},
        {"truncated 4-byte before valid", "\xF0\x9F\xC3\xA9", {R, u'é'}},
        {"encoded high surrogate", "\xED\xA0\x80", {R, R, R}},
        {"encoded low surrogate", "\xED\xBF\xBF", {R, R, R}},
        {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", {R, R, R, R, R, R}},
        {"above U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
        {"lead F5", "\xF5\x80\x80\x80", {R, R, R, R}},
        {"lead FE FF", "\xFE\xFF", {R, R}},
        {"lead without continuation",
         "\xC3"
         "A",
         {R, u'A'}},
        {"embedded zero after broken lead", std::string("\xE2\0x", 3), std::u16string{R, 0, u'x'}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Utf8ToUtf16(row.utf8), row.utf16) << row.what;
    }
}

TEST(TextUtf, LoneSurrogatesInUtf16BecomeReplacement) {
    const std::string r = "\xEF\xBF\xBD";
    struct Row {
        std::u16string utf16;
        std::string utf8;
    };
    const Row rows[] = {
        {{char16_t(0xD800)}, r},
        {{char16_t(0xDC00)}, r},
        {{u'a', char16_t(0xD83D)}, "a" + r},
        {{char16_t(0xD83D), u'A'}, r + "A"},
        {{char16_t(0xDC00), char16_t(0xD800)}, r + r},
        {{char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)}, r + "\xF0\x90\x80\x80"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Utf16ToUtf8(row.utf16), row.utf8);
    }
}

TEST(TextUtf, RandomValidTextRoundTrips) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> lengths(0, 40);
    std::uniform_int_distribution<int> planes(0, 3);
    for (int round = 0; round < 2000; ++round) {
        std::u16string utf16;
        std::string utf8;
        const int length = lengths(random);
        for (int i = 0; i < length; ++i) {
            char32_t cp;
            switch (planes(random)) {
            case 0:
                cp = std::uniform_int_distribution<char32_t>(0, 0x7F)(random);
                break;
            case 1:
                cp = std::uniform_int_distribution<char32_t>(0x80, 0x7FF)(random);
                break;
            case 2:
                cp = std::uniform_int_distribution<char32_t>(0x800, 0xFFFF)(random);
                break;
            default:
                cp = std::uniform_int_distribution<char32_t>(0x10000, 0x10FFFF)(random);
                break;
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp -= 0x1000; // no surrogate code points in valid text
            }
            RefAppendUtf16(utf16, cp);
            RefAppendUtf8(utf8, cp);
        }
        ASSERT_EQ(Utf8ToUtf16(utf8), utf16);
        ASSERT_EQ(Utf16ToUtf8(utf16), utf8);
    }
}

TEST(TextUtf, RandomBytesNeverCrashAndGiveValidText) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> bytes(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string junk(static_cast<size_t>(bytes(random) % 24), '\0');
        for (char& c : junk) {
            c = static_cast<char>(bytes(random));
        }
        const std::u16string text = Utf8ToUtf16(junk);
        // The result is well-formed UTF-16: converting it back and forth changes nothing.
        ASSERT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    }
}

TEST(TextUtf, AppendFormsAndHelpers) {
    std::u16string wide = u"x";
    jxtext::AppendUtf8ToUtf16(wide, "é");
    EXPECT_EQ(wide, u"xé");
    std::string narrow = "y";
    jxtext::AppendUtf16ToUtf8(narrow, u"€");
    EXPECT_EQ(narrow, "y€");
    EXPECT_EQ(jxtext::W("ab"), u"ab");
    EXPECT_EQ(jxtext::N(u"ab"), "ab");
    EXPECT_EQ(jxtext::Length(nullptr), 0u);
    EXPECT_EQ(jxtext::Length(u""), 0u);
    EXPECT_EQ(jxtext::Length(u"abc"), 3u);
}
