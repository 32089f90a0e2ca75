// The shared part of the engine's IStream implementations: the stream's name and access mode (as
// Stat reports them), ISequentialStream in QueryInterface, and the block-wise copy between streams.
#pragma once

#include <string>

#include "jxvfs/CCOMRefCount.h"

class CStreamImplBase : public CCOMRefCount<IStream> {
public:
    // IStream::CopyTo of this stream: CopyStream with this stream as the source.
    HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                   ULARGE_INTEGER* written) override;

    // Copies up to `count` bytes from the source's position to the target's in blocks of up to
    // 1 MiB, until the count is reached, a read delivers 0 bytes or a call fails (its result is
    // returned; a short write is STG_E_WRITEFAULT). The totals are reported even on failure.
    static HRESULT CopyStream(IStream* source, IStream* target, ULONGLONG count, ULONGLONG* read,
                              ULONGLONG* written);
    // The written total of a copy, or 0 when it failed.
    static ULONGLONG CopyStreamTotal(IStream* source, IStream* target, ULONGLONG count);

    const std::u16string& GetName() const { return m_name; }

protected:
    bool _com_Answers(REFIID riid) const override;

    std::u16string m_name;
    DWORD m_accessMode = STGM_READ;
};
