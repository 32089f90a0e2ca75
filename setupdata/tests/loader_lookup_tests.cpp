// Lookups over the loaded definition: components by id, feature sizes from the file metadata,
// and the switch that installs resource files in every language.
#include <gtest/gtest.h>

#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::LoaderTest;

namespace {

class LoaderLookup : public LoaderTest {
protected:
    void SetUp() override {
        jxloadertest::WriteDefinition(
            "<Setup><SetupFeatures>"
            "<SetupFeature name=\"Core\"><SetupComponents>"
            "<SetupComponent id=\"{A}\" destinationdir=\"a\"/><SetupComponent id=\"{B}\" "
            "destinationdir=\"b\"/>"
            "</SetupComponents></SetupFeature>"
            "<SetupFeature name=\"Addon\" dependson=\"Core\"><SetupComponents>"
            "<SetupComponent id=\"{C}\"/></SetupComponents></SetupFeature>"
            "<SetupFeature name=\"Other\"><SetupComponents><SetupComponent id=\"{D}\"/></SetupComponents>"
            "</SetupFeature>"
            "</SetupFeatures></Setup>");
        ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
    }
};

TEST_F(LoaderLookup, ComponentsById) {
    const JxComponent missing = m_Data.GetComponent(u"{Z}");
    EXPECT_EQ(missing.id, u"Invalid");
    EXPECT_EQ(missing.destinationdir, u"");
    EXPECT_EQ(m_Data.GetComponent(u"{a}").id, u"Invalid") << "ids compare exactly";
    EXPECT_EQ(m_Data.GetComponent(u"{B}").destinationdir, u"b");

    const JxFeature& core = m_Data.m_Features[0];
    EXPECT_EQ(m_Data.GetComponentOfFeature(u"{A}", core).destinationdir, u"a");
    EXPECT_EQ(m_Data.GetComponentOfFeature(u"{C}", core).id, u"") << "another feature's component";
}

struct SizeCase {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> metadata; // component id, size
    const char16_t* feature;
    int32_t expected;
    bool warning;
};

class LoaderFeatureSize : public LoaderLookup, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(LoaderFeatureSize, SumsTheMetadataOfTheFeatureAndItsDependents) {
    const SizeCase& row = GetParam();
    for (const auto& [componentId, size] : row.metadata) {
        JxFile file;
        file.name = u"file.bin";
        file.componentid = componentId;
        file.size = size;
        m_Data.m_FileMetaInformation.push_back(file);
    }
    EXPECT_EQ(m_Data.GetFeatureSize(row.feature), row.expected);
    EXPECT_EQ(m_Log.Has("WARNING", "is not a number"), row.warning) << m_Log.Dump();
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread()) << "the lock is released on every way out";
}

INSTANTIATE_TEST_SUITE_P(
    LoaderSizes, LoaderFeatureSize,
    ::testing::Values(
        SizeCase{"SumIsTruncated", {{u"{A}", u"900.38"}, {u"{B}", u"1025.49"}}, u"Core", 1925, false},
        SizeCase{"ComponentIdIgnoresCase", {{u"{a}", u"10.5"}}, u"Core", 10, false},
        SizeCase{"DependentFeatureCounts", {{u"{A}", u"1"}, {u"{C}", u"2.5"}}, u"Core", 3, false},
        SizeCase{"OtherFeaturesDoNot", {{u"{A}", u"1"}, {u"{D}", u"100"}}, u"Core", 1, false},
        SizeCase{"EmptySizeIsSkipped", {{u"{A}", u""}, {u"{B}", u"4"}}, u"Core", 4, false},
        SizeCase{"NotANumberCountsZero", {{u"{A}", u"12 KB"}, {u"{B}", u"4"}}, u"Core", 4, true},
        SizeCase{"CommaIsNoDecimalPoint", {{u"{A}", u"1,5"}, {u"{B}", u"4"}}, u"Core", 4, true},
        SizeCase{"InfinityIsNoSize", {{u"{A}", u"inf"}}, u"Core", 0, true},
        SizeCase{"HugeSumIsCapped", {{u"{A}", u"1e300"}}, u"Core", INT32_MAX, false},
        SizeCase{"UnknownFeature", {{u"{A}", u"1"}}, u"Nope", 0, false}),
    [](const ::testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST_F(LoaderLookup, InstalledSizeCountsDependentsWithTheirFeature) {
    for (const auto& [componentId, size] : {std::pair{u"{A}", u"1.9"}, {u"{C}", u"2.2"}, {u"{D}", u"100"}}) {
        JxFile file;
        file.componentid = componentId;
        file.size = size;
        m_Data.m_FileMetaInformation.push_back(file);
    }
    // Addon counts once, through Core; Other is not installed.
    m_Data.SetProperty(u"FeatureStateInstalled", u"$Core$,$Addon$", 1);
    EXPECT_EQ(m_Data.GetInstalledFeaturesSize(), 4);
    m_Data.SetProperty(u"FeatureStateInstalled", u"$Core$,$Other$", 1);
    EXPECT_EQ(m_Data.GetInstalledFeaturesSize(), 104);
}

struct ResourceCase {
    const char* name;
    const char16_t* switchValue;
    const char16_t* resource;
    const char16_t* before;
    const char16_t* after;
};

class LoaderResources : public LoaderTest, public ::testing::WithParamInterface<ResourceCase> {};

TEST_P(LoaderResources, InstallAllLanguagesWhenAsked) {
    const ResourceCase& row = GetParam();
    JxFile file;
    file.resource = row.resource;
    file.installallcontainedlanguages = row.before;
    m_Data.m_Files.push_back(file);
    m_Data.SetProperty(u"_InstallAllRessources", row.switchValue, 1);
    m_Data.InstallAllContainedRessources();
    EXPECT_EQ(m_Data.m_Files[0].installallcontainedlanguages, row.after);
}

INSTANTIATE_TEST_SUITE_P(
    LoaderResourceCases, LoaderResources,
    ::testing::Values(ResourceCase{"SwitchOn", u"TRUE", u"true", u"", u"true"},
                      ResourceCase{"ResourceAnyCase", u"true", u"True", u"false", u"true"},
                      ResourceCase{"AlreadySetStaysAsWritten", u"true", u"true", u"TRUE", u"TRUE"},
                      ResourceCase{"NoResource", u"true", u"false", u"", u""},
                      ResourceCase{"SwitchOff", u"false", u"true", u"", u""},
                      ResourceCase{"SwitchMissing", u"", u"true", u"no", u"no"}),
    [](const ::testing::TestParamInfo<ResourceCase>& info) { return std::string(info.param.name); });

} // namespace
