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

// A driver that stops answering, or dies in the middle of an answer: the start-up logs what it got
// and goes on, its wait bounded by the device time-out.
TEST(ConnectDrivers, ASilentOrDyingDriverLetsTheRunGoOn) {
    const struct {
        const char* option;
        const char* count;
        const char* level; // of the start-up's line about the interception driver
        const char* line;
    } cases[] = {
        // The process-list bag is read; its release goes unanswered.
        {"--silent-after", "1", "LP_INFO", "TM OK"},
        {"--die-after", "0", "WARNING", "TM FAILED"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        jxtest::TempMachineRoot root;
        jxplat::MachineDescription machine;
        machine.deviceTimeoutMs = 100;
        root.Describe(machine);
        jxtest::CLogCapture log;
        jxtest::CDriverDouble driver({"--device", "QuorvelMasterControlDevice3", "--device",
                                      "JxBehaveMasterControlDevice0", c.option, c.count});
        ASSERT_TRUE(driver.Ready());
        const ULONGLONG start = GetTickCount64();
        TestEngine engine;
        EXPECT_TRUE(engine._init_ConnectPropertyBag());
        EXPECT_LT(GetTickCount64() - start, 10000u);
        EXPECT_TRUE(log.Has(c.level, c.line)) << log.Dump();
        EXPECT_FALSE(log.Has("ERROR", "")) << log.Dump();
    }
}

} // namespace
