// The file lists for later runs: the target state and the other lists written and read back, the
// installed product identified, and the package files an update or a repair needs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

const std::u16string kAppDir = u"C:\\setup\\";
const std::u16string kInstallDir = u"C:\\Program Files\\Jx\\";
const std::u16string kCode = u"{AAAAAAAA-0000-0000-0000-000000000001}";
const std::u16string kUninstall = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kCode;

void WriteHost(const std::u16string& windowsPath, const std::string& content) {
    const std::string host = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host, std::ios::binary | std::ios::trunc) << content;
}

std::string ReadHost(const std::u16string& windowsPath) {
    std::ifstream in(jxplat::WindowsToHostPath(windowsPath), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

JxFile Entry(const std::u16string& componentid, const std::u16string& name, const std::u16string& sha,
             const std::u16string& size = u"") {
    JxFile file;
    file.componentid = componentid;
    file.name = name;
    file.sha = sha;
    file.size = size;
    return file;
}

class FileLists : public ::testing::Test {
protected:
    FileLists() {
        m_Data.m_appDir = kAppDir;
        std::filesystem::create_directories(jxplat::WindowsToHostPath(kAppDir));
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
};

TEST_F(FileLists, ListsAreWrittenAndReadBackUnchanged) {
    m_Data.m_FileMetaInformation = {Entry(u"{M}", u"meta.txt", u"")};
    std::vector<JxFile> written = {Entry(u"{C1}", u"a&b <x>.txt", u"AB12"),
                                   Entry(u"{C2}", u"plain.txt", u"")};
    written[0].language = u"1033";
    written[0].version = u"1.2.3.4";
    ASSERT_TRUE(m_Data.WriteTargetStateXml(u"targetstate.xml", written));
    std::vector<JxFile> read = {Entry(u"{OLD}", u"stale", u"")};
    ASSERT_TRUE(m_Data.LoadFileListFromXml(u"targetstate.xml", read, u""));
    ASSERT_EQ(read.size(), 2u);
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].componentid, written[i].componentid);
        EXPECT_EQ(read[i].name, written[i].name);
        EXPECT_EQ(read[i].language, written[i].language);
        EXPECT_EQ(read[i].version, written[i].version);
        EXPECT_EQ(read[i].sha, written[i].sha);
    }
    // The metadata of the setup is not the caller's list: it stays.
    ASSERT_EQ(m_Data.m_FileMetaInformation.size(), 1u);
    EXPECT_EQ(m_Data.m_FileMetaInformation[0].name, u"meta.txt");

    // A file list keeps sizes; the download list's "length" reads back as the size; "fullsize" of
    // the metadata wins over its "size".
    ASSERT_TRUE(m_Data.WriteFileListToXml(u"files.xml", {Entry(u"", u"x.wpk", u"", u"5000000000")}));
    ASSERT_TRUE(m_Data.LoadFileListFromXml(u"files.xml", read, u""));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].size, u"5000000000");
    std::vector<JxFile> downloads = {Entry(u"", u"{C1}.wpk", u"", u"77")};
    downloads[0].crc = u"1F";
    ASSERT_TRUE(m_Data.WriteRetailUpdateFileListToXml(u"update.xml", {}, downloads));
    ASSERT_TRUE(m_Data.LoadFileListFromXml(u"update.xml", read, u""));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].size, u"77");
    EXPECT_EQ(read[0].crc, u"1F");
    WriteHost(kAppDir + u"metainfo.xml",
              "<Files><File name=\"m\" fullsize=\"12\" size=\"0.01\" lastwritetime=\"2021\"/></Files>");
    ASSERT_TRUE(m_Data.LoadFileListFromXml(u"metainfo.xml", read, u""));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].size, u"12");
    EXPECT_EQ(read[0].lastwritetime, u"2021");
}

// A list that is cut short, damaged or missing is refused whole: the caller's list stays as it was.
TEST_F(FileLists, ADamagedOrTruncatedListIsRefusedWhole) {
    ASSERT_TRUE(m_Data.WriteTargetStateXml(
        u"targetstate.xml",
        {Entry(u"{C1}", u"a.txt", u"AA"), Entry(u"{C1}", u"b.txt", u"BB"), Entry(u"{C2}", u"c.txt", u"CC")}));
    const std::string whole = ReadHost(kAppDir + u"targetstate.xml");
    const std::vector<std::string> damaged = {
        whole.substr(0, whole.size() / 2 & ~size_t{1}),
        whole.substr(0, whole.size() - 4),
        std::string("\xFF\xFE<\0F\0", 6),
        "",
    };
    for (const std::string& bytes : damaged) {
        WriteHost(kAppDir + u"targetstate.xml", bytes);
        std::vector<JxFile> list = {Entry(u"{KEEP}", u"kept.txt", u"")};
        EXPECT_FALSE(m_Data.LoadFileListFromXml(u"targetstate.xml", list, u"")) << bytes.size();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].name, u"kept.txt");
    }
    std::vector<JxFile> list;
    EXPECT_FALSE(m_Data.LoadFileListFromXml(u"absent.xml", list, u""));
}

