// The read-only COM stream over a packed file.
//
// Without kStreamBlockCached it decodes sequentially: it keeps one decoded block and the carrier
// position of the next, so reading or copying a file decodes each block once, and it adds every
// decoded block to the content checksum (and the CRC-32 of tag 16), from block 0 on. Whenever
// decoding restarts at block 0 (a seek back before the held block) the checksums start afresh, so
// they always describe the blocks 0..k decoded so far. With kStreamBlockCached it reads through the
// block cache (or private blocks) and keeps no checksum.
//
// The stream holds its file entry: it stays readable after its package was removed.
#pragma once

#include <memory>

#include "jxvfs/CStreamImplBase.h"
#include "jxvfs/container/CQuickCRC.h"
#include "jxvfs/container/PackageFormat.h"

class InternalPackageFile;

extern const IID IID_IPackedFileStream; // {F18D6129-5D00-4E22-8C08-4B9D65C53CA6}

// A seek outside the file.
#define PACKEDSTREAM_E_SEEK ((HRESULT)0x80040202L)

class IPackedFileStream : public CStreamImplBase {
public:
    IPackedFileStream(std::shared_ptr<InternalPackageFile> file, DWORD mode);

    // Reads from the position (cut at the end of the file). A read from position 0 that delivers the
    // whole file returns VerifyContent's value (S_FALSE for a damaged file) instead of S_OK.
    HRESULT Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT Write(const void* buffer, ULONG count, ULONG* written) override;
    // SET and CUR must reach [0, size); END takes size - offset for an offset in [0, size), so that
    // offset 0 reaches the end. Anything else is PACKEDSTREAM_E_SEEK; an unknown origin E_INVALIDARG.
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER newSize) override;
    // Decodes like a sequential read (adding to the checksums) and writes each block's part to the
    // target; a copy from position 0 of the whole file returns VerifyContent's value.
    HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                   ULARGE_INTEGER* written) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;
    HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
    HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
    HRESULT Stat(STATSTG* statstg, DWORD statFlag) override;
    // A stream on the same file and mode in the same state (position, held block, checksums).
    HRESULT Clone(IStream** stream) override;

    virtual HRESULT GetBlockSize(DWORD* blockSize);
    // 0 for an empty file or when the checksums of the content decoded so far match the stored
    // ones; 1 otherwise. Meaningful once the whole content was decoded.
    virtual HRESULT VerifyContent();

    // The content checksum decoded so far (a + b).
    DWORD GetComputedChecksum() const { return m_checksum.Value(); }
    ULONGLONG GetPosition() const { return m_position; }

protected:
    ~IPackedFileStream() override;
    bool _com_Answers(REFIID riid) const override;

private:
    using BlockSink = HRESULT (*)(void* context, const BYTE* data, ULONG length);

    bool _seq_Buffers(bool blockBuffer);
    // Decodes the block after the held one into `out` (capacity: 0 for one block size) and adds it
    // to the checksums; it becomes the held block.
    HRESULT _seq_DecodeNext(BYTE* out, DWORD capacity);
    // Makes the decode buffer hold block `index`, decoding forward (from block 0 when needed).
    HRESULT _seq_HoldBlock(ULONGLONG index);
    void _seq_Restart();
    // Hands the part of every block in [m_position, m_position + count) to the sink, sequentially
    // or through the block cache. With `direct` (where the range goes in the caller's memory), a
    // whole block that fits is decoded straight into place and the sink gets it there.
    HRESULT _read_Range(ULONGLONG count, BlockSink sink, void* context, bool cached, BYTE* direct);

    std::shared_ptr<InternalPackageFile> m_file;
    ULONGLONG m_size;
    int m_blockSize;
    ULONGLONG m_position = 0;
    DWORD m_mode;

    // Sequential decoding: the held block is the last one decoded; the buffer holds it unless it
    // was decoded straight into a caller's memory.
    std::unique_ptr<BYTE[]> m_buffer;
    std::unique_ptr<BYTE[]> m_work;
    LONGLONG m_bufferIndex = -1;
    DWORD m_bufferLength = 0;
    bool m_bufferValid = false;
    ULONGLONG m_heldPosition = 0;
    ULONGLONG m_nextBlockPosition;
    jxpkg::CContentChecksum m_checksum;
    bool m_hasCrcTag = false;
    DWORD m_expectedCrc = 0;
    CQuickCRC m_crc;
};
