#include <vector>

#include <gtest/gtest.h>

#include "jxplat/text.h"
#include "jxpropertybag/DriverConnection.h"
#include "jxpropertybag/PropertyBag.h"
#include "jxtest/driver_double.h"

namespace {

class DriverConnection : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_Root;
};

TEST_F(DriverConnection, DefaultControlDeviceNames) {
    EXPECT_EQ(CMHPropertyBagDriver(u"Abc64", 0, nullptr, nullptr, true, u"").ControlDeviceName(),
              u"AbcMasterControlDevice0");
    EXPECT_EQ(CMHPropertyBagDriver(u"Abc64", 0, nullptr, nullptr, false, u"").ControlDeviceName(),
              u"AbcControlDevice0");
    EXPECT_EQ(CMHPropertyBagDriver(u"64", 0, nullptr, nullptr, true, u"").ControlDeviceName(),
              u"64MasterControlDevice0");
    EXPECT_EQ(CLegacyProcessManager(false).ControlDeviceName(), u"JxBehaveControlDevice0");
    jxtest::WriteMachineFile(u"C:\\Windows\\SysWOW64\\drivers\\JxBehave2.sys");
    jxtest::WriteMachineFile(u"C:\\Windows\\System32\\drivers\\JxBehave2.sys");
    CLegacyProcessManager second(true);
    EXPECT_EQ(second.DriverName(), u"JxBehave2");
    EXPECT_EQ(second.ControlDeviceName(), u"JxBehaveMasterControlDevice1");
}

