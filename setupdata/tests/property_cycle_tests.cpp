// Values that refer to themselves: expansion stops at its bounds with an ERROR line.
#include "jxsetupdata/PropertyCache.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::PropertyCache;

namespace {

constexpr char16_t kContext[] = u"JxSetup::Data::PropertyCache::ExpandForLanguage";

// Counts the ERROR lines of the expansion while it lives.
class ErrorCapture {
public:
    ErrorCapture() {
        JxSetup::Data::Instance()->SetDoNotLog(false);
        JxSetup::Data::JxLog::SetCaptureForTesting(
            [this](int level, std::u16string_view, std::u16string_view context, std::u16string_view) {
                std::lock_guard<std::mutex> guard(m_Lock);
                if (level == JxSetup::Data::LP_ERROR && context == kContext)
                    ++m_Errors;
            });
    }
    ~ErrorCapture() { JxSetup::Data::JxLog::SetCaptureForTesting(nullptr); }
    int Errors() {
        std::lock_guard<std::mutex> guard(m_Lock);
        return m_Errors;
    }

private:
    std::mutex m_Lock;
    int m_Errors = 0;
};

struct CycleRow {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> properties;
};

class PropertyCycle : public ::testing::TestWithParam<CycleRow> {};

TEST_P(PropertyCycle, StopsWithAnErrorLine) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    for (const auto& [name, value] : GetParam().properties)
        ASSERT_TRUE(cache.SetProperty(name, value, 1));
    ErrorCapture capture;
    std::u16string out;
    EXPECT_FALSE(cache.Expand(out, u"<[A]>"));
    EXPECT_EQ(capture.Errors(), 1);
    // The text as it stands: still holding the reference that was next, within the size bound
    // plus the one value that crossed it.
    EXPECT_NE(out.find(u"[A]"), std::u16string::npos);
    EXPECT_LT(out.size(), 2 * PropertyCache::kMaxExpandedBytes);
}

INSTANTIATE_TEST_SUITE_P(
    PropertyCycles, PropertyCycle,
    ::testing::Values(CycleRow{"Direct", {{u"A", u"[A]"}}}, CycleRow{"Growing", {{u"A", u"x[A]"}}},
                      CycleRow{"Doubling", {{u"A", u"[A][A]"}}},
                      CycleRow{"ThroughAnother", {{u"A", u"[B]"}, {u"B", u"y[A]"}}},
                      CycleRow{"Protected", {{u"A", u"[__S]"}, {u"__S", u"[A]"}}},
                      CycleRow{"Large", {{u"A", std::u16string(300000, u'z') + u"[A]"}}}),
    [](const ::testing::TestParamInfo<CycleRow>& info) { return std::string(info.param.name); });

// The bounds stop only a further replacement: one large value alone expands in full.
TEST(PropertyCycleBound, LargeValueWithoutReferencesExpands) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    const std::u16string big(PropertyCache::kMaxExpandedBytes / 2 + 1, u'z'); // just over the bound
    ASSERT_TRUE(cache.SetProperty(u"BIG", big, 1));
    ErrorCapture capture;
    std::u16string out;
    EXPECT_TRUE(cache.Expand(out, u"[BIG]"));
    EXPECT_EQ(out, big);
    EXPECT_EQ(capture.Errors(), 0);
}

// The error line is written after the store's lock is released: a log reader may use the store.
TEST(PropertyCycleBound, ErrorLineIsWrittenOutsideTheLock) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    ASSERT_TRUE(cache.SetProperty(u"A", u"[A]", 1));
    bool stored = false;
    JxSetup::Data::Instance()->SetDoNotLog(false);
    JxSetup::Data::JxLog::SetCaptureForTesting(
        [&](int level, std::u16string_view, std::u16string_view context, std::u16string_view) {
            if (level == JxSetup::Data::LP_ERROR && context == kContext)
                stored = cache.SetProperty(u"SEEN", u"1", 1); // takes the lock alone
        });
    EXPECT_FALSE(cache.ExpandProperties(u"[A]").empty());
    JxSetup::Data::JxLog::SetCaptureForTesting(nullptr);
    EXPECT_TRUE(stored);
}

} // namespace
