// The product's uninstall entry and the removal of the product it replaces, on a fresh machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <windows.h>

#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxtest/machine_root.h"

namespace {

using namespace JxSetup::Data;

constexpr const WCHAR* kProductId = u"{11111111-2222-3333-4444-555555555555}";
constexpr const WCHAR* kOldId = u"{12345678-ABCD-EF01-2345-6789ABCDEF01}";
constexpr const WCHAR* kOldPacked = u"87654321DCBA10FE32547698BADCFE10";
const std::u16string kUninstall = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::u16string kEntry = kUninstall + kProductId;

std::filesystem::path Host(const std::u16string& windowsPath) {
    return jxplat::WindowsToHostPath(windowsPath);
}

void WriteHost(const std::u16string& windowsPath, const std::string& bytes = "x") {
    const std::filesystem::path target = Host(windowsPath);
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << bytes;
}

class UninstallEntry : public ::testing::Test {
protected:
    UninstallEntry() {
        m_Data.m_ProductInfo.productid = kProductId;
        m_Data.m_ProductInfo.version = u"25.5.1.17";
        m_Data.m_ProductInfo.DisplayIcon = u"[INSTALLDIR]client.exe,0";
        Set(u"PRODUCTNAME", u"Jx Client");
        Set(u"COMPANY", u"Tolvane");
        Set(u"INSTALLDIR", u"C:\\Program Files\\Tolvane\\Client\\");
        Set(u"CommonAppDataFolder", u"C:\\ProgramData");
        Set(u"WindowsFolder", u"C:\\Windows\\");
        Set(u"InstallMode", u"Install");
        // One installed feature of 100 + 23 kilobytes; the feature that depends on it is counted with it.
        JxFeature core;
        core.name = u"Core";
        JxComponent component;
        component.id = u"{C1}";
        core.components.push_back(component);
        m_Data.m_Features.push_back(core);
        Set(u"FeatureStateInstalled", u"$Core$");
        for (const WCHAR* size : {u"100", u"23"}) {
            JxFile file;
            file.componentid = u"{C1}";
            file.size = size;
            m_Data.m_FileMetaInformation.push_back(file);
        }
    }
    void Set(const std::u16string& name, const std::u16string& value) { m_Data.SetProperty(name, value, 1); }
    static std::u16string Str(const std::u16string& key, const WCHAR* name, REGSAM view = 0) {
        return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), name, u"<missing>", view);
    }
    static DWORD Int(const std::u16string& key, const WCHAR* name) {
        return CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), name, 0xDEAD, 0);
    }
    static bool Has(const std::u16string& key, const WCHAR* name) {
        return CReg::ValueExists(HKEY_LOCAL_MACHINE, key.c_str(), name, 0);
    }
    static bool KeyExists(const std::u16string& key, REGSAM view = 0) {
        return CReg::IsValidPath(HKEY_LOCAL_MACHINE, key.c_str(), view);
    }

    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
};

