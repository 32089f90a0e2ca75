// Shortcuts of the installation: the install run starts one child per file row with a shortcut
// (its command line and index), and the child run creates the row's link, read back by lnkinfo;
// bad indexes and hostile rows create nothing.
#include <gtest/gtest.h>

#include "exec_app_test_support.h"
#include "jxbase/reg.h"
#include "jxplat/objbase.h"
#include "jxplat/propkey.h"
#include "jxplat/shlobj.h"
#include "jxplat/shobjidl.h"
#include "jxtest/run_program.h"

using namespace jxapptest;

namespace {

const std::u16string kAppDir = u"C:\\SetupSource\\";
const std::u16string kInstallDir = u"C:\\Program Files\\Jx\\";
const std::u16string kDesktopLink = u"C:\\Users\\Public\\Desktop\\Jx Console.lnk";
const std::u16string kProgramsLink =
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tolvane Jx\\Jx Console.lnk";
const char* const kProductId = "{11111111-2222-3333-4444-555555555555}";

void WriteDefinition(const std::string& files, const std::string& extraComponents = "") {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-16"?>
<Setup productid=")" + std::string(kProductId) +
                            R"(" productname="Jx Test" version="1.0.0.0">
  <SetupFeatures>
    <SetupFeature name="Core">
      <SetupComponents>
        <SetupComponent id="{C1}" destinationdir="[INSTALLDIR]" installmode="custom"/>
        <SetupComponent id="{C2}" destinationdir="[INSTALLDIR]bin\" installmode="custom"/>)" +
                            extraComponents + R"(
      </SetupComponents>
    </SetupFeature>
  </SetupFeatures>
  <SetupProperties>
    <SetupProperty name="INSTALLDIR" value="C:\Program Files\Jx\"/>
    <SetupProperty name="LINKNAME" value="Jx Console"/>
  </SetupProperties>
  <SetupFiles>)" + files + R"(</SetupFiles>
</Setup>
)";
    WriteUtf16Text(kAppDir + u"setup.jxsetup", xml);
}

std::string FileRow(const std::string& name, const std::string& component, const std::string& shortcut = "") {
    return "<SetupFile name=\"" + name + "\" featurename=\"Core\" componentid=\"" + component + "\" " +
           shortcut + "/>\n";
}

std::string LinkInfo(const std::u16string& link) {
    return jxtest::CommandOutput("lnkinfo '" + jxplat::WindowsToHostPath(link) + "' 2>&1");
}

std::u16string AppIdOf(const std::u16string& path) {
    std::u16string appId;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return appId;
    IPersistFile* file = nullptr;
    IPropertyStore* store = nullptr;
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    link->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store));
    PROPVARIANT value;
    if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
        SUCCEEDED(store->GetValue(PKEY_AppUserModel_ID, &value)) && value.vt == VT_LPWSTR) {
        appId = value.pwszVal;
        PropVariantClear(&value);
    }
    store->Release();
    file->Release();
    link->Release();
    return appId;
}

bool Exists(const std::u16string& path) {
    return std::filesystem::exists(jxplat::WindowsToHostPath(path));
}

class ShortcutActions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        WriteText(kInstallDir + u"console.exe", "MZ");
        WriteText(kInstallDir + u"bin\\tool.exe", "MZ");
    }
    void TearDown() override { CoUninitialize(); }

    std::unique_ptr<JxData> Load(const std::string& files, const std::string& extraComponents = "") {
        WriteDefinition(files, extraComponents);
        auto data = std::make_unique<JxData>();
        data->SetAppDir(kAppDir);
        EXPECT_TRUE(data->LoadConfiguration()) << m_Log.Dump();
        data->m_SequenceData.m_bInstallModeInstall = true;
        data->SetProperty(u"InstallMode", u"Install", 1);
        data->SetProperty(u"FeatureStateAbsent", u"$Core$", 1);
        data->SetProperty(u"FeatureActionInstall", u"$Core$", 1);
        return data;
    }

    // The child run: the properties its command line sets, then the one shortcut.
    bool RunChild(const std::string& files, const std::u16string& index) {
        auto data = Load(files);
        data->SetProperty(u"_FileIndex", index, 1);
        data->SetProperty(u"_Language", u"1033", 1);
        return data->ExternCreateShortcut();
    }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
};

} // namespace

