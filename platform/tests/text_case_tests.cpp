// Case folding and case-insensitive comparison as Windows does it.
#include "jxplat/text.h"

#include <gtest/gtest.h>

using namespace jxtext;

TEST(TextCase, FoldCharTable) {
    struct Row {
        char16_t in;
        char16_t upper;
    };
    const Row rows[] = {
        {u'a', u'A'},     {u'z', u'Z'}, {u'A', u'A'}, {u'0', u'0'}, {u'_', u'_'}, {0x00E9, 0x00C9}, // é
        {0x00FE, 0x00DE},                                                                           // þ
        {0x00FF, 0x0178}, // ÿ -> Ÿ
        {0x00DF, 0x00DF}, // ß stays
        {0x00F7, 0x00F7}, // ÷ stays
        {0x00D7, 0x00D7}, // × stays
        {0x00B5, 0x00B5}, // µ stays
        {0x0101, 0x0100}, // ā
        {0x0131, 0x0131}, // dotless ı stays
        {0x0130, 0x0130}, // İ stays
        {0x0133, 0x0132}, // ĳ
        {0x013A, 0x0139}, // ĺ
        {0x0142, 0x0141}, // ł
        {0x0151, 0x0150}, // ő
        {0x017E, 0x017D}, // ž
        {0x017F, 0x017F}, // long ſ stays
        {0x01C6, 0x01C4}, // dž
        {0x03B1, 0x0391}, // α
        {0x03C2, 0x03A3}, // final ς
        {0x03C3, 0x03A3}, // σ
        {0x03AC, 0x0386}, // ά
        {0x03CE, 0x038F}, // ώ
        {0x0430, 0x0410}, // а
        {0x044F, 0x042F}, // я
        {0x0451, 0x0401}, // ё
        {0x0491, 0x0490}, // ґ
        {0x0561, 0x0531}, // Armenian
        {0x1E03, 0x1E02}, // ḃ
        {0xFF41, 0xFF21}, // fullwidth a
        {0xD800, 0xD800}, // surrogates stay
        {0xFFFF, 0xFFFF},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(int(ToUpperChar(row.in)), int(row.upper)) << std::hex << int(row.in);
        EXPECT_EQ(int(FoldChar(row.in)), int(row.upper)) << std::hex << int(row.in);
    }
}

TEST(TextCase, LowerIsTheInverse) {
    EXPECT_EQ(ToLowerChar(u'A'), u'a');
    EXPECT_EQ(ToLowerChar(u'a'), u'a');
    EXPECT_EQ(int(ToLowerChar(0x0178)), 0x00FF);
    EXPECT_EQ(int(ToLowerChar(0x03A3)), 0x03C3); // Σ -> σ, not ς
    EXPECT_EQ(int(ToLowerChar(0x0401)), 0x0451);
    EXPECT_EQ(int(ToLowerChar(0x0130)), 0x0130);
    for (unsigned c = 0; c < 0x10000; ++c) {
        const auto ch = static_cast<char16_t>(c);
        const char16_t upper = ToUpperChar(ch);
        ASSERT_EQ(FoldChar(ch), upper) << std::hex << c;
        ASSERT_EQ(ToUpperChar(upper), upper) << std::hex << c; // folding is idempotent
        ASSERT_EQ(ToUpperChar(ToLowerChar(upper)), upper) << std::hex << c;
        if (upper != ch) {
            ASSERT_NE(ToLowerChar(upper), upper) << std::hex << c;
        }
    }
    EXPECT_EQ(ToUpper(u"Grüße ÿ"), u"GRÜßE Ÿ");
    EXPECT_EQ(ToLower(u"GRÜßE Ÿ ПРИВЕТ"), u"grüße ÿ привет");
    EXPECT_EQ(Fold(u"HKey_Local_Machine\\Software"), u"HKEY_LOCAL_MACHINE\\SOFTWARE");
}

