// The update decision: the rules over machines with an installed product of the family, and what
// the chosen mode means for the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "jxbase/reg.h"
#include "jxengine/JxUpdateMode.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

const std::u16string kOld = u"{AAAAAAAA-0000-0000-0000-000000000001}";
const std::u16string kSetup = u"{AAAAAAAA-0000-0000-0000-000000000002}";
const std::u16string kProgramData = u"C:\\ProgramData";

// A data object with two product rows (the installed one and this setup) and two product types.
void PrepareData(JxData& data, const std::u16string& setupVersion, int oldLevel = 10, int setupLevel = 10) {
    data.m_ProductInfo.productid = kSetup;
    data.m_ProductInfo.version = setupVersion;
    data.m_Requirements.m_ProductTypes = {{u"Basic", oldLevel}, {u"Premium", setupLevel}};
    JxProductCode old;
    old.name = u"Old Product";
    old.guid = kOld;
    old.producttype = u"basic"; // types match ignoring case
    old.version = 24;
    JxProductCode self;
    self.name = u"This Product";
    self.guid = kSetup;
    self.producttype = u"Premium";
    data.m_Requirements.m_ProductCodes = {old, self};
    data.SetProperty(u"CommonAppDataFolder", kProgramData, 1);
    data.SetProperty(u"PRODUCTNAME", u"This Product", 1);
}

void InstallEntry(const std::u16string& code, const std::u16string& version,
                  const std::u16string& name = u"Old") {
    const std::u16string key = UninstallKeyOf(code);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString", u"C:\\old\\uninst.exe",
                              CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayName", name, CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayVersion", version, CRegStringType::Sz,
                              0);
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"InstallLocation", u"C:\\Program Files\\Old",
                              CRegStringType::Sz, 0);
}

void MakeHostFile(const std::u16string& windowsPath, const std::string& content = "x") {
    const std::string host = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host) << content;
}

JxUpdateModeOutput Decide(JxData& data) {
    JxUpdateModeInput input;
    data.CollectUpdateModeInputData(input);
    JxUpdateMode rules(input, &data);
    return rules.GetUpdateMode();
}

struct RuleRow {
    const char* name;
    const char16_t* installed; // DisplayVersion; nullptr: nothing installed
    const char16_t* setup;     // this setup's version
    int oldLevel;
    int setupLevel;
    std::vector<std::pair<std::u16string, std::u16string>> properties;
    const char16_t* noupgrade;
    const char16_t* minUpgrade;
    int expectedMode;
    bool expectedDowngrade;
};

// Failures name the row instead of dumping its bytes.
void PrintTo(const RuleRow& row, std::ostream* os) {
    *os << row.name;
}

class UpdateModeRules : public ::testing::TestWithParam<RuleRow> {};

