#include "jxvfs/IPackedFileStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/container/PackageTrace.h"
#include "StreamBuffers.h"

const IID IID_IPackedFileStream = {
    0xF18D6129, 0x5D00, 0x4E22, {0x8C, 0x08, 0x4B, 0x9D, 0x65, 0xC5, 0x3C, 0xA6}};

IPackedFileStream::IPackedFileStream(std::shared_ptr<InternalPackageFile> file, DWORD mode)
    : m_file(std::move(file)), m_size(m_file->GetSize64()), m_blockSize(m_file->GetBlockSize()), m_mode(mode),
      m_nextBlockPosition(m_file->GetDataPosition()) {
    DWORD length = 0;
    const ULONG_PTR crc = m_file->GetTaggedValue(jxpkg::kTagCrc32, &length);
    if (length == 4) {
        m_hasCrcTag = true;
        m_expectedCrc = static_cast<DWORD>(crc);
    }
    m_file->_blocks_StreamOpened();
}

IPackedFileStream::~IPackedFileStream() {
    if (m_blockSize > 0) {
        jxvfs::GiveStreamBuffer(std::move(m_buffer), static_cast<size_t>(m_blockSize));
        jxvfs::GiveStreamBuffer(std::move(m_work), jxpkg::ReadWindowOf(static_cast<DWORD>(m_blockSize)));
    }
    m_file->_blocks_StreamClosed();
}

bool IPackedFileStream::_com_Answers(REFIID riid) const {
    return riid == IID_IPackedFileStream || CStreamImplBase::_com_Answers(riid);
}

void IPackedFileStream::_seq_Restart() {
    m_bufferIndex = -1;
    m_bufferLength = 0;
    m_bufferValid = false;
    m_nextBlockPosition = m_file->GetDataPosition();
    // The checksums describe the blocks decoded since block 0: they start again with it.
    m_checksum.Reset();
    m_crc.Reset();
}

bool IPackedFileStream::_seq_Buffers(bool blockBuffer) {
    if (!m_work)
        m_work = jxvfs::TakeStreamBuffer(jxpkg::ReadWindowOf(static_cast<DWORD>(m_blockSize)));
    if (blockBuffer && !m_buffer)
        m_buffer = jxvfs::TakeStreamBuffer(static_cast<size_t>(m_blockSize));
    return m_work && (!blockBuffer || m_buffer);
}

HRESULT IPackedFileStream::_seq_DecodeNext(BYTE* out, DWORD capacity) {
    const ULONGLONG next = static_cast<ULONGLONG>(m_bufferIndex + 1);
    DWORD length = jxpkg::BlockLengthOf(m_size, static_cast<DWORD>(m_blockSize), next);
    ULONGLONG position = m_nextBlockPosition;
    if (FAILED(m_file->LoadAndDecompressDirect(position, out, length, m_work.get(), capacity))) {
        // No block is held any more: the next read starts from block 0.
        _seq_Restart();
        return E_FAIL;
    }
    m_checksum.Add(out, length);
    if (m_hasCrcTag)
        m_crc.Update(out, length);
    m_heldPosition = m_nextBlockPosition;
    m_nextBlockPosition = position;
    m_bufferIndex = static_cast<LONGLONG>(next);
    m_bufferLength = length;
    m_bufferValid = out == m_buffer.get();
    return S_OK;
}