TEST_F(DriverConnection, TriesLowerDigitsOfTheControlDevice) {
    jxtest::CDriverDouble driver({"--device", "QuorvelControlDevice1"});
    ASSERT_TRUE(driver.Ready());
    CProcessManager manager(false);
    ASSERT_TRUE(manager.Connect(false, false));
    EXPECT_EQ(manager.ControlDeviceName(), u"QuorvelControlDevice1");
    std::u16string plain = u"Plain";
    EXPECT_EQ(OpenControlDevice(plain, GENERIC_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(plain, u"Plain");
}

TEST_F(DriverConnection, ClientsOfOneClassShareTheRegistry) {
    jxtest::CDriverDouble driver;
    ASSERT_TRUE(driver.Ready());
    DriverConnectionRegistry& registry = DriverConnectionRegistry::Instance();
    registry.SetNextConnectionIdForTesting(0xFFFFFFFF);
    CProcessManager first(true);
    CProcessManager second(true);
    ASSERT_TRUE(first.Connect(false, false));
    ASSERT_TRUE(second.Connect(false, false));
    EXPECT_EQ(first.ConnectionId(), 0xFFFFFFFFu);
    EXPECT_EQ(second.ConnectionId(), 1u) << "the id counter skips the no-connection id when it wraps";
    EXPECT_EQ(registry.HandleCount(kFileManagerClassId), 2u);
    const DWORD id = first.ConnectionId();
    EXPECT_TRUE(first.Connect(false, false));
    EXPECT_EQ(first.ConnectionId(), id) << "connecting a connected client keeps its connection";
    first.Disconnect();
    EXPECT_EQ(first.GetDeviceHandle(), INVALID_HANDLE_VALUE);
    EXPECT_NE(second.GetDeviceHandle(), INVALID_HANDLE_VALUE);
    second.Disconnect();
    EXPECT_EQ(registry.LiveConnections(), 0);
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0) << jxtest::CDriverDouble::Status();
}

// Holders given back below the cap are reused and those above it destroyed; the last
// disconnection, not an earlier one, empties the holder pool with the pools of values and caches.
TEST_F(DriverConnection, TheLastDisconnectionEmptiesThePools) {
    CHandleHolderPool& holders = CHandleHolderPool::Instance();
    std::vector<CSmartHandle*> taken;
    for (int i = 0; i < 70; ++i) {
        CSmartPtr<CSmartHandle> holder;
        holders.Allocate(holder);
        holder->Attach(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        taken.push_back(holder.Detach());
    }
    for (CSmartHandle* holder : taken)
        holders.Free(holder);
    EXPECT_EQ(holders.PooledCount(), 64) << "holders above the cap are destroyed";
    CSmartPtr<CSmartHandle> again;
    holders.Allocate(again);
    EXPECT_EQ(again.Get(), taken[63]) << "the holder pooled last is reused first";
    EXPECT_EQ(again->Get(), INVALID_HANDLE_VALUE) << "a pooled holder's handle is closed";
    holders.Free(again.Detach());

    CSmartPtr<SmartPropertyValue> value;
    CPropertyValuePool::Instance().Allocate(value);
    CPropertyValuePool::Instance().Free(value.Detach());
    CSmartPtr<CMHPropertyBag::ValueCachetype> cache;
    CMHPropertyBag::CachePool::Instance().Allocate(cache);
    CMHPropertyBag::CachePool::Instance().Free(cache.Detach());

    jxtest::CDriverDouble driver;
    ASSERT_TRUE(driver.Ready());
    CProcessManager first(false);
    CProcessManager second(false);
    ASSERT_TRUE(first.Connect(false, false));
    ASSERT_TRUE(second.Connect(false, false));
    first.Disconnect();
    EXPECT_EQ(holders.PooledCount(), 64) << "a connection is still held";
    EXPECT_EQ(CPropertyValuePool::Instance().PooledCount(), 1);
    second.Disconnect();
    EXPECT_EQ(holders.PooledCount(), 0);
    EXPECT_EQ(CPropertyValuePool::Instance().PooledCount(), 0);
    EXPECT_EQ(CMHPropertyBag::CachePool::Instance().PooledCount(), 0);
}

TEST_F(DriverConnection, AbsentDriverFailsAndTheLegacyRetryKeepsTheFirstError) {
    CProcessManager manager(true);
    EXPECT_FALSE(manager.Connect(false, false));
    EXPECT_FALSE(manager.Connect(true, false)) << "no driver service to start";
    EXPECT_EQ(manager.ControlDeviceName(), u"QuorvelMasterControlDevice3");
    CLegacyProcessManager legacy(true);
    EXPECT_FALSE(legacy.Connect(false, false));
    EXPECT_EQ(legacy.DriverName(), u"JxBehave");
    EXPECT_EQ(legacy.ControlDeviceName(), u"JxBehaveMasterControlDevice0");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(DriverConnection, LegacyDriverConnectsThroughItsSecondDevice) {
    jxtest::CDriverDouble driver({"--device", "JxBehaveMasterControlDevice1"});
    ASSERT_TRUE(driver.Ready());
    CLegacyProcessManager legacy(true);
    ASSERT_TRUE(legacy.Connect(true, false));
    EXPECT_EQ(legacy.DriverName(), u"JxBehave2");
}

TEST_F(DriverConnection, InstallWithoutADriverFileTouchesNothing) {
    CProcessManager manager(true);
    EXPECT_TRUE(manager.InstallDriverService(SERVICE_SYSTEM_START, false));
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    EXPECT_EQ(OpenServiceW(scm, u"JxQuorvel", SERVICE_QUERY_STATUS), nullptr);
    CloseServiceHandle(scm);
}

// The driver service of the stand-in's service manager is the double itself: a
// connection that may start the service starts it and connects.
TEST_F(DriverConnection, StartsTheDriverServiceWhenAllowed) {
    const std::u16string image = jxtext::Format(u"\"%s\" --root \"%s\" --service JxQuorvel",
                                                jxplat::HostToWindowsPath(jxtest::DriverDoublePath()).c_str(),
                                                jxtext::Utf8ToUtf16(jxplat::MachineRoot()).c_str());
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceW(scm, u"JxQuorvel", u"JxQuorvel", SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    {
        CProcessManager manager(true);
        EXPECT_FALSE(manager.Connect(false, false));
        ASSERT_TRUE(manager.Connect(true, false));
    }
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0);
    SERVICE_STATUS status = {};
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

// A refused change of a protected service is accepted while the process holds a
// driver connection.
TEST_F(DriverConnection, RefusedServiceChangeIsAcceptedWhileConnected) {
    jxplat::MachineDescription machine;
    machine.refusedServiceChanges = {"JxGuarded"};
    m_Root.Describe(machine);
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = CreateServiceW(scm, u"JxGuarded", u"JxGuarded", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       u"C:\\guard.exe", nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    auto change = [&] {
        return ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
    };
    EXPECT_FALSE(change());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    jxtest::CDriverDouble driver;
    ASSERT_TRUE(driver.Ready());
    {
        CProcessManager manager(IsCurrentUserAdmin());
        ASSERT_TRUE(manager.Connect(false, false));
        EXPECT_TRUE(change());
    }
    EXPECT_FALSE(change()) << "only while the connection is held";
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
}

} // namespace