TEST_P(UpdateModeRules, ChooseTheMode) {
    jxtest::TempMachineRoot root;
    const RuleRow& row = GetParam();
    JxData data;
    PrepareData(data, row.setup, row.oldLevel, row.setupLevel);
    data.m_Requirements.m_ProductCodes[0].noupgrade = row.noupgrade;
    data.m_Requirements.m_ProductCodes[0].minupgradeversion = row.minUpgrade;
    for (const auto& [name, value] : row.properties)
        data.SetProperty(name, value, 1);
    if (row.installed) {
        InstallEntry(kOld, row.installed);
        MakeHostFile(u"C:\\Program Files\\Old\\old.exe");
    }
    jxtest::CLogCapture log(true);
    const JxUpdateModeOutput out = Decide(data);
    EXPECT_EQ(out.mode, row.expectedMode);
    EXPECT_EQ(out.downgradeAuthorized, row.expectedDowngrade);
    if (row.installed)
        EXPECT_EQ(out.productCode, kOld);
    // Every step closes what it opened, once.
    std::map<std::string, int> open;
    std::istringstream lines(log.Dump());
    for (std::string line; std::getline(lines, line);) {
        const size_t bar = line.find('|');
        const std::string level = line.substr(0, bar);
        const std::string context = line.substr(bar + 1, line.find('|', bar + 1) - bar - 1);
        if (level == "BEGIN")
            ++open[context];
        else if (level == "END")
            EXPECT_GE(--open[context], 0) << "a second END of " << context << "\n" << log.Dump();
    }
    for (const auto& [context, count] : open)
        EXPECT_EQ(count, 0) << context;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UpdateModeRules,
    ::testing::Values(
        RuleRow{"NothingInstalled", nullptr, u"25.1.0.10", 10, 10, {}, u"", u"", 0, false},
        RuleRow{"NewerBuild", u"25.1.0.10", u"25.1.0.11", 10, 10, {}, u"", u"", 1, false},
        RuleRow{"SameBuildSameLevel", u"25.1.0.10", u"25.1.0.10", 10, 10, {}, u"", u"", 4, false},
        RuleRow{"SameBuildHigherLevel", u"25.1.0.10", u"25.1.0.10", 10, 20, {}, u"", u"", 2, false},
        RuleRow{"OlderBuildHigherLevel", u"25.1.0.10", u"25.1.0.9", 10, 20, {}, u"", u"", 3, false},
        RuleRow{"OlderBuild", u"25.1.0.10", u"25.1.0.9", 10, 10, {}, u"", u"", 4, false},
        RuleRow{"LowerLevel", u"25.1.0.10", u"26.0.0.0", 20, 10, {}, u"", u"", 3, false},
        RuleRow{"Protected", u"25.1.0.10", u"26.0.0.0", 10, 10, {}, u"TRUE", u"", 3, false},
        RuleRow{"NewerMajor", u"25.1.0.10", u"26.0.0.0", 10, 10, {}, u"", u"", 2, false},
        RuleRow{"OlderMinor", u"25.1.0.0", u"25.0.0.0", 10, 10, {}, u"", u"", 3, false},
        RuleRow{"AuthorizedDowngrade",
                u"25.1.0.0",
                u"25.0.0.0",
                10,
                10,
                {{u"_AuthorizeDowngradeVersion", u"2501"}},
                u"",
                u"",
                2,
                true},
        RuleRow{"BadDowngradeText",
                u"25.1.0.0",
                u"25.0.0.0",
                10,
                10,
                {{u"_AuthorizeDowngradeVersion", u"25.1"}},
                u"",
                u"",
                2,
                false},
        RuleRow{"BelowMinimumUpgrade", u"24.5.0.0", u"25.1.0.0", 10, 10, {}, u"", u"24.6.0.0", 3, false},
        RuleRow{"AtMinimumUpgrade", u"24.6.0.0", u"25.1.0.0", 10, 10, {}, u"", u"24.6.0.0", 2, false},
        RuleRow{"ThreePartVersion", u"25.1.0", u"25.1.0.1", 10, 10, {}, u"", u"", 2, false},
        RuleRow{"MiniSetupNotAuthorized",
                u"24.9.0.0",
                u"25.1.0.0",
                10,
                10,
                {{u"_MiniSetup", u"true"}, {u"_AuthorizeMiniSetupUpgradeVersion", u"2500"}},
                u"",
                u"",
                3,
                false},
        RuleRow{"MiniSetupAuthorized",
                u"25.0.0.0",
                u"25.1.0.0",
                10,
                10,
                {{u"_MiniSetup", u"true"}, {u"_AuthorizeMiniSetupUpgradeVersion", u"2500"}},
                u"",
                u"",
                2,
                false},
        RuleRow{"CollectModeEqual",
                u"25.1.0.10",
                u"25.1.0.10",
                10,
                20,
                {{u"CollectFilesForUpdate", u"true"}},
                u"",
                u"",
                1,
                false},
        // In the system context (an update pushed to the machine) nothing is reloaded or refused:
        // equal versions update, and a refusal becomes an upgrade.
        RuleRow{"SystemContextEqual",
                u"25.1.0.10",
                u"25.1.0.10",
                10,
                10,
                {{u"_IsSystemContext", u"TRUE"}},
                u"",
                u"",
                1,
                false},
        RuleRow{"SystemContextOlderBuild",
                u"25.1.0.10",
                u"25.1.0.9",
                10,
                10,
                {{u"_IsSystemContext", u"true"}},
                u"",
                u"",
                2,
                false},
        RuleRow{"SystemContextLowerLevel",
                u"25.1.0.10",
                u"26.0.0.0",
                20,
                10,
                {{u"_IsSystemContext", u"true"}},
                u"",
                u"",
                2,
                false},
        RuleRow{"SystemContextNothing",
                nullptr,
                u"25.1.0.10",
                10,
                10,
                {{u"_IsSystemContext", u"true"}},
                u"",
                u"",
                0,
                false},
        RuleRow{"CollectModeNothing",
                nullptr,
                u"25.1.0.10",
                10,
                10,
                {{u"CollectFilesForUpdate", u"true"}},
                u"",
                u"",
                0,
                false}),
    [](const ::testing::TestParamInfo<RuleRow>& info) { return std::string(info.param.name); });

