// The client-side handle of one property bag in a driver: releases the bag when
// it dies, reads values through the value request and keeps every value read in
// a per-bag cache.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <windows.h>

#include "jxpropertybag/CFastTree.h"
#include "jxpropertybag/SmartPool.h"

// A cache key: the XXH32 hash of the text (seeded with its length in
// characters) and the text. Keys compare by hash, then by text, so two texts of
// one hash stay two keys.
class CHashKey {
public:
    CHashKey() = default;
    // Texts that begin with "#" or "_" are interned: one shared text per distinct
    // text.
    explicit CHashKey(std::u16string_view text);
    // A key with its own copy of the text, never interned.
    static CHashKey Plain(std::u16string_view text);

    DWORD Hash() const { return m_hash; }
    const std::u16string& Text() const;
    bool IsEmpty() const { return !m_text; }

private:
    DWORD m_hash = 0;
    std::shared_ptr<const std::u16string> m_text;
};
int FastTreeCompare(const CHashKey& a, const CHashKey& b);

using CPropertyValuePool = SmartPoolAllocator<SmartPropertyValue, 512>;

class CMHPropertyBag : public std::enable_shared_from_this<CMHPropertyBag> {
public:
    using ValueItem = CSmartPointerItem<SmartPropertyValue, CPropertyValuePool>;
    class ValueCachetype : public CFastTree<CHashKey, ValueItem, 64> {};
    using CachePool = SmartPoolAllocator<ValueCachetype, 256>;

    CMHPropertyBag(std::weak_ptr<CSmartHandle> handle, ULONGLONG bagId);
    virtual ~CMHPropertyBag();
    CMHPropertyBag(const CMHPropertyBag&) = delete;
    CMHPropertyBag& operator=(const CMHPropertyBag&) = delete;

    // Releases the bag in the driver (when its connection lives) and forgets its
    // state.
    virtual void Release();
    // The NT path ("#__Path__"), the Win32 path ("#__PathWin32__"), the name
    // ("__Name__"): copies.
    virtual std::u16string GetStringProperty();
    virtual std::u16string GetPathProperty();
    virtual std::u16string GetName();
    virtual ULONGLONG GetId();
    // Reads one snapshot record at the cursor into the cache; advances the cursor
    // and the count.
    virtual void LoadSnapshot(const BYTE*& cursor, size_t& bytesLeft);

    bool GetProperty(const WCHAR* name, VARIANT& value, DWORD argumentWord = 0, ULONGLONG argument64 = 0);
    bool GetBoolProperty(const WCHAR* name, bool* found = nullptr);
    std::u16string GetTextProperty(const WCHAR* name, bool* found = nullptr);
    bool GetBagProperty(const WCHAR* name, std::shared_ptr<CMHPropertyBag>& child, DWORD argumentWord = 0,
                        ULONGLONG argument64 = 0);
    bool Invoke(DWORD argumentWord, VARIANT& value, LONG index);
    // A copy of the cached value of the key, fetched from the driver on a miss.
    // The arguments go to the driver on a miss but are not part of the cache key:
    // callers pass 0.
    bool GetCachedValue(const CHashKey& key, VARIANT& value, DWORD argumentWord = 0,
                        ULONGLONG argument64 = 0);
    void ClearCache(bool takeLock = true);
    // Stores the value under the key, replacing what was cached (the VARIANT is
    // taken over).
    void StoreCachedValue(const CHashKey& key, VARIANT& value);

    ULONGLONG BagId() const { return m_bagId; }
    void SetUniqueIdFromSnapshot(ULONGLONG id) { m_uniqueId.store(id); }
    const std::weak_ptr<CSmartHandle>& HandleReference() const { return m_handle; }
    // Moves the source's bag, handle, unique id and cache into the target (made
    // when null; a bag it held is released first); the source is left empty.
    template <typename Target> static void MoveTo(CMHPropertyBag& source, std::shared_ptr<Target>& target) {
        if (target)
            target->Release();
        else
            target = std::make_shared<Target>(std::weak_ptr<CSmartHandle>(), 0);
        target->_bag_TakeFrom(source);
    }

    // The last disconnection empties the pools of values and caches.
    static void FlushPools();

protected:
    bool _bag_InsertIfAbsent(const CHashKey& key, VARIANT& value);
    bool _bag_FindCached(const CHashKey& key, VARIANT* copy);
    // The cached (or fetched) text of the key; empty when it is no text.
    std::u16string _bag_CachedText(const CHashKey& key);
    // Caches the text under the key unless a value is there; returns what the cache holds.
    std::u16string _bag_StoreText(const CHashKey& key, const std::u16string& text);
    ValueCachetype* _bag_Cache();

private:
    void _bag_TakeFrom(CMHPropertyBag& source);

    std::weak_ptr<CSmartHandle> m_handle;
    ULONGLONG m_bagId;
    std::atomic<ValueCachetype*> m_cache{nullptr};
    std::atomic<ULONGLONG> m_uniqueId{0};
};

class CMHProcessBag : public CMHPropertyBag {
public:
    using CMHPropertyBag::CMHPropertyBag;
    ~CMHProcessBag() override = default;
    std::u16string GetName() override;
};

class CMHProcessList : public CMHPropertyBag {
public:
    using CMHPropertyBag::CMHPropertyBag;
    ~CMHProcessList() override = default;
};

std::shared_ptr<CMHPropertyBag> MakePropertyBag(const std::weak_ptr<CSmartHandle>& handle, ULONGLONG bagId);

extern const GUID kProcessListBagId; // {CE35D006-A8D5-4746-894D-220A99726932}
extern const GUID kTrustBagId;       // {25369D14-6CC3-43B6-9E0F-992D32E76895}