TEST(TextCase, CompareTable) {
    struct Row {
        std::u16string a;
        std::u16string b;
        int sign; // of CompareNoCase(a, b)
    };
    const Row rows[] = {
        {u"HKEY_LOCAL_MACHINE", u"hkey_local_machine", 0},
        {u"Program Files (x86)", u"PROGRAM FILES (X86)", 0},
        {u"", u"", 0},
        {u"straße", u"STRAßE", 0},
        {u"Straße", u"STRASSE", 1}, // ß is no "SS": 0xDF > 'S'
        {u"ÿ", u"Ÿ", 0},
        {u"é", u"É", 0},
        {u"i", u"I", 0},
        {u"ı", u"I", 1}, // dotless i is not I
        {u"İ", u"i", 1},
        {u"σς", u"ΣΣ", 0},
        {u"άλφα", u"ΆΛΦΑ", 0},
        {u"привет", u"ПРИВЕТ", 0},
        {u"ёлка", u"ЁЛКА", 0},
        {u"ĳ", u"Ĳ", 0},
        {u"žluťoučký", u"ŽLUŤOUČKÝ", 0},
        {u"µ", u"Μ", -1}, // micro sign is not Greek Mu
        {u"ａｂｃ", u"ＡＢＣ", 0},
        {u"a", u"b", -1},
        {u"B", u"a", 1},
        {u"abc", u"ABD", -1},
        {u"ab", u"ABC", -1},
        {u"ABC", u"ab", 1},
        {u"_", u"a", 1}, // compared upper-cased: '_' (0x5F) > 'A' (0x41)
        {u"[", u"z", 1},
        {std::u16string(u"a\0b", 3), std::u16string(u"A\0B", 3), 0},
        {std::u16string(u"a\0b", 3), u"A", 1},
    };
    for (const Row& row : rows) {
        const int result = CompareNoCase(row.a, row.b);
        const int sign = result < 0 ? -1 : result > 0 ? 1 : 0;
        EXPECT_EQ(sign, row.sign) << N(row.a) << " vs " << N(row.b);
        const int reverse = CompareNoCase(row.b, row.a);
        EXPECT_EQ(reverse < 0 ? -1 : reverse > 0 ? 1 : 0, -row.sign) << N(row.b) << " vs " << N(row.a);
        EXPECT_EQ(EqualsNoCase(row.a, row.b), row.sign == 0) << N(row.a) << " vs " << N(row.b);
    }
}

TEST(TextCase, StartsEndsFind) {
    EXPECT_TRUE(StartsWithNoCase(u"HKEY_LOCAL_MACHINE\\Software", u"hkey_local_machine\\"));
    EXPECT_TRUE(StartsWithNoCase(u"abc", u""));
    EXPECT_FALSE(StartsWithNoCase(u"ab", u"abc"));
    EXPECT_TRUE(EndsWithNoCase(u"C:\\Setup.EXE", u".exe"));
    EXPECT_FALSE(EndsWithNoCase(u"exe", u".exe"));
    EXPECT_TRUE(EndsWithNoCase(u"x", u""));

    EXPECT_EQ(FindNoCase(u"C:\\Program Files\\App", u"program"), 3u);
    EXPECT_EQ(FindNoCase(u"aAaA", u"AA", 1), 1u);
    EXPECT_EQ(FindNoCase(u"aAaA", u"AA", 3), std::u16string_view::npos);
    EXPECT_EQ(FindNoCase(u"ПРИВЕТ мир", u"вет"), 3u);
    EXPECT_EQ(FindNoCase(u"abc", u"abcd"), std::u16string_view::npos);
    EXPECT_EQ(FindNoCase(u"abc", u""), 0u);
    EXPECT_EQ(FindNoCase(u"abc", u"", 3), 3u);
    EXPECT_EQ(FindNoCase(u"abc", u"", 4), std::u16string_view::npos);
    EXPECT_EQ(FindNoCase(u"abc", u"c", 10), std::u16string_view::npos);
}