TEST(UpdateModeRules, StoredSetupAndServiceFindTheProduct) {
    jxtest::TempMachineRoot root;
    {
        // A product known only by its stored setup gets its uninstall entry back.
        JxData data;
        PrepareData(data, u"25.1.0.0");
        MakeHostFile(kProgramData + u"\\Tolvane\\Setups\\" + kOld + u"\\setup.exe");
        MakeHostFile(kProgramData + u"\\Tolvane\\Setups\\" + kOld + u"\\core.wpk");
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE", u"RootPath",
                                  u"C:\\Program Files\\Old\\", CRegStringType::Sz, 0);
        MakeHostFile(u"C:\\Program Files\\Old\\old.exe");
        const JxUpdateModeOutput out = Decide(data);
        EXPECT_EQ(out.productCode, kOld);
        EXPECT_EQ(out.installLocation, u"C:\\Program Files\\Old");
        EXPECT_EQ(out.mode, 2); // generation 24 => 24.0.0.0 below 25.1
        const std::u16string key = UninstallKeyOf(kOld);
        EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DisplayVersion", u"", 0),
                  u"24.0.0.0");
        const std::u16string command =
            CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"UninstallString", u"", 0);
        EXPECT_EQ(command.front(), u'"') << jxtext::N(command);
        EXPECT_NE(command.find(u"setup.exe\" /InstallMode=Uninstall /_DoNotShowChange=true"),
                  std::u16string::npos);
    }
    {
        // Found by its service only: no version and no folder, so the mode stays NOUPDATE.
        JxData data;
        PrepareData(data, u"25.1.0.0");
        data.m_Requirements.m_ProductCodes[0].servicename = u"OldSvc";
        data.m_Requirements.m_ProductCodes[0].version = 0;
        std::filesystem::remove_all(jxplat::WindowsToHostPath(kProgramData + u"\\Tolvane"));
        MakeHostFile(u"C:\\Old Service\\svc.exe");
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\services\\OldSvc",
                                  u"ImagePath", u"\"C:\\Old Service\\svc.exe\"", CRegStringType::Sz, 0);
        CReg::DeleteKeyFromRegistry(
            HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", kOld.c_str(), 0);
        jxtest::CLogCapture log;
        const JxUpdateModeOutput out = Decide(data);
        EXPECT_TRUE(log.Has("MP_INFO", "Service OldSvc installed. Product found: Old Product"));
        EXPECT_EQ(out.productCode, kOld);
        EXPECT_EQ(out.mode, 2); // no version: the reading of versions fails and UPGRADE stays
    }
}

TEST(UpdateModeRules, VersionFileAndInstallFolderFromTheRegistry) {
    jxtest::TempMachineRoot root;
    JxData data;
    PrepareData(data, u"25.1.0.11");
    InstallEntry(kOld, u"1.0.0.0");
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, UninstallKeyOf(kOld).c_str(), u"InstallLocation", u"",
                              CRegStringType::Sz, 0);
    JxProductCode& row = data.m_Requirements.m_ProductCodes[0];
    row.installdirhk = u"HKLM";
    row.installdirkey = u"Software\\Old";
    row.installdirsubkey = u"Main";
    row.installdirparent = u"1";
    row.versionfile = u"[INSTALLDIR]\\version.xml";
    row.versionxpath = u"/product/version";
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Old", u"Main",
                              u"\"C:\\Old App\\bin\\main.exe\"", CRegStringType::Sz, 0);
    MakeHostFile(u"C:\\Old App\\bin\\main.exe");
    MakeHostFile(u"C:\\Old App\\version.xml", "<product><version>25.1.0.10</version></product>");
    jxtest::CLogCapture log;
    const JxUpdateModeOutput out = Decide(data);
    EXPECT_EQ(out.installLocation, u"C:\\Old App") << log.Dump();
    EXPECT_EQ(out.mode, 1) << log.Dump(); // the file's 25.1.0.10, not the entry's 1.0.0.0
}

