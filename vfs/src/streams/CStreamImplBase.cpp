#include "jxvfs/CStreamImplBase.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {
constexpr ULONGLONG kCopyBlock = 1u << 20;
}

bool CStreamImplBase::_com_Answers(REFIID riid) const {
    return riid == IID_ISequentialStream || CCOMRefCount<IStream>::_com_Answers(riid);
}

HRESULT CStreamImplBase::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                ULARGE_INTEGER* written) {
    ULONGLONG readTotal = 0, writtenTotal = 0;
    HRESULT hr = CopyStream(this, target, count.QuadPart, &readTotal, &writtenTotal);
    if (read)
        read->QuadPart = readTotal;
    if (written)
        written->QuadPart = writtenTotal;
    return hr;
}

HRESULT CStreamImplBase::CopyStream(IStream* source, IStream* target, ULONGLONG count, ULONGLONG* read,
                                    ULONGLONG* written) {
    ULONGLONG readTotal = 0, writtenTotal = 0;
    auto report = [&](HRESULT hr) {
        if (read)
            *read = readTotal;
        if (written)
            *written = writtenTotal;
        return hr;
    };
    if (!source || !target)
        return report(E_INVALIDARG);
    const ULONG blockSize = static_cast<ULONG>(std::min(count, kCopyBlock));
    if (blockSize == 0)
        return report(S_OK);
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[blockSize]);
    if (!block)
        return report(E_OUTOFMEMORY);
    while (readTotal < count) {
        ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(blockSize, count - readTotal));
        ULONG got = 0;
        HRESULT hr = source->Read(block.get(), want, &got);
        if (FAILED(hr))
            return report(hr);
        if (got == 0)
            break;
        readTotal += got;
        ULONG put = 0;
        hr = target->Write(block.get(), got, &put);
        writtenTotal += put;
        if (FAILED(hr))
            return report(hr);
        if (put != got)
            return report(STG_E_WRITEFAULT);
    }
    return report(S_OK);
}

ULONGLONG CStreamImplBase::CopyStreamTotal(IStream* source, IStream* target, ULONGLONG count) {
    ULONGLONG written = 0;
    return SUCCEEDED(CopyStream(source, target, count, nullptr, &written)) ? written : 0;
}
