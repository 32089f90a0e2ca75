// A file of the package tree: where its compressed blocks lie in the carrier, its size, time,
// attributes, content checksum and tags, and, while streams are open on it, its table of blocks.
//
// Block i of the content starts where block i - 1's LZO1X stream ends, which is known only after
// that block was decoded; the block table records each block's position and compressed length as
// they are found, and the block decoded into the process-wide cache. The table lives from the
// first block access until the last stream of the file is closed.
#pragma once

#include <mutex>

#include "jxvfs/BlockCache.h"
#include "jxvfs/InternalPackageObjBase.h"
#include "jxvfs/container/CPkgAccessor.h"

class InternalPackageFile : public InternalPackageObjBase, public CFileBufferDelegate {
public:
    // A file entry of a meta node: the content starts at dataStart + node.dataOffset of the carrier.
    static std::shared_ptr<InternalPackageFile> Create(const META_NODE& node, DWORD packageWord,
                                                       ULONGLONG dataStart,
                                                       std::shared_ptr<CPkgAccessor> carrier);
    ~InternalPackageFile() override;

    bool IsFile() const override { return true; }
    DWORD GetFileAttributes() const override { return m_attributes; }
    DWORD GetStoredValue() const override { return m_checksum; }
    ULONGLONG GetSize64() const override { return m_size; }
    void GetFileTime(FILETIME* time) const override;
    IPackedFileStream* OpenStream(DWORD mode) override;
    void ApplyMetaData(const META_NODE& node) override;

    // SHA-256 of tags 48-55 as 64 upper-case hexadecimal digits; empty when all are 0.
    virtual std::u16string GetHashText() const;
    // Version words from tags 40 and 41.
    virtual void GetVersionWords(WORD* first, WORD* second, WORD* third, WORD* fourth) const;
    // "%i.%i.%i.%i" of the version words.
    virtual std::u16string GetVersionString() const;
    // The file's time is strictly earlier than the given one; false for null.
    virtual bool IsOlderThan(const FILETIME* time) const;
    // IsOlderThan with the other entry's time when it is a file; false otherwise.
    virtual bool IsOlderThanFile(const InternalPackageObjBase* other) const;

    // ---- Blocks ----
    // The block size of the package word, or -1 for an unknown code or method.
    int GetBlockSize() const;
    // Creates the block table when missing; false for an empty file or an unknown block size.
    bool EnsureBlockTable();
    // Decodes the block at `position` into `out` under the decompression lock. `outLength` gives
    // the block's expected length and receives the decoded length; `position` advances by the
    // block's compressed length. `out` holds one block size, or `outCapacity` bytes when that is
    // given (more than the expected length). 0 on success, E_INVALIDARG without output, E_FAIL
    // otherwise.
    HRESULT LoadAndDecompressDirect(ULONGLONG& position, BYTE* out, DWORD& outLength, BYTE* work,
                                    DWORD outCapacity = 0);
    // Locates (decoding unknown blocks before it in order) and decodes block `index` into `out`
    // (capacity one block size); its decoded length, or 0 on failure.
    DWORD LoadBlock(ULONGLONG index, BYTE* out);
    // A buffer holding block `index` and its length: a fresh one with `privateBuffer`, otherwise
    // the cached block, held (with the cache's lock) until PutBlock returns it. Called by streams
    // of the file (the table lives while one is open).
    HRESULT GetBlock(ULONGLONG index, BYTE** buffer, DWORD* length, bool privateBuffer);
    void PutBlock(ULONGLONG index, BYTE* buffer);
    void ReleaseBlock(ULONGLONG index) override;

    ULONGLONG GetDataPosition() const { return m_dataPosition; }
    DWORD GetPackageWord() const { return m_packageWord; }
    CPkgAccessor* GetCarrier() const { return m_carrier.get(); }
    LONG GetOpenStreamCount();
    bool HasBlockTable();

private:
    friend class IPackedFileStream;

    InternalPackageFile(std::u16string name, DWORD packageWord, std::shared_ptr<CPkgAccessor> carrier);

    struct BLOCK_ENTRY {
        ULONGLONG position = 0; // of the compressed stream; 0 = not known yet
        DWORD packedLength = 0; // compressed length, once decoded
        std::unique_ptr<CACHED_BLOCK> cached;
    };

    void _blocks_StreamOpened();
    // At the last stream: frees the table and its cached blocks (taking them out of the cache).
    void _blocks_StreamClosed();
    void _blocks_FreeTable();
    DWORD _blocks_ExpectedLength(ULONGLONG index) const;

    std::shared_ptr<CPkgAccessor> m_carrier;
    DWORD m_packageWord;
    ULONGLONG m_size = 0;
    ULONGLONG m_dataPosition = 0;
    FILETIME m_time = {};
    DWORD m_checksum = 0;
    DWORD m_attributes = FILE_ATTRIBUTE_NORMAL;

    // Guards the open-stream count and the table; a block's `cached` pointer is changed with the
    // cache's lock held too. Order: the cache's lock, then this one, then the decompression lock.
    std::recursive_mutex m_tableMutex;
    LONG m_openStreams = 0;
    std::vector<BLOCK_ENTRY> m_blockTable;
};