// The maintenance folder comes from the installed product's registry value (a quoted path of its
// stored program, reduced to its folder); without the value its default is used and written back;
// without both there is none.
TEST(UpdateModeRules, MaintenanceFolderFromTheRegistryOrItsDefault) {
    jxtest::TempMachineRoot root;
    const struct {
        const char16_t* value; // nullptr: no value
        const char16_t* fallback;
        const char16_t* folder;
        const char16_t* storedAfter;
    } rows[] = {
        {u"\"C:\\ProgramData\\Old\\Maint\\setup.exe\"", u"", u"C:\\ProgramData\\Old\\Maint",
         u"\"C:\\ProgramData\\Old\\Maint\\setup.exe\""},
        {nullptr, u"[CommonAppDataFolder]\\Old\\Default", u"C:\\ProgramData\\Old\\Default",
         u"C:\\ProgramData\\Old\\Default"},
        {nullptr, u"", u"", u""},
    };
    for (const auto& row : rows) {
        JxData data;
        PrepareData(data, u"25.1.0.11");
        InstallEntry(kOld, u"25.1.0.10");
        JxProductCode& old = data.m_Requirements.m_ProductCodes[0];
        old.maintenanceroot = u"HKLM";
        old.maintenancekey = u"Software\\Old\\Setup";
        old.maintenancevaluename = u"Maintenance";
        old.maintenancedefault = row.fallback;
        CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Old", u"Setup", 0);
        MakeHostFile(u"C:\\ProgramData\\Old\\Maint\\setup.exe");
        if (row.value)
            CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, old.maintenancekey.c_str(), u"Maintenance",
                                      row.value, CRegStringType::Sz, 0);
        const JxUpdateModeOutput out = Decide(data);
        EXPECT_EQ(out.maintenanceDir, row.folder) << jxtext::N(row.folder);
        EXPECT_EQ(out.mode, 1) << "the folder does not change the decision";
        EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, old.maintenancekey.c_str(), u"Maintenance",
                                              u"", 0),
                  row.storedAfter);
    }
}

// What each mode means for the run.
class UpdateModeDecision : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareData(m_Data, u"25.1.0.11");
        for (const char16_t* name : {u"F1", u"F2", u"F3"}) {
            JxFeature feature;
            feature.name = name;
            m_Data.m_Features.push_back(feature);
        }
        JxFile byDate;
        byDate.name = u"a.dll";
        byDate.copymode = u"ByDate";
        JxFile byVersion;
        byVersion.name = u"b.dll";
        byVersion.copymode = u"byversion";
        m_Data.m_Files = {byDate, byVersion};
        m_Data.SetInstallMode(u"Install");
    }

    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
};

TEST_F(UpdateModeDecision, UpdateKeepsTheInstalledFeatures) {
    InstallEntry(kOld, u"25.1.0.10", u"Old Name");
    m_Data.m_Features[0].mode = u"force"; // always counts as installed
    // F2 is installed when its check file is there; F3 is not, its check file is missing.
    JxComponent present;
    present.id = u"C2";
    present.featurecheck = u"true";
    present.destinationdir = u"C:\\Program Files\\Old";
    m_Data.m_Features[1].components = {present};
    JxComponent missing = present;
    missing.id = u"C3";
    m_Data.m_Features[2].components = {missing};
    JxFile check2;
    check2.name = u"f2.dll";
    check2.componentid = u"C2";
    check2.featurecheck = u"true";
    JxFile check3 = check2;
    check3.name = u"f3.dll";
    check3.componentid = u"C3";
    m_Data.m_Files.push_back(check2);
    m_Data.m_Files.push_back(check3);
    MakeHostFile(u"C:\\Program Files\\Old\\f2.dll");

    m_Data.EvaluateUpdateMode();
    EXPECT_EQ(m_Data.m_UpdateMode, 1);
    EXPECT_EQ(m_Data.GetPropertyValue(u"_UPUpdateMode"), u"UPDATE");
    EXPECT_EQ(m_Data.GetInstallMode(), u"Maintenance");
    EXPECT_EQ(m_Data.GetPropertyValue(u"INSTALLDIR"), u"C:\\Program Files\\Old");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_InstalledProductCode"), kOld);
    EXPECT_EQ(m_Data.GetPropertyValue(u"_UPDisplayName"), u"This Product");
    EXPECT_EQ(m_Data.GetPropertyValue(u"UPDATE_INSTALLED_FEATURES"), u"$F1$,$F2$");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureActionInstall"), u"$F1$,$F2$");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureStateAbsent"), u"$F1$,$F2$");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureStateInstalled"), u"$F3$");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureActionRemove"), u"$F3$");
    EXPECT_EQ(m_Data.m_Files[0].copymode, u"bycrc");
    EXPECT_EQ(m_Data.m_Files[1].copymode, u"byversion");
}

