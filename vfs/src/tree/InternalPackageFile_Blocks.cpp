// The block table of a packed file, block decoding under the decompression lock, and the file's
// blocks in the process-wide cache.
#include <chrono>
#include <new>

#include "jxvfs/DecompressionLock.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/container/PackageBlocks.h"
#include "jxvfs/container/PackageFormat.h"
#include "jxvfs/container/PackageTrace.h"

namespace {

// A nested entry by the same thread waits at most this long before it goes on regardless.
constexpr auto kBusyWaitLimit = std::chrono::milliseconds(1000);
constexpr DWORD kBusyPollMilliseconds = 50;

void WaitWhileBusy(CDecompressionLock& lock) {
    OutputDebugStringW(u"Decompression is busy. Waiting\n");
    const auto start = std::chrono::steady_clock::now();
    while (lock.GetBusy() > 1 && std::chrono::steady_clock::now() - start <= kBusyWaitLimit)
        Sleep(kBusyPollMilliseconds);
    OutputDebugStringW(u"Breaking lock.\n");
}

} // namespace

int InternalPackageFile::GetBlockSize() const {
    return jxpkg::BlockSizeOf(m_packageWord);
}

DWORD InternalPackageFile::_blocks_ExpectedLength(ULONGLONG index) const {
    return jxpkg::BlockLengthOf(m_size, static_cast<DWORD>(GetBlockSize()), index);
}

bool InternalPackageFile::EnsureBlockTable() {
    std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
    if (!m_blockTable.empty())
        return true;
    const int blockSize = GetBlockSize();
    if (m_size == 0 || blockSize <= 0)
        return false;
    m_blockTable.resize(jxpkg::BlockCountOf(m_size, static_cast<DWORD>(blockSize)));
    m_blockTable[0].position = m_dataPosition;
    return true;
}

bool InternalPackageFile::HasBlockTable() {
    std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
    return !m_blockTable.empty();
}

LONG InternalPackageFile::GetOpenStreamCount() {
    std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
    return m_openStreams;
}

HRESULT InternalPackageFile::LoadAndDecompressDirect(ULONGLONG& position, BYTE* out, DWORD& outLength,
                                                     BYTE* work, DWORD outCapacity) {
    if (!out)
        return E_INVALIDARG;
    CDecompressionLock& lock = CDecompressionLock::Instance();
    CDecompressionGuard guard;
    if (!m_carrier || !m_carrier->Open()) {
        JX_PKG_TRACE(1, u"InternalPackageFile::LoadAndDecompressDirect",
                     u"The carrier of %s cannot be opened.\n", m_name.c_str());
        return E_FAIL;
    }
    if (lock.IncrementBusy() > 1)
        WaitWhileBusy(lock);
    HRESULT hr = E_FAIL;
    try {
        const int blockSize = GetBlockSize();
        jxpkg::BLOCK_DECODE decoded;
        decoded.result = jxpkg::kBlockNoWorkBuffer;
        if (blockSize > 0)
            decoded = jxpkg::DecodePackageBlock(*m_carrier, position, static_cast<DWORD>(blockSize),
                                                outLength, out, work, outCapacity);
        if (decoded.result == 0) {
            position += decoded.consumed;
            outLength = decoded.outLength;
            hr = S_OK;
        } else if (decoded.result == jxpkg::kBlockNoWorkBuffer) {
            JX_PKG_TRACE(1, u"InternalPackageFile::LoadAndDecompressDirect",
                         u"Buffer error. No Workbuffer!\n");
        } else if (decoded.result == jxpkg::kBlockNoOutputBuffer) {
            JX_PKG_TRACE(1, u"InternalPackageFile::LoadAndDecompressDirect",
                         u"Buffer error. No Outputbuffer!\n");
        } else {
            JX_PKG_TRACE(1, u"InternalPackageFile::LoadAndDecompressDirect",
                         u"The block at %I64u of %s does not decode (%i).\n", position, m_name.c_str(),
                         decoded.result);
        }
    } catch (...) {
        JX_PKG_TRACE(1, u"InternalPackageFile::LoadAndDecompressDirect", u"error during decompression!\n");
        hr = E_FAIL;
    }
    lock.DecrementBusy();
    m_carrier->Close();
    return hr;
}

