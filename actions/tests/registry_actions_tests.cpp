// Registry actions of a definition on a fresh machine: values written in their view, removed on
// uninstall and update, kept across an update (also when the run ends early), dumped as XML,
// every user's hive reached, and the permissions of the product's keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "jxbase/reg.h"
#include "jxbase/xml/xmldom.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace {

using namespace JxSetup::Data;

const std::u16string kAppDir = u"C:\\SetupSource\\";
constexpr const WCHAR* kKey = u"Software\\Tolvane\\App";

// Lines read "LEVEL|context|message".
class CLogCapture : public jxtest::CLogCapture {
public:
    CLogCapture() : jxtest::CLogCapture(true) {}
};

void WriteHost(const std::u16string& windowsPath, const std::string& bytes) {
    const std::string target = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::ofstream(target, std::ios::binary) << bytes;
}

std::string Utf16Le(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// A registry row of feature "Core", component "{C1}".
std::string Row(const std::string& attributes) {
    return "    <SetupRegValue featurename=\"Core\" componentid=\"{C1}\" " + attributes + "/>\n";
}

class RegistryActions : public ::testing::Test {
protected:
    RegistryActions() { m_Data.SetAppDir(kAppDir); }

    // Loads a definition with these registry rows; the component is processed by every action.
    void Load(const std::string& rows) {
        const std::string xml = R"(<?xml version="1.0" encoding="UTF-16"?>
<Setup productid="{11111111-2222-3333-4444-555555555555}" productname="Jx Test" version="1.0.0.0">
  <SetupFeatures>
    <SetupFeature name="Core">
      <SetupComponents>
        <SetupComponent id="{C1}" destinationdir="[INSTALLDIR]"/>
      </SetupComponents>
    </SetupFeature>
  </SetupFeatures>
  <SetupProperties>
    <SetupProperty name="INSTALLDIR" value="C:\Program Files\Jx\"/>
  </SetupProperties>
  <SetupRegistry>
)" + rows + R"(  </SetupRegistry>
</Setup>
)";
        WriteHost(kAppDir + u"setup.jxsetup", std::string("\xFF\xFE", 2) + Utf16Le(jxtext::W(xml)));
        ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
        ASSERT_FALSE(m_Data.m_Features.empty());
        m_Data.m_Features[0].forced = true;
    }

    static std::u16string Str(const WCHAR* key, const WCHAR* name, REGSAM view,
                              HKEY root = HKEY_LOCAL_MACHINE) {
        return CReg::GetStringFromRegistry(root, key, name, u"<missing>", view);
    }
    static bool Exists(const WCHAR* key, const WCHAR* name, REGSAM view, HKEY root = HKEY_LOCAL_MACHINE) {
        return CReg::ValueExists(root, key, name, view);
    }
    static bool KeyExists(const WCHAR* key, REGSAM view, HKEY root = HKEY_LOCAL_MACHINE) {
        return CReg::IsValidPath(root, key, view);
    }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
    JxData m_Data;
    JxSequenceAction m_Action;
};

TEST_F(RegistryActions, AddRegValuesWritesEachTypeInItsView) {
    Load(
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Path" type="REG_SZ" value="[INSTALLDIR]bin" mode="iu" plattform="x64")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Count" type="REG_DWORD" value="42" mode="i" plattform="x86")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Bad" type="REG_DWORD" value="12x" mode="i")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="List" type="REG_MULTI_SZ" value="a;b" mode="i")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Lower" type="reg_sz" value="x" mode="i")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="UninstallOnly" type="REG_SZ" value="x" mode="u")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="NotNow" type="REG_SZ" value="x" mode="i" installcondition="1 = 2")") +
        Row(R"(root="HKCU" key="Software\Tolvane\Empty" type="Key" mode="i")"));
    m_Data.AddRegValues(m_Action);

    EXPECT_EQ(Str(kKey, u"Path", KEY_WOW64_64KEY), u"C:\\Program Files\\Jx\\bin");
    EXPECT_FALSE(Exists(kKey, u"Path", KEY_WOW64_32KEY));
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Count", 0, KEY_WOW64_32KEY), 42u);
    EXPECT_FALSE(Exists(kKey, u"Count", KEY_WOW64_64KEY));
    EXPECT_FALSE(Exists(kKey, u"Bad", 0)); // refused, never a made-up 0
    EXPECT_EQ(CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"List", 0),
              std::vector<std::u16string>{u"a;b"});
    for (const WCHAR* name : {u"Lower", u"UninstallOnly", u"NotNow"})
        EXPECT_FALSE(Exists(kKey, name, 0)) << jxtext::N(name);
    EXPECT_TRUE(KeyExists(u"Software\\Tolvane\\Empty", 0, HKEY_CURRENT_USER));
}