TEST_F(UpdateModeDecision, UpgradeAddsFeaturesOfANewerGeneration) {
    m_Data.m_ProductInfo.version = u"26.0.0.0";
    InstallEntry(kOld, u"25.0.0.1", u"Old Name");
    m_Data.m_Features[0].productgeneratoin = u"26"; // 2600 > 2500
    m_Data.m_Features[1].productgeneratoin = u"25";
    m_Data.m_Features[2].productgeneratoin = u"2500";
    // None of the three is installed: their check files are missing.
    for (JxFeature& feature : m_Data.m_Features) {
        JxComponent component;
        component.id = feature.name + u"C";
        component.featurecheck = u"true";
        component.destinationdir = u"C:\\Program Files\\Old";
        feature.components = {component};
        JxFile check;
        check.name = u"missing.dll";
        check.componentid = component.id;
        check.featurecheck = u"true";
        m_Data.m_Files.push_back(check);
    }
    m_Data.EvaluateUpdateMode();
    EXPECT_EQ(m_Data.m_UpdateMode, 2);
    EXPECT_EQ(m_Data.GetPropertyValue(u"_UPDisplayName"), u"Old Name");
    EXPECT_EQ(m_Data.GetPropertyValue(u"PRODUCTTYPE"), u"Basic");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureActionInstall"), u"$F1$");
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureActionRemove"), u"$F2$,$F3$");
}

TEST_F(UpdateModeDecision, StartAtExecutionLeavesTheFeatureLists) {
    InstallEntry(kOld, u"25.1.0.10");
    m_Data.SetProperty(u"_StartAtExecution", u"TRUE", 1);
    m_Data.SetProperty(u"FeatureActionInstall", u"$F3$", 1);
    m_Data.EvaluateUpdateMode();
    EXPECT_EQ(m_Data.m_UpdateMode, 1);
    EXPECT_EQ(m_Data.GetPropertyValue(u"FeatureActionInstall"), u"$F3$");
    EXPECT_EQ(m_Data.m_Files[0].copymode, u"bycrc");
}

TEST_F(UpdateModeDecision, ReloadConfigChangesNothingElse) {
    InstallEntry(kOld, u"25.1.0.12");
    m_Data.SetInstallMode(u"Uninstall");
    m_Data.EvaluateUpdateMode();
    EXPECT_EQ(m_Data.GetPropertyValue(u"_UPUpdateMode"), u"RELOADCONFIG");
    EXPECT_EQ(m_Data.GetInstallMode(), u"Uninstall");
    EXPECT_EQ(m_Data.m_Files[0].copymode, u"ByDate");
}

// Whatever the rules decide about the installed product, an uninstall run stays an uninstall run:
// no update or upgrade is carried out and no other product is scheduled for removal.
TEST_F(UpdateModeDecision, AnUninstallRunKeepsItsMode) {
    struct Row {
        const char* name;
        const char16_t* setupVersion;
        const char16_t* installedVersion;
        bool noupgrade;
        int decided;
    } rows[] = {
        {"update", u"25.1.0.11", u"25.1.0.10", false, 1},
        {"upgrade", u"26.0.0.0", u"25.0.0.1", false, 2},
        {"incompatible", u"25.1.0.11", u"25.1.0.10", true, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        JxData data;
        PrepareData(data, row.setupVersion);
        data.m_Requirements.m_ProductCodes[0].noupgrade = row.noupgrade ? u"true" : u"";
        data.m_Features = m_Data.m_Features;
        InstallEntry(kOld, row.installedVersion, u"Old Name");
        ASSERT_EQ(Decide(data).mode, row.decided);
        data.SetInstallMode(u"Uninstall");
        data.SetProperty(u"FeatureActionInstall", u"", 1);

        jxtest::CLogCapture log;
        data.EvaluateUpdateMode();
        EXPECT_EQ(data.GetInstallMode(), u"Uninstall");
        EXPECT_EQ(data.m_UpdateMode, 0);
        EXPECT_EQ(data.GetPropertyValue(u"_UPUpdateMode"), u"NOUPDATE");
        EXPECT_TRUE(data.GetPropertyValue(u"FeatureActionInstall").empty());
        EXPECT_TRUE(data.GetPropertyValue(u"_IncompatibleProductFound").empty());
        EXPECT_TRUE(data.GetPropertyValue(u"_OldAVCMD").empty());
        EXPECT_TRUE(log.Has("WARNING", "InstallMode is Uninstall")) << log.Dump();
        // Where the product lies is still known to the uninstallation, unless it is another product.
        EXPECT_EQ(data.GetPropertyValue(u"INSTALLDIR"), row.noupgrade ? u"" : u"C:\\Program Files\\Old");
    }
}

TEST_F(UpdateModeDecision, IncompatibleProductIsScheduledForUninstall) {
    m_Data.m_Requirements.m_ProductCodes[0].noupgrade = u"true";
    // Known only by its stored setup in a folder with a blank: the command quotes the program.
    MakeHostFile(kProgramData + u"\\Tolvane\\Setups\\" + kOld + u"\\setup.exe");
    MakeHostFile(kProgramData + u"\\Tolvane\\Setups\\" + kOld + u"\\data.wpk");
    MakeHostFile(u"C:\\Program Files\\Old\\x");
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE", u"RootPath",
                              u"C:\\Program Files\\Old", CRegStringType::Sz, 0);
    m_Data.EvaluateUpdateMode();
    EXPECT_EQ(m_Data.m_UpdateMode, 3);
    EXPECT_EQ(m_Data.GetInstallMode(), u"Install");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_IncompatibleProductFound"), u"true");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_OldAVName"), u"Old Product");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_OldAVCMD"), u"\"C:\\ProgramData\\Tolvane\\Setups\\" + kOld +
                                                         u"\\setup.exe\" /InstallMode=Uninstall "
                                                         u"/_DoNotShowChange=true");
    EXPECT_TRUE(m_Data.GetPropertyValue(u"INSTALLDIR").empty());
}

