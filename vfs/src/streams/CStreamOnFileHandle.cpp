#include "jxvfs/CStreamOnFileHandle.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

DWORD AllocationGranularity() {
    static const DWORD granularity = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return info.dwAllocationGranularity ? info.dwAllocationGranularity : 65536u;
    }();
    return granularity;
}

HRESULT LastErrorResult() {
    DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

OVERLAPPED OverlappedAt(ULONGLONG offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

} // namespace

CStreamOnFileHandle::CStreamOnFileHandle(HANDLE file, bool readWrite, bool ownsHandle, ULONGLONG baseOffset,
                                         ULONGLONG length)
    : m_hFile(file ? file : INVALID_HANDLE_VALUE), m_base(baseOffset), m_length(length),
      m_bOwnsHandle(ownsHandle) {
    if (readWrite)
        m_accessMode = STGM_READWRITE;
    else if (m_hFile != INVALID_HANDLE_VALUE && length == 0)
        m_length = _fs_Length();
}

CStreamOnFileHandle::~CStreamOnFileHandle() {
    if (m_bOwnsHandle && m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
}

ULONGLONG CStreamOnFileHandle::_fs_Length() const {
    if (m_length)
        return m_length;
    LARGE_INTEGER size{};
    if (m_hFile == INVALID_HANDLE_VALUE || !GetFileSizeEx(m_hFile, &size))
        return 0;
    ULONGLONG bytes = static_cast<ULONGLONG>(size.QuadPart);
    return bytes > m_base ? bytes - m_base : 0;
}

HRESULT CStreamOnFileHandle::Read(void* buffer, ULONG count, ULONG* read) {
    if (read)
        *read = 0;
    if (!buffer)
        return STG_E_INVALIDPOINTER;
    // Cut to what is left; at or past the end a read delivers nothing and succeeds.
    const ULONGLONG length = _fs_Length();
    const ULONGLONG left = length > m_position ? length - m_position : 0;
    const ULONG wanted = static_cast<ULONG>(std::min<ULONGLONG>(count, left));
    if (wanted == 0)
        return S_OK;
    HRESULT hr = _fs_ReadMapped(buffer, wanted);
    if (hr == E_INVALIDARG || hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT))
        hr = _fs_ReadDirect(buffer, wanted);
    if (FAILED(hr))
        return hr;
    m_position += wanted;
    if (read)
        *read = wanted;
    return S_OK;
}

HRESULT CStreamOnFileHandle::_fs_ReadMapped(void* buffer, ULONG count) {
    const ULONGLONG at = m_base + m_position;
    const ULONGLONG viewStart = at - at % AllocationGranularity();
    const SIZE_T skip = static_cast<SIZE_T>(at - viewStart);
    HANDLE mapping = CreateFileMappingW(m_hFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping)
        return LastErrorResult();
    void* view = MapViewOfFileEx(mapping, FILE_MAP_READ, static_cast<DWORD>(viewStart >> 32),
                                 static_cast<DWORD>(viewStart), skip + count, nullptr);
    if (!view) {
        HRESULT hr = LastErrorResult();
        CloseHandle(mapping);
        return hr;
    }
    std::memcpy(buffer, static_cast<const BYTE*>(view) + skip, count);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return S_OK;
}

HRESULT CStreamOnFileHandle::_fs_ReadDirect(void* buffer, ULONG count) {
    OVERLAPPED overlapped = OverlappedAt(m_base + m_position);
    DWORD got = 0;
    if (!ReadFile(m_hFile, buffer, count, &got, &overlapped))
        return LastErrorResult();
    return got == count ? S_OK : HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
}

HRESULT CStreamOnFileHandle::_fs_CreateTemporaryFile() {
    WCHAR folder[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return LastErrorResult();
    WCHAR name[MAX_PATH];
    if (!GetTempFileNameW(folder, u"TFR", 0, name))
        return LastErrorResult();
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE file = CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inheritable, CREATE_ALWAYS,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        HRESULT hr = LastErrorResult();
        DeleteFileW(name);
        return hr;
    }
    m_hFile = file;
    m_bOwnsHandle = true;
    m_name = name;
    m_accessMode = STGM_READWRITE;
    return S_OK;
}

HRESULT CStreamOnFileHandle::Write(const void* buffer, ULONG count, ULONG* written) {
    if (written)
        *written = 0;
    if (m_hFile == INVALID_HANDLE_VALUE) {
        HRESULT hr = _fs_CreateTemporaryFile();
        if (FAILED(hr))
            return hr;
    }
    if (!buffer)
        return STG_E_INVALIDPOINTER;
    if (count == 0)
        return S_OK;
    OVERLAPPED overlapped = OverlappedAt(m_base + m_position);
    DWORD put = 0;
    if (!WriteFile(m_hFile, buffer, count, &put, &overlapped))
        return LastErrorResult();
    m_position += put;
    if (written)
        *written = put;
    return S_OK;
}

HRESULT CStreamOnFileHandle::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
    HRESULT hr = S_OK;
    ULONGLONG target = m_position;
    switch (origin) {
    case STREAM_SEEK_SET:
        target = static_cast<ULONGLONG>(move.QuadPart);
        break;
    case STREAM_SEEK_CUR:
        target = m_position + static_cast<ULONGLONG>(move.QuadPart);
        break;
    case STREAM_SEEK_END: {
        const ULONGLONG length = _fs_Length();
        if (static_cast<ULONGLONG>(move.QuadPart) > length)
            hr = E_INVALIDARG;
        else
            target = length - static_cast<ULONGLONG>(move.QuadPart);
        break;
    }
    default:
        hr = STG_E_INVALIDFUNCTION;
        break;
    }
    if (SUCCEEDED(hr))
        m_position = target;
    if (newPosition)
        newPosition->QuadPart = m_position;
    return hr;
}

