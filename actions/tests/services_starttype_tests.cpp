// Start types of the definition's services: the stored ones, the configured ones, the shutdown
// order, and the service-control steps.
#include <gtest/gtest.h>

#include "jxactions/JxServiceControl.h"
#include "jxbase/ServiceController.h"
#include "jxbase/reg.h"
#include "services_test_support.h"

using namespace jxsvctest;

namespace {

constexpr const WCHAR* kStates = u"JxSetup\\ServiceStates";

class ServiceStartTypes : public ::testing::Test {
protected:
    static void MakeService(const WCHAR* name, DWORD startType) {
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        CloseServiceHandle(CreateServiceW(scm, name, nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                          startType, SERVICE_ERROR_NORMAL, u"C:\\svc.exe", nullptr, nullptr,
                                          nullptr, nullptr, nullptr));
        CloseServiceHandle(scm);
    }
    static bool Stored(const WCHAR* name, DWORD& value) {
        if (!CReg::ValueExists(HKEY_CLASSES_ROOT, kStates, name, 0))
            return false;
        value = CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, kStates, name, 0, 0);
        return true;
    }
    static JxService Row(const std::u16string& name, const std::u16string& startType = u"") {
        JxService row;
        row.name = name;
        row.starttype = startType;
        return row;
    }

    jxtest::TempMachineRoot m_Root;
    CLogCapture m_Log;
    JxData m_Data;
};

} // namespace

TEST_F(ServiceStartTypes, StoredStartTypesAreNeverRaised) {
    struct Row {
        const WCHAR* name;
        DWORD current;
        int stored; // -1: nothing stored
        DWORD result;
        int storedAfter;
    } rows[] = {
        {u"JxNew", 3, -1, 3, 3},     // the first look stores the current start type
        {u"JxDisabled", 4, 2, 2, 2}, // disabled by a setup: the earlier start type
        {u"JxLowered", 2, 3, 2, 2},  // a lower current start type replaces the stored one
        {u"JxSame", 2, 2, 2, 2},     {u"JxZero", 4, 0, 4, 0}, // a stored 0 is as good as nothing, and stays
    };
    for (const Row& row : rows) {
        MakeService(row.name, row.current);
        if (row.stored >= 0)
            CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, kStates, row.name, static_cast<DWORD>(row.stored), 0);
        EXPECT_EQ(m_Data.GetStoredServiceStartType(row.name), row.result) << jxtext::N(row.name);
        DWORD after = 99;
        ASSERT_TRUE(Stored(row.name, after)) << jxtext::N(row.name);
        EXPECT_EQ(static_cast<int>(after), row.storedAfter) << jxtext::N(row.name);
    }
    EXPECT_EQ(m_Data.GetStoredServiceStartType(u"JxMissing"), 0u);
    DWORD ignored = 0;
    EXPECT_FALSE(Stored(u"JxMissing", ignored));

    m_Data.SetSkipSaveServiceStates(true);
    MakeService(u"JxSkipped", 3);
    EXPECT_EQ(m_Data.GetStoredServiceStartType(u"JxSkipped"), 3u);
    EXPECT_FALSE(Stored(u"JxSkipped", ignored));
}

TEST_F(ServiceStartTypes, TheDefinitionLoadRecordsTheStartTypes) {
    MakeService(u"JxAlpha", SERVICE_DEMAND_START);
    WriteDefinition(RegisterRow("JxAlpha") + RegisterRow("JxAbsent"), UnregisterRow("JxAlpha"));
    m_Data.SetAppDir(kAppDir);
    ASSERT_TRUE(m_Data.LoadConfiguration()) << m_Log.Dump();
    ASSERT_EQ(m_Data.m_InstallServices.size(), 2u);
    EXPECT_EQ(m_Data.m_InstallServices[0].m_StoredStartType, 3);
    EXPECT_EQ(m_Data.m_InstallServices[1].m_StoredStartType, 0);
    DWORD value = 0;
    ASSERT_TRUE(Stored(u"JxAlpha", value));
    EXPECT_EQ(value, 3u);
}