TEST_F(FileLists, PagesAndSettings) {
    WriteHost(kAppDir + u"{C1}.wpk", "package");
    ASSERT_TRUE(m_Data.WriteUpfilesHtm(
        u"upfiles.htm", {Entry(u"", u"{C1}.wpk", u"", u"7"), Entry(u"", u"missing.wpk", u"", u"9")}));
    const std::string page = ReadHost(kAppDir + u"upfiles.htm");
    const std::string checksum = jxtext::N(JxFile::CalcChecksum(kAppDir + u"{C1}.wpk"));
    EXPECT_EQ(page, "<html><h1><body>\r\n<p>F=\"{C1}.wpk||7|" + checksum +
                        "\"\r\n<p>F=\"missing.wpk||9|\"\r\n</h1></body></html>");

    EXPECT_TRUE(m_Data.WriteSettingsToXml(u"settings.xml"));
    EXPECT_FALSE(std::filesystem::exists(jxplat::WindowsToHostPath(kAppDir + u"settings.xml")));
    m_Data.m_ProductInfo.languages = u"1033,1031";
    EXPECT_TRUE(m_Data.WriteSettingsToXml(u"settings.xml"));
    const std::string settings = ReadHost(kAppDir + u"settings.xml");
    EXPECT_NE(settings.find("encoding=\"UTF-8\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("<Language iso=\"1033\"/>"), std::string::npos) << settings;
    EXPECT_NE(settings.find("<Language iso=\"1031\"/>"), std::string::npos) << settings;

    JxData noFolder;
    noFolder.m_appDir.clear();
    EXPECT_FALSE(noFolder.WriteTargetStateXml(u"t.xml", {}));
    EXPECT_TRUE(m_Log.Has("ERROR", "AppDir is empty."));
}

// Package files beside the program are described with their whole size and SHA-256.
TEST_F(FileLists, PackageFilesBesideTheProgram) {
    WriteHost(kAppDir + u"{C1}.wpk", "one");
    WriteHost(kAppDir + u"other.wpk", "not a component");
    WriteHost(kAppDir + u"setup.exe", "program");
    std::vector<JxFile> packages;
    ASSERT_TRUE(m_Data.GetMetadataOfPackagefiles(packages));
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(packages[0].name, u"{C1}.wpk");
    EXPECT_EQ(packages[0].size, u"3");
    EXPECT_EQ(packages[0].sha, JxFile::CalcSHA256(kAppDir + u"{C1}.wpk"));
    std::vector<JxFile> core;
    ASSERT_TRUE(m_Data.GetMetadataOfCorefiles(u"setup.exe,absent.dll", core));
    ASSERT_EQ(core.size(), 1u);
    EXPECT_EQ(core[0].name, u"setup.exe");
}

// The installed product's generation against the offered one decides the update mode.
TEST_F(FileLists, TheInstalledGenerationDecidesTheUpdateMode) {
    struct Row {
        const char16_t* offered;
        int mode;
        const char16_t* text;
        bool result;
    } rows[] = {
        {u"4.1.0.7", 2, u"UPGRADE", true}, {u"3.0", 1, u"UPDATE", true}, {u"2.9", 0, u"NOUPDATE", false}};
    for (const Row& row : rows) {
        jxtest::TempMachineRoot root;
        JxData data;
        data.m_ProductInfo.version = row.offered;
        JxProductCode code;
        code.guid = kCode;
        code.name = u"Old";
        code.version = 3;
        code.producttype = u"Pro";
        data.m_Requirements.m_ProductCodes = {code};
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kUninstall.c_str(), u"UninstallString", u"x",
                                  CRegStringType::Sz, 0);
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kUninstall.c_str(), u"InstallLocation", kInstallDir,
                                  CRegStringType::Sz, 0);
        EXPECT_EQ(data._collectInformationAboutInstalledProduct(), row.result) << jxtext::N(row.offered);
        EXPECT_EQ(data.m_UpdateMode, row.mode);
        EXPECT_EQ(data.GetPropertyValue(u"_UPUpdateMode"), row.text);
        EXPECT_EQ(data.GetPropertyValue(u"InstallMode"), u"Maintenance");
        EXPECT_EQ(data.GetPropertyValue(u"INSTALLDIR"), u"C:\\Program Files\\Jx");
        EXPECT_EQ(data.GetPropertyValue(u"PRODUCTTYPE"), u"Pro");
    }
}

