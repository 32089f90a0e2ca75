// Stored settings across runs on one machine: "Settings" written at the end of a run and read by
// the next, "TmpSettings" handed to a relaunched process, use counters, the removal in an
// uninstall, and the properties set from registry rows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "jxbase/reg.h"
#include "loader_support.h"

using namespace JxSetup::Data;
using jxloadertest::CLogLines;
using jxloadertest::kAppDir;

namespace {

const std::u16string kProductId = u"{7D2E9A40-1C3B-4F5E-8A6D-2B1C0E9F8A7D}";
const std::u16string kSettingsKey = u"JxSetup\\" + kProductId + u"\\Settings";
const std::u16string kTmpKey = u"JxSetup\\" + kProductId + u"\\TmpSettings";
const WCHAR* const kCounterKey = u"SOFTWARE\\Tolvane\\Shared";

std::string Definition(const std::string& productId) {
    return "<Setup productid=\"" + productId +
           "\" version=\"1.0\">"
           "<SetupProperties><SetupProperty name=\"INSTALLDIR\" value=\"C:\\Default\"/></SetupProperties>"
           "<SetupFeatures><SetupFeature name=\"Core\"><SetupComponents><SetupComponent id=\"{C1}\"/>"
           "</SetupComponents></SetupFeature></SetupFeatures>"
           "<SetupRegistry><SetupRegValue featurename=\"Core\" componentid=\"{C1}\" root=\"HKLM\" "
           "key=\"SOFTWARE\\Tolvane\\Shared\" valuename=\"Counter\" type=\"REG_DWORD\" mode=\"i\" "
           "increment=\"true\" setproperty=\"SHARECOUNT\"/></SetupRegistry>"
           "</Setup>";
}

std::u16string Stored(const std::u16string& key, const WCHAR* name) {
    return CReg::GetStringFromRegistry(HKEY_CLASSES_ROOT, key.c_str(), name, u"<missing>", 0);
}

// One run of the setup: a data object that loads the definition of the machine root.
class CRun {
public:
    CRun() {
        m_Data.SetAppDir(kAppDir);
        EXPECT_TRUE(m_Data.LoadConfiguration());
    }
    JxData& operator*() { return m_Data; }
    JxData* operator->() { return &m_Data; }

private:
    JxData m_Data;
};

class StoredSettings : public ::testing::Test {
protected:
    void SetUp() override { jxloadertest::WriteDefinition(Definition(jxtext::N(kProductId))); }

    jxtest::TempMachineRoot m_Root;
    CLogLines m_Log;
};

TEST_F(StoredSettings, ASecondRunReadsWhatTheFirstStored) {
    {
        CRun first;
        first->SetProperty(u"INSTALLDIR", u"C:\\Chosen", 1);
        first->SetProperty(u"_Engine", u"switch", 1);
        first->SetProperty(u"__Secret", u"pw", 1);
        first->SetProperty(u"§LOCKEDNAME", u"locked value", 1);
        first->SetProperty(u"InstallMode", u"Install", 1);
        first->SetProperty(u"FeatureActionInstall", u"$Core$", 1);
        EXPECT_TRUE(first->SaveSettingsToRegistry());
        EXPECT_EQ(first->GetPropertyValue(u"InstallMode"), u"Install")
            << "the running process keeps its mode";
        EXPECT_EQ(first->GetPropertyValue(u"FeatureStateInstalled"), u"$Core$");
        EXPECT_FALSE(first->m_Mutex.IsHeldByCurrentThread());
    }
    EXPECT_EQ(Stored(kSettingsKey, u"INSTALLDIR"), u"C:\\Chosen");
    EXPECT_EQ(Stored(kSettingsKey, u"InstallMode"), u"Maintenance");
    EXPECT_EQ(Stored(kSettingsKey, u"Installed"), kProductId);
    EXPECT_EQ(Stored(kSettingsKey, u"FeatureActionInstall"), u"");
    EXPECT_EQ(Stored(kSettingsKey, u"FeatureStateInstalled"), u"$Core$");
    EXPECT_EQ(Stored(kSettingsKey, u"LOCKEDNAME"), u"locked value") << "stored without its lock prefix";
    EXPECT_EQ(Stored(kSettingsKey, u"_Engine"), u"<missing>");
    EXPECT_EQ(Stored(kSettingsKey, u"__Secret"), u"<missing>");

    CRun second;
    second->LoadPropertiesFromRegistry();
    EXPECT_EQ(second->GetPropertyValue(u"INSTALLDIR"), u"C:\\Chosen");
    EXPECT_EQ(second->GetPropertyValue(u"InstallMode"), u"Maintenance");
    EXPECT_EQ(second->GetPropertyValue(u"LOCKEDNAME"), u"locked value");
    EXPECT_EQ(second->GetPropertyValue(u"__Secret"), u"");
    EXPECT_EQ(second->GetFeatureState(u"Core"), u"FeatureStateInstalled");
}

TEST_F(StoredSettings, LockPrefixedValuesAreMigrated) {
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, kSettingsKey.c_str(), u"§OLD", u"v", CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, kSettingsKey.c_str(), u"@_Switch", u"x", CRegStringType::Sz,
                              0);
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, kSettingsKey.c_str(), u"PLAIN", u"p", CRegStringType::Sz, 0);
    CRun run;
    run->LoadPropertiesFromRegistry();
    EXPECT_EQ(run->GetPropertyValue(u"OLD"), u"v");
    EXPECT_FALSE(run->IsPropertyLocked(u"OLD"));
    EXPECT_EQ(run->GetPropertyValue(u"_Switch"), u"");
    EXPECT_EQ(run->GetPropertyValue(u"PLAIN"), u"p");
    EXPECT_EQ(Stored(kSettingsKey, u"OLD"), u"v");
    EXPECT_EQ(Stored(kSettingsKey, u"§OLD"), u"<missing>");
    EXPECT_EQ(Stored(kSettingsKey, u"@_Switch"), u"<missing>");
}

