// A case-insensitive string cache whose entries expire: the entry list holds the entries in expiry
// order (strong references), the key map only weak ones, so an entry dropped from the list vanishes
// from lookups at once. Locks are taken in the order map lock, then list lock.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <windows.h>

#include "jxbase/sharedmutex.h"
#include "jxpropertybag/CSvcDelegateThreadEx.h"
#include "jxpropertybag/SmartObjects.h"

// Case-insensitive comparison of UTF-16 characters. A-Z fold by setting bit 0x20; characters from
// 127 up fold through a case table made once from the system's one case folding, without touching
// the locale of the process.
char16_t CiToLower(char16_t c);
int CiCompare(const char16_t* a, const char16_t* b, size_t n);

struct ci_wchar_traits : public std::char_traits<char16_t> {
    static bool eq(char_type a, char_type b) { return CiToLower(a) == CiToLower(b); }
    static bool lt(char_type a, char_type b) { return CiToLower(a) < CiToLower(b); }
    static int compare(const char_type* a, const char_type* b, size_t n) { return CiCompare(a, b, n); }
    static const char_type* find(const char_type* s, size_t n, const char_type& c) {
        for (size_t i = 0; i < n; ++i)
            if (eq(s[i], c))
                return s + i;
        return nullptr;
    }
};
using ci_wstring = std::basic_string<char16_t, ci_wchar_traits>;

// Whole seconds since the first call, from the performance counter.
ULONGLONG MonotonicSeconds();

template <typename Key, typename Value>
class CCacheMapEntryT : public CSmartPoolRefCountEx<CCacheMapEntryT<Key, Value>, 1000> {
public:
    CCacheMapEntryT(Key key, ULONGLONG expiry, Value value)
        : m_key(std::move(key)), m_expiry(expiry), m_value(std::move(value)) {}

    CCacheMapEntryT* m_next = nullptr;
    CCacheMapEntryT* m_prev = nullptr;
    bool m_linked = false;
    Key m_key;
    ULONGLONG m_expiry; // seconds of the cache's clock; 0: none
    Value m_value;
};

class CCacheMap {
public:
    using Key = ci_wstring;
    using Value = std::u16string;
    using Entry = CCacheMapEntryT<Key, Value>;
    using Validator = std::function<bool(const Key&, const Value&)>;
    using ExpiryHook = std::function<void(const Key&, const Value&)>;

    // `lifetimeSeconds` 0: entries have no expiry time and count as expired at every purge, so that
    // only `keepCount` bounds them. `cleanupIntervalMs` INFINITE: no cleanup thread.
    CCacheMap(ULONGLONG lifetimeSeconds, DWORD cleanupIntervalMs, size_t keepCount, bool slidingRefresh,
              Validator validator = nullptr, ExpiryHook expiryHook = nullptr);
    virtual ~CCacheMap();
    CCacheMap(const CCacheMap&) = delete;
    CCacheMap& operator=(const CCacheMap&) = delete;

    // The live value of the key. A miss inserts `value` when asked (and then answers true).
    bool Lookup(const Key& key, Value& value, bool insertWhenMissing = false, bool refresh = false);
    // Inserts unless a live entry exists, whose value then wins and is copied into `value`. False
    // when the validator refuses.
    bool Insert(const Key& key, Value& value, bool* inserted = nullptr);
    // Drops the expired entries (beyond the keep count) and sweeps map nodes of dropped entries.
    virtual void Purge();
    void RemoveAll();
    void RemoveStale(const Key& key);

    size_t EntryCount();
    size_t MapNodeCount();
    bool HasCleanupThread() const { return m_thread != nullptr; }
    // Tests run the cache on their own clock (seconds).
    void SetClockForTesting(std::function<ULONGLONG()> clock) { m_clock = std::move(clock); }

private:
    void _cache_Append(Entry* entry); // list lock held; the list takes a reference
    void _cache_Unlink(Entry* entry); // list lock held; the caller takes over the list's reference
    void _cache_SweepStale(bool onCleanupThread);
    void _cache_EnsureCleanupThread(DWORD milliseconds);
    void _cache_StopCleanupTimer();
    DWORD _cache_MillisecondsToHead(ULONGLONG now); // list lock held

    Jxlockprimitives_legacy::CSharedMutex m_listLock;
    Entry* m_head = nullptr;
    Entry* m_tail = nullptr;
    size_t m_listCount = 0;
    std::map<Key, CWeakPtr<Entry>> m_map;
    Jxlockprimitives_legacy::CSharedMutex m_mapLock;
    std::atomic<LONG> m_mapWaiters{0};
    LONG m_purges = 0; // counted under the list lock
    std::mutex m_threadGuard;
    std::unique_ptr<CSvcDelegateThreadEx<ci_wstring>> m_thread;
    ULONGLONG m_lifetime;
    size_t m_keepCount;
    bool m_sliding;
    Validator m_validator;
    ExpiryHook m_expiryHook;
    DWORD m_cleanupInterval;
    std::function<ULONGLONG()> m_clock = MonotonicSeconds;
};