HRESULT IPackedFileStream::_seq_HoldBlock(ULONGLONG index) {
    if (m_blockSize <= 0) {
        JX_PKG_TRACE(1, u"IPackedFileStream::Read", u"%s has no known block size.\n",
                     m_file->GetName().c_str());
        return E_FAIL;
    }
    if (!_seq_Buffers(true))
        return E_OUTOFMEMORY;
    if (static_cast<LONGLONG>(index) < m_bufferIndex)
        _seq_Restart();
    if (static_cast<LONGLONG>(index) == m_bufferIndex && !m_bufferValid) {
        // The held block went straight to a caller: decode it again, it is already counted.
        ULONGLONG position = m_heldPosition;
        DWORD length = m_bufferLength;
        if (FAILED(m_file->LoadAndDecompressDirect(position, m_buffer.get(), length, m_work.get()))) {
            _seq_Restart();
            return E_FAIL;
        }
        m_bufferValid = true;
    }
    while (m_bufferIndex < static_cast<LONGLONG>(index)) {
        HRESULT hr = _seq_DecodeNext(m_buffer.get(), 0);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT IPackedFileStream::_read_Range(ULONGLONG count, BlockSink sink, void* context, bool cached,
                                       BYTE* direct) {
    if (count == 0)
        return S_OK;
    if (m_blockSize <= 0)
        return _seq_HoldBlock(0);
    const ULONGLONG blockSize = static_cast<ULONGLONG>(m_blockSize);
    const ULONGLONG start = m_position;
    const ULONGLONG end = m_position + count;
    ULONGLONG at = m_position;
    for (ULONGLONG block = m_position / blockSize; block <= (end - 1) / blockSize; ++block) {
        const ULONGLONG blockStart = block * blockSize;
        const BYTE* data = nullptr;
        DWORD length = 0;
        BYTE* held = nullptr;
        if (cached) {
            if (FAILED(m_file->GetBlock(block, &held, &length, (m_mode & kStreamPrivateBlocks) != 0)))
                return E_FAIL;
            data = held;
        } else {
            // The next block, whole inside the range: decoded in place when the room after it lets a
            // block that is too long be told from a sound one.
            const ULONGLONG room = end - blockStart;
            const DWORD expected = jxpkg::BlockLengthOf(m_size, static_cast<DWORD>(blockSize), block);
            const bool inPlace = direct && at == blockStart &&
                                 static_cast<LONGLONG>(block) == m_bufferIndex + 1 &&
                                 (room >= blockSize || room > expected);
            if (inPlace) {
                BYTE* target = direct + (blockStart - start);
                if (!_seq_Buffers(false))
                    return E_OUTOFMEMORY;
                HRESULT hr = _seq_DecodeNext(target, room >= blockSize ? 0 : static_cast<DWORD>(room));
                if (FAILED(hr))
                    return hr;
                data = target;
            } else {
                HRESULT hr = _seq_HoldBlock(block);
                if (FAILED(hr))
                    return hr;
                data = m_buffer.get();
            }
            length = m_bufferLength;
        }
        const ULONGLONG from = at - blockStart;
        const ULONGLONG to = std::min(end, blockStart + length) - blockStart;
        HRESULT hr = to > from ? sink(context, data + from, static_cast<ULONG>(to - from)) : E_FAIL;
        if (held)
            m_file->PutBlock(block, held);
        if (FAILED(hr))
            return hr;
        at = blockStart + to;
    }
    return S_OK;
}

HRESULT IPackedFileStream::Read(void* buffer, ULONG count, ULONG* read) {
    if (read)
        *read = 0;
    if (!buffer)
        return E_INVALIDARG;
    const ULONGLONG left = m_size > m_position ? m_size - m_position : 0;
    const ULONG wanted = static_cast<ULONG>(std::min<ULONGLONG>(count, left));
    const ULONGLONG start = m_position;
    const bool cached = (m_mode & kStreamBlockCached) != 0;
    BYTE* cursor = static_cast<BYTE*>(buffer);
    auto copy = [](void* context, const BYTE* data, ULONG length) -> HRESULT {
        BYTE*& out = *static_cast<BYTE**>(context);
        if (data != out) // a block decoded in place is already there
            std::memcpy(out, data, length);
        out += length;
        return S_OK;
    };
    HRESULT hr = _read_Range(wanted, copy, &cursor, cached, cached ? nullptr : cursor);
    if (FAILED(hr))
        return hr;
    m_position += wanted;
    if (read)
        *read = wanted;
    if (!cached && start == 0 && wanted == m_size)
        return VerifyContent();
    return S_OK;
}

HRESULT IPackedFileStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                  ULARGE_INTEGER* written) {
    struct Totals {
        IStream* target;
        ULONGLONG read = 0;
        ULONGLONG written = 0;
    } totals{target};
    auto report = [&](HRESULT hr) {
        if (read)
            read->QuadPart = totals.read;
        if (written)
            written->QuadPart = totals.written;
        return hr;
    };
    if (!target)
        return report(E_INVALIDARG);
    const ULONGLONG left = m_size > m_position ? m_size - m_position : 0;
    const ULONGLONG wanted = std::min(count.QuadPart, left);
    const ULONGLONG start = m_position;
    auto write = [](void* context, const BYTE* data, ULONG length) -> HRESULT {
        Totals& t = *static_cast<Totals*>(context);
        ULONG put = 0;
        HRESULT hr = t.target->Write(data, length, &put);
        t.read += length;
        t.written += put;
        if (FAILED(hr))
            return hr;
        return put == length ? S_OK : STG_E_WRITEFAULT;
    };
    HRESULT hr = _read_Range(wanted, write, &totals, false, nullptr);
    if (FAILED(hr))
        return report(hr);
    m_position += wanted;
    if (start == 0 && wanted == m_size)
        return report(VerifyContent());
    return report(S_OK);
}

HRESULT IPackedFileStream::Write(const void*, ULONG, ULONG* written) {
    if (written)
        *written = 0;
    return STG_E_CANTSAVE;
}

HRESULT IPackedFileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
    HRESULT hr = S_OK;
    const LONGLONG size = static_cast<LONGLONG>(m_size);
    LONGLONG target = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
    case STREAM_SEEK_CUR:
        target =
            origin == STREAM_SEEK_SET ? move.QuadPart : static_cast<LONGLONG>(m_position) + move.QuadPart;
        if (target < 0 || target >= size)
            hr = PACKEDSTREAM_E_SEEK;
        break;
    case STREAM_SEEK_END:
        // Offset 0 reaches the end; callers rely on Seek(0, END) giving the size.
        if (move.QuadPart < 0 || move.QuadPart >= size)
            hr = PACKEDSTREAM_E_SEEK;
        else
            target = size - move.QuadPart;
        break;
    default:
        hr = E_INVALIDARG;
        break;
    }
    if (SUCCEEDED(hr)) {
        const bool sequential = (m_mode & kStreamBlockCached) == 0;
        if (sequential && m_blockSize > 0 && m_bufferIndex >= 0 &&
            target / m_blockSize < static_cast<LONGLONG>(m_bufferIndex))
            _seq_Restart();
        m_position = static_cast<ULONGLONG>(target);
    }
    if (newPosition)
        newPosition->QuadPart = m_position;
    return hr;
}

