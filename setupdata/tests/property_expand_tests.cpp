// Expansion of property references: one table of texts over a few properties, and the version
// values that conditions compare as numbers.
#include "jxsetupdata/PropertyCache.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::PropertyCache;

namespace {

struct ExpandRow {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> properties;
    std::u16string text;
    std::u16string expected;
};

class PropertyExpand : public ::testing::TestWithParam<ExpandRow> {};

TEST_P(PropertyExpand, ReplacesReferences) {
    jxtest::TempMachineRoot root;
    const ExpandRow& row = GetParam();
    PropertyCache cache;
    for (const auto& [name, value] : row.properties)
        ASSERT_TRUE(cache.SetProperty(name, value, 1));
    std::u16string out = u"stale";
    EXPECT_TRUE(cache.Expand(out, row.text));
    EXPECT_EQ(jxtext::N(out), jxtext::N(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    PropertyTexts, PropertyExpand,
    ::testing::Values(
        ExpandRow{"Empty", {}, u"", u""}, ExpandRow{"NoBrackets", {{u"A", u"1"}}, u"plain A", u"plain A"},
        ExpandRow{"Simple", {{u"A", u"1"}}, u"x[A]y[A]", u"x1y1"},
        ExpandRow{"AbsentIsEmpty", {{u"A", u"1"}}, u"a[NOPE]b[]c", u"abc"},
        ExpandRow{"SetEmptyIsEmpty", {{u"A", u""}}, u"<[A]>", u"<>"},
        ExpandRow{"NamesAreCaseSensitive", {{u"X", u"1"}}, u"[x]", u""},
        ExpandRow{"NamesAreNotTrimmed", {{u"X", u"1"}}, u"[X ]", u""},
        ExpandRow{"ValuesExpandInTurn", {{u"A", u"1"}, {u"B", u"[A]2"}}, u"[B]", u"12"},
        ExpandRow{"InnerBuildsOuterName", {{u"B", u"A"}, {u"A", u"x"}}, u"[[B]]", u"x"},
        ExpandRow{"InnerPartOfOuterName", {{u"N", u"2"}, {u"A2", u"two"}}, u"<[A[N]]>", u"<two>"},
        ExpandRow{
            "ChainThroughSeveralValues", {{u"A", u"[B][B]"}, {u"B", u"[C]"}, {u"C", u"c"}}, u"[A]", u"cc"},
        ExpandRow{"OpenOnly", {{u"A", u"1"}}, u"[A", u"[A"},
        ExpandRow{"CloseOnly", {{u"A", u"1"}}, u"A]", u"A]"},
        ExpandRow{"SecondReferenceUnclosed", {{u"A", u"1"}, {u"B", u"2"}}, u"[A] [B", u"1 [B"},
        ExpandRow{"ExtraOpenStays", {{u"A", u"1"}}, u"[[A]", u"[1"},
        ExpandRow{"CloseBeforeOpenIsKept", {{u"A", u"1"}}, u"a]b[A]", u"a]b1"},
        ExpandRow{"CloseBeforeOpenNothingToDo", {{u"A", u"1"}}, u"a]b[c", u"a]b[c"},
        ExpandRow{"ValueWithStrayClose", {{u"A", u"]"}, {u"B", u"b"}}, u"[A][B]", u"]b"},
        ExpandRow{"ValueOpensReferenceClosedByText", {{u"A", u"[B"}, {u"B", u"b"}}, u"[A]]", u"b"}),
    [](const ::testing::TestParamInfo<ExpandRow>& info) { return std::string(info.param.name); });

TEST(PropertyExpandForLanguage, OutMayBeTheText) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    cache.SetProperty(u"A", u"[B]", 1);
    cache.SetProperty(u"B", u"b", 1);
    std::u16string text = u"<[A]>";
    EXPECT_TRUE(cache.ExpandForLanguage(text, text, u""));
    EXPECT_EQ(jxtext::N(text), "<b>");
}

struct VersionRow {
    const char* name;
    std::u16string property;
    std::u16string value;
    std::u16string stored;
};

class PropertyVersionValue : public ::testing::TestWithParam<VersionRow> {};

// Four-part versions after "%" are held as the decimal text of major<<48 | minor<<32 | build<<16 | revision.
TEST_P(PropertyVersionValue, IsStoredInItsNumericForm) {
    jxtest::TempMachineRoot root;
    const VersionRow& row = GetParam();
    PropertyCache cache;
    ASSERT_TRUE(cache.SetProperty(row.property, row.value, 0));
    JxSetup::Data::JxPropertyMap all;
    cache.GetAllProperties(all);
    EXPECT_EQ(jxtext::N(all[PropertyCache::StripLockPrefix(row.property)]), jxtext::N(row.stored));
}

INSTANTIATE_TEST_SUITE_P(
    PropertyVersions, PropertyVersionValue,
    ::testing::Values(VersionRow{"FourParts", u"V", u"%1.2.3.4", u"281483566841860"},
                      VersionRow{"Commas", u"V", u"%1,2,3,4", u"281483566841860"},
                      VersionRow{"Locked", u"\u00A7V", u"%1.2.3.4", u"281483566841860"},
                      VersionRow{"PartCutTo16Bits", u"V", u"%1.2.70000.4", u"281483859197956"},
                      VersionRow{"EmptyPartEndsTheParse", u"V", u"%1..2.3", u"281474976710656"},
                      VersionRow{"AllZero", u"V", u"%0.0.0.0", u"0"},
                      VersionRow{"NoDigits", u"V", u"%...", u"0"},
                      VersionRow{"ThreeParts", u"V", u"%1.2.3", u"%1.2.3"},
                      VersionRow{"FiveParts", u"V", u"%1.2.3.4.5", u"%1.2.3.4.5"},
                      VersionRow{"NotDigits", u"V", u"%1.2.3.x", u"%1.2.3.x"},
                      VersionRow{"Blank", u"V", u"%1.2.3.4 ", u"%1.2.3.4 "},
                      VersionRow{"NoPercent", u"V", u"1.2.3.4", u"1.2.3.4"},
                      VersionRow{"ProtectedNameKeepsIt", u"__V", u"%1.2.3.4", u"%1.2.3.4"}),
    [](const ::testing::TestParamInfo<VersionRow>& info) { return std::string(info.param.name); });

} // namespace