// A row the registry refuses (its disk is full) fails the action, with the reason in the log.
TEST_F(RegistryActions, ARowTheRegistryRefusesFailsTheAction) {
    Load(Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Path" type="REG_SZ" value="x" mode="i")") +
         Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Key" type="Key" mode="i")"));
    jxplat::MachineDescription machine;
    machine.faultDiskFull = true;
    machine.faultDiskFullFolder = "C:\\Windows\\System32\\config";
    m_Root.Describe(machine);
    m_Action.m_Name = u"AddRegValues";

    m_Data.AddRegValues(m_Action);

    EXPECT_TRUE(m_Data.m_SequenceData.m_bFailure);
    EXPECT_EQ(m_Data.m_SequenceData.m_Error.m_ActionName, u"AddRegValues");
    EXPECT_TRUE(m_Log.Has("ERROR", "could not be written: (112) There is not enough space on the disk."))
        << m_Log.Dump();
    EXPECT_FALSE(Exists(kKey, u"Path", 0));
}

// A row that cannot be carried out as written is refused with a WARNING that names it, and written
// nowhere else instead; the rows beside it are written as usual.
TEST_F(RegistryActions, RowsThatCannotBeCarriedOutAreRefusedAndTheOthersWritten) {
    const struct {
        const char* row;
        const char* warning;
    } refused[] = {
        {R"(root="HKLM" key="" valuename="AtRoot" type="REG_SZ" value="x" mode="iu")",
         R"(HKLM\ value "AtRoot" is refused: empty key)"},
        {R"(root="HKCU" key="\" valuename="AtRoot" type="REG_SZ" value="x" mode="i")",
         R"(HKCU\\ value "AtRoot" is refused: empty key)"},
        {R"(root="HKXX" key="Software\Tolvane\App" valuename="Guessed" type="REG_SZ" value="x" mode="iu")",
         R"(HKXX\Software\Tolvane\App value "Guessed" is refused: unknown root "HKXX")"},
        {R"(root="" key="Software\Tolvane\App" valuename="NoRoot" type="REG_SZ" value="x" mode="i")",
         R"(\Software\Tolvane\App value "NoRoot" is refused: unknown root "")"},
        {R"(root="HKLM" key="Software\Tolvane\App" valuename="Text" type="REG_DWORD" value="twelve" mode="i")",
         R"(value "Text" is refused: value "twelve" is not a DWORD number)"},
        {R"(root="HKLM" key="Software\Tolvane\App" valuename="Negative" type="REG_DWORD" value="-1" mode="i")",
         R"(value "Negative" is refused: value "-1" is not a DWORD number)"},
        {R"(root="HKLM" key="Software\Tolvane\App" valuename="Big" type="REG_DWORD" value="4294967296" mode="i")",
         R"(value "Big" is refused: value "4294967296" is not a DWORD number)"},
        {R"(root="HKLM" key="Software\Tolvane\App" valuename="Bin" type="REG_BINARY" value="01" mode="i")",
         R"(value "Bin" is refused: unknown type "REG_BINARY")"},
        {R"(root="HKLM" key="Software\Tolvane\App" valuename="Lower" type="reg_sz" value="x" mode="i")",
         R"(value "Lower" is refused: unknown type "reg_sz")"},
        {R"(root="HKLM" key="Software\Tolvane\App" valuename="Expanded" type="REG_DWORD" value="[NOTNUMBER]" mode="i")",
         R"(Failed to cast to numeric value: abc. Registry row HKLM\Software\Tolvane\App value "Expanded" is refused.)"},
    };
    std::string rows = Row(
        R"(root="HKLM" key="Software\Tolvane\App" valuename="Good" type="REG_DWORD" value="7" mode="iu")");
    for (const auto& c : refused)
        rows += Row(c.row);
    Load(rows);
    m_Data.SetProperty(u"NOTNUMBER", u"abc", 1);
    // A value that stands where a refused row points stays as it was.
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Expanded", 5, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Guessed", u"theirs", CRegStringType::Sz, 0);
    m_Data.AddRegValues(m_Action);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Good", 0, 0), 7u);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Expanded", 0, 0), 5u);
    for (const WCHAR* name : {u"Text", u"Negative", u"Big", u"Bin", u"Lower", u"NoRoot"})
        EXPECT_FALSE(Exists(kKey, name, 0)) << jxtext::N(name);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        EXPECT_FALSE(Exists(u"", u"AtRoot", 0, root));
    for (const auto& c : refused)
        EXPECT_TRUE(m_Log.Has("WARNING", c.warning)) << c.warning << "\n" << m_Log.Dump();

    // Uninstall: the refused rows remove nothing either.
    m_Data.DeleteRegValues(m_Action);
    EXPECT_FALSE(Exists(kKey, u"Good", 0));
    EXPECT_EQ(Str(kKey, u"Guessed", 0), u"theirs");
}