TEST_F(UninstallEntry, WritesEveryValueOfTheEntry) {
    m_Data.ControlPanelAddProduct();
    const std::u16string setup =
        u"C:\\ProgramData\\Tolvane\\Setups\\" + std::u16string(kProductId) + u"\\setup.exe";
    EXPECT_EQ(Str(kEntry, u"DisplayVersion"), u"25.5.1.17");
    EXPECT_EQ(Str(kEntry, u"DisplayName"), u"Jx Client");
    EXPECT_EQ(Str(kEntry, u"DisplayIcon"), u"C:\\Program Files\\Tolvane\\Client\\client.exe,0");
    EXPECT_EQ(Str(kEntry, u"Publisher"), u"Tolvane");
    EXPECT_EQ(Str(kEntry, u"InstallLocation"), u"C:\\Program Files\\Tolvane\\Client\\");
    EXPECT_EQ(Int(kEntry, u"VersionMajor"), 25u);
    EXPECT_EQ(Int(kEntry, u"VersionMinor"), 5u);
    EXPECT_EQ(Int(kEntry, u"EstimatedSize"), 123u);
    EXPECT_EQ(Str(kEntry, u"UninstallString"), setup + u" /InstallMode=Uninstall /_DoNotShowChange=true");
    EXPECT_EQ(Str(kEntry, u"ModifyPath"), setup + u" /InstallMode=Maintenance");
    EXPECT_FALSE(Has(kEntry, u"NoModify"));
    EXPECT_EQ(Int(kEntry, u"NoRepair"), 1u);
    // In the engine's own (32-bit) view only.
    EXPECT_FALSE(KeyExists(kEntry, KEY_WOW64_64KEY));

    // As a person sees it with jxmachine (when the tool is built).
    const std::string tool = jxtest::BuildDir() + "/tools/jxmachine";
    if (!std::filesystem::exists(tool))
        return;
    const std::string command = tool + " reg \"HKLM\\" + jxtext::N(kEntry) + "\" --view 32";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string text;
    char buffer[512];
    while (size_t got = fread(buffer, 1, sizeof(buffer), pipe.get()))
        text.append(buffer, got);
    EXPECT_NE(text.find("\"DisplayName\"=\"Jx Client\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"VersionMajor\"=dword:00000019"), std::string::npos) << text;
    EXPECT_NE(text.find("\"NoRepair\"=dword:00000001"), std::string::npos) << text;
}

// An entry the registry refuses (its disk is full) is reported, so its action fails.
TEST_F(UninstallEntry, AnEntryTheRegistryRefusesIsReported) {
    jxplat::MachineDescription machine;
    machine.faultDiskFull = true;
    machine.faultDiskFullAfterBytes = 100; // the first values fit
    machine.faultDiskFullFolder = "C:\\Windows\\System32\\config";
    m_Root.Describe(machine);
    EXPECT_FALSE(m_Data.ControlPanelAddProduct());
    EXPECT_FALSE(Has(kEntry, u"UninstallString"));

    m_Root.Describe(jxplat::MachineDescription{});
    EXPECT_TRUE(m_Data.ControlPanelAddProduct());
    EXPECT_TRUE(Has(kEntry, u"UninstallString"));
}

TEST_F(UninstallEntry, VersionModifyAndMaintenanceFolderVariants) {
    // Two parts: no VersionMajor/Minor; a broken version: skipped as well.
    for (const WCHAR* version : {u"1.2", u"1.x.3"}) {
        m_Data.m_ProductInfo.version = version;
        m_Data.ControlPanelAddProduct();
        EXPECT_EQ(Str(kEntry, u"DisplayVersion"), version);
        EXPECT_FALSE(Has(kEntry, u"VersionMajor")) << jxtext::N(version);
        EXPECT_FALSE(Has(kEntry, u"VersionMinor"));
    }
    CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, kUninstall.c_str(), kProductId, 0);

    Set(u"DoNotModify", u"TRUE");
    Set(u"_MaintenanceDir", u"D:\\Keep\\");
    m_Data.ControlPanelAddProduct();
    EXPECT_EQ(Int(kEntry, u"NoModify"), 1u);
    EXPECT_FALSE(Has(kEntry, u"ModifyPath"));
    EXPECT_EQ(Int(kEntry, u"NoRepair"), 1u);
    EXPECT_EQ(Str(kEntry, u"UninstallString"),
              u"D:\\Keep\\setup.exe /InstallMode=Uninstall /_DoNotShowChange=true");
}

TEST_F(UninstallEntry, SkippedWritesNothing) {
    Set(u"InstallMode", u"uninstall");
    m_Data.ControlPanelAddProduct();
    EXPECT_FALSE(KeyExists(kEntry));
    Set(u"InstallMode", u"Install");
    Set(u"_SkipAddToControlPanel", u"True");
    m_Data.ControlPanelAddProduct();
    EXPECT_FALSE(KeyExists(kEntry));
    // A product id that is not one key name.
    Set(u"_SkipAddToControlPanel", u"");
    m_Data.m_ProductInfo.productid = u"..\\Other";
    m_Data.ControlPanelAddProduct();
    EXPECT_FALSE(KeyExists(kUninstall + u"..\\Other"));
    EXPECT_FALSE(Has(kUninstall.substr(0, kUninstall.size() - 1), u"DisplayName"));
}

