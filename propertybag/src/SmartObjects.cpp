// The weak-reference lock, the block pools of weak objects and cache entries, and the VARIANT holder.
#include <array>
#include <cstdlib>
#include <new>

#include "jxpropertybag/SmartObjects.h"

namespace {

// Raw blocks of one size; a block of another size bypasses the pool.
struct CBlockPool {
    SLIST_HEADER list;
    std::atomic<LONG> count{0};
    std::atomic<size_t> blockSize{0};
    CBlockPool() { InitializeSListHead(&list); }
};

CBlockPool& _pool_Get(unsigned poolId) {
    static auto* pools = new std::array<CBlockPool, 2>; // lives to the process end
    return (*pools)[poolId % 2];
}

bool _pool_Fits(CBlockPool& pool, size_t size) {
    size_t expected = 0;
    return pool.blockSize.compare_exchange_strong(expected, size) || expected == size;
}

void _spin_Pause(int& tries) {
    if (++tries < 30) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
        return;
    }
    tries = 0;
    Sleep(0);
    SwitchToThread();
}

} // namespace

void* AllocatePooledBlock(size_t size, unsigned poolId, LONG) {
    CBlockPool& pool = _pool_Get(poolId);
    if (size >= sizeof(SLIST_ENTRY) && _pool_Fits(pool, size)) {
        if (PSLIST_ENTRY entry = InterlockedPopEntrySList(&pool.list)) {
            --pool.count;
            return entry;
        }
    }
    void* block = std::malloc(size < sizeof(SLIST_ENTRY) ? sizeof(SLIST_ENTRY) : size);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void FreePooledBlock(void* block, size_t size, unsigned poolId, LONG cap) {
    if (!block)
        return;
    CBlockPool& pool = _pool_Get(poolId);
    if (size >= sizeof(SLIST_ENTRY) && _pool_Fits(pool, size) && pool.count.load() < cap) {
        InterlockedPushEntrySList(&pool.list, static_cast<PSLIST_ENTRY>(block));
        ++pool.count;
        return;
    }
    std::free(block);
}

void WeakSpinLock::_spin_TakeOwner() {
    const DWORD self = GetCurrentThreadId();
    int tries = 0;
    for (;;) {
        DWORD expected = 0;
        if (m_owner.compare_exchange_weak(expected, self, std::memory_order_acquire))
            return;
        _spin_Pause(tries);
    }
}

void WeakSpinLock::EnterReader() {
    _spin_TakeOwner();
    ++m_readers;
    m_owner.store(0, std::memory_order_release);
}

void WeakSpinLock::LeaveReader() {
    --m_readers;
}

bool WeakSpinLock::EnterWriter(bool tryOnly) {
    _spin_TakeOwner();
    int tries = 0;
    while (m_readers.load() != 0) {
        if (tryOnly) {
            m_owner.store(0, std::memory_order_release);
            return false;
        }
        _spin_Pause(tries);
    }
    return true;
}

void WeakSpinLock::LeaveWriter() {
    m_owner.store(0, std::memory_order_release);
}

bool SmartPropertyValue::IsPlainType(VARTYPE type) {
    return type <= VT_DATE || type == VT_BOOL || (type >= VT_I1 && type <= VT_HRESULT) || type == VT_FILETIME;
}

void SmartPropertyValue::Clear() {
    if (IsPlainType(m_value.vt))
        VariantInit(&m_value);
    else
        VariantClear(&m_value);
}

void SmartPropertyValue::MoveFrom(VARIANT& source) {
    Clear();
    m_value = source;
    VariantInit(&source);
}
