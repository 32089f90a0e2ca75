// A carrier on disk, opened through the system's file calls and read with positional reads (the
// offset in an OVERLAPPED), so that block decoding on one thread and a repacking copy on another
// never move each other's file position.
#include "jxvfs/container/CPkgAccessor.h"

#include "jxplat/text.h"
#include "jxvfs/container/PackageTrace.h"

CFilePkgAccessor::CFilePkgAccessor(const std::u16string& windowsPath) {
    const DWORD attributes = GetFileAttributesW(windowsPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        m_path = windowsPath;
}

CFilePkgAccessor::~CFilePkgAccessor() {
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
}

bool CFilePkgAccessor::Open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        if (m_path.empty()) {
            m_openError = ERROR_FILE_NOT_FOUND;
            m_openCount = 0;
            return false;
        }
        // Others may read, replace or delete the carrier while it is mounted.
        m_hFile =
            CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hFile == INVALID_HANDLE_VALUE) {
            m_openError = GetLastError();
            const std::u16string text = jxtext::Format(u"Create File for %s returned: %i", m_path.c_str(),
                                                       static_cast<int>(m_openError));
            OutputDebugStringW(text.c_str());
            m_openCount = 0;
            return false;
        }
        LARGE_INTEGER size = {};
        m_size = GetFileSizeEx(m_hFile, &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
        m_position = 0;
        m_openError = 0;
    }
    ++m_openCount;
    return true;
}

bool CFilePkgAccessor::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hFile != INVALID_HANDLE_VALUE;
}

ULONGLONG CFilePkgAccessor::GetSize() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_size;
}

bool CFilePkgAccessor::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_openCount <= 0)
        return false;
    if (--m_openCount > 0)
        return false;
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    return true;
}

DWORD CFilePkgAccessor::Read(DWORD count, void* buffer) {
    return ReadAt(Tell(), count, buffer);
}

DWORD CFilePkgAccessor::ReadAt(ULONGLONG offset, DWORD count, void* buffer) {
    HANDLE file;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        file = m_hFile;
    }
    if (file == INVALID_HANDLE_VALUE || buffer == nullptr)
        return 0;
    if (offset > static_cast<ULONGLONG>(INT64_MAX))
        return 0;
    // One call reads the whole count unless the file ends first.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD total = 0;
    if (!ReadFile(file, buffer, count, &total, &at))
        total = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_position = offset + total;
    return total;
}

ULONGLONG CFilePkgAccessor::Seek(LONGLONG distance, DWORD method) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_hFile == INVALID_HANDLE_VALUE)
        return 0;
    LONGLONG base = 0;
    if (method == FILE_CURRENT)
        base = static_cast<LONGLONG>(m_position);
    else if (method == FILE_END)
        base = static_cast<LONGLONG>(m_size);
    const LONGLONG target = base + distance;
    // A position before the start fails and leaves the pointer where it was, as SetFilePointer does.
    if (target >= 0)
        m_position = static_cast<ULONGLONG>(target);
    return m_position;
}

ULONGLONG CFilePkgAccessor::Tell() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hFile != INVALID_HANDLE_VALUE ? m_position : 0;
}
