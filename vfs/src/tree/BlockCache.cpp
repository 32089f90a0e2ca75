#include "jxvfs/BlockCache.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

DWORD SteadyTicks() {
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::atomic<CBlockCache::TickSource> g_tickSource{&SteadyTicks};

} // namespace

CBlockCache& CBlockCache::Instance() {
    static CBlockCache cache;
    return cache;
}

void CBlockCache::SetTickSource(TickSource source) {
    g_tickSource = source ? source : &SteadyTicks;
}

DWORD CBlockCache::Now() {
    return g_tickSource.load()();
}

bool CBlockCache::Lock(DWORD milliseconds) {
    return m_mutex.try_lock_for(std::chrono::milliseconds(milliseconds));
}

void CBlockCache::LockWait() {
    m_mutex.lock();
}

void CBlockCache::Unlock() {
    m_mutex.unlock();
}

void CBlockCache::Register(CACHED_BLOCK* block) {
    block->unmanaged = false;
    m_blocks.push_back(block);
    Trim();
}

void CBlockCache::Unlink(CACHED_BLOCK* block) {
    auto found = std::find(m_blocks.begin(), m_blocks.end(), block);
    if (found != m_blocks.end())
        m_blocks.erase(found);
}

void CBlockCache::MarkInUse(CACHED_BLOCK* block) {
    block->inUse = true;
    block->lastUse = Now();
}

void CBlockCache::Trim() {
    if (!Lock())
        return;
    const DWORD now = Now();
    // Idle blocks leave the list; their files keep them.
    for (auto it = m_blocks.begin(); it != m_blocks.end();) {
        CACHED_BLOCK* block = *it;
        if (!block->inUse && static_cast<DWORD>(now - block->lastUse) > kIdleMilliseconds) {
            block->unmanaged = true;
            it = m_blocks.erase(it);
        } else {
            ++it;
        }
    }
    // Then the least recently used unused blocks go, until the list is short enough.
    while (m_blocks.size() > kMaxBlocks) {
        auto victim = m_blocks.end();
        for (auto it = m_blocks.begin(); it != m_blocks.end(); ++it) {
            if ((*it)->inUse)
                continue;
            if (victim == m_blocks.end() ||
                static_cast<DWORD>(now - (*it)->lastUse) > static_cast<DWORD>(now - (*victim)->lastUse))
                victim = it;
        }
        if (victim == m_blocks.end())
            break;
        CACHED_BLOCK* block = *victim;
        m_blocks.erase(victim);
        block->owner->ReleaseBlock(block->index); // frees the block
    }
    Unlock();
}

size_t CBlockCache::GetCount() {
    std::lock_guard<std::recursive_timed_mutex> guard(m_mutex);
    return m_blocks.size();
}
