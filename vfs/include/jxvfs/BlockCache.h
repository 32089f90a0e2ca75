// The process-wide cache of decoded blocks: at most kMaxBlocks blocks are kept in the list, a block
// idle for more than kIdleMilliseconds leaves the list (its file keeps it until the file's block
// table is freed), and waiting for the cache's lock gives up after kLockMilliseconds.
//
// A block belongs to its file's block table; the list only points at it. The cache's lock is held
// while a block is in use (from InternalPackageFile::GetBlock to PutBlock), so nothing evicts a
// block under its reader. Eviction hands the block back to its file through CFileBufferDelegate.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include <windows.h>

class CFileBufferDelegate {
public:
    // The cache evicts block `index` (with the cache's lock held): the file drops and frees it.
    virtual void ReleaseBlock(ULONGLONG index) = 0;

protected:
    ~CFileBufferDelegate() = default;
};

struct CACHED_BLOCK {
    std::unique_ptr<BYTE[]> buffer; // one block size
    DWORD lastUse = 0;              // tick count of the last use
    DWORD size = 0;                 // decoded bytes
    bool inUse = false;
    bool unmanaged = false; // left the list when idle; freed with its file's table
    ULONGLONG index = 0;
    CFileBufferDelegate* owner = nullptr;
};

class CBlockCache {
public:
    static constexpr size_t kMaxBlocks = 10;
    static constexpr DWORD kIdleMilliseconds = 30000;
    static constexpr DWORD kLockMilliseconds = 250;

    // The one cache; made before the package manager, so it is destroyed after it.
    static CBlockCache& Instance();

    // The cache's lock (re-entrant on one thread). Lock gives up after the time; LockWait does not.
    bool Lock(DWORD milliseconds = kLockMilliseconds);
    void LockWait();
    void Unlock();

    // With the lock held: appends a block to the list, then trims it.
    void Register(CACHED_BLOCK* block);
    // With the lock held: takes a block out of the list (no effect when it is not in it).
    void Unlink(CACHED_BLOCK* block);
    // Flags the block as in use and stamps its last use.
    void MarkInUse(CACHED_BLOCK* block);
    // Under the lock (given up after kLockMilliseconds): idle blocks leave the list, then the
    // least recently used unused blocks are evicted until at most kMaxBlocks are left.
    void Trim();

    size_t GetCount();

    // The clock of idleness (milliseconds, wrapping like GetTickCount); tests install their own.
    using TickSource = DWORD (*)();
    static void SetTickSource(TickSource source);
    static DWORD Now();

private:
    CBlockCache() = default;

    std::recursive_timed_mutex m_mutex;
    std::vector<CACHED_BLOCK*> m_blocks; // in the order they were made
};
