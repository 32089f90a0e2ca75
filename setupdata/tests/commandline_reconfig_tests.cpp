// Properties from the command line and from the reconfiguration files, and the update mode set
// from its keyword.
#include <gtest/gtest.h>

#include <map>

#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::LoaderTest;

namespace {

const std::u16string kProductId = u"{5A0C7E11-3B2D-4C4F-8E9A-0D1B2C3D4E5F}";

// Packaged files of the tests, read by the data object as the package store would read them.
std::map<std::u16string, std::string> g_Packaged;
int g_VfsStandIn = 0;

JxData::JxPackagedRead ReadPackaged(VirtualFS&, const std::u16string& path, std::string& bytes) {
    const auto found = g_Packaged.find(path);
    if (found == g_Packaged.end())
        return JxData::JxPackagedRead::NotFound;
    bytes = found->second;
    return JxData::JxPackagedRead::Ok;
}

std::string ReconfigText(const std::string& properties, const std::string& strings = "") {
    return "<Reconfig><Properties>" + properties + "</Properties><SetupStrings>" + strings +
           "</SetupStrings></Reconfig>";
}

class CommandLine : public LoaderTest {
protected:
    void SetUp() override {
        g_Packaged.clear();
        m_Data.m_ProductInfo.productid = kProductId;
    }
    void TearDown() override { g_Packaged.clear(); }

