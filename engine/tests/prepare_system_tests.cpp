// Preparing the run: the hand-over to a stored setup, the legacy components, the activation states
// carried into an update, and the steps after the sequence.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jxbase/reg.h"
#include "jxengine/JxSetupEngineControl.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

class TestEngine : public JxSetupEngineControl {
public:
    using JxSetupEngineControl::_set_RestartStoredSetup;
    using JxSetupEngineControl::m_bHandedOver;
    using JxSetupEngineControl::m_pData;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void AddActivatableFeature(JxData& data, const std::u16string& name) {
    JxFeature feature;
    feature.name = name;
    feature.m_Activatable = true;
    data.m_Features.push_back(feature);
}

TEST(PrepareSystem, ReloadConfigHandsTheRunOverToTheStoredSetup) {
    jxtest::TempMachineRoot root;
    TestEngine engine;
    JxData& data = *engine.m_pData;
    const std::u16string folder = u"C:\\Program Files\\Stored Setup";
    data.SetProperty(u"_MaintenanceDir", folder, 1);
    data.m_UpdateMode = 4;

    // No stored setup: the run goes on without an update, and a web setup offers uninstallation.
    {
        jxtest::CLogCapture log;
        data.SetProperty(u"_WebSetup", u"True", 1);
        EXPECT_TRUE(engine._set_RestartStoredSetup());
        EXPECT_EQ(data.m_UpdateMode, 0);
        EXPECT_EQ(data.ExpandProperties(u"[_UPUpdateMode]"), u"NOUPDATE");
        EXPECT_EQ(data.GetInstallMode(), u"Uninstall");
        EXPECT_EQ(data.ExpandProperties(u"[_DoNotShowChange]"), u"true");
        EXPECT_TRUE(log.Has("WARNING", "Temporary stored setup not found in"));
    }

    // A stored setup takes over: started with its path quoted, and this run finishes nothing.
    const std::string host = jxplat::WindowsToHostPath(folder);
    std::filesystem::create_directories(host);
    const std::string marker = root.Path() + "/relaunched.txt";
    std::ofstream(host + "/setup.exe") << "#!/bin/sh\necho \"$JX_COMMAND_LINE\" > '" << marker << "'\n";
    data.SetInstallMode(u"Install");
    data.m_UpdateMode = 4;
    EXPECT_FALSE(engine._set_RestartStoredSetup());
    EXPECT_TRUE(data.m_SequenceData.m_bSkipFinish);
    EXPECT_TRUE(engine.m_bHandedOver);
    EXPECT_TRUE(data.m_SkipRebootQuery);
    EXPECT_EQ(data.ExpandProperties(u"[_AllowSecondInstance]"), u"true");
    bool started = false;
    for (const auto& entry : std::filesystem::directory_iterator(root.Path() + "/processes/table"))
        started =
            started ||
            ReadAll(entry.path().string()).find("\\\"C:\\\\Program Files\\\\Stored Setup\\\\setup.exe\\\"") !=
                std::string::npos;
    EXPECT_TRUE(started) << "the stored setup was not started with its quoted path";
}

struct ActivationRow {
    const char* name;
    const char16_t* installMode;
    int updateMode;
    std::vector<std::pair<std::u16string, bool>> stored; // feature, active
    bool legacyFirewall = false;
    const char16_t* expectedEnable; // nullptr: "_EnableFeatures" untouched
    bool allActivated = false;
};

class ActivationForUpdate : public ::testing::TestWithParam<ActivationRow> {};

TEST_P(ActivationForUpdate, CarriesTheInstalledStates) {
    jxtest::TempMachineRoot root;
    const ActivationRow& row = GetParam();
    TestEngine engine;
    JxData& data = *engine.m_pData;
    data.m_ProductInfo.productid = u"{11111111-2222-3333-4444-555555555555}";
    AddActivatableFeature(data, u"B_Client_Firewall");
    AddActivatableFeature(data, u"Scanner");
    data.SetInstallMode(row.installMode);
    data.m_UpdateMode = row.updateMode;
    data.SetProperty(u"_EnableFeatures", u"untouched", 1);
    for (const auto& [feature, active] : row.stored)
        data.SetFeatureActivationState(feature, active);
    if (row.legacyFirewall) {
        // A registered service of the older generation stands for the firewall feature.
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\JxFwSvc",
                                  u"ImagePath", u"C:\\fw.exe", CRegStringType::Sz, 0);
        CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\JxFwSvc", u"Type",
                               16, 0);
        std::ofstream(jxplat::WindowsToHostPath(u"C:\\fw.exe")) << "x";
    }
    EXPECT_TRUE(engine.Set_FeatureActivationStatesForUpdate());
    if (row.expectedEnable)
        EXPECT_EQ(data.ExpandProperties(u"[_EnableFeatures]"), row.expectedEnable);
    else
        EXPECT_EQ(data.ExpandProperties(u"[_EnableFeatures]"), u"untouched");
    EXPECT_EQ(data.m_AllFeaturesActivated, row.allActivated);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ActivationForUpdate,
    ::testing::Values(ActivationRow{.name = "UninstallSkips",
                                    .installMode = u"Uninstall",
                                    .updateMode = 1,
                                    .expectedEnable = nullptr},
                      ActivationRow{.name = "NoUpdateMode",
                                    .installMode = u"Maintenance",
                                    .updateMode = 0,
                                    .expectedEnable = nullptr},
                      ActivationRow{.name = "StoredStates",
                                    .installMode = u"Maintenance",
                                    .updateMode = 1,
                                    .stored = {{u"Scanner", true}, {u"B_Client_Firewall", false}},
                                    .expectedEnable = u"$$Scanner$$"},
                      // Nothing stored and nothing of the older generation: every feature counts
                      // as activated, none is deactivated.
                      ActivationRow{.name = "NothingStoredNoLegacy",
                                    .installMode = u"Maintenance",
                                    .updateMode = 2,
                                    .expectedEnable = u"",
                                    .allActivated = true},
                      ActivationRow{.name = "LegacyServiceFound",
                                    .installMode = u"Maintenance",
                                    .updateMode = 2,
                                    .legacyFirewall = true,
                                    .expectedEnable = u"$$B_Client_Firewall$$"}),
    [](const ::testing::TestParamInfo<ActivationRow>& info) { return std::string(info.param.name); });