TEST_F(RegistryActions, UpdateKeepsExistingValuesUnlessTheRowOverwrites) {
    Load(
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Keep" type="REG_SZ" value="new" mode="i")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Over" type="REG_SZ" value="new" mode="i" overwriteonupdate="TRUE")"));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Keep", u"old", CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Over", u"old", CRegStringType::Sz, 0);
    m_Data.m_UpdateMode = 1;
    m_Data.AddRegValues(m_Action);
    EXPECT_EQ(Str(kKey, u"Keep", 0), u"old");
    EXPECT_EQ(Str(kKey, u"Over", 0), u"new");
    EXPECT_TRUE(m_Log.Has("END", "Value already exist"));

    // A first installation overwrites.
    m_Data.m_UpdateMode = 0;
    m_Data.AddRegValues(m_Action);
    EXPECT_EQ(Str(kKey, u"Keep", 0), u"new");
}

TEST_F(RegistryActions, RemovalOnUninstallAndUpdateAndTheEmptyKeyRefused) {
    Load(
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Path" type="REG_SZ" value="p" mode="iu" plattform="x64")") +
        Row(R"(root="HKLM" key="Software\Tolvane\Tree" type="Key" mode="iu" plattform="x64")") +
        Row(R"(root="HKCU" key="TopLevel" type="Key" mode="iu")") +
        Row(R"(root="HKCU" key="" type="Key" mode="u")") +
        Row(R"(root="HKLM" key="Software\Tolvane\Old" valuename="Stale" type="REG_SZ" mode="" deleteonupdate="true")") +
        Row(R"(root="HKLM" key="Software\Tolvane\Kept" valuename="Stays" type="REG_SZ" mode="u" deinstallcondition="1 = 2")"));
    m_Data.AddRegValues(m_Action);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Tree\\A\\B", u"x", u"y",
                              CRegStringType::Sz, KEY_WOW64_64KEY);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Kept", u"Stays", u"1",
                              CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_CURRENT_USER, u"Software\\Other", u"Mine", u"1", CRegStringType::Sz, 0);
    ASSERT_TRUE(KeyExists(u"TopLevel", 0, HKEY_CURRENT_USER));

    m_Data.DeleteRegValues(m_Action);
    EXPECT_FALSE(Exists(kKey, u"Path", KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(u"Software\\Tolvane\\Tree", KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(u"TopLevel", 0, HKEY_CURRENT_USER)); // a top-level key is removed
    EXPECT_TRUE(Exists(u"Software\\Tolvane\\Kept", u"Stays", 0));
    // The row without a key removed nothing of HKEY_CURRENT_USER.
    EXPECT_TRUE(Exists(u"Software\\Other", u"Mine", 0, HKEY_CURRENT_USER));
    EXPECT_TRUE(m_Log.Has("WARNING", "Registry row HKCU\\ value \"\" is refused: empty key."));

    // On update, the delete-on-update rows go without any gate.
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Old", u"Stale", u"1",
                              CRegStringType::Sz, 0);
    m_Data.DeleteRegValuesOnUpdate();
    EXPECT_FALSE(Exists(u"Software\\Tolvane\\Old", u"Stale", 0));
}

