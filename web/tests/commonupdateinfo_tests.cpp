// Reading the common-update information, the redirection list and "SetupInformation.xml".
#include <gtest/gtest.h>

#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"
#include "jxweb/JxWebCommonUpdateInfo.h"

using namespace JxSetup::Data;

TEST(CommonUpdateInfo, IsValidWithAVersionAndAPlaceToLook) {
    jxtest::TempMachineRoot root;
    auto info = JxWebCommonUpdateInfo::ParseFromXMLString(
        u"<cu version=\"2.1.0.1\" redirection=\"https://h/r.xml\" akamaiuri=\"https://store/x\"/>");
    EXPECT_TRUE(info.IsValid());
    EXPECT_EQ(info.m_RedirectionUrl, u"https://h/r.xml");
    EXPECT_FALSE(
        JxWebCommonUpdateInfo::ParseFromXMLString(u"<cu version=\"1\" akamaiuri=\"https://s/\"/>").IsValid());
    EXPECT_FALSE(JxWebCommonUpdateInfo::ParseFromXMLString(u"<cu uninstallerurl=\"https://u/\"/>").IsValid());
    EXPECT_FALSE(JxWebCommonUpdateInfo::ParseFromXMLString(u"not xml").IsValid());
    EXPECT_FALSE(JxWebCommonUpdateInfo::ParseFromXMLString(u"").IsValid());
}

TEST(CommonUpdateInfo, ContentStoreUrlsNameFilesByTheirChecksum) {
    JxWebCommonUpdateInfo info;
    EXPECT_EQ(info.GetCdnFileUrl(u"AB12"), u"");
    info.m_ContentStoreUrl = u"https://store/cu";
    EXPECT_EQ(info.GetCdnFileUrl(u"AB12"), u"https://store/cu/ab/ab12.bin");
    info.m_ContentStoreUrl = u"https://store/cu/";
    EXPECT_EQ(info.GetCdnFileUrl(u"AB12.BIN"), u"https://store/cu/ab/ab12.bin");
    EXPECT_EQ(info.GetCdnFileUrl(u""), u"");

    JxWebDownloadEntry entry;
    entry.m_BaseUrl = u"https://h/sw/";
    entry.m_FileName = u"setup.exe";
    entry.m_Sha = u"CD34.bin";
    EXPECT_EQ(GetDownloadEntryUrl(entry, u""), u"https://h/sw/setup.exe");
    EXPECT_EQ(GetDownloadEntryUrl(entry, u"https://store/cu"), u"https://store/cu/cd/cd34.bin.bin");
}

// Every element child is an item, whatever its name; comments and blank text are not.
TEST(CommonUpdateInfo, RedirectionItemsAreTheElementChildren) {
    jxtest::TempMachineRoot root;
    const auto items = JxWebCommonUpdateItem::ParseItemsFromXMLString(
        u"<list>\n  <!-- the software -->\n  <a version=\"1.0\" type=\"Software\" url=\"https://h/sw/\"/>\n"
        u"  <?pi x?><b type=\"setup\" packagecode=\"{P}\"/>\n  <c type=\"UNINSTALL\"/>\n</list>");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].m_Type, CommonUpdateSoftware);
    EXPECT_EQ(items[0].m_Url, u"https://h/sw/");
    EXPECT_EQ(items[1].m_Type, CommonUpdateUnknown);
    EXPECT_EQ(items[1].m_PackageCode, u"{P}");
    EXPECT_EQ(items[2].m_Type, CommonUpdateUninstall);
    EXPECT_EQ(ParseCommonUpdateType(u"signature"), CommonUpdateSignature);
}

TEST(CommonUpdateInfo, SetupFilesWithTheirFeaturesAndComponentFiles) {
    jxtest::TempMachineRoot root;
    jxtest::CLogCapture log;
    JxWebSetupInformation record;
    record.m_Version = u"from the list";
    record.ParseFromXMLString(u"<SetupInformation version=\"3.0.0.1\">"
                              u"<SetupFile name=\"{C1}.wpk\" sha=\"AA\" producttype=\"A,B\" size=\"12a\">"
                              u"<Feature name=\"Core\" dependson=\"\" producttype=\"A\" generation=\"x\"/>"
                              u"<ComponentFile id=\"{C1}\" filename=\"core.dll\" language=\"0\" sha=\"BB\"/>"
                              u"<Group><Feature name=\"Nested\"/></Group></SetupFile>"
                              u"<SetupFile name=\"setup.exe\" sha=\"CC\" size=\"-5\"/>"
                              u"<SetupFile name=\"big.wpk\" size=\"4294967296\"/>"
                              u"<SetupFile name=\"ok.wpk\" size=\"2048\"/>"
                              u"<Other><SetupFile name=\"deep.exe\"/></Other></SetupInformation>");
    EXPECT_EQ(record.m_Version, u"3.0.0.1");
    ASSERT_EQ(record.m_SetupFiles.size(), 4u);
    const auto& package = record.m_SetupFiles[0];
    EXPECT_EQ(package.m_Size, 0);
    ASSERT_EQ(package.m_Features.size(), 1u);
    EXPECT_EQ(package.m_Features[0].m_Generation, 0);
    ASSERT_EQ(package.m_ComponentFiles.size(), 1u);
    EXPECT_EQ(package.m_ComponentFiles[0].m_FileName, u"core.dll");
    // A negative or too large size would wrap the download total: it reads as 0, with the warning.
    EXPECT_EQ(record.m_SetupFiles[1].m_Size, 0);
    EXPECT_EQ(record.m_SetupFiles[2].m_Size, 0);
    EXPECT_EQ(record.m_SetupFiles[3].m_Size, 2048);
    EXPECT_EQ(log.Count("WARNING", "Failed to parse file size."), 3u);
    EXPECT_EQ(log.Count("WARNING", "Failed to parse generation."), 1u);

    record.m_BaseUrl = u"https://h/sw/";
    EXPECT_EQ(record.GetShaUrl(), u"https://h/sw/SetupInformation.sha");
    EXPECT_EQ(JxWebSetupInformation().GetXmlUrl(), u"");
}
