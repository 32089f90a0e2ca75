// Sorted arrays keyed by 32-bit values: up to one block of items lives in the object itself, more
// grow on the heap block by block. CFastTree adds the shared mutex its users lock around it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include <windows.h>

#include "jxbase/sharedmutex.h"
#include "jxpropertybag/SmartObjects.h"

// Orders keys: plain numbers as unsigned 32-bit values; other keys bring their own FastTreeCompare.
inline int FastTreeCompare(unsigned int a, unsigned int b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

template <typename Key, typename Value> struct CFastTreeItem {
    Key key;
    Value value;
};

template <typename Item, size_t inlineItems, size_t block>
class CScalarSet : public CSmartRefCountT<ISmartRefCount>, public CPoolEntry {
public:
    CScalarSet() : m_data(_set_Inline()) {}
    ~CScalarSet() override {
        DestroyItems(m_data, m_count);
        if (m_data != _set_Inline())
            std::free(m_data);
    }
    CScalarSet(const CScalarSet&) = delete;
    CScalarSet& operator=(const CScalarSet&) = delete;

    Item* begin() { return m_data; }
    Item* end() { return m_data + m_count; }
    size_t Count() const { return m_count; }
    size_t Capacity() const { return m_capacity; }
    bool IsInline() const { return m_data == _set_Inline(); }

    // The item with an equal key, or end().
    template <typename K> Item* Find(const K& key) {
        Item* at = _set_LowerBound(key);
        return at != end() && FastTreeCompare(at->key, key) == 0 ? at : end();
    }

    // The existing item of the key, or a copy of `item` inserted in order. Growing may throw
    // std::bad_alloc; a size that would overflow throws too.
    Item* Insert(const Item& item) {
        Item* at = _set_LowerBound(item.key);
        if (at != end() && FastTreeCompare(at->key, item.key) == 0)
            return at;
        const size_t index = static_cast<size_t>(at - m_data);
        if (m_count == m_capacity)
            _set_Grow();
        at = m_data + index;
        // Items are moved bitwise one place back: they hold only pointers and counts.
        std::memmove(static_cast<void*>(at + 1), static_cast<const void*>(at),
                     (m_count - index) * sizeof(Item));
        CopyItems(at, 1, &item);
        ++m_count;
        return at;
    }

    void RemoveAll() {
        DestroyItems(m_data, m_count);
        m_count = 0;
        if (m_data != _set_Inline()) {
            std::free(m_data);
            m_data = _set_Inline();
            m_capacity = inlineItems;
        }
    }

    // The pool's reset of a pooled set.
    void ResetForPool() { RemoveAll(); }

protected:
    virtual void CopyItems(Item* target, size_t n, const Item* source) {
        for (size_t i = 0; i < n; ++i)
            new (target + i) Item(source[i]);
    }
    virtual void DestroyItems(Item* items, size_t n) {
        for (size_t i = 0; i < n; ++i)
            items[i].~Item();
    }

private:
    Item* _set_Inline() const { return reinterpret_cast<Item*>(const_cast<unsigned char*>(m_inline)); }

    template <typename K> Item* _set_LowerBound(const K& key) {
        size_t low = 0;
        size_t high = m_count;
        while (low < high) {
            const size_t middle = low + (high - low) / 2;
            if (FastTreeCompare(m_data[middle].key, key) < 0)
                low = middle + 1;
            else
                high = middle;
        }
        return m_data + low;
    }

    void _set_Grow() {
        if (m_capacity > std::numeric_limits<size_t>::max() / sizeof(Item) - block)
            throw std::bad_alloc();
        const size_t capacity = m_capacity + block;
        void* grown = m_data == _set_Inline() ? std::malloc(capacity * sizeof(Item))
                                              : std::realloc(m_data, capacity * sizeof(Item));
        if (!grown)
            throw std::bad_alloc();
        if (m_data == _set_Inline())
            std::memcpy(grown, static_cast<const void*>(m_data), m_count * sizeof(Item));
        m_data = static_cast<Item*>(grown);
        m_capacity = capacity;
    }

    size_t m_count = 0;
    size_t m_capacity = inlineItems;
    Item* m_data;
    alignas(Item) unsigned char m_inline[sizeof(Item) * inlineItems];
};

template <typename Key, typename Value, size_t block>
class CFastTree : public CScalarSet<CFastTreeItem<Key, Value>, block, block> {
public:
    using Item = CFastTreeItem<Key, Value>;

    // The value of the key, inserted with a default value when missing.
    Value& FindOrInsert(const Key& key) { return this->Insert(Item{key, Value()})->value; }

    Jxlockprimitives_legacy::CSharedMutex& Mutex() { return m_mutex; }

private:
    Jxlockprimitives_legacy::CSharedMutex m_mutex;
};

// Holds the tree's lock (or any CSharedMutex) for one scope.
class CSharedMutexHold {
public:
    CSharedMutexHold(Jxlockprimitives_legacy::CSharedMutex& mutex, bool exclusive)
        : m_mutex(mutex), m_id(mutex.Lock(exclusive)) {}
    ~CSharedMutexHold() { m_mutex.Unlock(m_id); }
    CSharedMutexHold(const CSharedMutexHold&) = delete;
    CSharedMutexHold& operator=(const CSharedMutexHold&) = delete;

private:
    Jxlockprimitives_legacy::CSharedMutex& m_mutex;
    DWORD m_id;
};