TEST_F(StoredSettings, RelaunchCarriesEveryPropertyOnce) {
    {
        CRun first;
        first->SetProperty(u"__Secret", u"pw", 1);
        first->SetProperty(u"_Engine", u"on", 1);
        first->SetProperty(u"_UPUpdateMode", u"UPGRADE", 1);
        first->SetProperty(u"_PerformRestart", u"true", 1);
        first->SetProperty(u"_noUAC", u"true", 1);
        first->SetProperty(u"_NOINITDLG", u"true", 1);
        first->SetProperty(u"_cuRestart", u"true", 1);
        first->WriteAllTemporaryStoredProperties();
    }
    EXPECT_EQ(Stored(kTmpKey, u"_Engine"), u"on");
    EXPECT_NE(Stored(kTmpKey, u"__Secret"), u"<missing>");
    EXPECT_NE(Stored(kTmpKey, u"__Secret"), u"pw") << "protected values stay scrambled";
    EXPECT_EQ(Stored(kTmpKey, u"_noUAC"), u"<missing>");
    EXPECT_EQ(Stored(kTmpKey, u"_NOINITDLG"), u"<missing>") << "the switches compare ignoring case";
    EXPECT_EQ(Stored(kTmpKey, u"_cuRestart"), u"<missing>");

    CRun relaunched;
    relaunched->ReadAllTemporaryStoredProperties();
    EXPECT_EQ(relaunched->GetPropertyValue(u"__Secret"), u"pw") << "not scrambled twice";
    EXPECT_EQ(relaunched->GetPropertyValue(u"_Engine"), u"on");
    EXPECT_EQ(relaunched->GetPropertyValue(u"_PerformRestart"), u"");
    EXPECT_EQ(relaunched->GetPropertyValue(u"_noUAC"), u"");
    EXPECT_EQ(relaunched->m_UpdateMode, 2);
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, kTmpKey.c_str(), 0)) << "read once, then deleted";
    EXPECT_FALSE(relaunched->m_Mutex.IsHeldByCurrentThread());
}

TEST_F(StoredSettings, CountersFollowTheRuns) {
    auto counter = [] { return CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kCounterKey, u"Counter", 0, 0); };
    // Each run reads the counter into SHARECOUNT, as the registry rows do.
    auto run = [](const char16_t* mode, int updateMode, const char16_t* action) {
        CRun one;
        one->SetPropertiesSequence();
        one->SetProperty(u"InstallMode", mode, 1);
        one->m_UpdateMode = updateMode;
        one->SetProperty(u"FeatureActionRemove", action, 1);
        one->SaveSettingsToRegistry();
    };
    run(u"Install", 0, u"");
    EXPECT_EQ(counter(), 1u);
    run(u"Maintenance", 0, u"");
    EXPECT_EQ(counter(), 2u);
    run(u"Maintenance", 1, u"");
    EXPECT_EQ(counter(), 2u) << "an update finds the component counted";
    run(u"Uninstall", 0, u"");
    EXPECT_EQ(counter(), 2u) << "the feature is not being removed";
    run(u"Uninstall", 0, u"$Core$");
    EXPECT_EQ(counter(), 1u);
    run(u"Uninstall", 0, u"$Core$");
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kCounterKey, u"Counter", 0)) << "deleted at 0";
}

