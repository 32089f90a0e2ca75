// The system restore point: without "SrClient.dll" nothing is usable and nothing fails; with the
// stand-in's restore service a point is opened once, kept when it ends with success and discarded
// when the object goes with the point still open. COM stays balanced either way.
#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/srrestoreptapi.h"
#include "jxsetupdata/JxSystemRestorePoint.h"
#include "jxtest/machine_root.h"

namespace {

using JxSetup::Data::JxSystemRestorePoint;

jxplat::MachineDescription WithRestoreService(const std::string& fault = "") {
    jxplat::MachineDescription machine;
    machine.systemRestore = true;
    machine.faultSystemRestore = fault;
    return machine;
}

TEST(SystemRestorePoint, WithoutTheClientNothingIsUsableAndComStaysBalanced) {
    jxtest::TempMachineRoot root;
    const int comBefore = jxplat::ComInitCount();
    {
        JxSystemRestorePoint point;
        EXPECT_FALSE(point.IsUsable());
        EXPECT_EQ(point.BeginSystemRestorePoint(u"Product (1.0)"), 0);
        EXPECT_EQ(point.EndSystemRestorePoint(true), 0);
    }
    EXPECT_EQ(jxplat::ComInitCount(), comBefore);
    EXPECT_TRUE(jxplat::ReadRestorePoints().empty());
}

TEST(SystemRestorePoint, OpensOnePointAndKeepsItWhenItEndsWithSuccess) {
    jxtest::TempMachineRoot root(WithRestoreService());
    const int comBefore = jxplat::ComInitCount();
    {
        JxSystemRestorePoint point;
        ASSERT_TRUE(point.IsUsable());
        EXPECT_EQ(point.BeginSystemRestorePoint(u"Product (1.0)"), 1);
        EXPECT_EQ(point.BeginSystemRestorePoint(u"Another"), 1); // one point at a time
        ASSERT_EQ(jxplat::ReadRestorePoints().size(), 1u);
        EXPECT_EQ(jxplat::ReadRestorePoints()[0].state, "open");
        EXPECT_NE(point.EndSystemRestorePoint(true), 0);
        EXPECT_EQ(point.EndSystemRestorePoint(true), 0); // nothing open any more
    }
    EXPECT_EQ(jxplat::ComInitCount(), comBefore);
    const auto points = jxplat::ReadRestorePoints();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].description, u"Product (1.0)");
    EXPECT_EQ(points[0].state, "kept");
}

TEST(SystemRestorePoint, APointLeftOpenIsCancelledWhenTheObjectGoes) {
    jxtest::TempMachineRoot root(WithRestoreService());
    // A description longer than the request record holds is cut, never written past it.
    const std::u16string longDescription(400, u'x');
    {
        JxSystemRestorePoint point;
        EXPECT_EQ(point.BeginSystemRestorePoint(longDescription), 1);
    }
    const auto points = jxplat::ReadRestorePoints();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].state, "cancelled");
    EXPECT_EQ(points[0].description, longDescription.substr(0, 255));
}

TEST(SystemRestorePoint, AServiceThatRefusesIsAFailureOfThatCall) {
    {
        jxtest::TempMachineRoot root(WithRestoreService("begin"));
        JxSystemRestorePoint point;
        EXPECT_EQ(point.BeginSystemRestorePoint(u"Product (1.0)"), 0);
        EXPECT_EQ(point.GetOpenSequenceNumber(), 0);
        EXPECT_TRUE(jxplat::ReadRestorePoints().empty());
    }
    {
        jxtest::TempMachineRoot root(WithRestoreService("end"));
        JxSystemRestorePoint point;
        EXPECT_EQ(point.BeginSystemRestorePoint(u"Product (1.0)"), 1);
        EXPECT_EQ(point.EndSystemRestorePoint(true), 0);
        EXPECT_EQ(point.GetOpenSequenceNumber(), 0); // closed for this object whatever the result
    }
}

TEST(SystemRestorePoint, ComOfAnotherApartmentIsLeftAsItsOwnerSetIt) {
    jxtest::TempMachineRoot root(WithRestoreService());
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        // The object's own initialization fails: the client stays loaded, COM is not undone.
        JxSystemRestorePoint point;
        EXPECT_TRUE(point.IsUsable());
    }
    EXPECT_EQ(jxplat::ComInitCount(), 1);
    CoUninitialize();
}

} // namespace