    // Packages "mounted": the data object reads g_Packaged.
    void AttachPackages() {
        m_Data.m_Vfs = reinterpret_cast<VirtualFS*>(&g_VfsStandIn); // never dereferenced by the reader
        m_Data.m_ReadPackagedFile = &ReadPackaged;
    }
    std::string Value(const std::u16string& name) { return jxtext::N(m_Data.GetPropertyValue(name)); }
};

struct CmdCase {
    const char* name;
    const char16_t* commandLine;
    std::vector<std::pair<std::u16string, std::u16string>> expected; // "<unset>" keeps "before"
};

class CommandLineTable : public CommandLine, public ::testing::WithParamInterface<CmdCase> {};

TEST_P(CommandLineTable, FillsTheProperties) {
    const CmdCase& row = GetParam();
    // Each property starts as "before"; LOCKED is locked.
    for (const char16_t* name : {u"INSTALLDIR", u"NAME", u"P", u"Q"})
        m_Data.SetProperty(name, u"before", 1);
    m_Data.SetProperty(u"§LOCKED", u"kept", 1);

    m_Data.LoadPropertiesFromCMD(row.commandLine);
    for (const auto& [name, value] : row.expected)
        EXPECT_EQ(Value(name), jxtext::N(value)) << jxtext::N(name);
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

INSTANTIATE_TEST_SUITE_P(
    Cmd, CommandLineTable,
    ::testing::Values(
        CmdCase{"PairsAfterTheProgram",
                u"C:\\x\\setup.exe /INSTALLDIR=C:\\Program Files\\X /NAME=abc",
                {{u"INSTALLDIR", u"C:\\Program Files\\X"}, {u"NAME", u"abc"}, {u"_QuietInstallation", u""}}},
        CmdCase{"QuotedValueKeepsItsBlanks", u"setup.exe /NAME=  \"  a b  \"  ", {{u"NAME", u"  a b  "}}},
        CmdCase{
            "UnquotedValueIsTrimmed", u"setup.exe /NAME=   abc    /P=1", {{u"NAME", u"abc"}, {u"P", u"1"}}},
        CmdCase{"NameIsTrimmed", u"setup.exe / NAME  =v", {{u"NAME", u"v"}}},
        CmdCase{
            "SingleQuoteSetsNothing", u"setup.exe /NAME=\"abc /P=2", {{u"NAME", u"before"}, {u"P", u"2"}}},
        CmdCase{"OnlyTheFirstEqualsSplits", u"setup.exe /NAME=x=y", {{u"NAME", u"x=y"}}},
        CmdCase{"InnerQuotesAreKept", u"setup.exe /NAME=\"say \"hi\"\"", {{u"NAME", u"say \"hi\""}}},
        // The pieces are cut at every " /" before quotes are looked at.
        CmdCase{"QuotedSlashIsCut",
                u"setup.exe /P=\"a /b\" /Q=c /NAME=x /y",
                {{u"P", u"before"}, {u"Q", u"c"}, {u"NAME", u"x"}}},
        CmdCase{"EmptyValue", u"setup.exe /NAME=", {{u"NAME", u""}}},
        CmdCase{"NamesKeepTheirCase",
                u"setup.exe /installdir=low",
                {{u"INSTALLDIR", u"before"}, {u"installdir", u"low"}}},
        CmdCase{"LockedNameKeepsItsValue",
                u"setup.exe /LOCKED=new /NAME=n",
                {{u"LOCKED", u"kept"}, {u"NAME", u"n"}}},
        CmdCase{"NoguiEndsTheReading",
                u"setup.exe /nogui /INSTALLDIR=C:\\Other",
                {{u"_QuietInstallation", u"true"}, {u"INSTALLDIR", u"before"}}},
        CmdCase{"NoguiAnywhere",
                u"setup.exe /NAME=x/nogui",
                {{u"_QuietInstallation", u"true"}, {u"NAME", u"before"}}},
        CmdCase{"OtherCaseOfNoguiIsNoSwitch",
                u"setup.exe /NoGui /NAME=y",
                {{u"_QuietInstallation", u""}, {u"NAME", u"y"}}},
        CmdCase{"QuietFormOfTheOldFrontEnd",
                u"/NOGUI /PARAMS=[/S /V\\\"/QN\\\"]",
                {{u"_QuietInstallation", u"true"}, {u"PARAMS", u""}}}),
    [](const ::testing::TestParamInfo<CmdCase>& info) { return std::string(info.param.name); });

TEST_F(CommandLine, LaterSourcesWinInTheirOrder) {
    AttachPackages();
    m_Data.LoadPropertiesFromCMD(u"setup.exe /A=cmd /E=cmd");
    g_Packaged[u"\\$CONFIG\\setup.reconfig"] =
        ReconfigText("<Property name=\"A\" value=\"pkg\"/><Property name=\"B\" value=\"pkg\"/>"
                     "<Property name=\"C\" value=\"pkg\"/><Property name=\"D\" value=\"pkg\"/>");
    jxloadertest::WriteHostFile(
        jxplat::WindowsToHostPath(jxloadertest::kAppDir + u"setup.reconfig"),
        ReconfigText("<Property name=\"B\" value=\"module\"/><Property name=\"C\" value=\"module\"/>"
                     "<Property name=\"D\" value=\"module\"/>"));
    // "[CommonAppDataFolder]" is not set yet: the machine's common application data folder is used.
    jxloadertest::WriteHostFile(
        jxplat::WindowsToHostPath(u"C:\\ProgramData\\Tolvane\\Setups\\" + kProductId + u"\\setup.reconfig"),
        jxloadertest::Utf16LeBytes(
            jxtext::W(
                ReconfigText("<Property name=\"C\" value=\"maint\"/><Property name=\"D\" value=\"maint\"/>")),
            true));
    g_Packaged[u"\\$RECONFIG\\reconfig.xml"] = ReconfigText("<Property name=\"D\" value=\"rec\"/>");

    m_Data.LoadPropertiesFromReconfig();

    EXPECT_EQ(Value(u"A"), "pkg");
    EXPECT_EQ(Value(u"B"), "module");
    EXPECT_EQ(Value(u"C"), "maint");
    EXPECT_EQ(Value(u"D"), "rec");
    EXPECT_EQ(Value(u"E"), "cmd");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Reading file: \\$RECONFIG\\reconfig.xml")) << m_Log.Dump();
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

TEST_F(CommandLine, MaintenanceFolderFollowsTheProperty) {
    m_Data.SetProperty(u"CommonAppDataFolder", u"D:\\Data", 1);
    jxloadertest::WriteHostFile(
        jxplat::WindowsToHostPath(u"D:\\Data\\Tolvane\\Setups\\" + kProductId + u"\\setup.reconfig"),
        ReconfigText("<Property name=\"C\" value=\"fromD\"/>"));
    jxloadertest::WriteHostFile(
        jxplat::WindowsToHostPath(u"C:\\ProgramData\\Tolvane\\Setups\\" + kProductId + u"\\setup.reconfig"),
        ReconfigText("<Property name=\"C\" value=\"fromC\"/>"));
    m_Data.LoadPropertiesFromReconfig();
    EXPECT_EQ(Value(u"C"), "fromD");
    EXPECT_FALSE(m_Log.Has("LP_INFO", "Reading file:")) << "no packages, no packaged reconfig";
}

TEST_F(CommandLine, MergeTakesPropertiesAndTexts) {
    m_Data.m_Properties.AddText(u"Title", u"Hello", u"1033");
    m_Data.m_Properties.AddText(u"Title", u"Hallo", u"1031");
    m_Data.m_Properties.AddText(u"Other", u"Anderes", u"1031");
    m_Data.MergePropertiesFromReconfig(jxtext::W(
        "<R><Properties><Skipped name=\"S\" value=\"1\"/>"
        "<Property name=\"X\" value=\"1\"/><Anything name=\"Y\" value=\"2\"/><Property value=\"no name\"/>"
        "<Property name=\"Z\"/></Properties>"
        "<SetupStrings><SetupString name=\"Title\" languagecode=\"1031\" value=\"Servus\"/>"
        "<SetupString name=\"Title\" languagecode=\"1036\" value=\"Bonjour\"/>"
        "<SetupString name=\"Other\" languagecode=\"1033\" value=\"Other\"/></SetupStrings></R>"));

    EXPECT_EQ(Value(u"S"), "") << "rows before the first Property are skipped";
    EXPECT_EQ(Value(u"X"), "1");
    EXPECT_EQ(Value(u"Y"), "2") << "siblings after the first Property count whatever their names";
    EXPECT_TRUE(m_Data.GetAllProperties().count(u"Z")) << "a missing value is empty text";

    std::u16string text;
    ASSERT_TRUE(m_Data.m_Properties.GetText(u"Title", u"1031", text));
    EXPECT_EQ(text, u"Servus");
    ASSERT_TRUE(m_Data.m_Properties.GetText(u"Title", u"1033", text));
    EXPECT_EQ(text, u"Hello");
    ASSERT_TRUE(m_Data.m_Properties.GetText(u"Title", u"1036", text));
    EXPECT_EQ(text, u"Bonjour");
    ASSERT_TRUE(m_Data.m_Properties.GetText(u"Other", u"1033", text))
        << "a text in another language is added";
    EXPECT_EQ(text, u"Other");
    ASSERT_TRUE(m_Data.m_Properties.GetText(u"Other", u"1031", text));
    EXPECT_EQ(text, u"Anderes");
}

TEST_F(CommandLine, BrokenReconfigurationChangesNothing) {
    m_Data.SetProperty(u"X", u"before", 1);
    for (const char* text : {"<R><Properties><Property name=\"X\" value=\"1\"></Properties>",
                             "not xml at all", "<R><Property name=\"X\" value=\"2\"/></R>", ""})
        m_Data.MergePropertiesFromReconfig(jxtext::W(text));
    EXPECT_EQ(Value(u"X"), "before");
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

TEST_F(CommandLine, ProtectedValuesAreMaskedInTheLog) {
    m_Data.MergePropertiesFromReconfig(
        jxtext::W("<R><Properties><Property value='s3cret' name='__Password'/>"
                  "<Property name=\"§__Key\" value=\"k3y\"/><Property name=\"Plain\" value=\"visible\"/>"
                  "</Properties></R>"));
    EXPECT_EQ(Value(u"__Password"), "s3cret");
    EXPECT_NE(jxtext::N(m_Data.GetAllProperties()[u"__Password"]), "s3cret") << "held scrambled";
    EXPECT_EQ(Value(u"__Key"), "k3y");
    const std::string log = m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("BEGIN", "Source ")) << log;
    EXPECT_TRUE(m_Log.Has("BEGIN", "visible"));
    EXPECT_EQ(log.find("s3cret"), std::string::npos) << log;
    EXPECT_EQ(log.find("k3y"), std::string::npos) << log;
}

TEST_F(CommandLine, UpdateModeFromItsKeyword) {
    struct {
        const char16_t* keyword;
        int mode;
        const char* property;
    } const cases[] = {{u"upgrade", 2, "upgrade"},           {u"Repair", 2, "upgrade"},
                       {u"EXITSETUP", 3, "EXITSETUP"},       {u"update", 1, "update"},
                       {u"ReloadConfig", 4, "ReloadConfig"}, {u"", 4, "ReloadConfig"},
                       {u"NOUPDATE", 0, "NOUPDATE"}};
    for (const auto& row : cases) {
        m_Data.SetUpdateMode(row.keyword);
        EXPECT_EQ(m_Data.m_UpdateMode, row.mode) << jxtext::N(row.keyword);
        EXPECT_EQ(Value(u"_UPUpdateMode"), row.property) << jxtext::N(row.keyword);
    }
}

} // namespace