TEST_F(RegistryActions, SavedValuesComeBackAfterTheUpdateWroteNewOnes) {
    Load(
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Server" type="REG_SZ" value="default" mode="i" restore="true")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Port" type="REG_DWORD" value="80" mode="i" restore="true" plattform="x64")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Missing" type="REG_SZ" value="new" mode="i" restore="true")") +
        Row(R"(root="HKLM" key="Software\Tolvane\App" valuename="Multi" type="REG_MULTI_SZ" value="new" mode="i" restore="true")"));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Server", u"mine.example", CRegStringType::Sz, 0);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Port", 8080, KEY_WOW64_64KEY);
    CReg::PutMultiStringToRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"Multi", {u"old"}, 0);
    m_Data.SetInstallMode(u"Maintenance");

    m_Data.SearchRestoreRegValues(m_Action);
    EXPECT_TRUE(m_Log.Has("WARNING", "REG_MULTI_SZ can't be restored"));
    m_Data.AddRegValues(m_Action);
    ASSERT_EQ(Str(kKey, u"Server", 0), u"default");
    m_Data.RestoreRegValues(m_Action);
    EXPECT_EQ(Str(kKey, u"Server", 0), u"mine.example");
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Port", 0, KEY_WOW64_64KEY), 8080u);
    EXPECT_EQ(Str(kKey, u"Missing", 0), u"new"); // it did not exist: nothing to put back
    EXPECT_EQ(CReg::GetMultiStringFromRegistryVec(HKEY_LOCAL_MACHINE, kKey, u"Multi", 0),
              std::vector<std::u16string>{u"new"});

    // Restored once: the end of the run has nothing left to write.
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Server", u"changed later", CRegStringType::Sz, 0);
    m_Data.RestoreSavedRegValuesIfPending();
    EXPECT_EQ(Str(kKey, u"Server", 0), u"changed later");
}

TEST_F(RegistryActions, SavedValuesComeBackWhenTheRunEndsBeforeRestoring) {
    Load(Row(
        R"(root="HKLM" key="Software\Tolvane\App" valuename="Server" type="REG_SZ" value="default" mode="i" restore="true" deleteonupdate="true")"));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Server", u"mine.example", CRegStringType::Sz, 0);
    m_Data.SetInstallMode(u"Maintenance");
    m_Data.SearchRestoreRegValues(m_Action);
    m_Data.DeleteRegValuesOnUpdate();
    ASSERT_FALSE(Exists(kKey, u"Server", 0));
    // The run fails or is cancelled here; its end writes the saved value back, once.
    m_Data.RestoreSavedRegValuesIfPending();
    EXPECT_EQ(Str(kKey, u"Server", 0), u"mine.example");
    CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"Server", 0);
    m_Data.RestoreSavedRegValuesIfPending();
    EXPECT_FALSE(Exists(kKey, u"Server", 0));
}

TEST_F(RegistryActions, FirstInstallationNeitherSearchesNorRestores) {
    Load(Row(
        R"(root="HKLM" key="Software\Tolvane\App" valuename="Server" type="REG_SZ" value="default" mode="i" restore="true")"));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kKey, u"Server", u"mine.example", CRegStringType::Sz, 0);
    m_Data.SearchRestoreRegValues(m_Action);
    m_Data.AddRegValues(m_Action);
    m_Data.RestoreRegValues(m_Action);
    EXPECT_EQ(Str(kKey, u"Server", 0), u"default");
    EXPECT_TRUE(m_Log.Has("END", "Not in Maintenance, Update or Upgrade mode"));
    m_Data.RestoreSavedRegValuesIfPending();
    EXPECT_EQ(Str(kKey, u"Server", 0), u"default");
}

