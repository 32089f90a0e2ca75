// The choice of the run's language: an explicit language, the installed product's language, the
// user's Windows language matched against each language's "LANGUAGECODES", and the first language.
#include <gtest/gtest.h>

#include <utility>

#include "jxbase/reg.h"
#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::LoaderTest;

namespace {

const WCHAR* const kInstalledKey = u"SOFTWARE\\Tolvane\\Brellwick";
const std::u16string kPreset = u"preset"; // "SelectedLanguage" before the choice

// Each language with its "LANGUAGECODES" text.
using CodeList = std::vector<std::pair<std::u16string, std::u16string>>;

struct LanguageRow {
    const char* name;
    std::u16string languages; // the product's `languages` attribute
    std::u16string argument;
    DWORD windowsLanguage;
    std::u16string installed; // the installed product's value; "" writes none
    CodeList codes;
    std::u16string expected;
    std::u16string selected;   // "SelectedLanguage" afterwards
    std::u16string updateLang; // "_SetUpdateLang" afterwards
    bool installedKey = true;  // requirements.xml names the installed language's key
};

const CodeList kCodes = {{u"de", u"1031,2055,3079"}, {u"en", u"1033,2057"}, {u"fr", u"1036,2060"}};
// "10310" holds 1031 too: containment decides, not equality.
const CodeList kContained = {{u"en", u"1033"}, {u"de", u"10310"}};
const CodeList kOverlap = {{u"de", u"1031,2057"}, {u"en", u"2057"}};
const CodeList kEnglishOnly = {{u"en", u"1033"}};

class LanguageSelection : public LoaderTest, public ::testing::WithParamInterface<LanguageRow> {
protected:
    void Prepare(const LanguageRow& row) {
        jxplat::MachineDescription machine;
        machine.language = row.windowsLanguage;
        m_Root.Describe(machine);

        m_Data.m_ProductInfo.languages = row.languages;
        if (row.installedKey) {
            m_Data.m_Requirements.m_InstalledLanguageKey = kInstalledKey;
            m_Data.m_Requirements.m_InstalledLanguageSubKey = u"Language";
        }
        m_Data.m_Requirements.m_LanguageCodes = {{u"1031", u"de"}, {u"ENU", u"en"}, {u"1036", u"fr"}};
        if (!row.installed.empty())
            CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kInstalledKey, u"Language", row.installed,
                                      CRegStringType::Sz, 0);
        m_Data.SetProperty(u"LANGUAGECODES", u"@LANGUAGECODES", 1);
        for (const auto& [language, codes] : row.codes)
            m_Data.m_Properties.AddText(u"LANGUAGECODES", codes, language);
        m_Data.SetProperty(u"SelectedLanguage", kPreset, 1);
    }
};

TEST_P(LanguageSelection, ChoosesTheCurrentLanguage) {
    const LanguageRow& row = GetParam();
    Prepare(row);
    m_Data.SetCurrentLanguage(row.argument);

    EXPECT_EQ(jxtext::N(m_Data.GetCurrentLanguage()), jxtext::N(row.expected)) << m_Log.Dump();
    EXPECT_EQ(jxtext::N(m_Data.GetPropertyValue(u"SelectedLanguage")), jxtext::N(row.selected));
    EXPECT_EQ(jxtext::N(m_Data.GetPropertyValue(u"_SetUpdateLang")), jxtext::N(row.updateLang));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageSelection,
    ::testing::Values(
        // An explicit language: kept as given when it is a product language, else the first one.
        LanguageRow{"ArgumentKeptAsGiven", u"de,en", u"EN", 1031, u"", kCodes, u"EN", kPreset, u""},
        LanguageRow{"ArgumentUnknownTakesFirst", u"de,en", u"fr", 1036, u"", kCodes, u"de", kPreset, u""},
        LanguageRow{"ArgumentBeatsInstalled", u"de,en", u"de", 1033, u"ENU", kCodes, u"de", kPreset, u""},
        // The installed product's language, its short code compared ignoring case.
        LanguageRow{"InstalledLanguageWins", u"de,en", u"", 1031, u"enu", kCodes, u"en", kPreset, u""},
        LanguageRow{"InstalledOutsideProductThenWindows", u"de,en", u"", 2057, u"1036", kCodes, u"en", u"en",
                    u"true"},
        LanguageRow{"InstalledOutsideProductThenFirst", u"de,en", u"", 1040, u"1036", kCodes, u"de", u"de",
                    u"true"},
        LanguageRow{"InstalledCodeUnknown", u"de,en", u"", 2057, u"9999", kCodes, u"en", u"en", u""},
        LanguageRow{"InstalledNotReadForOneLanguage", u"de", u"", 1040, u"1036", kCodes, u"de", u"de", u""},
        LanguageRow{"InstalledNotReadWithoutKey", u"de,en", u"", 1031, u"ENU", kCodes, u"de", u"de", u"",
                    false},
        // The Windows language: the first language whose codes contain the number.
        LanguageRow{"WindowsLanguageSecondCode", u"de,en", u"", 2057, u"", kCodes, u"en", u"en", u""},
        LanguageRow{"WindowsLanguageContained", u"en,de", u"", 1031, u"", kContained, u"de", u"de", u""},
        LanguageRow{"WindowsLanguageFirstMatchWins", u"de,en", u"", 2057, u"", kOverlap, u"de", u"de", u""},
        LanguageRow{"LanguageWithoutCodesSkipped", u"fr,en", u"", 1033, u"", kEnglishOnly, u"en", u"en", u""},
        // Nothing matches: the first language.
        LanguageRow{"FallbackToFirst", u"de,en", u"", 1040, u"", kCodes, u"de", u"de", u""},
        LanguageRow{"EmptyAttribute", u"", u"", 1033, u"", kCodes, u"", u"", u""},
        LanguageRow{"EmptyAttributeWithArgument", u"", u"de", 1031, u"", kCodes, u"", kPreset, u""}),
    [](const ::testing::TestParamInfo<LanguageRow>& info) { return std::string(info.param.name); });