TEST(PrepareSystem, LegacyServicesCountOnlyWhenRegisteredAndNotFlaggedForDeletion) {
    jxtest::TempMachineRoot root;
    const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\jxdcd";
    EXPECT_FALSE(IsSelfRegServiceInstalled(u"jxdcd"));
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"ImagePath", u"C:\\dcd.exe",
                              CRegStringType::Sz, 0);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"Type", 16, 0);
    EXPECT_FALSE(IsSelfRegServiceInstalled(u"jxdcd")); // its program is missing
    std::ofstream(jxplat::WindowsToHostPath(u"C:\\dcd.exe")) << "x";
    EXPECT_TRUE(IsSelfRegServiceInstalled(u"jxdcd"));
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, key.c_str(), u"DeleteFlag", 1, 0);
    EXPECT_FALSE(IsSelfRegServiceInstalled(u"jxdcd"));
    EXPECT_FALSE(IsClassesRootKeyPresent(u"JxASpam.AntiSpam"));
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, u"JxASpam.AntiSpam", u"", u"x", CRegStringType::Sz, 0);
    EXPECT_TRUE(IsClassesRootKeyPresent(u"JxASpam.AntiSpam"));
}

TEST(PrepareSystem, ActivationIsStoredOnlyAfterAStartedSequenceOutsideUninstall) {
    jxtest::TempMachineRoot root;
    TestEngine engine;
    JxData& data = *engine.m_pData;
    data.m_ProductInfo.productid = u"{11111111-2222-3333-4444-555555555555}";
    AddActivatableFeature(data, u"Scanner");
    data.SetProperty(u"_EnableFeatures", u"$Scanner$", 1);
    const WCHAR* key = u"JxSetup\\{11111111-2222-3333-4444-555555555555}\\ActivatedFeatures";

    engine.SetActivationStateOfAllFeatures(); // the sequence never started
    EXPECT_FALSE(CReg::ValueExists(HKEY_CLASSES_ROOT, key, u"Scanner", 0));
    data.m_SequenceData.m_bSequenceStarted = true;
    data.SetInstallMode(u"Uninstall");
    engine.SetActivationStateOfAllFeatures();
    EXPECT_FALSE(CReg::ValueExists(HKEY_CLASSES_ROOT, key, u"Scanner", 0));
    data.SetInstallMode(u"Install");
    engine.SetActivationStateOfAllFeatures();
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, key, u"Scanner", 7, 0), 1u);
}

} // namespace
