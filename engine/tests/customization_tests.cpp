// A setup's customization: "customize.xml" read as untrusted input, its properties and texts
// applied, its files, registry values and programs installed, and the copy stored for later setups
// with its effect on their update settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

const std::u16string kAppDir = u"C:\\setup\\";
const std::u16string kProduct = u"{BBBBBBBB-0000-0000-0000-000000000001}";
const std::u16string kStore = u"C:\\ProgramData\\Tolvane\\Setups\\" + kProduct + u"\\$CUSTOMIZE";

std::string Host(const std::u16string& windowsPath) {
    return jxplat::WindowsToHostPath(windowsPath);
}

void WriteHost(const std::u16string& windowsPath, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(Host(windowsPath)).parent_path());
    std::ofstream(Host(windowsPath), std::ios::binary | std::ios::trunc) << content;
}

std::string ReadHost(const std::u16string& windowsPath) {
    std::ifstream in(Host(windowsPath), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::u16string& windowsPath) {
    return std::filesystem::exists(Host(windowsPath));
}

class Customization : public ::testing::Test {
protected:
    Customization() {
        m_Data.m_appDir = kAppDir;
        m_Data.m_ProductInfo.productid = kProduct;
        m_Data.SetProperty(u"CommonAppDataFolder", u"C:\\ProgramData", 1);
        m_Data.SetProperty(u"InstallMode", u"Install", 1);
        std::filesystem::create_directories(Host(kAppDir));
    }

    // A customization folder beside the program with this "customize.xml".
    bool Load(const std::string& xml) {
        WriteHost(kAppDir + u"$CUSTOMIZE\\customize.xml", xml);
        return m_Data.Load_Customized_Config();
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
};

TEST(CustomSetupOptions, ParseWithQuotesAndFirstNameWins) {
    using Map = std::map<std::u16string, std::u16string, JxNoCaseLess>;
    EXPECT_EQ(ParseCustomSetupOptions(u"a=1; b = '2; 3' ;A=9"), (Map{{u"a", u"1"}, {u"b", u"2; 3"}}));
    EXPECT_EQ(ParseCustomSetupOptions(u"x"), (Map{{u"x", u""}}));
    EXPECT_EQ(ParseCustomSetupOptions(u";y=1"), (Map{{u";y", u"1"}}));
    EXPECT_EQ(ParseCustomSetupOptions(u"k=a=b"), (Map{{u"k", u"a=b"}}));
}

TEST_F(Customization, PropertiesAndTextsApplyAtOnce) {
    m_Data.m_Properties.AddText(u"TITLE", u"old", u"1033");
    m_Data.m_Properties.AddText(u"title", u"old too", u"1033");
    m_Data.m_Properties.AddText(u"TITLE", u"kept", u"1031");
    ASSERT_TRUE(
        Load("<Custom>"
             "<Properties><!-- rows start at the first Property -->"
             "<Property name=\"PRODUCTNAME\" value=\"Acme Notes\"/>"
             "<Property name=\"productname\" value=\"lower\"/>"
             "<Property name=\"COLOR\" value=\"blue\" localizable=\"no\"/></Properties>"
             "<Strings><String name=\"Title\" language=\"1033\" value=\"new\"/></Strings>"
             "<ThirdPartySetups><ThirdPartySetup app=\"extra.exe\" options=\"a=1\"/></ThirdPartySetups>"
             "</Custom>"));
    EXPECT_FALSE(m_Data.GetCustomizationData()->fromPackages);
    EXPECT_EQ(m_Data.GetPropertyValue(u"_USECUSTOMIZATION"), u"true");
    EXPECT_TRUE(m_Data.Configure_Customized_Properties());
    EXPECT_TRUE(m_Data.Configure_Customized_Strings());
    EXPECT_EQ(m_Data.GetPropertyValue(u"PRODUCTNAME"), u"Acme Notes");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_ATPRODUCTNAME"), u"Acme Notes");
    EXPECT_EQ(m_Data.GetPropertyValue(u"productname"), u"lower");
    EXPECT_EQ(m_Data.GetPropertyValue(u"COLOR"), u"blue");
    std::u16string text;
    EXPECT_TRUE(m_Data.m_Properties.GetText(u"Title", u"1033", text));
    EXPECT_EQ(text, u"new");
    EXPECT_FALSE(m_Data.m_Properties.GetText(u"title", u"1033", text));
    EXPECT_TRUE(m_Data.m_Properties.GetText(u"TITLE", u"1031", text));
    EXPECT_EQ(text, u"kept");
    const JxCustomizationData& data = *m_Data.GetCustomizationData();
    ASSERT_EQ(data.setups.size(), 1u);
    EXPECT_EQ(data.setups[0].optionMap.at(u"A"), u"1");
    EXPECT_FALSE(data.setups[0].selected);
}

// Malformed or missing: nothing is loaded, nothing applied and nothing stored for later setups.
TEST_F(Customization, AFileThatDoesNotLoadChangesNothing) {
    for (const std::string& xml : {std::string("<Custom><Properties><Property name=\"A\" value=\"1\"/>"),
                                   std::string("not xml at all"), std::string("")}) {
        EXPECT_FALSE(Load(xml)) << xml;
        EXPECT_TRUE(m_Data.GetCustomizationData()->properties.empty());
        EXPECT_EQ(m_Data.GetPropertyValue(u"_USECUSTOMIZATION"), u"");
        EXPECT_FALSE(m_Data.Store_Customied_Configuration());
        EXPECT_FALSE(Exists(kStore)) << "nothing is left for the product's removal to miss";
    }
    std::filesystem::remove_all(Host(kAppDir + u"$CUSTOMIZE"));
    EXPECT_FALSE(m_Data.Load_Customized_Config());
    EXPECT_TRUE(m_Data.GetCustomizationData()->fromPackages);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "No customizing configuration found."));
}