TEST_F(ServiceStartTypes, TextsAndTheStartTypeToApply) {
    const std::pair<const WCHAR*, DWORD> texts[] = {{u"manuell", 3},  {u"MANUELL", 3}, {u"manual", 2},
                                                    {u"disabled", 4}, {u"delayed", 2}, {u"", 2},
                                                    {u"auto", 2}};
    for (const auto& [text, type] : texts)
        EXPECT_EQ(JxData::GetStartTypeFromText(text), type) << jxtext::N(text);

    JxService row = Row(u"JxSvc", u"manuell");
    row.m_StoredStartType = 2;
    m_Data.SetProperty(u"InstallMode", u"Maintenance", 1);
    EXPECT_EQ(m_Data.GetConfiguredServiceStartType(row), 2u)
        << "the stored start type outside a first install";
    row.startservicewithconfigsettings = true;
    EXPECT_EQ(m_Data.GetConfiguredServiceStartType(row), 3u);
    row.startservicewithconfigsettings = false;
    row.m_StoredStartType = 0;
    EXPECT_EQ(m_Data.GetConfiguredServiceStartType(row), 3u) << "nothing stored";
    row.m_StoredStartType = 4;
    m_Data.SetProperty(u"InstallMode", u"Install", 1);
    EXPECT_EQ(m_Data.GetConfiguredServiceStartType(row), 3u);

    m_Data.m_InstallServices = {Row(u"JxA", u"disabled"), Row(u"JxB"), Row(u"jxa", u"manuell")};
    EXPECT_EQ(m_Data.GetConfiguredStartTypeByName(u"JXA"), 4u) << "the first row of that name";
    EXPECT_EQ(m_Data.GetConfiguredStartTypeByName(u"JxB"), 2u);
    EXPECT_EQ(m_Data.GetConfiguredStartTypeByName(u"JxNone"), 2u);
}

TEST_F(ServiceStartTypes, ShutdownOrderPutsTheUnsetServicesFirst) {
    m_Data.m_InstallServices = {Row(u"JxA"), Row(u"JxB"), Row(u"JxC")};
    struct Case {
        const WCHAR* order;
        std::vector<std::u16string> configured;
        std::vector<std::u16string> merged;
    } cases[] = {
        {u"jxc,JxUnknown,JxA", {u"jxc", u"JxUnknown", u"JxA"}, {u"JxB", u"jxc", u"JxA"}},
        {u"[Unresolved]", {}, {u"JxA", u"JxB", u"JxC"}},
        {u"", {}, {u"JxA", u"JxB", u"JxC"}},
        {u"JxA,,JxB", {u"JxA", u"", u"JxB"}, {u"JxC", u"JxA", u"JxB"}},
    };
    for (const Case& c : cases) {
        m_Data.SetProperty(u"_ShutdownOrder", c.order, 1);
        const std::vector<std::u16string> configured = m_Data.GetConfiguredShutdownOrder();
        EXPECT_EQ(configured, c.configured) << jxtext::N(c.order);
        EXPECT_EQ(m_Data.GetMergedShutdownOrder(configured), c.merged) << jxtext::N(c.order);
    }
}

TEST_F(ServiceStartTypes, FixServicesSetsTheConfiguredTypesAndReportsARefusal) {
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                              u"CurrentVersion", u"6.3", CRegStringType::Sz, 0);
    MakeService(u"JxManual", SERVICE_AUTO_START);
    MakeService(u"JxDelayed", SERVICE_DEMAND_START);
    MakeService(u"JxGuarded", SERVICE_AUTO_START);
    m_Data.m_InstallServices = {Row(u"JxManual", u"manuell"), Row(u"JxDelayed", u"delayed"),
                                Row(u"JxGuarded", u"disabled")};
    jxplat::MachineDescription machine;
    machine.refusedServiceChanges = {"JxGuarded"};
    m_Root.Describe(machine);

    m_Data.FixServices();
    EXPECT_EQ(ServiceController::QueryStartType(u"JxManual", nullptr), 3);
    EXPECT_EQ(ServiceController::QueryStartType(u"JxDelayed", nullptr), 2);
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, ServiceKey(u"JxDelayed").c_str(),
                                       u"DelayedAutostart", 0, 0),
              1u);
    EXPECT_EQ(ServiceController::QueryStartType(u"JxGuarded", nullptr), 2) << "the change was refused";
    EXPECT_TRUE(m_Log.Has("ERROR", "Can't enable service JxGuarded. Errorcode 5")) << m_Log.Dump();

    // The small steps: nothing to do, a disable, a removal.
    EXPECT_TRUE(m_Data.ConfigureServiceStartType(u"JxManual", nullptr, 3));
    EXPECT_TRUE(DisableService(u"JxManual", nullptr));
    EXPECT_EQ(ServiceController::QueryStartType(u"JxManual", nullptr), 4);
    EXPECT_FALSE(DisableService(u"JxMissing", nullptr));
    EXPECT_TRUE(RemoveService(u"JxManual", nullptr));
    EXPECT_EQ(ServiceController::QueryStartType(u"JxManual", nullptr), -1);
    EXPECT_FALSE(m_Data.IsServiceInState(SERVICE_RUNNING, u"JxDelayed", nullptr));
    EXPECT_TRUE(m_Data.IsServiceInState(SERVICE_STOPPED, u"JxDelayed", nullptr));
}