TEST_F(RegistryActions, DumpIsWellFormedXmlAppendedToTheFile) {
    Load(Row(R"(root="hklm" key="Software\Tolvane\Dump" valuename="A" type="REG_SZ" value="x" mode="i")") +
         Row(R"(root="HKLM" key="Software\Tolvane\Dump" valuename="B" type="REG_DWORD" value="7" mode="i")") +
         Row(R"(root="HKXX" key="Software\Tolvane\Dump" valuename="C" type="REG_SZ" value="x" mode="i")"));
    m_Data.AddRegValues(m_Action);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Dump", u"Odd \"<&'>",
                              u"a]]>b <c> & \"d\"", CRegStringType::Sz, 0);
    // Characters XML does not allow anywhere, in a name and in the data; tabs and line ends are.
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Dump", u"Ctl\tName\x01\n",
                              u"a\x01"
                              u"b\x1F"
                              u"c\td\xFFFF"
                              u"e\xD800"
                              u"f\U0001F600",
                              CRegStringType::Sz, 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\Dump", 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const BYTE binary[] = {1, 2, 3};
    ASSERT_EQ(RegSetValueExW(key, u"Binary", 0, REG_BINARY, binary, sizeof(binary)), ERROR_SUCCESS);
    RegCloseKey(key);

    const std::u16string path = u"C:\\Dumps\\New\\regvalues.xml";
    m_Data.DumpRegValuesToFile(path);
    m_Data.DumpRegValuesToFile(path);

    std::ifstream in(jxplat::WindowsToHostPath(path), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE", 2)); // no byte-order mark
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    const std::u16string end = u"</RegValues>";
    const size_t first = text.find(end);
    ASSERT_NE(first, std::u16string::npos);
    EXPECT_EQ(text.substr(first + end.size(), 11), u"<RegValues>"); // the second document follows directly
    EXPECT_EQ(text.size(), 2 * (first + end.size()));

    CXMLDOMDocument document;
    ASSERT_TRUE(document.Create());
    CXMLDOMElement rootElement = document.LoadXml(text.substr(0, first + end.size()).c_str());
    ASSERT_TRUE(rootElement) << jxtext::N(text);
    std::vector<CXMLDOMNode> values = rootElement.SelectNodes(u"RegValue");
    ASSERT_EQ(values.size(), 4u) << jxtext::N(text); // A, B and the odd ones; not the binary value
    EXPECT_EQ(values[0].GetAttribute(u"root"), u"hklm");
    EXPECT_EQ(values[0].GetAttribute(u"subkey"), u"A");
    EXPECT_EQ(values[1].GetAttribute(u"type"), u"REG_DWORD");
    EXPECT_EQ(values[1].GetText(), u"7");
    EXPECT_EQ(values[3].GetAttribute(u"subkey"), u"Odd \"<&'>");
    EXPECT_EQ(values[3].GetText(), u"a]]>b <c> & \"d\"");
    EXPECT_EQ(values[2].GetAttribute(u"subkey"), u"Ctl\tName\xFFFD\n");
    EXPECT_EQ(values[2].GetText(), u"a\xFFFD"
                                   u"b\xFFFD"
                                   u"c\td\xFFFD"
                                   u"e\xFFFD"
                                   u"f\U0001F600");
    // The row of an unknown root was refused when the definition was read: nothing of it is written.
    EXPECT_TRUE(m_Log.Has("WARNING",
                          "Registry row HKXX\\Software\\Tolvane\\Dump value \"C\" is refused: unknown root"));
}

