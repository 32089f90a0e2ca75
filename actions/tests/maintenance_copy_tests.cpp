// Maintenance copies: the engine, the packages that belong and its runtime files stored in the
// maintenance folder, the runs that store nothing, the customization carried over on an upgrade,
// and the components written as package files into their own folders.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "file_copy_fixture.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace jxfilecopytest {
namespace {

const std::u16string kMedia = u"C:\\media\\";
const std::u16string kStore = u"C:\\ProgramData\\Tolvane\\Setups\\{NEW}";
const std::u16string kOldStore = u"C:\\ProgramData\\Tolvane\\Setups\\{OLD}";

void WritePackage(const std::u16string& path, const std::string& name,
                  const std::map<std::u16string, std::string>& files) {
    ASSERT_TRUE(WriteNamedPackage(path, name, files));
}

// The names in a folder (files and folders), sorted.
std::vector<std::string> Listing(const std::u16string& folder) {
    std::vector<std::string> names;
    const std::string host = jxplat::WindowsToHostPath(folder);
    if (std::filesystem::is_directory(host))
        for (const auto& entry : std::filesystem::directory_iterator(host))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class MaintenanceCopies : public ::testing::Test {
protected:
    void SetUp() override {
        PackageMgr::Instance()->Cleanup();
        m_Data->SetAppDir(kMedia);
        m_Data->SetProperty(u"CommonAppDataFolder", u"C:\\ProgramData", 1);
        m_Data->SetProperty(u"InstallMode", u"Install", 1);
    }
    void TearDown() override {
        m_Data.reset();
        PackageMgr::Instance()->Cleanup();
    }

    // The medium: the engine's packages, three component packages and one of no kind, mounted.
    void MountMedium() {
        WritePackage(kMedia + u"setup.wpk", "$SETUP",
                     {{u"$SETUP\\JxSetup.exe", "engine"}, {u"$SETUP\\JxSetupRT.dll", "runtime"}});
        WritePackage(kMedia + u"config.wpk", "$CONFIG", {{u"$CONFIG\\setup.reconfig", "<reconfig/>"}});
        WritePackage(kMedia + u"keep.wpk", "{KEEP}", {{u"{KEEP}\\a.dll", "a"}});
        WritePackage(kMedia + u"excluded.wpk", "{EXCLUDED}", {{u"{EXCLUDED}\\b.dll", "b"}});
        WritePackage(kMedia + u"nostore.wpk", "{NOSTORE}", {{u"{NOSTORE}\\c.dll", "c"}});
        WritePackage(kMedia + u"data.wpk", "data", {{u"data\\d.txt", "d"}});
        for (const char16_t* file :
             {u"setup.wpk", u"config.wpk", u"keep.wpk", u"excluded.wpk", u"nostore.wpk", u"data.wpk"})
            ASSERT_TRUE(m_Data->MountExternalPackage(kMedia + file, kScanModeReplace));
        JxComponent keep;
        keep.id = u"{KEEP}";
        JxComponent excluded;
        excluded.id = u"{EXCLUDED}";
        excluded.excludefromupdate = u"true";
        excluded.installifexist = u"false";
        JxComponent noStore;
        noStore.id = u"{NOSTORE}";
        noStore.dontstoreindatawpk = u"true";
        for (const JxComponent& component : {keep, excluded, noStore})
            m_Data->m_Components[component.id] = component;
    }

    static JxSequenceAction StoreLocalSetup() {
        return JxSequenceAction(u"StoreLocalSetup", u"", JX_SEQ_INSTALL | JX_SEQ_COUNTS_OWN_STEPS);
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    std::unique_ptr<JxData> m_Data = std::make_unique<JxData>();
};

TEST_F(MaintenanceCopies, AnUpgradeStoresTheEngineItsPackagesAndTheInstalledCustomization) {
    MountMedium();
    WriteFileBytes(kOldStore + u"\\$CUSTOMIZE.wpk", "customization");
    WriteFileBytes(kOldStore + u"\\$CUSTOMIZE\\logo\\logo.png", "logo");
    m_Data->SetProperty(u"_InstalledProductCode", u"{OLD}", 1);

    m_Data->ExtractMaintenanceFiles(kStore, StoreLocalSetup());

    EXPECT_EQ(Listing(kStore),
              (std::vector<std::string>{"$CONFIG.wpk", "$CUSTOMIZE", "$CUSTOMIZE.wpk", "$SETUP.wpk",
                                        "JxSetupRT.dll", "setup.exe", "setup.reconfig", "{KEEP}.wpk"}))
        << m_Log.Dump();
    EXPECT_EQ(ReadFileBytes(kStore + u"\\setup.exe"), "engine");
    EXPECT_EQ(ReadFileBytes(kStore + u"\\$CUSTOMIZE.wpk"), "customization");
    EXPECT_EQ(ReadFileBytes(kStore + u"\\$CUSTOMIZE\\logo\\logo.png"), "logo");
    EXPECT_FALSE(m_Log.Has("WARNING", "")) << m_Log.Dump();

    // The stored package mounts again as the one it was written from.
    m_Data.reset();
    PackageMgr::Instance()->Cleanup();
    ASSERT_EQ(PackageMgr::Instance()->MountPackageFile((kStore + u"\\{KEEP}.wpk").c_str()), 1);
    ASSERT_EQ(PackageMgr::Instance()->GetPackages().size(), 1u);
    EXPECT_EQ(PackageMgr::Instance()->GetPackages()[0]->GetName(), u"{KEEP}");
}

// A maintenance copy that cannot be written (its folder is a file) fails the action: later runs
// would start from it. Without packages there is nothing to copy from, which fails it too.
TEST_F(MaintenanceCopies, ACopyThatCannotBeWrittenFailsTheAction) {
    MountMedium();
    WriteFileBytes(kStore, "a file where the folder goes");
    m_Data->ExtractMaintenanceFiles(kStore, StoreLocalSetup());
    EXPECT_TRUE(m_Data->m_SequenceData.m_bFailure);
    EXPECT_EQ(m_Data->m_SequenceData.m_Error.m_ActionName, StoreLocalSetup().m_Name);
    EXPECT_TRUE(m_Log.Has("ERROR", "Failed to write file")) << m_Log.Dump();

    m_Data = std::make_unique<JxData>();
    SetUp();
    m_Data->ExtractMaintenanceFiles(kStore + u"\\other", StoreLocalSetup());
    EXPECT_TRUE(m_Data->m_SequenceData.m_bFailure);
}

TEST_F(MaintenanceCopies, RunsThatKeepTheCopyTheyStartedFromStoreNothing) {
    struct {
        const char* what;
        const char16_t* installMode;
        int updateMode;
        std::u16string destination;
        bool counting;
        size_t stored; // entries of the maintenance folder afterwards
    } rows[] = {
        {"maintenance", u"maintenance", 0, kStore, false, 0},
        {"maintenance that updates", u"Maintenance", 1, kStore, false, 5},
        {"maintenance that upgrades", u"Maintenance", 2, kStore, false, 5},
        {"started from the maintenance folder", u"Install", 0, u"c:/MEDIA", false, 0},
        {"steps being counted", u"Install", 0, kStore, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        m_Data = std::make_unique<JxData>();
        SetUp();
        std::filesystem::remove_all(jxplat::WindowsToHostPath(kStore));
        MountMedium();
        const std::vector<std::string> medium = Listing(kMedia);
        m_Data->SetProperty(u"InstallMode", row.installMode, 1);
        m_Data->m_UpdateMode = row.updateMode;
        m_Data->m_CountingProcessSteps = row.counting;
        const uint32_t stepsBefore = m_Data->m_StepsMax;

        m_Data->ExtractMaintenanceFiles(row.destination, StoreLocalSetup());

        EXPECT_EQ(Listing(kStore).size(), row.stored) << m_Log.Dump();
        EXPECT_EQ(Listing(kMedia), medium);
        // While steps are counted, each package is one step of the action.
        EXPECT_EQ(m_Data->m_StepsMax - stepsBefore, row.counting ? 6u : 0u);
    }
}

TEST_F(MaintenanceCopies, CustomizationComesOnlyFromAnotherInstalledProductsFolder) {
    WriteFileBytes(kOldStore + u"\\$CUSTOMIZE.wpk", "customization");
    WriteFileBytes(kStore + u"\\placeholder", "");

    m_Data->ApplyCustomizationOnUpgrade(kStore);
    EXPECT_TRUE(m_Log.Has("END", "No installed product found.")) << m_Log.Dump();

    m_Data->SetProperty(u"_InstalledProductCode", u"{old}", 1);
    m_Data->ApplyCustomizationOnUpgrade(u"C:\\PROGRAMDATA\\Tolvane\\Setups\\{OLD}\\");
    EXPECT_TRUE(m_Log.Has("END", "It is not necessary to copy customization")) << m_Log.Dump();

    m_Data->SetProperty(u"_InstalledProductCode", u"{GONE}", 1);
    m_Data->ApplyCustomizationOnUpgrade(kStore);
    EXPECT_EQ(Listing(kStore), std::vector<std::string>{"placeholder"});
}

TEST_F(MaintenanceCopies, ComponentsMarkedAsPackagesAreWrittenIntoTheirFolders) {
    ASSERT_TRUE(WriteComponentPackage(u"C:\\Source\\core.wpk", {{u"core.dll", "core"}}));
    DefineProduct(*m_Data, {}, u"[ProgramFilesFolder]\\Prod");
    m_Data->SetProperty(u"ProgramFilesFolder", u"C:\\Program Files (x86)", 1);
    ASSERT_TRUE(m_Data->MountExternalPackage(u"C:\\Source\\core.wpk", kScanModeReplace));
    const JxSequenceAction action(u"ExtractAsWPK", u"", JX_SEQ_INSTALL);

    m_Data->ExtractComponentsAsWPK(action); // not marked: nothing
    EXPECT_TRUE(Listing(u"C:\\Program Files (x86)\\Prod").empty());

    m_Data->m_Features[0].components[0].extractaswpk = u"True";
    m_Data->ExtractComponentsAsWPK(action);
    EXPECT_EQ(Listing(u"C:\\Program Files (x86)\\Prod"), std::vector<std::string>{"core.wpk"});
    EXPECT_FALSE(m_Data->m_SequenceData.m_bFailure);

    // A package that cannot be written (its folder is a file) fails the action.
    m_Data->SetProperty(u"ProgramFilesFolder", u"C:\\Blocked", 1);
    jxtest::WriteMachineFile(u"C:\\Blocked\\Prod", "a file");
    m_Data->ExtractComponentsAsWPK(action);
    EXPECT_TRUE(m_Data->m_SequenceData.m_bFailure);
    EXPECT_EQ(m_Data->m_SequenceData.m_Error.m_ActionName, u"ExtractAsWPK");
}

} // namespace
} // namespace jxfilecopytest
