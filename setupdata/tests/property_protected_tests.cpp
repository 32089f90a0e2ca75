// Protected properties ("__" names): scrambled at rest, clear through expansion, never clear in the log.
#include "jxsetupdata/PropertyCache.h"

#include <gtest/gtest.h>

#include <string>

#include "jxbase/scrambler.h"
#include "jxbase/secretmask.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::JxPropertyMap;
using JxSetup::Data::PropertyCache;

namespace {

struct ProtectedRow {
    const char* name;
    std::u16string property;
    std::u16string value;
};

class PropertyProtected : public ::testing::TestWithParam<ProtectedRow> {};

TEST_P(PropertyProtected, ScrambledAtRestClearThroughExpansion) {
    jxtest::TempMachineRoot root;
    const ProtectedRow& row = GetParam();
    PropertyCache cache;
    ASSERT_TRUE(cache.SetProperty(row.property, row.value, 1));

    JxPropertyMap all;
    cache.GetAllProperties(all);
    const std::u16string stored = all[PropertyCache::StripLockPrefix(row.property)];
    EXPECT_EQ(jxtext::N(stored), jxtext::N(ScrambleValue(row.value, kScrambleKeyHead)));
    EXPECT_NE(jxtext::N(stored), jxtext::N(row.value));

    const std::u16string reference = u"[" + PropertyCache::StripLockPrefix(row.property) + u"]";
    EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"<" + reference + u">")), "<" + jxtext::N(row.value) + ">");
    // Read through another property, the value is unscrambled once.
    ASSERT_TRUE(cache.SetProperty(u"VIA", reference, 1));
    EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"[VIA]")), jxtext::N(row.value));
}

INSTANTIATE_TEST_SUITE_P(
    PropertyNames, PropertyProtected,
    ::testing::Values(ProtectedRow{"Plain", u"__K", u"abc"},
                      ProtectedRow{"SectionLocked", u"\u00A7__K", u"abc"},
                      ProtectedRow{"AtLocked", u"@__K", u"abc"},
                      ProtectedRow{"NonAscii", u"__K", u"P\u00E4ssw\u00F6rd \u20AC \U0001F511"},
                      ProtectedRow{"LooksLikeVersion", u"__V", u"%1.2.3.4"},
                      ProtectedRow{"LooksLikeText", u"__T", u"@TXT"}),
    [](const ::testing::TestParamInfo<ProtectedRow>& info) { return std::string(info.param.name); });

// Stored settings hand over values already scrambled, with the flag clear.
TEST(PropertyProtectedFlag, ClearFlagStoresTheValueAsGiven) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    const std::u16string scrambled = ScrambleValue(u"secret", kScrambleKeyHead);
    ASSERT_TRUE(cache.SetProperty(u"__K", scrambled, 0));
    ASSERT_TRUE(cache.SetProperty(u"_K", u"plain", 1)); // one underscore is no protection
    JxPropertyMap all;
    cache.GetAllProperties(all);
    EXPECT_EQ(all, (JxPropertyMap{{u"__K", scrambled}, {u"_K", u"plain"}}));
    EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"[__K]/[_K]")), "secret/plain");
}

// A protected value is masked in command lines and argument texts, also under another name, in
// whichever form it was stored.
TEST(PropertyProtectedMask, StoredValuesAreMaskedWhereverTheyAreExpanded) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    ASSERT_TRUE(cache.SetProperty(u"__PM1", u"Vr5-given-clear", 1));
    ASSERT_TRUE(
        cache.SetProperty(u"\u00A7__PM2", ScrambleValue(u"Vr5-given-scrambled", kScrambleKeyHead), 0));
    ASSERT_TRUE(cache.SetProperty(u"ARGS", u"/user=[__PM1] /key=[__PM2] /n=1", 1));
    const std::u16string expanded = cache.ExpandProperties(u"[ARGS]");
    EXPECT_EQ(jxtext::N(expanded), "/user=Vr5-given-clear /key=Vr5-given-scrambled /n=1");
    EXPECT_EQ(jxtext::N(MaskProtectedArguments(expanded)), "/user=******** /key=******** /n=1");
}

std::string ReadUtf16File(const std::string& path) {
    const std::string bytes = jxtest::ReadHostFile(path);
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return jxtext::N(text);
}

TEST(PropertyProtectedLog, ValuesNeverReachTheLogInClear) {
    jxtest::TempMachineRoot root;
    auto* log = JxSetup::Data::Instance();
    log->SetDoNotLog(false);
    ASSERT_TRUE(log->OpenLogFile());
    {
        PropertyCache cache;
        ASSERT_TRUE(cache.SetProperty(u"PLAIN", u"visible-value", 1));
        ASSERT_TRUE(cache.SetProperty(u"__A", u"secret-one", 1));
        ASSERT_TRUE(cache.SetProperty(u"\u00A7__B", u"secret-two", 1));
        // Against the contract (the flag clear promises a scrambled value): still not shown.
        ASSERT_TRUE(cache.SetProperty(u"@__C", u"secret-three", 0));
        EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"[__A][__B]")), "secret-onesecret-two");
    }
    const std::string path = jxplat::WindowsToHostPath(log->GetLogFileName());
    log->CloseLogFile(false); // every queued line is written
    const std::string text = ReadUtf16File(path);
    log->Release();

    EXPECT_NE(text.find("visible-value"), std::string::npos) << text;
    for (const char* secret : {"secret-one", "secret-two", "secret-three"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
}

} // namespace