TEST_F(ShortcutActions, TheChildCreatesTheLinkOfItsRow) {
    if (jxtest::CommandOutput("command -v lnkinfo").empty())
        GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    const std::string files =
        FileRow("readme.txt", "{C1}") +
        FileRow("console.exe", "{C1}",
                "scname=\"[LINKNAME]\" scdescription=\"Opens [LINKNAME]\" appid=\"Tolvane.Jx.Console\"") +
        FileRow("tool.exe", "{C2}",
                "scname=\"Tolvane Jx\\[LINKNAME]\" sctarget=\"programs\" scfile=\"[INSTALLDIR]console.exe\" "
                "sciconpath=\"[INSTALLDIR]bin\\tool.exe\" sciconindex=\"-3\"");

    // Without "scfile" and "sciconpath": the installed file, also as icon; on the desktop.
    EXPECT_TRUE(RunChild(files, u"1")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO",
                          "Creating shortcut Jx Console of file C:\\Program Files\\Jx\\console.exe "
                          "succeeded."))
        << m_Log.Dump();
    std::string info = LinkInfo(kDesktopLink);
    EXPECT_NE(info.find("C:\\Program Files\\Jx\\console.exe"), std::string::npos) << info;
    EXPECT_NE(info.find("Opens Jx Console"), std::string::npos) << info;
    EXPECT_EQ(AppIdOf(kDesktopLink), u"Tolvane.Jx.Console");
    EXPECT_FALSE(Exists(kProgramsLink));

    // "programs" exactly: a program group in the common programs menu; its own target and icon.
    EXPECT_TRUE(RunChild(files, u"2")) << m_Log.Dump();
    info = LinkInfo(kProgramsLink);
    EXPECT_NE(info.find("C:\\Program Files\\Jx\\console.exe"), std::string::npos) << info;
    EXPECT_NE(info.find("C:\\Program Files\\Jx\\bin\\tool.exe"), std::string::npos) << "icon\n" << info;

    // A second child for the same row replaces the link instead of adding one.
    RunChild(files, u"1");
    EXPECT_TRUE(Exists(kDesktopLink));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(
                                jxplat::WindowsToHostPath(u"C:\\Users\\Public\\Desktop")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ShortcutActions, AnIndexThatNamesNoRowEndsTheChildWithItsFailure) {
    const std::string files = FileRow("console.exe", "{C1}", "scname=\"Jx Console\"");
    for (const char16_t* index : {u"", u"x", u"1x", u"-1", u"1", u"99999999999999999999"}) {
        SCOPED_TRACE(jxtext::N(index));
        m_Log.Clear();
        EXPECT_FALSE(RunChild(files, index));
        EXPECT_TRUE(m_Log.Has("ERROR", "names no file row")) << m_Log.Dump();
        EXPECT_FALSE(Exists(kDesktopLink));
    }
    // A row whose file is not there makes no link: the child did not do its job.
    m_Log.Clear();
    EXPECT_FALSE(RunChild(FileRow("missing.exe", "{C1}", "scname=\"Jx Console\""), u"0"));
    EXPECT_TRUE(m_Log.Has("WARNING", "Creating shortcut Jx Console of file")) << m_Log.Dump();
}

TEST_F(ShortcutActions, HostileNamesAndTargetsAreRefused) {
    // A link that stays nowhere else: a desktop link of the same target is left alone.
    const struct {
        const char* name;
        std::string shortcut;
        const char* line;
    } rows[] = {
        {"name climbs out", "scname=\"..\\..\\..\\Windows\\evil\"", "leaves the shell folder"},
        {"absolute name", "scname=\"C:\\Windows\\evil\"", "leaves the shell folder"},
        {"target outside", "scname=\"Jx Console\" scfile=\"C:\\Windows\\System32\\cmd.exe\"",
         "is not in a folder of the product"},
        {"target climbs out", "scname=\"Jx Console\" scfile=\"[INSTALLDIR]..\\..\\Windows\\cmd.exe\"",
         "is not in a folder of the product"},
    };
    WriteText(u"C:\\Windows\\System32\\cmd.exe", "MZ");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_Log.Clear();
        EXPECT_FALSE(RunChild(FileRow("console.exe", "{C1}", row.shortcut), u"0"));
        EXPECT_TRUE(m_Log.Has("WARNING", row.line)) << m_Log.Dump();
        EXPECT_FALSE(m_Log.Has("BEGIN", "FolderIndex")) << "no link was created";
    }
    EXPECT_FALSE(Exists(u"C:\\Windows\\evil.lnk"));
    EXPECT_FALSE(Exists(kDesktopLink));
}

// The parent starts the setup program once per shortcut row with the row's own index, hands its
// properties over through TmpSettings and leaves the child's switches to its command line.
TEST_F(ShortcutActions, TheInstallRunStartsOneChildPerShortcutRow) {
    const std::u16string record = u"C:\\children.txt";
    WriteText(kAppDir + u"setup.exe",
              "#!/bin/sh\necho \"$JX_COMMAND_LINE\" >> '" + jxplat::WindowsToHostPath(record) + "'\n", true);
    const std::string files = FileRow("readme.txt", "{C1}") +
                              FileRow("packed.exe", "{C3}", "scname=\"Packed\"") +
                              FileRow("console.exe", "{C1}", "scname=\"Jx Console\"") +
                              FileRow("tool.exe", "{C2}", "scname=\"..\\Tool\"");
    auto data = Load(files, "\n        <SetupComponent id=\"{C3}\" destinationdir=\"[INSTALLDIR]\" "
                            "installmode=\"custom\" extractaswpk=\"true\"/>");
    data->m_ExeFileName = u"setup.exe";
    data->SetProperty(u"SelectedLanguage", u"1031", 1);
    data->SetProperty(u"_FileIndex", u"7", 1); // a parent value never reaches the child
    data->CreateShortcuts(JxSequenceAction(u"CreateShortcuts", u"", 0x1ff));

    const std::string lines = jxtest::ReadHostFile(jxplat::WindowsToHostPath(record));
    EXPECT_EQ(lines, "\"C:\\SetupSource\\setup.exe\" /_RunCreateShortcut=\"true\" /_FileIndex=\"2\" "
                     "/_Language=\"1031\" /INSTALLDIR=\"C:\\Program Files\\Jx\\\" /_DoNotLog=\"true\" "
                     "/_noInitDlg=\"true\"\n")
        << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Skip action of component: {C3}"));
    EXPECT_TRUE(m_Log.Has("WARNING", "Shortcut name ..\\Tool is refused")) << m_Log.Dump();
    const std::u16string tmp = u"JxSetup\\" + jxtext::W(kProductId) + u"\\TmpSettings";
    EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_CLASSES_ROOT, tmp.c_str(), u"SelectedLanguage", u"", 0),
              u"1031");
    EXPECT_NE(CReg::ValueExists(HKEY_CLASSES_ROOT, tmp.c_str(), u"_FileIndex", 0), 1);
}
