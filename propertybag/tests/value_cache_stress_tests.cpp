// Many threads read, store and clear one bag's value cache at once, interning their keys on the way:
// every value read is the one stored under its key, and the value objects go back to their pool.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "jxpropertybag/PropertyBag.h"

namespace {

TEST(ValueCache, StressOfManyThreads) {
    // No connection: a miss asks no driver and finds nothing.
    auto bag = std::make_shared<CMHPropertyBag>(std::weak_ptr<CSmartHandle>(), 0);
    std::atomic<int> wrong{0}, hits{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1500; ++i) {
                const std::u16string name =
                    u"#stress" + std::u16string(1, static_cast<char16_t>(u'a' + (i + t) % 20));
                const CHashKey key(name);
                if (i % 97 == 0) {
                    bag->ClearCache();
                } else if (i % 3 == 0) {
                    VARIANT text;
                    VariantInit(&text);
                    text.vt = VT_BSTR;
                    text.bstrVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
                    bag->StoreCachedValue(key, text);
                } else {
                    VARIANT value;
                    VariantInit(&value);
                    if (bag->GetCachedValue(key, value)) {
                        ++hits;
                        if (value.vt != VT_BSTR ||
                            std::u16string(value.bstrVal, SysStringLen(value.bstrVal)) != name)
                            ++wrong;
                    }
                    VariantClear(&value);
                }
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(hits.load(), 0);
    bag.reset();
    EXPECT_GT(CMHPropertyBag::CachePool::Instance().PooledCount(), 0)
        << "the bag's cache went back to its pool";
    CMHPropertyBag::FlushPools();
    EXPECT_EQ(CPropertyValuePool::Instance().PooledCount(), 0);
    EXPECT_EQ(CMHPropertyBag::CachePool::Instance().PooledCount(), 0);
}

} // namespace
