// The prerequisite overview of the pages, list properties, the "/_mountExe" option of a command
// line and the system folders kept from the empty-folder clean-up.
#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"
#include "loader_support.h"

using namespace JxSetup::Data;

namespace {

class OverviewTest : public ::testing::Test {
protected:
    OverviewTest() {
        JxFeature feature;
        feature.name = u"Core";
        JxComponent plain;
        plain.id = u"C1";
        JxComponent packaged;
        packaged.id = u"C2";
        packaged.extractaswpk = u"True";
        JxComponent conditional;
        conditional.id = u"C3";
        conditional.condition = u"[WANT_C3] == 1";
        feature.components = {plain, packaged, conditional};
        m_Data.m_Features.push_back(feature);
    }
    static JxFile Prerequisite(const char16_t* component, const char16_t* message,
                               const char16_t* condition = u"", const char16_t* show = u"TRUE") {
        JxFile file;
        file.featurename = u"Core";
        file.componentid = component;
        file.isprerequisite = u"true";
        file.prqshowoverview = show;
        file.prqoverviewmessage = message;
        file.prqoverviewcondition = condition;
        return file;
    }
    std::u16string Get(const std::u16string& name) { return m_Data.GetAllProperties()[name]; }

    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
};

TEST_F(OverviewTest, PrerequisitesThatAnnounceThemselvesAreListed) {
    m_Data.m_Prerequisites = {Prerequisite(u"C1", u"[PRQ_NET]"),
                              Prerequisite(u"C1", u"Hidden", u"", u"false"),
                              Prerequisite(u"C1", u""),
                              Prerequisite(u"C1", u"Already there", u"[HAVE_NET] == 0"),
                              Prerequisite(u"C2", u"Own package"),
                              Prerequisite(u"C3", u"Conditional"),
                              Prerequisite(u"C1", u"Runtime")};
    m_Data.SetProperty(u"HAVE_NET", u"1", 1);
    m_Data.SetProperty(u"PRQ_NET", u"Network runtime", 1);
    m_Data.SetProperty(u"_PrqOverviewItems", u"stale", 1);
    m_Data.SetPrerequisiteOverviewItems();
    EXPECT_EQ(m_Data.GetPropertyValue(u"_PrqOverviewItems"),
              u"warning.svgz\tNetwork runtime\twarning.svgz\tRuntime");
    EXPECT_EQ(Get(u"_PrqShowOverview"), u"true");

    m_Data.SetProperty(u"WANT_C3", u"1", 1);
    m_Data.m_Prerequisites = {Prerequisite(u"C3", u"[PRQ_C3]")};
    m_Data.SetPrerequisiteOverviewItems();
    // The message is stored unexpanded, for the page to expand.
    EXPECT_EQ(Get(u"_PrqOverviewItems"), u"warning.svgz\t[PRQ_C3]");
}

TEST_F(OverviewTest, WithoutAPrerequisiteSequenceTheFileRowsAreRead) {
    m_Data.m_Files = {Prerequisite(u"C1", u"From the files")};
    m_Data.m_Files[0].isprerequisite = u"";
    m_Data.SetPrerequisiteOverviewItems();
    EXPECT_EQ(Get(u"_PrqOverviewItems"), u"");
    EXPECT_EQ(Get(u"_PrqShowOverview"), u"");
    m_Data.m_Files[0].isprerequisite = u"TRUE";
    m_Data.SetPrerequisiteOverviewItems();
    EXPECT_EQ(Get(u"_PrqOverviewItems"), u"warning.svgz\tFrom the files");
    EXPECT_EQ(Get(u"_PrqShowOverview"), u"true");
}

TEST_F(OverviewTest, AppendPropertyValueJoinsWithTheSeparator) {
    m_Data.AppendPropertyValue(u"A", u"LIST", u"\t");
    EXPECT_EQ(Get(u"LIST"), u"A");
    m_Data.AppendPropertyValue(u"B", u"LIST", u"\t");
    EXPECT_EQ(Get(u"LIST"), u"A\tB");
    m_Data.AppendPropertyValue(u"", u"LIST", u"\t");
    EXPECT_EQ(Get(u"LIST"), u"A\tB");
}

struct MountExeCase {
    const char* name;
    const char16_t* mountExe;
    const char16_t* commandLine;
    const char16_t* expected;
};

void PrintTo(const MountExeCase& c, std::ostream* os) {
    *os << c.name;
}

class MountExeArgument : public OverviewTest, public ::testing::WithParamInterface<MountExeCase> {};

TEST_P(MountExeArgument, IsAddedOnceForAnExistingProgram) {
    const MountExeCase& c = GetParam();
    jxloadertest::WriteHostFile(jxplat::WindowsToHostPath(u"C:\\Setup\\setup.exe"), "MZ");
    m_Data.SetProperty(u"_mountExe", c.mountExe, 1);
    std::u16string out = u"stale";
    m_Data.AddMountExeArgument(out, c.commandLine);
    EXPECT_EQ(jxtext::N(out), jxtext::N(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MountExeArgument,
    ::testing::Values(MountExeCase{"Added", u"C:\\Setup\\setup.exe", u"/quiet",
                                   u"/quiet /_mountExe=\"C:\\Setup\\setup.exe\""},
                      MountExeCase{"QuotedOnce", u"\"C:\\Setup\\setup.exe\"", u"/quiet",
                                   u"/quiet /_mountExe=\"C:\\Setup\\setup.exe\""},
                      MountExeCase{"AlreadyThere", u"C:\\Setup\\setup.exe", u"/_MOUNTEXE=x", u"/_MOUNTEXE=x"},
                      MountExeCase{"MissingFile", u"C:\\Setup\\gone.exe", u"/quiet", u"/quiet"},
                      MountExeCase{"AFolder", u"C:\\Setup", u"/quiet", u"/quiet"},
                      MountExeCase{"NotSet", u"", u"/quiet", u"/quiet"}),
    [](const ::testing::TestParamInfo<MountExeCase>& info) { return std::string(info.param.name); });

TEST_F(OverviewTest, SystemFoldersAreKeptFromTheCleanUp) {
    for (const char16_t* folder : {u"C:\\Program Files (x86)", u"C:\\Windows", u"C:\\ProgramData"})
        jxplat::EnsureHostDirectory(jxplat::WindowsToHostPath(folder));
    m_Data.SetProperty(u"ProgramFilesFolder", u"C:\\Program Files (x86)\\", 1);
    m_Data.SetProperty(u"WindowsFolder", u"C:\\Windows\\", 1);
    m_Data.SetProperty(u"CommonAppDataFolder", u"[ROOTDRIVE]ProgramData\\", 1);
    m_Data.SetProperty(u"ROOTDRIVE", u"C:\\", 1);
    m_Data.SetProperty(u"AppDataFolder", u"C:\\NoSuchFolder\\", 1);
    m_Data.BlackListSystemFolders();
    // Expanded and normalised; a missing folder and unset properties are left out.
    EXPECT_EQ(m_Data.GetCleanEmptyFolder().m_BlackList,
              (std::set<std::u16string>{u"C:\\Program Files (x86)", u"C:\\Windows", u"C:\\ProgramData"}));
}

} // namespace
