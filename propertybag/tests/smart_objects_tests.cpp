#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "jxpropertybag/SmartObjects.h"
#include "jxpropertybag/SmartPool.h"

namespace {

std::atomic<int> g_Destroyed{0};

class CTarget : public CSmartRefCountEx<CTarget> {
public:
    ~CTarget() override { ++g_Destroyed; }
    int value = 7;
};

TEST(SmartObjects, WeakReferenceLocksOnlyALiveTarget) {
    g_Destroyed = 0;
    CSmartPtr<CTarget> strong(new CTarget);
    CWeakPtr<CTarget> weak(strong.Get());
    CSmartPtr<CTarget> locked;
    ASSERT_TRUE(weak.Lock(locked));
    EXPECT_EQ(locked->GetRefCount(), 2);
    locked.Reset();
    strong.Reset();
    EXPECT_EQ(g_Destroyed.load(), 1) << "the last strong reference destroys the object once";
    EXPECT_TRUE(weak.IsExpired());
    EXPECT_FALSE(weak.Lock(locked));
    EXPECT_FALSE(locked);
}

// Lockers race the final release: every lock either yields a live object or fails.
TEST(SmartObjects, LockingWhileTheLastReferenceGoesNeverYieldsADyingObject) {
    for (int round = 0; round < 200; ++round) {
        g_Destroyed = 0;
        auto* target = new CTarget;
        CSmartPtr<CTarget> strong(target);
        CWeakPtr<CTarget> weak(target);
        std::atomic<bool> go{false};
        std::atomic<int> badValues{0};
        std::vector<std::thread> lockers;
        for (int t = 0; t < 3; ++t)
            lockers.emplace_back([&] {
                while (!go.load()) {
                }
                for (int i = 0; i < 50; ++i) {
                    CSmartPtr<CTarget> got;
                    if (weak.Lock(got) && got->value != 7)
                        ++badValues;
                }
            });
        go = true;
        strong.Reset();
        for (std::thread& t : lockers)
            t.join();
        EXPECT_EQ(badValues.load(), 0);
        EXPECT_EQ(g_Destroyed.load(), 1);
        EXPECT_TRUE(weak.IsExpired());
    }
}

TEST(SmartObjects, HandleHolderClosesOnlyARealHandle) {
    { CSmartHandle none(nullptr); }
    { CSmartHandle invalid; }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        CSmartHandle holder(event);
        EXPECT_EQ(holder.Get(), event);
    }
    EXPECT_FALSE(SetEvent(event)) << "the holder closed its handle";
}

TEST(SmartObjects, PropertyValueFreesWhatItOwns) {
    SmartPropertyValue text;
    text.Value().vt = VT_BSTR;
    text.Value().bstrVal = SysAllocString(u"abc"); // freed by the holder (LeakSanitizer would see it)
    SmartPropertyValue number;
    number.Value().vt = VT_I4;
    number.Value().lVal = 5;
    number.Clear();
    EXPECT_EQ(number.Value().vt, VT_EMPTY);
    EXPECT_TRUE(SmartPropertyValue::IsPlainType(VT_I4));
    EXPECT_FALSE(SmartPropertyValue::IsPlainType(VT_BSTR));
    EXPECT_FALSE(SmartPropertyValue::IsPlainType(VT_UNKNOWN));
}

using CTestPool = SmartPoolAllocator<SmartPropertyValue, 4>;

TEST(SmartPool, PoolsOnlySingleReferencesBelowItsCap) {
    CTestPool& pool = CTestPool::Instance();
    pool.Flush();
    CSmartPtr<SmartPropertyValue> a;
    pool.Allocate(a);
    a->Value().vt = VT_BSTR;
    a->Value().bstrVal = SysAllocString(u"x");
    CSmartPtr<SmartPropertyValue> other = a; // another holder
    pool.Free(a.Detach());
    EXPECT_EQ(pool.PooledCount(), 0) << "a value another holder references is not pooled";
    EXPECT_EQ(other->GetRefCount(), 1);
    pool.Free(other.Detach());
    EXPECT_EQ(pool.PooledCount(), 1);
    CSmartPtr<SmartPropertyValue> again;
    pool.Allocate(again);
    EXPECT_EQ(again->Value().vt, VT_EMPTY) << "a pooled value comes back cleared";
    EXPECT_EQ(again->GetRefCount(), 1);
    EXPECT_EQ(pool.PooledCount(), 0);

    std::vector<SmartPropertyValue*> many;
    for (int i = 0; i < 6; ++i) {
        CSmartPtr<SmartPropertyValue> v;
        pool.Allocate(v);
        many.push_back(v.Detach());
    }
    for (SmartPropertyValue* v : many)
        pool.Free(v);
    EXPECT_EQ(pool.PooledCount(), 4) << "beyond the cap values are destroyed";
    pool.Free(again.Detach());
    pool.Flush();
    EXPECT_EQ(pool.PooledCount(), 0);
}

// Many threads take and give back values at once; the pool never hands one object to two holders.
TEST(SmartPool, StressOfManyThreads) {
    using CStressPool = SmartPoolAllocator<SmartPropertyValue, 512>;
    std::atomic<int> shared{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                CSmartPtr<SmartPropertyValue> v;
                CStressPool::Instance().Allocate(v);
                if (v->GetRefCount() != 1 || v->Value().vt != VT_EMPTY)
                    ++shared;
                v->Value().vt = VT_I4;
                v->Value().lVal = t;
                std::this_thread::yield();
                if (v->Value().lVal != t)
                    ++shared;
                CStressPool::Instance().Free(v.Detach());
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(shared.load(), 0);
    CStressPool::Instance().Flush();
}

} // namespace
