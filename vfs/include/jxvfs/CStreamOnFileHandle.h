// An IStream over a Win32 file handle: a window (base offset, length) of the file, read through
// read-only mapped views and written with positional writes. A stream without a file makes a
// temporary file on its first write, which goes away with the stream.
#pragma once

#include "jxvfs/CStreamImplBase.h"

class CStreamOnFileHandle : public CStreamImplBase {
public:
    // `length` 0 takes the length from the file (its size less the base). `readWrite` reports the
    // access mode STGM_READWRITE; `ownsHandle` closes the handle with the stream.
    CStreamOnFileHandle(HANDLE file, bool readWrite, bool ownsHandle, ULONGLONG baseOffset = 0,
                        ULONGLONG length = 0);

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT Write(const void* buffer, ULONG count, ULONG* written) override;
    // Origins SET and CUR move without bounds; END takes length - offset and refuses an offset
    // beyond the length (E_INVALIDARG), so that Seek(0, END) reaches the end.
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER newSize) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;
    HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
    HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
    HRESULT Stat(STATSTG* statstg, DWORD statFlag) override;
    // A stream of its own (a temporary file) with a copy of the whole content, positioned at 0.
    HRESULT Clone(IStream** stream) override;

    HANDLE GetHandle() const { return m_hFile; }
    ULONGLONG GetPosition() const { return m_position; }

protected:
    ~CStreamOnFileHandle() override;

private:
    // The length of the window: the given one, or the file's size less the base.
    ULONGLONG _fs_Length() const;
    HRESULT _fs_ReadMapped(void* buffer, ULONG count);
    HRESULT _fs_ReadDirect(void* buffer, ULONG count);
    HRESULT _fs_CreateTemporaryFile();

    HANDLE m_hFile;
    ULONGLONG m_base;
    ULONGLONG m_position = 0;
    ULONGLONG m_length;
    bool m_bOwnsHandle;
};
