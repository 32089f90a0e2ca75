// The file metadata ("metainfo.xml") and the product family ("requirements.xml") beside the
// definition, with damaged files and malformed values.
#include <gtest/gtest.h>

#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::LoaderTest;

namespace {

int g_VfsStandIn = 0;
std::string g_PackagedMetaInfo;

JxData::JxPackagedRead ReadPackaged(VirtualFS&, const std::u16string& path, std::string& bytes) {
    if (path != u"\\$CONFIG\\metainfo.xml" || g_PackagedMetaInfo.empty())
        return JxData::JxPackagedRead::NotFound;
    bytes = g_PackagedMetaInfo;
    return JxData::JxPackagedRead::Ok;
}

// Writes a file of the definition folder as the setup carries it (UTF-16LE with a mark).
void WriteBeside(const std::u16string& name, const std::string& utf8) {
    jxloadertest::WriteHostFile(jxplat::WindowsToHostPath(jxloadertest::kAppDir + name),
                                jxloadertest::Utf16LeBytes(jxtext::W(utf8), true));
}

class FileMeta : public LoaderTest {
protected:
    void TearDown() override { g_PackagedMetaInfo.clear(); }
};

TEST_F(FileMeta, RowsOfTheFileBesideTheProgram) {
    // The packaged file loses against the one beside the program.
    g_PackagedMetaInfo = "<Files><File name=\"packaged.dll\"/></Files>";
    m_Data.m_Vfs = reinterpret_cast<VirtualFS*>(&g_VfsStandIn);
    m_Data.m_ReadPackagedFile = &ReadPackaged;
    WriteBeside(
        u"metainfo.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><MetaInfo><!-- files -->"
        "<File componentid=\"{A1}\" name=\"app.exe\" language=\"\" lastwritetime=\"01.02.2023 10:11:12\" "
        "sha=\"ABCD\" size=\"12.50\" version=\"5.2.0.118\" crc=\"1\" fullsize=\"12800\"/>"
        "<!-- a comment between rows is no row -->"
        "<Other name=\"res.dll\" language=\"1031\" size=\"kilobytes\"/>"
        "</MetaInfo>");
    m_Data.LoadFileMetaInformation();

    const std::vector<JxFile> rows = m_Data.GetFileMetaInformation();
    ASSERT_EQ(rows.size(), 2u) << m_Log.Dump();
    EXPECT_EQ(rows[0].componentid, u"{A1}");
    EXPECT_EQ(rows[0].name, u"app.exe");
    EXPECT_EQ(rows[0].lastwritetime, u"01.02.2023 10:11:12");
    EXPECT_EQ(rows[0].sha, u"ABCD");
    EXPECT_EQ(rows[0].size, u"12.50");
    EXPECT_EQ(rows[0].fullsize, u"12800");
    EXPECT_EQ(rows[0].version, u"5.2.0.118");
    EXPECT_EQ(rows[1].name, u"res.dll") << "every element after the first File is a row";
    EXPECT_EQ(rows[1].language, u"1031");
    EXPECT_EQ(rows[1].size, u"kilobytes") << "kept as text; the size sums skip it";
    EXPECT_EQ(rows[1].version, u"");
    EXPECT_TRUE(m_Log.Has("BEGIN", "JxSetup::Data::JxData::LoadFileMetaInformation"));
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());

    // Without the file beside the program the packaged one is read.
    std::filesystem::remove(jxplat::WindowsToHostPath(jxloadertest::kAppDir + u"metainfo.xml"));
    m_Data.LoadFileMetaInformation();
    ASSERT_EQ(m_Data.GetFileMetaInformation().size(), 1u);
    EXPECT_EQ(m_Data.GetFileMetaInformation()[0].name, u"packaged.dll");
}

