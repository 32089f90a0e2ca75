// The ANSI code page (Windows-1252) and WideCharToMultiByte with the Win32 size contract.
#include <gtest/gtest.h>

#include <string>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winnls.h"

TEST(WideCharToMultiByte, ConvertsToTheAnsiCodePageAndToUtf8) {
    const char16_t* text = u"A\u00C4\u20AC\u4E2D"; // A, A umlaut, euro sign, a CJK character
    for (UINT codePage : {CP_ACP, CP_THREAD_ACP}) {
        BOOL usedDefault = FALSE;
        const int size = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, &usedDefault);
        ASSERT_EQ(size, 5); // with the terminating zero
        std::string out(5, 'x');
        EXPECT_EQ(WideCharToMultiByte(codePage, 0, text, -1, out.data(), size, nullptr, &usedDefault), 5);
        EXPECT_EQ(out, std::string("A\xC4\x80?\0", 5));
        EXPECT_TRUE(usedDefault);
    }
    std::string utf8(16, '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, text, 4, utf8.data(), 16, nullptr, nullptr);
    EXPECT_EQ(utf8.substr(0, static_cast<size_t>(written)), "A\xC3\x84\xE2\x82\xAC\xE4\xB8\xAD");

    char small[2];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, small, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(1251, 0, text, -1, small, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Every byte reads back as itself, so ANSI names (package names, the self-delete script, the
// definition's text) survive a round trip; only characters outside the code page fall back.
TEST(AnsiCodePage, EveryByteRoundTripsAndOnlyForeignCharactersFallBack) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::u16string wide = jxtext::AnsiToUtf16(all);
    ASSERT_EQ(wide.size(), all.size());
    EXPECT_EQ(wide[0x80 - 1], u'\u20AC');
    EXPECT_EQ(wide[0x81 - 1], u'\u0081'); // unassigned: the control character of its number
    bool used = true;
    EXPECT_EQ(jxtext::Utf16ToAnsi(wide, '?', &used), all);
    EXPECT_FALSE(used);
    EXPECT_EQ(jxtext::Utf16ToAnsi(u"a\u4E2Db\u0100", ' ', &used), "a b ");
    EXPECT_TRUE(used);
}