HRESULT CStreamOnFileHandle::SetSize(ULARGE_INTEGER newSize) {
    if (m_hFile == INVALID_HANDLE_VALUE) {
        HRESULT hr = _fs_CreateTemporaryFile();
        if (FAILED(hr))
            return hr;
    }
    if (!SetFilePointerEx(m_hFile, MakeLargeInteger(static_cast<LONGLONG>(m_base + newSize.QuadPart)),
                          nullptr, FILE_BEGIN) ||
        !SetEndOfFile(m_hFile))
        return LastErrorResult();
    if (m_length)
        m_length = newSize.QuadPart;
    return Seek(MakeLargeInteger(static_cast<LONGLONG>(newSize.QuadPart)), STREAM_SEEK_SET, nullptr);
}

HRESULT CStreamOnFileHandle::Commit(DWORD) {
    return E_NOTIMPL;
}
HRESULT CStreamOnFileHandle::Revert() {
    return E_NOTIMPL;
}
HRESULT CStreamOnFileHandle::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return E_NOTIMPL;
}
HRESULT CStreamOnFileHandle::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return E_NOTIMPL;
}

HRESULT CStreamOnFileHandle::Stat(STATSTG* statstg, DWORD statFlag) {
    if (!statstg)
        return STG_E_INVALIDPOINTER;
    *statstg = STATSTG{};
    statstg->type = STGTY_STREAM;
    statstg->cbSize.QuadPart = _fs_Length();
    statstg->grfMode = m_accessMode;
    if (statFlag == STATFLAG_DEFAULT) {
        auto* name = static_cast<LPWSTR>(CoTaskMemAlloc((m_name.size() + 1) * sizeof(WCHAR)));
        if (!name)
            return E_OUTOFMEMORY;
        std::copy(m_name.begin(), m_name.end(), name);
        name[m_name.size()] = 0;
        statstg->pwcsName = name;
    }
    return S_OK;
}

HRESULT CStreamOnFileHandle::Clone(IStream** stream) {
    if (!stream)
        return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    auto* clone = new (std::nothrow) CStreamOnFileHandle(INVALID_HANDLE_VALUE, true, true);
    if (!clone)
        return E_OUTOFMEMORY;
    const ULONGLONG saved = m_position;
    const ULONGLONG size = _fs_Length();
    m_position = 0;
    const ULONGLONG copied = CopyStreamTotal(this, clone, size);
    m_position = saved;
    clone->m_position = 0;
    if (copied != size) {
        clone->Release();
        return E_FAIL;
    }
    *stream = clone;
    return S_OK;
}