class OldProduct : public UninstallEntry {
protected:
    const std::u16string kSetups = u"C:\\ProgramData\\Tolvane\\Setups\\" + std::u16string(kOldId);
    const std::u16string kMsiFolder = u"C:\\Windows\\Installer\\" + std::u16string(kOldId);
    const std::u16string kProperties =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
        u"Products\\" +
        std::u16string(kOldPacked) + u"\\InstallProperties";

    // The older product as its own setup and Windows Installer left it.
    void InstallOld(const std::u16string& installSource) {
        Set(u"_InstalledProductCode", kOldId);
        Set(u"VersionNT64", u"1");
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (kUninstall + kOldId).c_str(), u"InstallSource",
                                  installSource, CRegStringType::Sz, 0);
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (kUninstall + kOldId + u"\\Sub").c_str(), u"x", u"1",
                                  CRegStringType::Sz, 0);
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kProperties.c_str(), u"LocalPackage",
                                  u"C:\\Windows\\Installer\\1a2b.msi", CRegStringType::Sz, KEY_WOW64_64KEY);
        CReg::PutStringToRegistry(HKEY_CLASSES_ROOT,
                                  (u"Installer\\Products\\" + std::u16string(kOldPacked)).c_str(),
                                  u"ProductName", u"Old", CRegStringType::Sz, KEY_WOW64_64KEY);
        for (const std::u16string& file :
             {kSetups + u"\\setup.exe", kSetups + u"\\Keep\\inner.txt", kMsiFolder + u"\\a.msi",
              std::u16string(u"C:\\Windows\\Installer\\1a2b.msi"), installSource + u"\\source.msi"})
            WriteHost(file);
    }
};

