// Localised values: a value "@NAME" reads as the text NAME of the definition in the language asked for.
#include "jxsetupdata/PropertyCache.h"

#include <gtest/gtest.h>

#include <string>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::PropertyCache;

namespace {

struct LocalizedRow {
    const char* name;
    std::u16string value;    // of the property T
    std::u16string language; // asked for
    std::u16string expected; // of [T]
};

class PropertyLocalized : public ::testing::TestWithParam<LocalizedRow> {
protected:
    void SetUp() override {
        m_Cache.AddText(u"TXT", u"Hello", u"en-US");
        m_Cache.AddText(u"TXT", u"Hallo", u"de-DE");
        m_Cache.AddText(u"TXT", u"Servus", u"de-DE"); // a later entry of the same language loses
        m_Cache.AddText(u"Txt", u"other case", u"fr-FR");
        m_Cache.AddText(u"WELCOME", u"Welcome to [PRODUCT]", u"en-US");
        m_Cache.SetProperty(u"PRODUCT", u"Brellwick", 1);
    }

    jxtest::TempMachineRoot m_Root;
    PropertyCache m_Cache;
};

TEST_P(PropertyLocalized, ReadsTheTextOfTheLanguage) {
    const LocalizedRow& row = GetParam();
    ASSERT_TRUE(m_Cache.SetProperty(u"T", row.value, 1));
    EXPECT_EQ(jxtext::N(m_Cache.ExpandPropertiesForLanguage(u"[T]", row.language)), jxtext::N(row.expected));
    // The current language is the one Expand uses.
    m_Cache.SetLanguage(row.language);
    EXPECT_EQ(jxtext::N(m_Cache.ExpandProperties(u"[T]")), jxtext::N(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    PropertyTexts, PropertyLocalized,
    ::testing::Values(LocalizedRow{"Exact", u"@TXT", u"en-US", u"Hello"},
                      LocalizedRow{"LanguageIgnoresCase", u"@TXT", u"DE-de", u"Hallo"},
                      LocalizedRow{"NoTextInLanguage", u"@TXT", u"it-IT", u"@TXT"},
                      LocalizedRow{"NoLanguage", u"@TXT", u"", u"@TXT"},
                      // Only a name of the exact case starts the search; neighbours differing in case follow.
                      LocalizedRow{"NeighbourInOtherCase", u"@TXT", u"fr-FR", u"other case"},
                      LocalizedRow{"NameIsCaseSensitive", u"@txt", u"en-US", u"@txt"},
                      LocalizedRow{"EveryAtIsRemoved", u"@T@XT@", u"en-US", u"Hello"},
                      LocalizedRow{"UnknownText", u"@NONE", u"en-US", u"@NONE"},
                      LocalizedRow{"AtNotFirst", u"x@TXT", u"en-US", u"x@TXT"},
                      LocalizedRow{"TextIsExpanded", u"@WELCOME", u"en-US", u"Welcome to Brellwick"}),
    [](const ::testing::TestParamInfo<LocalizedRow>& info) { return std::string(info.param.name); });

} // namespace
