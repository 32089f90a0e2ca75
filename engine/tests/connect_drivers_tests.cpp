// The start-up step that connects to the product's drivers.
#include <gtest/gtest.h>

#include "jxengine/JxSetupEngineControl.h"
#include "jxtest/driver_double.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

class TestEngine : public JxSetupEngineControl {
public:
    using JxSetupEngineControl::_init_ConnectPropertyBag;
};

TEST(ConnectDrivers, StartUpConnectsToBothDriversAndReleasesEveryBag) {
    jxtest::TempMachineRoot root;
    jxtest::CLogCapture log;
    jxtest::CDriverDouble driver(
        {"--device", "QuorvelMasterControlDevice3", "--device", "JxBehaveMasterControlDevice0"});
    ASSERT_TRUE(driver.Ready());
    TestEngine engine;
    EXPECT_TRUE(engine._init_ConnectPropertyBag());
    EXPECT_TRUE(log.Has("LP_INFO", "TM OK")) << log.Dump();
    EXPECT_TRUE(log.Has("LP_INFO", "legacy TM OK")) << log.Dump();
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0) << jxtest::CDriverDouble::Status();
}

TEST(ConnectDrivers, WithoutTheDriversTheRunGoesOn) {
    jxtest::TempMachineRoot root;
    jxtest::CLogCapture log;
    TestEngine engine;
    EXPECT_TRUE(engine._init_ConnectPropertyBag());
    EXPECT_TRUE(log.Has("WARNING", "TM FAILED")) << log.Dump();
    EXPECT_FALSE(log.Has("LP_INFO", "legacy TM OK"));
    EXPECT_FALSE(log.Has("ERROR", "")) << log.Dump();
}

} // namespace
