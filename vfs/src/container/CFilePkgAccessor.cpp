// A carrier on disk, read with positional reads so that block decoding on one thread and a
// repacking copy on another never move each other's file position.
#include "jxvfs/container/CPkgAccessor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxvfs/container/PackageTrace.h"

namespace {

DWORD WindowsErrorOfErrno(int error) {
    switch (error) {
    case ENOENT:
        return 2; // ERROR_FILE_NOT_FOUND
    case ENOTDIR:
        return 3; // ERROR_PATH_NOT_FOUND
    case EMFILE:
    case ENFILE:
        return 4; // ERROR_TOO_MANY_OPEN_FILES
    case EACCES:
    case EPERM:
    case EISDIR:
        return 5; // ERROR_ACCESS_DENIED
    case ENOMEM:
        return 8; // ERROR_NOT_ENOUGH_MEMORY
    default:
        return 31; // ERROR_GEN_FAILURE
    }
}

} // namespace

CFilePkgAccessor::CFilePkgAccessor(const std::u16string& windowsPath) {
    const std::string host = jxplat::WindowsToHostPath(windowsPath);
    struct stat st {};
    if (!host.empty() && ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        m_path = windowsPath;
}

CFilePkgAccessor::~CFilePkgAccessor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CFilePkgAccessor::Open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd < 0) {
        if (m_path.empty()) {
            m_openError = 2;
            m_openCount = 0;
            return false;
        }
        const std::string host = jxplat::WindowsToHostPath(m_path);
        m_fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) {
            m_openError = WindowsErrorOfErrno(errno);
            const std::u16string text = jxtext::Format(u"Create File for %s returned: %i", m_path.c_str(),
                                                       static_cast<int>(m_openError));
            OutputDebugStringW(text.c_str());
            m_openCount = 0;
            return false;
        }
        struct stat st {};
        m_size = ::fstat(m_fd, &st) == 0 ? static_cast<ULONGLONG>(st.st_size) : 0;
        m_position = 0;
        m_openError = 0;
    }
    ++m_openCount;
    return true;
}

bool CFilePkgAccessor::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fd >= 0;
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
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return true;
}

DWORD CFilePkgAccessor::Read(DWORD count, void* buffer) {
    const DWORD got = ReadAt(Tell(), count, buffer);
    return got;
}

DWORD CFilePkgAccessor::ReadAt(ULONGLONG offset, DWORD count, void* buffer) {
    int fd;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fd = m_fd;
    }
    if (fd < 0 || buffer == nullptr)
        return 0;
    if (offset > static_cast<ULONGLONG>(INT64_MAX))
        return 0;
    DWORD total = 0;
    while (total < count) {
        const ssize_t n = ::pread(fd, static_cast<BYTE*>(buffer) + total, count - total,
                                  static_cast<off_t>(offset + total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<DWORD>(n);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_position = offset + total;
    return total;
}

ULONGLONG CFilePkgAccessor::Seek(LONGLONG distance, DWORD method) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd < 0)
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
    return m_fd >= 0 ? m_position : 0;
}