TEST_F(StoredSettings, CancelledRunWritesNothing) {
    CRun run;
    run->m_UserCancelled = true;
    EXPECT_TRUE(run->SaveSettingsToRegistry());
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, kSettingsKey.c_str(), 0));
    EXPECT_FALSE(CReg::ValueExists(HKEY_LOCAL_MACHINE, kCounterKey, u"Counter", 0));
}

// An uninstall whose product id is not one plain name removes nothing below the shared key and
// folder: "." and " " would name the shared ones themselves.
TEST_F(StoredSettings, UninstallOfAnIdThatIsNotOneNameRemovesNothingShared) {
    const std::u16string shared = u"C:\\ProgramData\\Tolvane\\Setups\\shared.txt";
    for (const char* id : {".", " ", "..", "x.", "a\\..", "a/.."}) {
        SCOPED_TRACE(id);
        jxloadertest::WriteDefinition(Definition(id));
        CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, u"JxSetup\\{OTHER}\\Settings", u"B", u"2",
                                  CRegStringType::Sz, 0);
        jxloadertest::WriteHostFile(jxplat::WindowsToHostPath(shared), "x");
        CRun run;
        run->SetProperty(u"InstallMode", u"Uninstall", 1);
        run->SaveSettingsToRegistry();
        EXPECT_EQ(Stored(u"JxSetup\\{OTHER}\\Settings", u"B"), u"2");
        EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(shared)), "x");
    }
}

TEST_F(StoredSettings, UninstallRemovesTheProduct) {
    const std::u16string uninstallKey =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + kProductId;
    const std::u16string folder = u"C:\\ProgramData\\Tolvane\\Setups\\" + kProductId;
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, kSettingsKey.c_str(), u"A", u"1", CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, (u"JxSetup\\" + kProductId + u"\\ActivatedFeatures").c_str(),
                              u"F", u"1", CRegStringType::Sz, 0);
    // Sub-keys that other steps of a run leave behind (an interrupted relaunch, a service record).
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, (u"JxSetup\\" + kProductId + u"\\TmpSettings").c_str(), u"T",
                              u"1", CRegStringType::Sz, 0);
    CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, (u"JxSetup\\" + kProductId + u"\\ServiceStates\\Deep").c_str(),
                           u"S", 2, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), u"DisplayName", u"X",
                              CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, u"JxSetup\\{OTHER}\\Settings", u"B", u"2",
                              CRegStringType::Sz, 0);
    jxloadertest::WriteHostFile(jxplat::WindowsToHostPath(folder + u"\\setup.exe"), "x");
    jxloadertest::WriteHostFile(jxplat::WindowsToHostPath(folder + u"\\sub\\keep.txt"), "x");

    CRun run;
    run->SetProperty(u"InstallMode", u"Uninstall", 1);
    EXPECT_TRUE(run->SaveSettingsToRegistry());

    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, (u"JxSetup\\" + kProductId).c_str(), 0));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), 0));
    EXPECT_EQ(Stored(u"JxSetup\\{OTHER}\\Settings", u"B"), u"2");
    EXPECT_FALSE(jxtest::ReadHostFile(jxplat::WindowsToHostPath(folder + u"\\setup.exe")).size());
    EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(folder + u"\\sub\\keep.txt")), "x");
}