TEST_F(OldProduct, RemovesTheOlderProductsEntryAndFiles) {
    InstallOld(u"C:\\ProgramData\\Tolvane\\Download\\Old");
    m_Data.ControlPanelDeleteOldProduct();
    EXPECT_FALSE(KeyExists(kUninstall + kOldId));
    EXPECT_FALSE(std::filesystem::exists(Host(kSetups + u"\\setup.exe")));
    EXPECT_TRUE(std::filesystem::exists(Host(kSetups + u"\\Keep\\inner.txt"))); // not recursive
    EXPECT_FALSE(std::filesystem::exists(Host(kMsiFolder + u"\\a.msi")));
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\ProgramData\\Tolvane\\Download\\Old\\source.msi")));
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Windows\\Installer\\1a2b.msi")));
    // The 64-bit view's Installer registration went with it.
    EXPECT_FALSE(CReg::IsValidPath(
        HKEY_CLASSES_ROOT, (u"Installer\\Products\\" + std::u16string(kOldPacked)).c_str(), KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(kProperties, KEY_WOW64_64KEY));
}

TEST_F(OldProduct, ForeignInstallSourceIsLeftAlone) {
    for (const std::u16string source :
         {u"D:\\Downloads", u"C:\\", u"C:\\ProgramData\\Tolvane\\..\\..\\Users"}) {
        InstallOld(source);
        m_Data.ControlPanelDeleteOldProduct();
        EXPECT_FALSE(KeyExists(kUninstall + kOldId)) << jxtext::N(source);
        EXPECT_TRUE(std::filesystem::exists(Host(source + u"\\source.msi"))) << jxtext::N(source);
    }
    // A folder named after the product code is the setup's own.
    InstallOld(u"D:\\Cache\\" + std::u16string(kOldId));
    m_Data.ControlPanelDeleteOldProduct();
    EXPECT_FALSE(std::filesystem::exists(Host(u"D:\\Cache\\" + std::u16string(kOldId) + u"\\source.msi")));
}

TEST_F(OldProduct, NothingRemovedWhenNotWantedOrNotAnotherProduct) {
    struct Case {
        const char* what;
        std::u16string mode, incompatible, oldId;
    };
    const std::u16string current = jxtext::ToLower(kProductId);
    const Case cases[] = {
        {"uninstall", u"Uninstall", u"", kOldId},
        {"incompatible", u"Install", u"TRUE", kOldId},
        {"same product", u"Maintenance", u"", current},
        {"unresolved", u"Install", u"", u"[OLD_ID]"},
        {"path in the id", u"Install", u"", u"..\\..\\Setups"},
        {"wildcard", u"Install", u"", u"*"},
        // Ids that are one harmless-looking segment yet name the shared folders themselves.
        {"dot", u"Install", u"", u"."},
        {"blank", u"Install", u"", u" "},
        {"trailing dot", u"Install", u"", u"x."},
        {"no guid", u"Install", u"", u"{old}"},
    };
    const std::vector<std::u16string> shared = {u"C:\\ProgramData\\Tolvane\\Setups\\shared.txt",
                                                u"C:\\Windows\\Installer\\shared.msi"};
    for (const std::u16string& file : shared)
        WriteHost(file);
    for (const Case& c : cases) {
        InstallOld(u"C:\\ProgramData\\Tolvane\\Download\\Old");
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (kUninstall + current).c_str(), u"DisplayName", u"Jx",
                                  CRegStringType::Sz, 0);
        Set(u"InstallMode", c.mode);
        Set(u"_IncompatibleProductFound", c.incompatible);
        Set(u"_InstalledProductCode", c.oldId);
        m_Data.ControlPanelDeleteOldProduct();
        EXPECT_TRUE(KeyExists(kUninstall + kOldId)) << c.what;
        EXPECT_TRUE(KeyExists(kUninstall + current)) << c.what;
        EXPECT_TRUE(std::filesystem::exists(Host(kSetups + u"\\setup.exe"))) << c.what;
        EXPECT_TRUE(std::filesystem::exists(Host(kMsiFolder + u"\\a.msi"))) << c.what;
        for (const std::u16string& file : shared)
            EXPECT_TRUE(std::filesystem::exists(Host(file))) << c.what << " " << jxtext::N(file);
    }
}

// The registry names the cached installer package: a value that points anywhere else is kept.
TEST_F(OldProduct, ALocalPackageOutsideTheInstallersFolderIsKept) {
    for (const std::u16string package :
         {u"C:\\Users\\doc.txt", u"C:\\Windows\\Installer\\..\\win.ini", u"C:\\Windows\\Installer"}) {
        InstallOld(u"C:\\ProgramData\\Tolvane\\Download\\Old");
        WriteHost(u"C:\\Users\\doc.txt");
        WriteHost(u"C:\\Windows\\win.ini");
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kProperties.c_str(), u"LocalPackage", package,
                                  CRegStringType::Sz, KEY_WOW64_64KEY);
        m_Data.ControlPanelDeleteOldProduct();
        EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\Users\\doc.txt"))) << jxtext::N(package);
        EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\Windows\\win.ini"))) << jxtext::N(package);
        EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\Windows\\Installer\\1a2b.msi"))) << jxtext::N(package);
    }
}

TEST_F(OldProduct, EmptyCodeReturnsWithTheLockFree) {
    InstallOld(u"C:\\ProgramData\\Tolvane\\Download\\Old");
    m_Data.ControlPanelDeleteMSISettings(u"");
    EXPECT_FALSE(m_Data.m_Mutex.IsHeldByCurrentThread());
    EXPECT_TRUE(std::filesystem::exists(Host(kMsiFolder + u"\\a.msi")));
    EXPECT_EQ(IntToWString(-2147483647 - 1), u"-2147483648");
    EXPECT_EQ(IntToWString(1234567), u"1234567");
}

} // namespace
