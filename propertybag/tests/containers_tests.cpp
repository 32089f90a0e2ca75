#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstring>
#include <thread>
#include <vector>

#include "jxpropertybag/CCacheMap.h"
#include "jxpropertybag/CFastTree.h"

namespace {

using CKeyTable = CFastTree<unsigned int, int, 100>;

TEST(FastTree, KeepsKeysSortedAndGrowsOutOfItsInlineStorage) {
    CSmartPtr<CKeyTable> tree(new CKeyTable);
    for (unsigned i = 0; i < 100; ++i)
        tree->FindOrInsert((i * 7919u) % 1000u + 0x80000000u * (i % 2)) = static_cast<int>(i);
    EXPECT_TRUE(tree->IsInline());
    tree->FindOrInsert(5000) = 100; // the 101st key
    EXPECT_FALSE(tree->IsInline());
    EXPECT_EQ(tree->Count(), 101u);
    unsigned previous = 0;
    for (auto& item : *tree) {
        EXPECT_GE(item.key, previous) << "keys compare as unsigned 32-bit values";
        previous = item.key;
    }
    EXPECT_EQ(tree->Find(5000u)->value, 100);
    EXPECT_EQ(tree->Find(4999u), tree->end());
    EXPECT_EQ(tree->Insert({5000u, 1})->value, 100) << "an existing key keeps its value";
    tree->RemoveAll();
    EXPECT_TRUE(tree->IsInline());
    EXPECT_EQ(tree->Count(), 0u);
}

TEST(CaseTraits, CompareIgnoringCaseWithoutTouchingTheLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    EXPECT_EQ(CiCompare(u"ABC", u"abc", 3), 0);
    EXPECT_EQ(CiCompare(u"\u00C4rger", u"\u00E4RGER", 5), 0) << "non-ASCII letters fold through the table";
    EXPECT_EQ(CiCompare(u"\u0416", u"\u0436", 1), 0);
    EXPECT_LT(CiCompare(u"abc", u"ABD", 3), 0);
    EXPECT_EQ(ci_wstring(u"HarddiskVolume2"), ci_wstring(u"harddiskvolume2"));
    EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr)) << "the process locale stays as it was";
}

struct CacheClock {
    ULONGLONG now = 100;
};

TEST(CacheMap, ALiveEntryWinsOverAnInsertInAnotherCase) {
    CCacheMap cache(60, INFINITE, 0, false);
    std::u16string value = u"C:";
    bool inserted = false;
    ASSERT_TRUE(cache.Insert(u"\\Device\\HarddiskVolume2", value, &inserted));
    EXPECT_TRUE(inserted);
    value = u"D:";
    ASSERT_TRUE(cache.Insert(u"\\DEVICE\\harddiskvolume2", value, &inserted));
    EXPECT_FALSE(inserted);
    EXPECT_EQ(value, u"C:") << "the old value is handed back";
    std::u16string found;
    EXPECT_TRUE(cache.Lookup(u"\\device\\HARDDISKVOLUME2", found));
    EXPECT_EQ(found, u"C:");
    EXPECT_FALSE(cache.Lookup(u"\\Device\\HarddiskVolume3", found));
}

TEST(CacheMap, EntriesExpireAfterTheirLifetime) {
    CacheClock clock;
    std::vector<std::u16string> expired;
    CCacheMap cache(60, INFINITE, 0, false, nullptr,
                    [&](const ci_wstring& key, const std::u16string&) { expired.emplace_back(key.c_str()); });
    cache.SetClockForTesting([&] { return clock.now; });
    std::u16string value = u"C:";
    cache.Insert(u"a", value);
    clock.now += 59;
    cache.Purge();
    EXPECT_EQ(cache.EntryCount(), 1u);
    clock.now += 1;
    cache.Purge();
    EXPECT_EQ(cache.EntryCount(), 0u);
    EXPECT_EQ(expired, std::vector<std::u16string>{u"a"});
    EXPECT_FALSE(cache.Lookup(u"a", value));
    EXPECT_EQ(cache.MapNodeCount(), 0u) << "the node of the dropped entry goes too";
}

TEST(CacheMap, KeepCountBoundsACacheWithoutLifetime) {
    CCacheMap cache(0, INFINITE, 5, false);
    for (int i = 0; i < 8; ++i) {
        std::u16string value = u"v";
        cache.Insert(std::u16string(1, static_cast<char16_t>(u'a' + i)).c_str(), value);
    }
    cache.Purge();
    EXPECT_EQ(cache.EntryCount(), 5u);
    std::u16string value;
    EXPECT_FALSE(cache.Lookup(u"a", value)) << "the oldest go first";
    EXPECT_FALSE(cache.Lookup(u"c", value));
    EXPECT_TRUE(cache.Lookup(u"d", value));
}

TEST(CacheMap, ValidatorRefusesAndSlidingRefreshKeepsAnEntry) {
    CacheClock clock;
    CCacheMap cache(10, INFINITE, 0, true,
                    [](const ci_wstring&, const std::u16string& value) { return !value.empty(); });
    cache.SetClockForTesting([&] { return clock.now; });
    std::u16string empty;
    EXPECT_FALSE(cache.Insert(u"x", empty));
    std::u16string value = u"1";
    cache.Insert(u"a", value);
    clock.now += 8;
    cache.Lookup(u"a", value, false, true);
    clock.now += 8;
    cache.Purge();
    EXPECT_TRUE(cache.Lookup(u"a", value)) << "the lookup restarted the lifetime";
}

// The cleanup thread purges on its own time-out; the test's clock makes the entry expired at once.
TEST(CacheMap, CleanupThreadPurgesOnItsTimeout) {
    HANDLE purged = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Without a lifetime every entry beyond the keep count (0) goes at the first purge, 1 ms after
    // the insert.
    CCacheMap cache(0, 1, 0, false, nullptr,
                    [&](const ci_wstring&, const std::u16string&) { SetEvent(purged); });
    std::u16string value = u"v";
    cache.Insert(u"k", value);
    EXPECT_TRUE(cache.HasCleanupThread());
    EXPECT_EQ(WaitForSingleObject(purged, 20000), WAIT_OBJECT_0);
    CloseHandle(purged);
}

TEST(CacheMap, StressOfManyThreads) {
    CCacheMap cache(0, INFINITE, 16, false);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                const std::u16string key(1, static_cast<char16_t>(u'a' + (i + t) % 26));
                std::u16string value = key + u"!";
                cache.Insert(key.c_str(), value);
                std::u16string found;
                if (cache.Lookup(key.c_str(), found) && found != key + u"!")
                    ++wrong;
                if (i % 50 == 0)
                    cache.Purge();
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    cache.RemoveAll();
    EXPECT_EQ(cache.EntryCount(), 0u);
}

} // namespace
