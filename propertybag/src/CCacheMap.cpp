// The expiring string cache, its case-insensitive traits and its clock.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "jxplat/text.h"
#include "jxpropertybag/CCacheMap.h"
#include "jxpropertybag/CFastTree.h"

namespace {

// The folded form of every character from 127 up whose folding differs (0 = itself). Made from the
// system's one case folding, so the locale of the process is left as it is.
struct CCaseTable {
    char16_t lower[0x10000 - 127];
};

std::atomic<CCaseTable*> g_CaseTable{nullptr};

CCaseTable* _ci_BuildCaseTable() {
    auto* table = new CCaseTable;
    for (unsigned c = 127; c <= 0xFFFF; ++c) {
        const char16_t folded = jxtext::ToLowerChar(static_cast<char16_t>(c));
        table->lower[c - 127] = folded == c ? 0 : folded;
    }
    CCaseTable* expected = nullptr;
    if (!g_CaseTable.compare_exchange_strong(expected, table)) {
        delete table; // another thread installed its table first
        return expected;
    }
    return table;
}

} // namespace

char16_t CiToLower(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c | 0x20);
    if (c < 127)
        return c;
    CCaseTable* table = g_CaseTable.load();
    if (!table)
        table = _ci_BuildCaseTable();
    const char16_t folded = table->lower[c - 127];
    return folded ? folded : c;
}