TEST_F(Customization, FilesRegistryAndProgramsAreInstalled) {
    m_Data.m_ProductInfo.languages = u"1031,1033";
    m_Data.SetCurrentLanguage(u"1033");
    WriteHost(kAppDir + u"$CUSTOMIZE\\logo.png", "logo");
    WriteHost(kAppDir + u"$CUSTOMIZE\\1033\\readme.txt", "english");
    WriteHost(kAppDir + u"$CUSTOMIZE\\tmp.txt", "temporary");
    WriteHost(u"C:\\tools\\mark.sh", "#!/bin/sh\necho \"$JX_COMMAND_LINE\" >> \"$JX_MACHINE_ROOT/marks\"\n");
    std::filesystem::permissions(Host(u"C:\\tools\\mark.sh"), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    m_Data.SetProperty(u"INSTALLDIR", u"C:\\Program Files\\Acme", 1);
    ASSERT_TRUE(
        Load("<C><Files>"
             "<File name=\"logo.png\" destination=\"[INSTALLDIR]\\img\"/>"
             "<File name=\"readme.txt\" resource=\"TRUE\" destination=\"[INSTALLDIR]\"/>"
             "<File name=\"tmp.txt\" destination=\"C:\\work\" usetemporary=\"true\"/>"
             "<File name=\"..\\escape.txt\" destination=\"C:\\work\"/>"
             "<File name=\"rel.txt\" destination=\"relative\\folder\"/>"
             "</Files><Registry>"
             "<Regkey root=\"HKLM\" key=\"Software\\Acme\" valuename=\"Brand\" value=\"[INSTALLDIR]\" "
             "type=\"REG_SZ\" platform=\"x64\"/>"
             "</Registry><ExecuteApps>"
             "<ExecuteApp app=\"C:\\tools\\mark.sh\" arg=\"first\" wait=\"true\"/>"
             "<ExecuteApp app=\"C:\\tools\\mark.sh\" arg=\"second\" wait=\"true\" timeout=\"abc\"/>"
             "<ExecuteApp app=\"C:\\tools\\mark.sh\" arg=\"third\" wait=\"true\"/>"
             "</ExecuteApps></C>"));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Acme", u"Brand", u"old", CRegStringType::Sz,
                              KEY_WOW64_64KEY);
    EXPECT_TRUE(m_Data.Install_Customized_Files());
    EXPECT_EQ(ReadHost(u"C:\\Program Files\\Acme\\img\\logo.png"), "logo");
    EXPECT_EQ(ReadHost(u"C:\\Program Files\\Acme\\readme.txt"), "english");
    EXPECT_EQ(ReadHost(u"C:\\work\\tmp.txt"), "temporary");
    EXPECT_FALSE(Exists(u"C:\\escape.txt"));
    EXPECT_EQ(m_Log.Count("ERROR", "is refused"), 2u) << m_Log.Dump();

    EXPECT_TRUE(m_Data.Install_Customized_Regkeys());
    EXPECT_EQ(
        CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Acme", u"Brand", u"", KEY_WOW64_64KEY),
        u"C:\\Program Files\\Acme");

    EXPECT_FALSE(m_Data.Execute_Customized_Apps());
    EXPECT_TRUE(m_Log.Has("ERROR", "Wrong time out format! abc"));
    const std::string ran = jxtest::ReadHostFile(m_Root.Path() + "/marks");
    EXPECT_NE(ran.find("first"), std::string::npos) << ran;
    EXPECT_EQ(ran.find("third"), std::string::npos) << ran;

    EXPECT_TRUE(m_Data.Delete_Customized_Temporary_Files());
    EXPECT_FALSE(Exists(u"C:\\work\\tmp.txt"));
    EXPECT_TRUE(Exists(u"C:\\Program Files\\Acme\\readme.txt"));
}

