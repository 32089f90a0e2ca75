// Feature lists and their three membership tests, dependent features, and whether components are
// defined, present in the mounted packages and shown.
#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/CPackageWriter.h"
#include "loader_support.h"

using namespace JxSetup::Data;

namespace {

JxFeature Feature(const char16_t* name, const char16_t* visible = u"true", const char16_t* dependson = u"") {
    JxFeature feature;
    feature.name = name;
    feature.visible = visible;
    feature.dependson = dependson;
    return feature;
}

JxComponent Component(const char16_t* id, const char16_t* featurecheck = u"") {
    JxComponent component;
    component.id = id;
    component.featurecheck = featurecheck;
    return component;
}

JxFile File(const char16_t* componentid, const char16_t* name, const char16_t* copymode,
            const char16_t* resource = u"") {
    JxFile file;
    file.componentid = componentid;
    file.name = name;
    file.copymode = copymode;
    file.resource = resource;
    return file;
}

// Each operation reads its list with its own membership test.
struct MembershipCase {
    const char* name;
    const char16_t* list;
    bool exact;     // whole token, with case
    bool tokenCase; // whole token, ignoring case
    bool contained; // anywhere in the text, ignoring case
};

void PrintTo(const MembershipCase& c, std::ostream* os) {
    *os << c.name;
}

class FeatureMembership : public ::testing::TestWithParam<MembershipCase> {
protected:
    FeatureMembership() {
        JxFeature feature = Feature(u"A");
        feature.components.push_back(Component(u"CA"));
        m_Data.m_Features.push_back(feature);
    }
    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
};

TEST_P(FeatureMembership, EachOperationUsesItsOwnTest) {
    const MembershipCase& c = GetParam();
    // Exact token: the installed state list.
    m_Data.SetProperty(u"FeatureStateInstalled", c.list, 1);
    EXPECT_EQ(m_Data.GetFeatureState(u"A") == u"FeatureStateInstalled", c.exact);
    // Token ignoring case: the prohibited list hides an install request.
    m_Data.SetProperty(u"FeatureActionInstall", u"$A$", 1);
    m_Data.SetProperty(u"FeatureActionProhibited", c.list, 1);
    EXPECT_EQ(m_Data.GetFeatureAction(u"A") == u"FeatureActionNothing", c.tokenCase);
    // Contained: the prohibited list as IsComponentDefined and the visibility read it.
    EXPECT_EQ(!m_Data.IsComponentDefined(u"ca"), c.contained);
    m_Data.SetProperty(u"_MiniSetup", u"true", 1);
    m_Data.UpdateFeatureVisibility();
    EXPECT_EQ(m_Data.GetFeatures()[0].visible == u"false", c.contained);
    // Contained: the enable list and the validity of a list.
    m_Data.SetProperty(u"_EnableFeatures", c.list, 1);
    std::u16string keyword;
    m_Data.GetFeatureEnableKeyword(keyword, u"A");
    EXPECT_EQ(keyword == u"enablefeature", c.contained);
    EXPECT_EQ(m_Data.IsFeatureListValid(c.list), c.contained);
}

INSTANTIATE_TEST_SUITE_P(
    FeatureLists, FeatureMembership,
    ::testing::Values(MembershipCase{"SameToken", u"$A$", true, true, true},
                      MembershipCase{"AmongOthers", u"$B$,$A$", true, true, true},
                      MembershipCase{"OtherCase", u"$B$,$a$", false, true, true},
                      MembershipCase{"InsideAToken", u"x$a$x", false, false, true},
                      MembershipCase{"BlankBeforeToken", u"$B$, $A$", false, false, true},
                      MembershipCase{"LongerName", u"$AB$", false, false, false},
                      MembershipCase{"Empty", u"", false, false, false}),
    [](const ::testing::TestParamInfo<MembershipCase>& info) { return std::string(info.param.name); });

TEST(FeatureDependencies, DependentFeaturesAreAnOwnedListInDefinitionOrder) {
    jxtest::TempMachineRoot root;
    JxData data;
    data.m_Features = {Feature(u"Core"), Feature(u"Mail", u"true", u"core"),
                       Feature(u"Web", u"true", u"Core"), Feature(u"Extra", u"true", u"Core,Mail")};
    std::unique_ptr<JxData::JxFeatureNameList> list = data.GetDependentFeatures(u"CORE");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(*list, (JxData::JxFeatureNameList{u"Mail", u"Web"})); // whole text, not a list
    data.ReleaseFeatureList(std::move(list));
    EXPECT_TRUE(data.GetDependentFeatures(u"Nope")->empty());
    data.ReleaseFeatureList(nullptr);
}

// Components whose files lie in packages mounted from C:\pkgs.
class ComponentPackages : public ::testing::Test {
protected:
    ComponentPackages() {
        PackageMgr::Instance()->Cleanup();
        m_Data.m_Properties.SetLanguage(u"1031");
        JxFeature core = Feature(u"Core");
        core.components = {Component(u"CORE", u"true"), Component(u"LANG", u"true")};
        JxFeature tools = Feature(u"Tools");
        tools.components = {Component(u"TOOLS", u"true"), Component(u"REMOVED", u"true")};
        m_Data.m_Features = {core, tools, Feature(u"Docs"), Feature(u"Hidden", u"false")};
        m_Data.m_Features[2].components = {Component(u"DOCS")};
        m_Data.m_Features[3].components = {Component(u"CORE", u"true")};
        m_Data.m_Files = {
            File(u"CORE", u"[APPNAME].exe", u"byversion"), File(u"LANG", u"text.dll", u"always", u"TRUE"),
            File(u"TOOLS", u"old.exe", u"delete"),         File(u"TOOLS", u"tool.exe", u"ByCrc"),
            File(u"REMOVED", u"gone.dll", u"delete"),      File(u"DOCS", u"docs.chm", u"bydate")};
        m_Data.SetProperty(u"APPNAME", u"app", 1);
    }
    ~ComponentPackages() override {
        m_Data.m_OwnedVfs.reset();
        PackageMgr::Instance()->Cleanup();
    }
    void Mount(const std::string& name, const std::vector<std::u16string>& paths) {
        PACKAGE_WRITER_OPTIONS options;
        options.name = name;
        options.blockSize = 64 * 1024;
        CPackageWriter writer(options);
        for (const std::u16string& path : paths) {
            PACKAGE_FILE_INPUT input;
            input.content = {'x'};
            ASSERT_TRUE(writer.AddFile(path, input));
        }
        std::vector<BYTE> bytes;
        ASSERT_TRUE(writer.Build(bytes, nullptr));
        const std::u16string file = u"C:\\pkgs\\" + jxtext::W(name) + u".wpk";
        jxloadertest::WriteHostFile(jxplat::WindowsToHostPath(file), std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(m_Data.MountExternalPackage(file, kScanModeNewer));
    }

    jxtest::TempMachineRoot m_Root;
    jxloadertest::CLogLines m_Log;
    JxData m_Data;
};

TEST_F(ComponentPackages, WithoutMountedPackagesNothingIsIncluded) {
    EXPECT_FALSE(m_Data.IsComponentIncluded(u"CORE"));
    EXPECT_FALSE(m_Data.IsComponentIncludedEx(u"CORE"));
    EXPECT_TRUE(m_Log.Has("ERROR", "VFS not mounted."));
}

TEST_F(ComponentPackages, FilesAreLookedForInTheComponentsFolder) {
    Mount("CORE", {u"CORE\\app.exe", u"LANG\\1031\\text.dll", u"TOOLS\\other.exe"});
    // The name is expanded; a resource file lies in the language folder.
    EXPECT_TRUE(m_Data.IsComponentIncluded(u"CORE"));
    EXPECT_TRUE(m_Data.IsComponentIncluded(u"LANG"));
    EXPECT_FALSE(m_Data.IsComponentIncluded(u"TOOLS"));
    // IsComponentIncluded compares the id exactly, IsComponentIncludedEx ignoring case.
    EXPECT_FALSE(m_Data.IsComponentIncluded(u"core"));
    EXPECT_TRUE(m_Data.IsComponentIncludedEx(u"core"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "File \\core\\app.exe found in mounted packages."));
    EXPECT_TRUE(m_Data.IsComponentIncludedEx(u"LANG"));
}

TEST_F(ComponentPackages, TheFirstCopyingRowDecidesWhetherTheComponentIsInstallable) {
    Mount("TOOLS", {u"TOOLS\\other.exe"});
    // "delete" is passed over; the copying row's file is missing.
    EXPECT_FALSE(m_Data.IsComponentIncludedEx(u"TOOLS"));
    EXPECT_TRUE(
        m_Log.Has("WARNING", "Copy action valid but no file of component TOOLS found in mounted packages"));
    // Rows that copy nothing, or no rows at all, need no packaged file.
    EXPECT_TRUE(m_Data.IsComponentIncludedEx(u"REMOVED"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "No valid copy actions found for component REMOVED."));
    EXPECT_TRUE(m_Data.IsComponentIncludedEx(u"NOFILES"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "No file rules found for component NOFILES."));
}

TEST_F(ComponentPackages, ComponentsOfProhibitedFeaturesAreNotDefined) {
    EXPECT_TRUE(m_Data.IsComponentDefined(u"tools"));
    EXPECT_FALSE(m_Data.IsComponentDefined(u"NONE"));
    m_Data.SetProperty(u"FeatureActionProhibited", u"$TOOLS$", 1);
    EXPECT_FALSE(m_Data.IsComponentDefined(u"TOOLS"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Feature Tools is prohibitted."));
    // CORE is defined by Core, whatever happens to Hidden.
    m_Data.SetProperty(u"FeatureActionProhibited", u"$Hidden$", 1);
    EXPECT_TRUE(m_Data.IsComponentDefined(u"CORE"));
}

struct VisibilityCase {
    const char* name;
    const char16_t* miniSetup;
    const char16_t* prohibited;
    const char16_t* installed;
    const char16_t* expected; // visible of Core, Tools, Docs, Hidden
};

void PrintTo(const VisibilityCase& c, std::ostream* os) {
    *os << c.name;
}

class FeatureVisibility : public ComponentPackages, public ::testing::WithParamInterface<VisibilityCase> {};

TEST_P(FeatureVisibility, ShowsWhatIsInstalledOrCanBeChecked) {
    const VisibilityCase& c = GetParam();
    Mount("CORE", {u"CORE\\app.exe", u"DOCS\\docs.chm"});
    m_Data.SetProperty(u"_MiniSetup", c.miniSetup, 1);
    m_Data.SetProperty(u"FeatureActionProhibited", c.prohibited, 1);
    m_Data.SetProperty(u"FeatureStateInstalled", c.installed, 1);
    m_Data.UpdateFeatureVisibility();
    std::u16string visible;
    for (const JxFeature& feature : m_Data.GetFeatures())
        visible += (visible.empty() ? u"" : u",") + feature.visible;
    EXPECT_EQ(jxtext::N(visible), jxtext::N(c.expected));
}

// Core has a checked component in the packages; Tools has none; Docs's component is present but
// not checked; Hidden is hidden by the definition.
INSTANTIATE_TEST_SUITE_P(
    Features, FeatureVisibility,
    ::testing::Values(VisibilityCase{"Packages", u"", u"", u"", u"true,false,false,false"},
                      VisibilityCase{"Installed", u"", u"", u"$Tools$,$Hidden$", u"true,true,false,false"},
                      VisibilityCase{"Prohibited", u"", u"x$core$", u"$Core$", u"false,false,false,false"},
                      VisibilityCase{"MiniSetup", u"true", u"$Tools$", u"", u"true,false,true,false"},
                      VisibilityCase{"MiniSetupExactly", u"True", u"", u"", u"true,false,false,false"}),
    [](const ::testing::TestParamInfo<VisibilityCase>& info) { return std::string(info.param.name); });

} // namespace