TEST_F(StoredSettings, EmptyProductIdNeverAddressesSharedKeys) {
    jxloadertest::WriteDefinition(Definition(""));
    const std::u16string uninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, u"JxSetup\\{OTHER}\\TmpSettings", u"B", u"2",
                              CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, (uninstallKey + u"\\{OTHER}").c_str(), u"N", u"x",
                              CRegStringType::Sz, 0);
    jxloadertest::WriteHostFile(jxplat::WindowsToHostPath(u"C:\\ProgramData\\Tolvane\\Setups\\shared.txt"),
                                "x");

    CRun run;
    run->SetProperty(u"InstallMode", u"Uninstall", 1);
    run->SaveSettingsToRegistry();
    run->WriteAllTemporaryStoredProperties();
    run->ReadAllTemporaryStoredProperties();
    run->SetProperty(u"InstallMode", u"Install", 1);
    run->SaveSettingsToRegistry();

    EXPECT_EQ(m_Log.Count("ERROR", "has no product id"), 4u) << m_Log.Dump();
    EXPECT_EQ(Stored(u"JxSetup\\{OTHER}\\TmpSettings", u"B"), u"2");
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, (uninstallKey + u"\\{OTHER}").c_str(), 0));
    EXPECT_EQ(
        jxtest::ReadHostFile(jxplat::WindowsToHostPath(u"C:\\ProgramData\\Tolvane\\Setups\\shared.txt")),
        "x");
    EXPECT_FALSE(CReg::ValueExists(HKEY_CLASSES_ROOT, u"JxSetup\\Settings", u"INSTALLDIR", 0));
    EXPECT_FALSE(run->m_Mutex.IsHeldByCurrentThread());
}

TEST_F(StoredSettings, RegistryRowsSetProperties) {
    jxloadertest::WriteDefinition(
        "<Setup productid=\"{P}\"><SetupRegistry>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Vendor\" valuename=\"Path\" type=\"REG_SZ\" "
        "setproperty=\"SZ\"/>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Vendor\" valuename=\"Path\" type=\"reg_sz\" "
        "plattform=\"x64\" "
        "setproperty=\"SZ64\"/>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Vendor\" valuename=\"Count\" type=\"REG_DWORD\" "
        "setproperty=\"DW\"/>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Vendor\" valuename=\"Missing\" type=\"REG_DWORD\" "
        "setproperty=\"DW0\"/>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Vendor\" type=\"Key\" setproperty=\"KEY\"/>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Nowhere\" type=\"Key\" setproperty=\"NOKEY\"/>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Vendor\" valuename=\"Exp\" type=\"REG_EXPAND_SZ\" "
        "setproperty=\"EXP\"/>"
        "<SetupRegValue root=\"HKLM\" key=\"SOFTWARE\\Vendor\" valuename=\"Long\" type=\"REG_EXPAND_SZ\" "
        "setproperty=\"LONG\"/>"
        "</SetupRegistry></Setup>");
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Path", u"32", CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Path", u"64", CRegStringType::Sz,
                              KEY_WOW64_64KEY);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Count", 4000000000u, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Exp",
                              u"%SystemRoot%\\x;%NOT_SET_ANYWHERE%", CRegStringType::ExpandSz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Long",
                              u"%windir%\\" + std::u16string(250, u'a'), CRegStringType::ExpandSz, 0);

    CRun run;
    run->SetProperty(u"LONG", u"before", 1);
    run->SetPropertiesSequence();
    EXPECT_EQ(run->GetPropertyValue(u"SZ"), u"32");
    EXPECT_EQ(run->GetPropertyValue(u"SZ64"), u"64");
    EXPECT_EQ(run->GetPropertyValue(u"DW"), u"4000000000");
    EXPECT_EQ(run->GetPropertyValue(u"DW0"), u"0");
    EXPECT_EQ(run->GetPropertyValue(u"KEY"), u"SOFTWARE\\Vendor");
    EXPECT_EQ(run->GetPropertyValue(u"NOKEY"), u"");
    EXPECT_EQ(run->GetPropertyValue(u"EXP"), u"C:\\Windows\\x;%NOT_SET_ANYWHERE%");
    EXPECT_EQ(run->GetPropertyValue(u"LONG"), u"before") << "longer than 260 characters when expanded";
    EXPECT_TRUE(m_Log.Has("WARNING", "Error while expanding string.")) << m_Log.Dump();
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Using 64 bit..."));
}

TEST_F(StoredSettings, InstallableLanguages) {
    CRun run;
    run->SetInstallableLanguages();
    EXPECT_EQ(run->GetPropertyValue(u"Languages"), u"") << "nothing without _InstallLanguages";
    run->SetProperty(u"_InstallLanguages", u"1031;1036", 1);
    run->SetInstallableLanguages();
    EXPECT_EQ(run->GetPropertyValue(u"Languages"), u"1031;1036");
    EXPECT_EQ(run->m_ProductInfo.languages, u"1031;1036");
}

} // namespace