// Extra setups run when the user interface selected them, from the current language's folder of the
// customization; a name that would reach another folder is refused with a line and runs nothing.
TEST_F(Customization, SelectedExtraSetupsRunAndHostileNamesAreRefused) {
    m_Data.m_ProductInfo.languages = u"1033";
    m_Data.SetCurrentLanguage(u"1033");
    const std::string mark = "#!/bin/sh\necho \"$0 $JX_COMMAND_LINE\" >> \"$JX_MACHINE_ROOT/marks\"\n";
    for (const char16_t* program :
         {u"$CUSTOMIZE\\1033\\extra.sh", u"$CUSTOMIZE\\1033\\other.sh", u"tools\\evil.sh"}) {
        WriteHost(kAppDir + program, mark);
        std::filesystem::permissions(Host(kAppDir + program), std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add);
    }
    ASSERT_TRUE(Load("<C><ThirdPartySetups>"
                     "<ThirdPartySetup app=\"extra.sh\" arg=\"/for [PRODUCTNAME]\"/>"
                     "<ThirdPartySetup app=\"other.sh\"/>"
                     "<ThirdPartySetup app=\"..\\..\\tools\\evil.sh\"/>"
                     "<ThirdPartySetup app=\"C:\\setup\\tools\\evil.sh\"/>"
                     "</ThirdPartySetups></C>"));
    m_Data.SetProperty(u"PRODUCTNAME", u"Acme", 1);
    JxCustomizationData& data = *m_Data.GetCustomizationData();
    ASSERT_EQ(data.setups.size(), 4u);
    data.setups[0].selected = data.setups[2].selected = data.setups[3].selected = true;

    EXPECT_FALSE(m_Data.Install_Customized_ThirdPartyApps());
    const std::string ran = jxtest::ReadHostFile(m_Root.Path() + "/marks");
    EXPECT_NE(ran.find("extra.sh"), std::string::npos) << ran;
    EXPECT_NE(ran.find("/for Acme"), std::string::npos) << ran;
    EXPECT_EQ(ran.find("other.sh"), std::string::npos) << ran;
    EXPECT_EQ(ran.find("evil.sh"), std::string::npos) << ran;
    EXPECT_EQ(m_Log.Count("ERROR", "is refused: not a valid file name."), 2u) << m_Log.Dump();

    // From the packages without a mounted file system: nothing runs and the step fails.
    data.fromPackages = true;
    data.setups[2].selected = data.setups[3].selected = false;
    EXPECT_FALSE(m_Data.Install_Customized_ThirdPartyApps());
    EXPECT_TRUE(m_Log.Has("ERROR", "App extra.sh not found in VFS."));
}