TEST_F(RegistryActions, PerUserRemovalReachesProfilesThatAreNotLoggedOn) {
    Load(Row(R"(root="HKUS" key="$SSID$\Software\Tolvane\PerUser" type="Key" mode="u")") +
         Row(R"(root="HKUS" key="$SSID$\Software\Tolvane\Values" valuename="V" type="REG_SZ" mode="u")"));
    const std::u16string other = u"S-1-5-21-1-2-3-1002";
    const std::u16string user = jxtext::W(jxplat::Machine().user.sid);
    const std::u16string profiles = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (profiles + other).c_str(), u"ProfileImagePath",
                              u"%SystemDrive%\\Users\\Other", CRegStringType::ExpandSz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (profiles + user).c_str(), u"ProfileImagePath",
                              u"C:\\Users\\Tester", CRegStringType::ExpandSz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (profiles + u"S-1-5-19").c_str(), u"Other", u"no path",
                              CRegStringType::Sz, 0);
    m_Data.SetProperty(u"SystemDrive", u"C:", 1);
    std::filesystem::create_directories(jxplat::MachinePath("drive_c/Users/Other"));
    ASSERT_EQ(jxplat::CreateRegistryHiveFile(u"C:\\Users\\Other\\NTUSER.DAT"), ERROR_SUCCESS);

    // The other user's hive gets the keys while loaded by hand.
    m_Data.GetAllUserProfiles();
    ASSERT_EQ(m_Data.m_UserHives.size(), 2u) << m_Log.Dump(); // the profile without a path is left out
    m_Data.LoadUserProfiles();
    EXPECT_TRUE(m_Log.Has("MP_INFO", "found. Skipping profile.") ||
                m_Log.Has("LP_INFO", "found. Skipping profile."))
        << m_Log.Dump();
    for (const std::u16string& sid : {other, user}) {
        CReg::PutStringToRegistry(HKEY_USERS, (sid + u"\\Software\\Tolvane\\PerUser\\Deep").c_str(), u"x",
                                  u"1", CRegStringType::Sz, 0);
        CReg::PutStringToRegistry(HKEY_USERS, (sid + u"\\Software\\Tolvane\\Values").c_str(), u"V", u"1",
                                  CRegStringType::Sz, 0);
    }
    m_Data.UnloadUserProfiles();
    ASSERT_FALSE(KeyExists(other.c_str(), 0, HKEY_USERS)) << m_Log.Dump();

    m_Data.DeleteRegValues(m_Action);
    // Unloaded again afterwards; the logged-on user's hive stays.
    EXPECT_FALSE(KeyExists(other.c_str(), 0, HKEY_USERS));
    EXPECT_TRUE(KeyExists(user.c_str(), 0, HKEY_USERS));
    EXPECT_FALSE(KeyExists((user + u"\\Software\\Tolvane\\PerUser").c_str(), 0, HKEY_USERS));
    // A value row keeps "$SSID$" as written: nothing of it is removed.
    EXPECT_TRUE(Exists((user + u"\\Software\\Tolvane\\Values").c_str(), u"V", 0, HKEY_USERS));

    m_Data.LoadUserProfiles();
    EXPECT_FALSE(KeyExists((other + u"\\Software\\Tolvane\\PerUser").c_str(), 0, HKEY_USERS));
    EXPECT_TRUE(Exists((other + u"\\Software\\Tolvane\\Values").c_str(), u"V", 0, HKEY_USERS));
    m_Data.UnloadUserProfiles();
    for (const JxUserHive& hive : m_Data.m_UserHives)
        EXPECT_FALSE(hive.m_LoadedBySetup) << jxtext::N(hive.m_Sid);
}

TEST_F(RegistryActions, FailedHiveLoadIsNotMarkedLoaded) {
    Load("");
    const std::u16string profiles = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (profiles + u"S-1-5-21-9").c_str(), u"ProfileImagePath",
                              u"C:\\Users\\Gone", CRegStringType::ExpandSz, 0);
    m_Data.GetAllUserProfiles();
    ASSERT_EQ(m_Data.m_UserHives.size(), 1u);
    EXPECT_EQ(m_Data.m_UserHives[0].m_HiveFile, u"C:\\Users\\Gone\\NTUSER.DAT");
    m_Data.LoadUserProfiles();
    EXPECT_TRUE(m_Log.Has("WARNING", "Loading profile failed. Error: 2"));
    EXPECT_FALSE(m_Data.m_UserHives[0].m_LoadedBySetup);
    m_Data.UnloadUserProfiles();
    EXPECT_FALSE(m_Log.Has("WARNING", "Failed to unload"));
}

// The SID texts of a key's DACL, in order.
std::vector<std::u16string> DaclSids(const WCHAR* key, REGSAM view) {
    std::vector<std::u16string> sids;
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &opened), ERROR_SUCCESS);
    DWORD size = 0;
    RegGetKeySecurity(opened, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> descriptor(size);
    EXPECT_EQ(RegGetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor.data(), &size), ERROR_SUCCESS);
    RegCloseKey(opened);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted);
    if (dacl == nullptr)
        return {u"<NULL>"};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        LPVOID ace = nullptr;
        GetAce(dacl, i, &ace);
        LPWSTR text = nullptr;
        ConvertSidToStringSidW(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, &text);
        sids.emplace_back(text);
        LocalFree(text);
    }
    return sids;
}