DWORD InternalPackageFile::LoadBlock(ULONGLONG index, BYTE* out) {
    std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
    if (!out || !EnsureBlockTable() || index >= m_blockTable.size())
        return 0;
    const DWORD blockSize = static_cast<DWORD>(GetBlockSize());
    std::unique_ptr<BYTE[]> work(new (std::nothrow) BYTE[jxpkg::ReadWindowOf(blockSize)]);
    if (!work)
        return 0;
    // Block 0's position is always known; walk from the last known one up to the block wanted.
    ULONGLONG known = index;
    while (known > 0 && m_blockTable[known].position == 0)
        --known;
    for (ULONGLONG k = known;; ++k) {
        ULONGLONG position = m_blockTable[k].position;
        DWORD length = _blocks_ExpectedLength(k);
        if (FAILED(LoadAndDecompressDirect(position, out, length, work.get())))
            return 0;
        m_blockTable[k].packedLength = static_cast<DWORD>(position - m_blockTable[k].position);
        if (k + 1 < m_blockTable.size())
            m_blockTable[k + 1].position = position;
        if (k == index)
            return length;
    }
}

HRESULT InternalPackageFile::GetBlock(ULONGLONG index, BYTE** buffer, DWORD* length, bool privateBuffer) {
    if (!buffer || !length)
        return E_INVALIDARG;
    *buffer = nullptr;
    *length = 0;
    const int blockSize = GetBlockSize();
    if (blockSize <= 0)
        return E_FAIL;
    if (privateBuffer) {
        std::unique_ptr<BYTE[]> own(new (std::nothrow) BYTE[blockSize]);
        if (!own)
            return E_OUTOFMEMORY;
        const DWORD got = LoadBlock(index, own.get());
        if (got == 0)
            return E_FAIL;
        *buffer = own.release();
        *length = got;
        return S_OK;
    }

    CBlockCache& cache = CBlockCache::Instance();
    if (!cache.Lock()) {
        JX_PKG_TRACE(1, u"InternalPackageFile::GetBlock",
                     u"The block cache is busy; block %I64u of %s not read.\n", index, m_name.c_str());
        return E_FAIL;
    }
    std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
    if (!EnsureBlockTable() || index >= m_blockTable.size()) {
        cache.Unlock();
        return E_FAIL;
    }
    if (CACHED_BLOCK* present = m_blockTable[index].cached.get()) {
        // The length comes from the decode; a block that disagrees with the file size is refused.
        if (present->size != _blocks_ExpectedLength(index)) {
            cache.Unlock();
            return E_FAIL;
        }
        cache.MarkInUse(present);
        *buffer = present->buffer.get();
        *length = present->size;
        return S_OK; // the cache's lock stays held until PutBlock
    }
    auto block = std::make_unique<CACHED_BLOCK>();
    block->buffer.reset(new (std::nothrow) BYTE[blockSize]);
    if (!block->buffer) {
        cache.Unlock();
        return E_OUTOFMEMORY;
    }
    block->index = index;
    block->owner = this;
    CACHED_BLOCK* made = block.get();
    cache.MarkInUse(made); // in use before it joins the list: trimming cannot take it
    m_blockTable[index].cached = std::move(block);
    cache.Register(made);
    const DWORD got = LoadBlock(index, made->buffer.get());
    if (got == 0) {
        // A block that failed is not kept: a later read tries again instead of finding garbage.
        cache.Unlink(made);
        m_blockTable[index].cached.reset();
        cache.Unlock();
        return E_FAIL;
    }
    made->size = got;
    *buffer = made->buffer.get();
    *length = got;
    return S_OK;
}

void InternalPackageFile::PutBlock(ULONGLONG index, BYTE* buffer) {
    if (!buffer)
        return;
    {
        std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
        if (index < m_blockTable.size()) {
            CACHED_BLOCK* cached = m_blockTable[index].cached.get();
            if (cached && cached->buffer.get() == buffer) {
                cached->inUse = false;
                cached->lastUse = CBlockCache::Now();
                CBlockCache::Instance().Unlock(); // taken by GetBlock
                return;
            }
        }
    }
    delete[] buffer; // a private block
}

void InternalPackageFile::ReleaseBlock(ULONGLONG index) {
    std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
    if (index < m_blockTable.size())
        m_blockTable[index].cached.reset();
}

void InternalPackageFile::_blocks_StreamOpened() {
    std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
    ++m_openStreams;
}

void InternalPackageFile::_blocks_StreamClosed() {
    CBlockCache& cache = CBlockCache::Instance();
    cache.LockWait();
    {
        std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
        if (--m_openStreams == 0)
            _blocks_FreeTable();
    }
    cache.Unlock();
}

void InternalPackageFile::_blocks_FreeTable() {
    CBlockCache& cache = CBlockCache::Instance();
    cache.LockWait();
    {
        std::lock_guard<std::recursive_mutex> guard(m_tableMutex);
        for (BLOCK_ENTRY& entry : m_blockTable)
            if (entry.cached)
                cache.Unlink(entry.cached.get());
        m_blockTable.clear();
        m_blockTable.shrink_to_fit();
    }
    cache.Unlock();
}