class Languages : public LoaderTest {};

TEST_F(Languages, MatchIsLoggedAndProductNameFollowsTheLanguage) {
    jxplat::MachineDescription machine;
    machine.language = 2057;
    m_Root.Describe(machine);
    m_Data.m_ProductInfo.languages = u"de,en";
    m_Data.SetProperty(u"LANGUAGECODES", u"@LANGUAGECODES", 1);
    m_Data.m_Properties.AddText(u"LANGUAGECODES", u"1031", u"de");
    m_Data.m_Properties.AddText(u"LANGUAGECODES", u"1033,2057", u"en");
    m_Data.SetProperty(u"PRODUCTNAME", u"@PRODUCTNAME", 1);
    m_Data.m_Properties.AddText(u"PRODUCTNAME", u"Brellwick Schutz", u"de");
    m_Data.m_Properties.AddText(u"PRODUCTNAME", u"Brellwick Guard", u"en");

    m_Data.SetCurrentLanguage(u"");

    EXPECT_TRUE(m_Log.Has("LP_INFO", "OS language matched (1033,2057). Setting current language to en."))
        << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("BEGIN", "SetCurrentLanguage|")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("END", "SetCurrentLanguage|en")) << m_Log.Dump();
    EXPECT_EQ(m_Data.GetPropertyValue(u"_ATPRODUCTNAME"), u"Brellwick Guard");

    // A later choice leaves a product name that is already set alone.
    m_Data.SetCurrentLanguage(u"de");
    EXPECT_EQ(m_Data.GetCurrentLanguage(), u"de");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_ATPRODUCTNAME"), u"Brellwick Guard");
}

TEST_F(Languages, ProductLanguageTakesTheWholeAttribute) {
    m_Data.m_ProductInfo.languages = u"de,en";
    m_Data.SetProperty(u"SelectedLanguage", u"en", 1);
    m_Data.ApplyProductLanguage();
    EXPECT_EQ(m_Data.GetCurrentLanguage(), u"de,en");
    EXPECT_EQ(m_Data.GetPropertyValue(u"SelectedLanguage"), u"de,en");
}

TEST_F(Languages, ListsKeepEmptyEntriesAndOrder) {
    const std::pair<std::u16string, std::vector<std::u16string>> cases[] = {
        {u"de,en", {u"de", u"en"}}, {u"de,,en,", {u"de", u"", u"en", u""}}, {u"", {u""}}};
    for (const auto& [attribute, expected] : cases) {
        m_Data.m_ProductInfo.languages = attribute;
        std::vector<std::u16string> languages{u"stale"};
        m_Data.GetProductLanguages(languages);
        EXPECT_EQ(languages, expected) << jxtext::N(attribute);
    }

    m_Data.m_Requirements.m_LanguageCodes = {{u"1036", u"fr"}, {u"1031", u"de"}, {u"ENU", u"en"}};
    std::vector<std::u16string> iso{u"stale"};
    m_Data.GetInstalledLanguageIsoCodes(iso);
    EXPECT_EQ(iso, (std::vector<std::u16string>{u"fr", u"de", u"en"}));
}

TEST_F(Languages, WindowsLanguageIdsComeFromTheMachine) {
    EXPECT_EQ(GetUserDefaultLangID(), 1033);
    jxplat::MachineDescription machine;
    machine.language = 3079;
    m_Root.Describe(machine);
    EXPECT_EQ(GetUserDefaultLangID(), 3079);
    EXPECT_EQ(GetSystemDefaultLangID(), 3079);
    EXPECT_EQ(GetUserDefaultUILanguage(), 3079);
    EXPECT_EQ(GetSystemDefaultUILanguage(), 3079);
}

} // namespace
