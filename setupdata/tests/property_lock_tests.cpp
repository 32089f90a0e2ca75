// Locked properties ("§" and "@" prefixes), refusals and clearing the table.
#include "jxsetupdata/PropertyCache.h"

#include <gtest/gtest.h>

#include <string>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::JxPropertyMap;
using JxSetup::Data::PropertyCache;

namespace {

const std::u16string kSection = u"\u00A7"; // "§"

class PropertyLock : public ::testing::TestWithParam<std::u16string> {};

// Setting a prefixed form replaces the plain property and locks every form of the name.
TEST_P(PropertyLock, PrefixedNameReplacesAndLocks) {
    jxtest::TempMachineRoot root;
    const std::u16string prefix = GetParam();
    PropertyCache cache;
    ASSERT_TRUE(cache.SetProperty(u"P", u"plain", 1));
    EXPECT_FALSE(cache.IsLocked(u"P")); // a plain name locks nothing
    ASSERT_TRUE(cache.SetProperty(u"P", u"plain again", 1));

    ASSERT_TRUE(cache.SetProperty(prefix + u"P", u"locked", 1));
    EXPECT_FALSE(cache.ContainsName(u"P"));
    EXPECT_TRUE(cache.ContainsName(prefix + u"P"));
    for (const std::u16string& form : {std::u16string(u"P"), kSection + u"P", std::u16string(u"@P")}) {
        EXPECT_TRUE(cache.IsLocked(form)) << jxtext::N(form);
        EXPECT_FALSE(cache.SetProperty(form, u"other", 1)) << jxtext::N(form);
        EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"[" + form + u"]")), "locked") << jxtext::N(form);
    }
    JxPropertyMap all;
    cache.GetAllProperties(all);
    EXPECT_EQ(all, (JxPropertyMap{{u"P", u"locked"}}));
}

INSTANTIATE_TEST_SUITE_P(PropertyPrefixes, PropertyLock, ::testing::Values(kSection, std::u16string(u"@")),
                         [](const ::testing::TestParamInfo<std::u16string>& info) {
                             return std::string(info.param == u"@" ? "At" : "Section");
                         });

TEST(PropertyRefusal, EmptyNameIsRefused) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    EXPECT_FALSE(cache.SetProperty(u"", u"v", 1));
    EXPECT_FALSE(cache.IsLocked(u""));
    EXPECT_FALSE(cache.ContainsName(u""));
    JxPropertyMap all{{u"stale", u"x"}};
    cache.GetAllProperties(all);
    EXPECT_TRUE(all.empty());
}

// Clear empties the table, so locks go with it; texts and the language stay.
TEST(PropertyClear, RemovesPropertiesOnly) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    cache.AddText(u"TXT", u"Hallo", u"de-DE");
    cache.SetLanguage(u"de-DE");
    ASSERT_TRUE(cache.SetProperty(kSection + u"L", u"1", 1));
    ASSERT_TRUE(cache.SetProperty(u"A", u"2", 1));

    cache.Clear();
    EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"[L][A]")), "");
    EXPECT_FALSE(cache.IsLocked(u"L"));
    EXPECT_TRUE(cache.SetProperty(u"L", u"@TXT", 1));
    EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"[L]")), "Hallo");
    EXPECT_EQ(jxtext::N(cache.GetLanguage()), "de-DE");
}

} // namespace