// Gives a key a DACL of the entries (SID, deny) or a NULL DACL.
void SetDacl(const WCHAR* key, REGSAM view, const std::vector<std::pair<const WCHAR*, bool>>& entries,
             bool nullDacl = false) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &opened,
                              nullptr),
              ERROR_SUCCESS);
    alignas(4) BYTE buffer[512];
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof(buffer), ACL_REVISION));
    for (const auto& [text, deny] : entries) {
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(text, &sid));
        if (deny)
            ASSERT_TRUE(AddAccessDeniedAceEx(acl, ACL_REVISION, 0, KEY_SET_VALUE, sid));
        else
            ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0, KEY_QUERY_VALUE, sid));
        LocalFree(sid);
    }
    SECURITY_DESCRIPTOR absolute{};
    InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&absolute, TRUE, nullDacl ? nullptr : acl, FALSE);
    ASSERT_EQ(RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, &absolute), ERROR_SUCCESS);
    RegCloseKey(opened);
}

TEST_F(RegistryActions, WrittenProductKeysGetTheMissingPermissions) {
    Load(
        Row(R"(root="HKLM" key="Software\Tolvane\Acl" valuename="V" type="REG_SZ" value="1" mode="i" plattform="x64")") +
        Row(R"(root="HKLM" key="Software\Tolvane\Full" valuename="V" type="REG_SZ" value="1" mode="i")") +
        Row(R"(root="HKLM" key="Software\TolvaneExtra" type="Key" mode="i")") +
        Row(R"(root="HKLM" key="Software\Tolvane\Open" valuename="V" type="REG_SZ" value="1" mode="i")") +
        Row(R"(root="HKLM" key="Software\Other" valuename="V" type="REG_SZ" value="1" mode="i")") +
        Row(R"(root="HKCU" key="Software\Tolvane\User" valuename="V" type="REG_SZ" value="1" mode="i")"));
    SetDacl(u"Software\\Tolvane\\Acl", KEY_WOW64_64KEY, {{u"S-1-1-0", false}});
    SetDacl(u"Software\\Tolvane\\Full", 0,
            {{u"S-1-5-32-544", true},
             {u"S-1-3-0", false},
             {u"S-1-5-18", false},
             {u"s-1-5-32-545", true},
             {u"S-1-15-2-1", false}});
    SetDacl(u"Software\\TolvaneExtra", 0, {});
    SetDacl(u"Software\\Tolvane\\Open", 0, {}, true);
    SetDacl(u"Software\\Other", 0, {{u"S-1-1-0", false}});
    m_Data.AddRegValues(m_Action);

    // Appended in the table's order, after what was there.
    EXPECT_EQ(DaclSids(u"Software\\Tolvane\\Acl", KEY_WOW64_64KEY),
              (std::vector<std::u16string>{u"S-1-1-0", u"S-1-5-32-544", u"S-1-3-0", u"S-1-5-18",
                                           u"S-1-5-32-545", u"S-1-15-2-1"}));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Add Ace S-1-15-2-1 (ALL APPLICATION PACKAGES)") ||
                m_Log.Has("MP_INFO", "Add Ace S-1-15-2-1 (ALL APPLICATION PACKAGES)"))
        << m_Log.Dump();
    EXPECT_EQ(DaclSids(u"Software\\Tolvane\\Full", 0).size(), 5u); // every SID there, even as a deny entry
    EXPECT_EQ(DaclSids(u"Software\\TolvaneExtra", 0).size(),
              5u); // a plain prefix; patched with no value written
    EXPECT_EQ(DaclSids(u"Software\\Tolvane\\Open", 0), std::vector<std::u16string>{u"<NULL>"});
    EXPECT_EQ(DaclSids(u"Software\\Other", 0), std::vector<std::u16string>{u"S-1-1-0"});
    EXPECT_EQ(m_Log.Count("BEGIN", "Software\\Other"), 1u); // only WriteRegistryObject's line
}

} // namespace
