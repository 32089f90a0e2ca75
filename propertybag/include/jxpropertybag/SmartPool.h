// Lock-free pools of constructed objects below a cap, one process-wide pool per pooled type. A
// pooled object has no reference; Allocate hands it out with one, Free takes it back when its
// caller holds the only reference.
#pragma once

#include <atomic>

#include <windows.h>

#include "jxpropertybag/SmartObjects.h"

template <typename T, LONG cap> class SmartPoolAllocator {
public:
    static SmartPoolAllocator& Instance() {
        static SmartPoolAllocator* pool = new SmartPoolAllocator; // lives to the process end
        return *pool;
    }

    // A pooled object, or a new one, with one reference held by `out`.
    void Allocate(CSmartPtr<T>& out) {
        T* object = nullptr;
        if (PSLIST_ENTRY entry = InterlockedPopEntrySList(&m_list)) {
            --m_count;
            object = static_cast<T*>(reinterpret_cast<CPoolEntry*>(entry));
        } else {
            object = new T;
        }
        out = CSmartPtr<T>(object);
    }

    // Gives back the caller's reference: pooled when it is the only one, the pool is below its cap
    // and no flush runs; otherwise released (destroyed when it was the last).
    void Free(T* object) {
        if (!object)
            return;
        // The cap test and the push are not one step: concurrent frees may pass the cap by a few.
        if (m_flushes.load() == 0 && m_count.load() < cap && object->IsSingleReference()) {
            object->ResetForPool();
            object->DetachLastReference();
            InterlockedPushEntrySList(&m_list, &static_cast<CPoolEntry*>(object)->m_PoolEntry);
            ++m_count;
            return;
        }
        object->Release();
    }

    // Destroys every pooled object; frees that run meanwhile destroy instead of pooling.
    void Flush() {
        ++m_flushes;
        PSLIST_ENTRY entry = InterlockedFlushSList(&m_list);
        while (entry) {
            PSLIST_ENTRY next = entry->Next;
            --m_count;
            delete static_cast<T*>(reinterpret_cast<CPoolEntry*>(entry));
            entry = next;
        }
        --m_flushes;
    }

    LONG PooledCount() const { return m_count.load(); }

private:
    SmartPoolAllocator() { InitializeSListHead(&m_list); }

    SLIST_HEADER m_list;
    std::atomic<LONG> m_count{0};
    std::atomic<LONG> m_flushes{0};
};

// A strong reference to a pooled object that gives it back to its pool when dropped.
template <typename T, typename Pool> class CSmartPointerItem {
public:
    CSmartPointerItem() = default;
    CSmartPointerItem(const CSmartPointerItem& other) : m_p(other.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    CSmartPointerItem& operator=(const CSmartPointerItem& other) {
        CSmartPointerItem copy(other);
        std::swap(m_p, copy.m_p);
        return *this;
    }
    ~CSmartPointerItem() { Reset(); }

    // Makes the object from the pool when there is none yet.
    T* Ensure() {
        if (!m_p) {
            CSmartPtr<T> fresh;
            Pool::Instance().Allocate(fresh);
            m_p = fresh.Detach();
        }
        return m_p;
    }
    T* Get() const { return m_p; }
    void Reset() {
        if (T* old = std::exchange(m_p, nullptr))
            Pool::Instance().Free(old);
    }

private:
    T* m_p = nullptr;
};