int CiCompare(const char16_t* a, const char16_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = CiToLower(a[i]);
        const char16_t y = CiToLower(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

ULONGLONG MonotonicSeconds() {
    static std::atomic<LONGLONG> start{0};
    static std::atomic<LONGLONG> frequency{0};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (frequency.load() == 0) {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        LONGLONG none = 0;
        frequency.compare_exchange_strong(none, f.QuadPart);
        none = 0;
        start.compare_exchange_strong(none, now.QuadPart);
    }
    return static_cast<ULONGLONG>((now.QuadPart - start.load()) / frequency.load());
}

CCacheMap::CCacheMap(ULONGLONG lifetimeSeconds, DWORD cleanupIntervalMs, size_t keepCount,
                     bool slidingRefresh, Validator validator, ExpiryHook expiryHook)
    : m_lifetime(lifetimeSeconds), m_keepCount(keepCount), m_sliding(slidingRefresh),
      m_validator(std::move(validator)), m_expiryHook(std::move(expiryHook)),
      m_cleanupInterval(cleanupIntervalMs) {}

CCacheMap::~CCacheMap() {
    // The thread purges through this object: it ends before anything goes.
    if (m_thread)
        m_thread->Stop();
    m_thread.reset();
    RemoveAll();
}

void CCacheMap::_cache_Append(Entry* entry) {
    entry->AddRef();
    entry->m_prev = m_tail;
    entry->m_next = nullptr;
    (m_tail ? m_tail->m_next : m_head) = entry;
    m_tail = entry;
    entry->m_linked = true;
    ++m_listCount;
}

void CCacheMap::_cache_Unlink(Entry* entry) {
    (entry->m_prev ? entry->m_prev->m_next : m_head) = entry->m_next;
    (entry->m_next ? entry->m_next->m_prev : m_tail) = entry->m_prev;
    entry->m_prev = entry->m_next = nullptr;
    entry->m_linked = false;
    --m_listCount;
}

DWORD CCacheMap::_cache_MillisecondsToHead(ULONGLONG now) {
    if (!m_head)
        return static_cast<DWORD>(std::min<ULONGLONG>(m_lifetime * 1000, INFINITE - 1));
    const ULONGLONG expiry = m_head->m_expiry;
    return expiry > now ? static_cast<DWORD>(std::min<ULONGLONG>((expiry - now) * 1000, INFINITE - 1)) : 0;
}

bool CCacheMap::Insert(const Key& key, Value& value, bool* inserted) {
    if (inserted)
        *inserted = false;
    const ULONGLONG now = m_clock();
    CSmartPtr<Entry> entry(new Entry(key, m_lifetime ? now + m_lifetime : 0, value));
    if (m_validator && !m_validator(entry->m_key, entry->m_value))
        return false;
    DWORD untilHead = INFINITE;
    if (m_cleanupInterval != INFINITE) {
        CSharedMutexHold list(m_listLock, false);
        untilHead = _cache_MillisecondsToHead(now);
    }
    {
        ++m_mapWaiters;
        CSharedMutexHold map(m_mapLock, true);
        --m_mapWaiters;
        CWeakPtr<Entry>& node = m_map[key];
        CSmartPtr<Entry> existing;
        if (node.Lock(existing)) {
            // A live entry wins; it is listed again when a purge had unlinked it meanwhile.
            CSharedMutexHold list(m_listLock, true);
            if (!existing->m_linked)
                _cache_Append(existing.Get());
            value = existing->m_value;
            return true;
        }
        node = CWeakPtr<Entry>(entry.Get());
        CSharedMutexHold list(m_listLock, true);
        _cache_Append(entry.Get());
        value = entry->m_value;
    }
    if (inserted)
        *inserted = true;
    _cache_EnsureCleanupThread(std::max(untilHead, m_cleanupInterval));
    return true;
}

bool CCacheMap::Lookup(const Key& key, Value& value, bool insertWhenMissing, bool refresh) {
    CSmartPtr<Entry> live;
    bool stale = false;
    {
        ++m_mapWaiters;
        CSharedMutexHold map(m_mapLock, false);
        --m_mapWaiters;
        auto found = m_map.find(key);
        if (found != m_map.end())
            stale = !found->second.Lock(live);
    }
    if (live) {
        if (refresh && m_sliding) {
            CSharedMutexHold list(m_listLock, true);
            live->m_expiry = m_lifetime ? m_clock() + m_lifetime : 0;
            if (live->m_linked) {
                _cache_Unlink(live.Get());
                _cache_Append(live.Get());
                live->Release(); // the list's reference moved with the entry
            }
        }
        value = live->m_value;
        return true;
    }
    if (stale && !insertWhenMissing)
        RemoveStale(key);
    return insertWhenMissing && Insert(key, value);
}

void CCacheMap::RemoveStale(const Key& key) {
    const bool onThread = m_thread && m_thread->IsWorkerThread();
    DWORD id = 0;
    if (onThread) {
        // The cleanup thread never blocks a caller for long: it gives up when it is being stopped.
        while (!m_mapLock.TryLock()) {
            if (m_thread->IsStopRequested())
                return;
            Sleep(1);
        }
        id = GetCurrentThreadId();
    } else {
        id = m_mapLock.Lock(true);
    }
    auto found = m_map.find(key);
    if (found != m_map.end() && found->second.IsExpired())
        m_map.erase(found);
    if (m_map.empty())
        _cache_StopCleanupTimer();
    m_mapLock.Unlock(id);
}

void CCacheMap::Purge() {
    const bool onThread = m_thread && m_thread->IsWorkerThread();
    const ULONGLONG now = m_clock();
    DWORD nextTimeout = INFINITE;
    DWORD listId = m_listLock.Lock(true);
    while (m_listCount > m_keepCount && m_head) {
        Entry* head = m_head;
        if (m_lifetime && head->m_expiry > now) {
            nextTimeout = _cache_MillisecondsToHead(now);
            break;
        }
        _cache_Unlink(head);
        head->m_expiry = 0;
        m_listLock.Unlock(listId);
        CSmartPtr<Entry> dropped;
        dropped.Attach(head); // the list's reference
        if (m_expiryHook)
            m_expiryHook(dropped->m_key, dropped->m_value);
        const Key key = dropped->m_key;
        dropped.Reset();
        RemoveStale(key);
        listId = m_listLock.Lock(true);
        if (onThread && m_thread->IsStopRequested())
            break;
    }
    const size_t listed = m_listCount;
    // Purges of several threads count under the list lock, so none is lost.
    const LONG purges = ++m_purges;
    m_listLock.Unlock(listId);

    bool sweepNow = false;
    {
        CSharedMutexHold map(m_mapLock, onThread);
        sweepNow = m_map.size() > listed && (purges % 3 == 0 || m_map.size() > listed + 10);
    }
    if (sweepNow)
        _cache_SweepStale(onThread);
    if (m_thread && nextTimeout != INFINITE)
        m_thread->SetTimeout(std::max(nextTimeout, DWORD{1}));
}

void CCacheMap::_cache_SweepStale(bool onThread) {
    CSharedMutexHold map(m_mapLock, true);
    for (auto it = m_map.begin(); it != m_map.end();) {
        // Another thread waits for the map: the rest of the sweep waits for a later purge.
        if (m_mapWaiters.load() > 0)
            break;
        it = it->second.IsExpired() ? m_map.erase(it) : std::next(it);
    }
}

void CCacheMap::RemoveAll() {
    std::vector<CSmartPtr<Entry>> live;
    {
        CSharedMutexHold map(m_mapLock, true);
        _cache_StopCleanupTimer();
        for (auto& node : m_map) {
            CSmartPtr<Entry> entry;
            if (node.second.Lock(entry))
                live.push_back(entry);
        }
        m_map.clear();
        CSharedMutexHold list(m_listLock, true);
        for (CSmartPtr<Entry>& entry : live) {
            if (entry->m_linked) {
                _cache_Unlink(entry.Get());
                entry->Release();
            }
        }
    }
}

size_t CCacheMap::EntryCount() {
    CSharedMutexHold list(m_listLock, false);
    return m_listCount;
}

size_t CCacheMap::MapNodeCount() {
    CSharedMutexHold map(m_mapLock, false);
    return m_map.size();
}

void CCacheMap::_cache_StopCleanupTimer() {
    if (m_thread)
        m_thread->SetTimeout(INFINITE);
}

void CCacheMap::_cache_EnsureCleanupThread(DWORD milliseconds) {
    if (m_cleanupInterval == INFINITE)
        return;
    std::lock_guard<std::mutex> guard(m_threadGuard);
    if (!m_thread) {
        m_thread = std::make_unique<CSvcDelegateThreadEx<ci_wstring>>(
            nullptr, nullptr, [this] { Purge(); }, nullptr);
        m_thread->Start(milliseconds, 0);
        return;
    }
    if (!m_thread->IsWorkerThread())
        m_thread->SetTimeout(milliseconds);
}