// An older build of the same version line ends the decision with its own END entry, and the cross
// upgrade still looks at its mode first.
TEST(UpdateModeRules, AnOlderBuildEndsTheDecisionWithItsOwnEntry) {
    jxtest::TempMachineRoot root;
    for (const int setupLevel : {10, 20}) {
        JxData data;
        PrepareData(data, u"25.1.0.9", 10, setupLevel);
        InstallEntry(kOld, u"25.1.0.10");
        MakeHostFile(u"C:\\Program Files\\Old\\old.exe");
        jxtest::CLogCapture log(true);
        EXPECT_EQ(Decide(data).mode, setupLevel == 10 ? 4 : 3);
        const std::string context = "JxSetup::Data::JxUpdateMode::evaluateUpdateMode";
        EXPECT_EQ(log.Count("END", context + "|"), 1u) << log.Dump();
        EXPECT_TRUE(log.Has(
            "END", context + "|Setup version is to old. Setup must be reloaded using temporary stored "
                             "setup."));
        EXPECT_EQ(log.Has("MP_INFO", context + "|Evaluating cross upgrade mode..."), setupLevel == 20);
    }
}

TEST(UpdateModeRules, WithoutADataObjectEveryStepFails) {
    jxtest::TempMachineRoot root;
    jxtest::CLogCapture log(true);
    JxUpdateMode rules(JxUpdateModeInput{}, nullptr);
    EXPECT_EQ(rules.GetUpdateMode().mode, 0);
    EXPECT_FALSE(rules.evaluateUpdateMode());
    EXPECT_FALSE(rules.evaluateProductVersions());
    EXPECT_EQ(log.Dump(),
              "ERROR|JxSetup::Data::JxUpdateMode::GetUpdateMode|Invalid data object.\n"
              "ERROR|JxSetup::Data::JxUpdateMode::evaluateUpdateMode|Invalid data object.\n"
              "ERROR|JxSetup::Data::JxUpdateMode::evaluateProductVersions|Invalid data object.\n");
}

TEST(UpdateModeLookups, ProductTypeAndLevel) {
    jxtest::TempMachineRoot root;
    JxData data;
    PrepareData(data, u"25.1.0.0", 10, 30);
    EXPECT_EQ(data.GetCurrentProductType(), u"Premium");
    EXPECT_EQ(data.GetPropertyValue(u"PRODUCTTYPE"), u"Premium");
    EXPECT_EQ(data.GetProductLevel(u"Premium"), 30);
    EXPECT_EQ(data.GetProductLevel(u"premium"), -1); // exact names only
    data.SetAppDir(u"C:\\Setup Folder\\setup.exe");
    EXPECT_EQ(data.CopyModuleDirectory(), u"C:\\Setup Folder\\");
    data.SetAppDirEx(u"C:\\Other");
    EXPECT_EQ(data.CopyModuleDirectory(), u"C:\\Other");
}

} // namespace
