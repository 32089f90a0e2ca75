#include <gtest/gtest.h>

#include "jxbase/textconv.h"

TEST(TextConversion, WholeLengthConversionsKeepEmbeddedZeros) {
    const std::string bytes("a\0\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", 11);
    const std::u16string text(u"a\0\u00FC\u20AC\U0001F600", 6);
    EXPECT_EQ(Utf8ToWide(bytes), text);
    EXPECT_EQ(Utf8ToWide(bytes.data(), bytes.size()), text);
    EXPECT_EQ(Utf8ToWide(bytes.data(), 1), u"a");
    EXPECT_EQ(WideToUtf8(text), bytes);
    EXPECT_EQ(Utf8ToWide(""), u"");
    EXPECT_EQ(Utf8ToWide(nullptr, 0), u"");
    EXPECT_EQ(Utf8ToWide("\xFF"), u"\uFFFD");
}

TEST(TextConversion, CommandChannelConversionStopsAtTheFirstZero) {
    EXPECT_EQ(MmsCmdWideToUtf8(std::u16string(u"na\u00EFve\0tail", 10)), "na\xC3\xAFve");
    EXPECT_EQ(MmsCmdWideToUtf8(u""), "");
}

TEST(TextConversion, TrimStringRemovesTheSetFromBothEnds) {
    struct Row {
        std::u16string text;
        std::u16string_view set;
        std::u16string expected;
    } rows[] = {
        {u" \tinner text\t ", u" \r\n\t", u"inner text"},
        {u"\r\nline\r\n", u" \r\n\t", u"line"},
        {u"  a  b  ", u" ", u"a  b"},
        {u"abc", u" ", u"abc"},
        {u"xxabcxx", u"x", u"abc"},
        // A text made only of set characters becomes empty.
        {u"   ", u" ", u""},
        {u" \r\n\t", u" \r\n\t", u""},
        {u"", u" ", u""},
        {u" a ", u"", u" a "},
    };
    for (Row& row : rows) {
        std::u16string text = row.text;
        EXPECT_EQ(TrimString(text, row.set), row.expected) << WideToUtf8(row.text);
        EXPECT_EQ(text, row.expected);
    }
}
