// The one masking of command lines and argument texts: every form in which the command line reader
// takes a protected value, and values remembered by the process wherever they stand.
#include <gtest/gtest.h>

#include <vector>

#include "jxbase/secretmask.h"
#include "jxplat/text.h"

namespace {

struct MaskRow {
    std::u16string text;
    std::u16string masked;
};

void ExpectMasked(const std::vector<MaskRow>& rows) {
    for (const MaskRow& row : rows) {
        SCOPED_TRACE(jxtext::N(row.text));
        EXPECT_EQ(jxtext::N(MaskProtectedArguments(row.text)), jxtext::N(row.masked));
    }
}

TEST(SecretMask, ProtectedPairsInEveryFormTheReaderTakes) {
    ExpectMasked({
        {u"/__PASSWORD=abc", u"/__PASSWORD=********"},
        {u"\"C:\\x y\\setup.exe\" /__PASSWORD=abc /X=1", u"\"C:\\x y\\setup.exe\" /__PASSWORD=******** /X=1"},
        // Behind a lock prefix the name is as protected.
        {u"/\u00A7__PW=abc /X=1", u"/\u00A7__PW=******** /X=1"},
        {u"/@__PW=abc /X=1", u"/@__PW=******** /X=1"},
        // An unquoted value runs to the next " /", blanks included.
        {u"/__PW=my secret words /X=1", u"/__PW=******** /X=1"},
        {u"/__PW=  abc /X=1", u"/__PW=******** /X=1"},
        {u"/__PW =abc /X=1", u"/__PW =******** /X=1"},
        {u"/__PW=k=v /X=1", u"/__PW=******** /X=1"},
        // Quotes keep " /" inside the value; a switch quoted whole ends at its closing quote.
        {u"/__PW=\"a /b c\" /X=1", u"/__PW=******** /X=1"},
        {u"/A=1 \"/__PW=a b\" /X=1", u"/A=1 \"/__PW=******** /X=1"},
        // A quote that never closes hides the rest rather than a part of the secret.
        {u"/__PW=\"abc /X=1", u"/__PW=********"},
        // The reader takes the first piece without a slash, and tabs separate.
        {u"__PW=abc /X=1", u"__PW=******** /X=1"},
        {u"/__PW=abc\t/X=1", u"/__PW=********\t/X=1"},
        {u"/__A=1 /B=2 /__C=\"x y\"", u"/__A=******** /B=2 /__C=********"},
        {u"/__A= /B=2", u"/__A=******** /B=2"},
        // Not protected: one underscore, underscores inside the name, "__" in a value.
        {u"/_PW=abc /P__W=abc /X=__abc /INSTALLDIR=\"C:\\a b\\\"",
         u"/_PW=abc /P__W=abc /X=__abc /INSTALLDIR=\"C:\\a b\\\""},
        {u"", u""},
    });
}

TEST(SecretMask, RememberedValuesAreMaskedUnderAnyName) {
    RememberSecret(u"Qx7!mask-one");
    RememberSecret(u"Qx7!mask-one-longer");
    RememberSecret(u"");
    ExpectMasked({
        {u"/user=admin /pass=Qx7!mask-one", u"/user=admin /pass=********"},
        {u"\"\" https://host/?t=Qx7!mask-one&x=1", u"\"\" https://host/?t=********&x=1"},
        // The longer secret is masked whole, not around the shorter one it holds.
        {u"-k Qx7!mask-one-longer -k Qx7!mask-one", u"-k ******** -k ********"},
        {u"/user=admin", u"/user=admin"},
    });
}

TEST(SecretMask, ProtectedNames) {
    for (const char16_t* name : {u"__X", u"\u00A7__X", u"@__X", u"__", u"_AccessKey", u"\u00A7_accesskey"})
        EXPECT_TRUE(IsProtectedName(name)) << jxtext::N(name);
    for (const char16_t* name : {u"", u"_X", u"X__", u"\u00A7\u00A7__X", u"#__X", u" __X", u"_AccessKeys"})
        EXPECT_FALSE(IsProtectedName(name)) << jxtext::N(name);
}

} // namespace