HRESULT IPackedFileStream::SetSize(ULARGE_INTEGER) {
    return STG_E_INVALIDFUNCTION;
}
HRESULT IPackedFileStream::Commit(DWORD) {
    return VerifyContent();
}
HRESULT IPackedFileStream::Revert() {
    return S_OK;
}
HRESULT IPackedFileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}
HRESULT IPackedFileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT IPackedFileStream::Stat(STATSTG* statstg, DWORD statFlag) {
    if (!statstg)
        return STG_E_INVALIDPOINTER;
    *statstg = STATSTG{};
    statstg->type = STGTY_STREAM;
    statstg->cbSize.QuadPart = m_size;
    m_file->GetFileTime(&statstg->mtime);
    statstg->grfMode = STGM_READ;
    if (statFlag == STATFLAG_DEFAULT) {
        const std::u16string& name = m_file->GetName();
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(WCHAR)));
        if (!copy)
            return E_OUTOFMEMORY;
        std::copy(name.begin(), name.end(), copy);
        copy[name.size()] = 0;
        statstg->pwcsName = copy;
    }
    return S_OK;
}

HRESULT IPackedFileStream::Clone(IStream** stream) {
    if (!stream)
        return E_INVALIDARG;
    *stream = nullptr;
    auto* clone = new (std::nothrow) IPackedFileStream(m_file, m_mode);
    if (!clone)
        return E_FAIL;
    // The held block goes along with the checksums that include it (decoded again when it is not
    // in the buffer); without it the clone would add blocks to the sums a second time.
    clone->m_position = m_position;
    clone->m_bufferIndex = m_bufferIndex;
    clone->m_bufferLength = m_bufferLength;
    clone->m_heldPosition = m_heldPosition;
    clone->m_nextBlockPosition = m_nextBlockPosition;
    clone->m_checksum = m_checksum;
    clone->m_crc = m_crc;
    if (m_bufferValid && clone->_seq_Buffers(true)) {
        std::memcpy(clone->m_buffer.get(), m_buffer.get(), m_bufferLength);
        clone->m_bufferValid = true;
    }
    *stream = clone;
    return S_OK;
}

HRESULT IPackedFileStream::GetBlockSize(DWORD* blockSize) {
    if (!blockSize)
        return E_INVALIDARG;
    *blockSize = static_cast<DWORD>(m_blockSize);
    return S_OK;
}

HRESULT IPackedFileStream::VerifyContent() {
    if (m_size == 0)
        return S_OK;
    if (m_checksum.Value() != m_file->GetStoredValue())
        return S_FALSE;
    if (m_hasCrcTag && m_crc.GetResult() != m_expectedCrc)
        return S_FALSE;
    return S_OK;
}