// A target that cannot be replaced now is copied to a free name beside it and moved at the restart.
TEST_F(Customization, ALockedTargetIsReplacedAtTheRestart) {
    WriteHost(kAppDir + u"$CUSTOMIZE\\x.txt", "new");
    std::filesystem::create_directories(Host(u"C:\\out\\x.txt")); // a folder in the way: the copy fails
    WriteHost(u"C:\\out\\x.txt.mvex", "");
    WriteHost(u"C:\\out\\x.txt.mvex1", "");
    ASSERT_TRUE(Load("<C><Files><File name=\"x.txt\" destination=\"C:\\out\"/></Files></C>"));
    EXPECT_TRUE(m_Data.Install_Customized_Files());
    EXPECT_EQ(ReadHost(u"C:\\out\\x.txt.mvex12"), "new");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Successfully scheduled file copy action using MoveFileEx."));
    EXPECT_TRUE(m_Data.IsRestartRequired());
}

TEST_F(Customization, TheCustomizationIsStoredForLaterSetups) {
    WriteHost(kAppDir + u"$CUSTOMIZE\\theme\\colors\\main.css", "css");
    ASSERT_TRUE(Load("<C/>"));
    EXPECT_TRUE(m_Data.Store_Customied_Configuration());
    EXPECT_EQ(ReadHost(kStore + u"\\customize.xml"), "<C/>");
    EXPECT_EQ(ReadHost(kStore + u"\\theme\\colors\\main.css"), "css");
    // Only an installation stores it.
    std::filesystem::remove_all(Host(kStore));
    m_Data.SetProperty(u"InstallMode", u"Maintenance", 1);
    EXPECT_TRUE(m_Data.Store_Customied_Configuration());
    EXPECT_FALSE(Exists(kStore));
}

// A standard setup over a customized product (or the other way round) removes the product first.
TEST_F(Customization, DifferentTypesUninstallTheInstalledProductFirst) {
    const std::u16string key = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kProduct;
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString", u"C:\\old\\setup.exe /u",
                              CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"InstallLocation", u"C:\\old",
                              CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayName", u"Old", CRegStringType::Sz, 0);
    WriteHost(kStore + u"\\customize.xml", "<C/>");
    m_Data.SetProperty(u"InstallMode", u"Maintenance", 1);
    m_Data.Configure_Customized_UpdateProduct();
    EXPECT_EQ(m_Data.GetInstallMode(), u"Install");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_OldAVCMD"), u"C:\\old\\setup.exe /u /_AllowSecondInstance=\"true\"");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_OldAVName"), u"Old");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_UPUpdateMode"), u"NOUPDATE");

    // A standard setup installing beside a customized product does not upgrade it.
    JxProductCode code;
    code.guid = kProduct;
    m_Data.m_Requirements.m_ProductCodes = {code};
    m_Data.Configure_Customized_UpgradeProducts();
    EXPECT_EQ(m_Data.m_Requirements.m_ProductCodes[0].noupgrade, u"true");

    // Both customized: nothing changes.
    JxData customized;
    customized.m_ProductInfo.productid = kProduct;
    customized.SetProperty(u"CommonAppDataFolder", u"C:\\ProgramData", 1);
    customized.SetProperty(u"InstallMode", u"Maintenance", 1);
    customized.SetProperty(u"_USECUSTOMIZATION", u"true", 1);
    customized.Configure_Customized_UpdateProduct();
    EXPECT_EQ(customized.GetInstallMode(), u"Maintenance");
    EXPECT_EQ(customized.GetPropertyValue(u"_OldAVCMD"), u"");
}

} // namespace
