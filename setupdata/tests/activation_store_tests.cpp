// Activations of activatable features stored in the product's "ActivatedFeatures" key: written by
// one run, read by the next, and compared with a requested set.
#include <gtest/gtest.h>

#include "jxbase/reg.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"
#include "loader_support.h"

using namespace JxSetup::Data;

namespace {

const WCHAR* const kKey = u"JxSetup\\{PRODUCT}\\ActivatedFeatures";

void Define(JxData& data, const std::u16string& productId) {
    data.m_ProductInfo.productid = productId;
    for (const char16_t* name : {u"Core", u"Backup", u"Firewall"}) {
        JxFeature feature;
        feature.name = name;
        feature.m_Activatable = name != std::u16string(u"Core");
        data.m_Features.push_back(feature);
    }
}

class ActivationStore : public ::testing::Test {
protected:
    ActivationStore() { Define(m_Data, u"{PRODUCT}"); }
    std::vector<JxData::JxActivatedFeature> Stored(JxData& data) {
        std::vector<JxData::JxActivatedFeature> out;
        data.GetActivatedFeatures(out);
        return out;
    }

    jxtest::TempMachineRoot m_Root;
    jxloadertest::CLogLines m_Log;
    JxData m_Data;
};

TEST_F(ActivationStore, OneRunStoresWhatTheNextRunReads) {
    EXPECT_TRUE(Stored(m_Data).empty()); // no key yet
    m_Data.SetAllFeaturesActivated(true);
    m_Data.SetProperty(u"_EnableFeatures", u"$backup$", 1);
    m_Data.SetActivatedFeatures();
    // Storing ends the all-activated answer.
    EXPECT_FALSE(m_Data.IsFeatureActivated(u"Firewall"));

    JxData next;
    Define(next, u"{PRODUCT}");
    EXPECT_EQ(Stored(next),
              (std::vector<JxData::JxActivatedFeature>{{true, u"$Backup$"}, {false, u"$Firewall$"}}));
    EXPECT_TRUE(next.IsFeatureActivated(u"Backup"));
    EXPECT_TRUE(next.IsFeatureActivated(u"$Backup$"));
    EXPECT_FALSE(next.IsFeatureActivated(u"Firewall"));
    EXPECT_FALSE(next.IsFeatureActivated(u"Core")); // never stored

    next.SetFeatureActivationState(u"Firewall", true);
    EXPECT_TRUE(m_Data.IsFeatureActivated(u"Firewall"));
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, kKey, u"Firewall", 7, 0), 1u);
}

TEST_F(ActivationStore, OnlyADwordOfOneIsActiveInTheList) {
    ASSERT_EQ(CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, kKey, u"Backup", 2, 0), 0);
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, kKey, u"Firewall", u"1", CRegStringType::Sz, 0);
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, kKey, u"", u"default", CRegStringType::Sz, 0);
    // The two readings of 2 differ: IsFeatureActivated counts any value but 0.
    EXPECT_TRUE(m_Data.IsFeatureActivated(u"Backup"));
    EXPECT_EQ(Stored(m_Data),
              (std::vector<JxData::JxActivatedFeature>{{false, u"$Backup$"}, {false, u"$Firewall$"}}));
}

TEST_F(ActivationStore, AnEmptyProductIdAddressesNoKey) {
    JxData data;
    Define(data, u"");
    data.SetProperty(u"_EnableFeatures", u"$Backup$", 1);
    data.SetActivatedFeatures();
    data.SetFeatureActivationState(u"Backup", true);
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, u"JxSetup\\ActivatedFeatures", 0));
    ASSERT_EQ(CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, u"JxSetup\\ActivatedFeatures", u"Backup", 1, 0), 0);
    EXPECT_FALSE(data.IsFeatureActivated(u"Backup"));
    EXPECT_TRUE(Stored(data).empty());
    EXPECT_TRUE(m_Log.Has("ERROR", "The product id is empty"));
}

struct RequestCase {
    const char* name;
    DWORD backup, firewall; // stored; 9 = no value
    const char16_t* requested;
    bool changes;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << c.name;
}

class ActivationRequest : public ActivationStore, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(ActivationRequest, ChangesWhenARequestDiffersFromTheStore) {
    const RequestCase& c = GetParam();
    if (c.backup != 9)
        ASSERT_EQ(CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, kKey, u"Backup", c.backup, 0), 0);
    if (c.firewall != 9)
        ASSERT_EQ(CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, kKey, u"Firewall", c.firewall, 0), 0);
    EXPECT_EQ(m_Data.HasValidFeatureActivationAction(c.requested), c.changes);
    // The per-feature check reads the same request from "_EnableFeatures".
    m_Data.SetProperty(u"_EnableFeatures", c.requested, 1);
    EXPECT_EQ(m_Data.FeatureHasValidActivationAction(u"Backup") ||
                  m_Data.FeatureHasValidActivationAction(u"Firewall"),
              c.changes);
}

INSTANTIATE_TEST_SUITE_P(Requests, ActivationRequest,
                         ::testing::Values(RequestCase{"NothingStoredNothingAsked", 9, 9, u"", false},
                                           RequestCase{"NothingStoredOneAsked", 9, 9, u"$Backup$", true},
                                           RequestCase{"AsStored", 1, 0, u"x$BACKUP$x", false},
                                           RequestCase{"OneSwitchedOff", 1, 1, u"$Backup$", true},
                                           RequestCase{"AnyNonZeroIsActive", 2, 0, u"$Backup$", false},
                                           RequestCase{"InactiveFeatureNotAsked", 0, 0, u"$Core$", false}),
                         [](const ::testing::TestParamInfo<RequestCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ActivationRequestNoFeatures, NothingToChangeWithoutActivatableFeatures) {
    jxtest::TempMachineRoot root;
    JxData data;
    data.m_ProductInfo.productid = u"{PRODUCT}";
    EXPECT_FALSE(data.HasValidFeatureActivationAction(u"$A$"));
}

TEST_F(ActivationStore, LogsEveryComparison) {
    m_Data.SetProperty(u"_EnableFeatures", u"$Firewall$", 1);
    EXPECT_TRUE(m_Data.FeatureHasValidActivationAction(u"Firewall"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Feature: Firewall - Activated: false - Activate: true"));
    EXPECT_TRUE(m_Log.Has("END", "true"));
}

} // namespace
