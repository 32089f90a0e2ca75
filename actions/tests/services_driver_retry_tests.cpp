#include <gtest/gtest.h>

#include "jxactions/JxServiceControl.h"
#include "jxbase/ServiceController.h"
#include "jxsetupdata/JxLog.h"
#include "jxtest/driver_double.h"
#include "jxtest/log_capture.h"

namespace {

using namespace JxSetup::Data;

class ServiceDriverRetry : public ::testing::Test {
protected:
    void SetUp() override {
        jxplat::MachineDescription machine;
        machine.refusedServiceChanges = {"JxGuarded"};
        m_Root.Describe(machine);
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE made = CreateServiceW(scm, u"JxGuarded", u"JxGuarded", SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                        u"C:\\guard.exe", nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(made, nullptr);
        CloseServiceHandle(made);
        CloseServiceHandle(scm);
        ASSERT_TRUE(m_Service.Open(u"JxGuarded", nullptr, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS));
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    ServiceController m_Service;
};

TEST_F(ServiceDriverRetry, RefusedChangeIsRetriedThroughTheDriverAndAccepted) {
    jxtest::CDriverDouble driver;
    ASSERT_TRUE(driver.Ready());
    EXPECT_TRUE(SetStartTypeThroughDriver(m_Service, u"JxGuarded", SERVICE_DEMAND_START, Instance(), u"ctx"));
    EXPECT_EQ(ServiceController::QueryStartType(u"JxGuarded", nullptr), 3);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Connection to ProcessManager succeeded. Retrying "
                                     "to set start type of service JxGuarded"))
        << m_Log.Dump();
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0);
}

TEST_F(ServiceDriverRetry, WithoutTheDriverTheServiceKeepsItsStartType) {
    EXPECT_FALSE(SetStartTypeThroughDriver(m_Service, u"JxGuarded", SERVICE_DISABLED, Instance(), u"ctx"));
    EXPECT_EQ(ServiceController::QueryStartType(u"JxGuarded", nullptr), 2);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Connection to ProcessManager failed with error code")) << m_Log.Dump();
}

} // namespace