TEST_F(FileMeta, DamagedFilesKeepTheRowsThereAre) {
    JxFile kept;
    kept.name = u"kept.dll";
    m_Data.m_FileMetaInformation.push_back(kept);
    m_Data.LoadFileMetaInformation(); // no file at all
    WriteBeside(u"metainfo.xml", "<MetaInfo><File name=\"x\"></MetaInfo>");
    m_Data.LoadFileMetaInformation();
    WriteBeside(u"metainfo.xml", "");
    m_Data.LoadFileMetaInformation();
    ASSERT_EQ(m_Data.m_FileMetaInformation.size(), 1u);
    EXPECT_EQ(m_Data.m_FileMetaInformation[0].name, u"kept.dll");
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

const char* const kRequirements =
    "<Requirements>"
    "<ProductTypes><ProductType name=\"Basic\" level=\"1\"/><ProductType name=\"NoLevel\"/>"
    "<ProductType name=\"Negative\" level=\"-3\"/><ProductType name=\"Word\" level=\"two\"/>"
    "<ProductType name=\"Blank\" level=\" 4\"/><ProductType name=\"Huge\" level=\"99999999999\"/>"
    "<ProductType name=\"Sign\" level=\"+\"/></ProductTypes>"
    "<InstalledLanguage root=\"HKLM\" key=\"SOFTWARE\\Tolvane\\Brellwick\" subkey=\"Language\">"
    "<LanguageCode short=\"1031\" iso=\"de\"/><LanguageCode short=\"1033\" iso=\"en\"/></InstalledLanguage>"
    "<ProductCodes>"
    "<ProductCode guid=\"{PLAIN}\" name=\"Plain\" version=\"7\" producttype=\"Basic\"/>"
    "<ProductCode guid=\"{SKIPSXS}\" skip=\"TRUE\" sxssharecounter=\"Shared\" version=\"x7\"/>"
    "<ProductCode guid=\"{BOTH}\" sxssharecounter=\"Shared\" installdirkey=\"SOFTWARE\\Own\"/>"
    "<ProductCode guid=\"{NEITHER}\" skip=\"true\"/>"
    "</ProductCodes>"
    "<SystemRequirements><SystemRequirement condition=\"wrong\" message=\"ignored\"/></SystemRequirements>"
    "<SystenRequirements><SystemRequirement condition=\"[VersionNT]&gt;=600\" message=\"Vista\"/>"
    "</SystenRequirements>"
    "</Requirements>";

TEST_F(FileMeta, RequirementsFillBothRecords) {
    WriteBeside(u"requirements.xml", kRequirements);
    m_Data.LoadRequirements();
    const JxRequirements& req = m_Data.m_Requirements;

    const std::vector<std::pair<std::u16string, int32_t>> types = {
        {u"Basic", 1}, {u"NoLevel", 0}, {u"Negative", -3}, {u"Word", 0},
        {u"Blank", 0}, {u"Huge", 0},    {u"Sign", 0}};
    ASSERT_EQ(req.m_ProductTypes.size(), types.size());
    for (size_t at = 0; at < types.size(); ++at) {
        EXPECT_EQ(req.m_ProductTypes[at].name, types[at].first);
        EXPECT_EQ(req.m_ProductTypes[at].level, types[at].second) << jxtext::N(types[at].first);
    }
    EXPECT_EQ(m_Log.Count("WARNING", "is not an integer"), 5u) << m_Log.Dump();

    EXPECT_EQ(req.m_InstalledLanguageRoot, u"HKLM");
    EXPECT_EQ(req.m_InstalledLanguageKey, u"SOFTWARE\\Tolvane\\Brellwick");
    EXPECT_EQ(req.m_InstalledLanguageSubKey, u"Language");
    ASSERT_EQ(req.m_LanguageCodes.size(), 2u);
    EXPECT_EQ(req.m_LanguageCodes[1].first, u"1033");
    EXPECT_EQ(req.m_LanguageCodes[1].second, u"en");

    ASSERT_EQ(req.m_ProductCodes.size(), 2u);
    const JxProductCode& plain = req.m_ProductCodes[0];
    EXPECT_EQ(plain.guid, u"{PLAIN}");
    EXPECT_EQ(plain.version, 7);
    EXPECT_EQ(plain.producttype, u"Basic");
    EXPECT_EQ(plain.installdirhk, u"HKLM");
    EXPECT_EQ(plain.installdirkey, u"SOFTWARE\\TOLVANE");
    EXPECT_EQ(plain.installdirsubkey, u"RootPath");
    EXPECT_EQ(plain.installdirparent, u"0");
    const JxProductCode& both = req.m_ProductCodes[1];
    EXPECT_EQ(both.guid, u"{BOTH}");
    EXPECT_EQ(both.installdirkey, u"SOFTWARE\\Own");
    EXPECT_EQ(both.installdirhk, u"") << "one location field set: no defaults";
    EXPECT_EQ(both.installdirparent, u"");

    const std::vector<JxProductCode>& sxs = m_Data.m_SxsRequirements.m_ProductCodes;
    ASSERT_EQ(sxs.size(), 2u);
    EXPECT_EQ(sxs[0].guid, u"{SKIPSXS}");
    EXPECT_EQ(sxs[0].version, 0);
    EXPECT_EQ(sxs[1].guid, u"{BOTH}");
    EXPECT_TRUE(m_Data.m_SxsRequirements.m_ProductTypes.empty());

    ASSERT_EQ(req.m_SystemRequirements.size(), 1u) << "only the section spelled \"SystenRequirements\"";
    EXPECT_EQ(req.m_SystemRequirements[0].first, u"[VersionNT]>=600");
    EXPECT_EQ(req.m_SystemRequirements[0].second, u"Vista");
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

TEST_F(FileMeta, BrokenRequirementsLeaveEmptyRecords) {
    WriteBeside(u"requirements.xml", kRequirements);
    m_Data.LoadRequirements();
    ASSERT_FALSE(m_Data.m_Requirements.m_ProductCodes.empty());
    WriteBeside(u"requirements.xml", "<Requirements><ProductCodes><ProductCode guid=\"{X}\"></Requirements>");
    m_Data.LoadRequirements();
    EXPECT_TRUE(m_Data.m_Requirements.m_ProductCodes.empty());
    EXPECT_TRUE(m_Data.m_Requirements.m_ProductTypes.empty());
    EXPECT_TRUE(m_Data.m_Requirements.m_InstalledLanguageKey.empty());
    EXPECT_TRUE(m_Data.m_SxsRequirements.m_ProductCodes.empty());
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
}

} // namespace