// A product found only through its maintenance package gets an uninstall entry, but only when its
// location is known.
TEST_F(FileLists, AnUninstallEntryIsWrittenOnlyForAKnownLocation) {
    m_Data.SetProperty(u"CommonAppDataFolder", u"C:\\ProgramData", 1);
    m_Data.m_ProductInfo.version = u"3.1";
    JxProductCode code;
    code.guid = kCode;
    code.name = u"Old";
    code.version = 3;
    code.installdirhk = u"HKLM";
    code.installdirkey = u"Software\\Old";
    code.installdirsubkey = u"Path";
    m_Data.m_Requirements.m_ProductCodes = {code};
    WriteHost(u"C:\\ProgramData\\Tolvane\\Setups\\" + kCode + u"\\data.wpk", "package");

    EXPECT_FALSE(m_Data._collectInformationAboutInstalledProduct());
    EXPECT_EQ(m_Data.GetPropertyValue(u"_UPUpdateMode"), u"NOUPDATE");
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kUninstall.c_str(), 0));

    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Old", u"Path", kInstallDir, CRegStringType::Sz,
                              0);
    EXPECT_TRUE(m_Data._collectInformationAboutInstalledProduct());
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kUninstall.c_str(), u"DisplayVersion", u"", 0),
              u"3.0.0.0");
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, kUninstall.c_str(), u"UninstallString", u"", 0),
              u"C:\\ProgramData\\Tolvane\\Setups\\" + kCode + u"\\setup.exe /InstallMode=Uninstall");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_UPUpdateMode"), u"UPDATE");
}

// An installed product with two components: the target state written for it, read back, decides
// which packages an update (a changed file) and a repair (a missing file) need.
class NeededFiles : public FileLists {
protected:
    NeededFiles() {
        JxFeature feature;
        feature.name = u"Core";
        feature.mode = u"force";
        for (const char16_t* id : {u"{C1}", u"{C2}"}) {
            JxComponent component;
            component.id = id;
            component.destinationdir = kInstallDir + (id == std::u16string(u"{C1}") ? u"" : u"data\\");
            feature.components.push_back(component);
        }
        m_Data.m_Features = {feature};
        for (const auto& [id, name] : {std::pair{u"{C1}", u"app.txt"}, std::pair{u"{C2}", u"*.dat"}}) {
            JxFile row;
            row.featurename = u"Core";
            row.componentid = id;
            row.name = name;
            row.copymode = u"bycrc";
            m_Data.m_Files.push_back(row);
        }
        WriteHost(kInstallDir + u"app.txt", "app 1");
        WriteHost(kInstallDir + u"data\\one.dat", "one");
        WriteHost(kInstallDir + u"data\\two.dat", "two");
        // The target state as the installing run leaves it, read back by the next run.
        std::vector<JxFile> state = {
            Entry(u"{C1}", u"app.txt", JxFile::CalcSHA256(kInstallDir + u"app.txt")),
            Entry(u"{C2}", u"one.dat", JxFile::CalcSHA256(kInstallDir + u"data\\one.dat")),
            Entry(u"{C2}", u"two.dat", JxFile::CalcSHA256(kInstallDir + u"data\\two.dat"))};
        EXPECT_TRUE(m_Data.WriteTargetStateXml(u"targetstate.xml", state));
        m_Packages = {Entry(u"", u"{c1}.WPK", u"", u"10"), Entry(u"", u"{C2}.wpk", u"", u"20")};
    }

    std::vector<std::u16string> Needed(const std::u16string& installMode) {
        m_Data.SetProperty(u"InstallMode", installMode, 1);
        m_Data.SetProperty(u"_UPUpdateMode", u"UPDATE", 1);
        std::vector<JxFile> state;
        EXPECT_TRUE(m_Data.LoadFileListFromXml(u"targetstate.xml", state, u""));
        std::vector<JxFile> needed;
        EXPECT_TRUE(m_Data.CollectNeededSetupFiles(state, m_Packages, needed));
        std::vector<std::u16string> names;
        for (const JxFile& file : needed)
            names.push_back(file.name);
        return names;
    }

    std::vector<JxFile> m_Packages;
};

TEST_F(NeededFiles, AnInstallationNeedsEveryPackage) {
    EXPECT_EQ(Needed(u"Install"), (std::vector<std::u16string>{u"{c1}.WPK", u"{C2}.wpk"}));
}

TEST_F(NeededFiles, AnUnchangedProductNeedsNothing) {
    EXPECT_TRUE(Needed(u"Maintenance").empty());
}

TEST_F(NeededFiles, AChangedFileNeedsItsPackage) {
    WriteHost(kInstallDir + u"app.txt", "app 2");
    EXPECT_EQ(Needed(u"Maintenance"), std::vector<std::u16string>{u"{c1}.WPK"});
}

TEST_F(NeededFiles, AMissingFileOfAWildcardRowNeedsItsPackage) {
    std::filesystem::remove(jxplat::WindowsToHostPath(kInstallDir + u"data\\two.dat"));
    EXPECT_EQ(Needed(u"Maintenance"), std::vector<std::u16string>{u"{C2}.wpk"});
    std::filesystem::remove(jxplat::WindowsToHostPath(kInstallDir + u"data\\one.dat"));
    EXPECT_EQ(Needed(u"Maintenance"), std::vector<std::u16string>{u"{C2}.wpk"});
}

TEST_F(NeededFiles, AComponentExcludedFromUpdateIsNeverNeeded) {
    m_Data.m_Features[0].components[0].excludefromupdate = u"true";
    WriteHost(kInstallDir + u"app.txt", "app 2");
    EXPECT_TRUE(Needed(u"Maintenance").empty());
}

} // namespace
