// GetFileVersionInfoSizeW and GetFileVersionInfoW: the version resource of a file, found in its
// PE resource directory and copied as it is stored.
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"
#include "jxplat/winver.h"
#include "version/pe_resources.h"

using namespace jxplat;

namespace {

// Closes the host descriptor on every way out.
class CHostFile {
public:
    explicit CHostFile(int fd) : m_fd(fd) {}
    ~CHostFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CHostFile(const CHostFile&) = delete;
    CHostFile& operator=(const CHostFile&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

// Finds the version resource of the file opened from host; false with the last error set.
bool LocateVersion(const CHostFile& file, const std::string& host, VersionResourceLocation& location) {
    if (file.Fd() < 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? MissingNameError(host)
                                                         : Win32ErrorFromErrno(errno));
        return false;
    }
    if (DWORD error = FindVersionResource(file.Fd(), location)) {
        SetLastError(error);
        return false;
    }
    return true;
}

int OpenForReading(const std::string& host) {
    // O_NONBLOCK: a FIFO at the path must not stall the caller; regular files ignore it.
    return ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

} // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
    if (handle)
        *handle = 0;
    std::string host;
    if (!MapFileName(fileName, host))
        return 0;
    CHostFile file(OpenForReading(host));
    VersionResourceLocation location;
    if (!LocateVersion(file, host, location))
        return 0;
    return location.size;
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data) {
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (length < 6) { // a block header must fit: VerQueryValueW reads it without knowing the size
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::string host;
    if (!MapFileName(fileName, host))
        return FALSE;
    CHostFile file(OpenForReading(host));
    VersionResourceLocation location;
    if (!LocateVersion(file, host, location))
        return FALSE;

    BYTE* out = static_cast<BYTE*>(data);
    const DWORD count = std::min(length, location.size);
    for (DWORD done = 0; done < count;) {
        ssize_t got =
            ::pread(file.Fd(), out + done, count - done, static_cast<off_t>(location.offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            SetLastError(got < 0 ? Win32ErrorFromErrno(errno) : ERROR_HANDLE_EOF);
            return FALSE;
        }
        done += static_cast<DWORD>(got);
    }
    // VerQueryValueW knows only the root block's length: keep it inside what was copied.
    const DWORD rootLength = out[0] | (out[1] << 8);
    if (rootLength > count) {
        out[0] = static_cast<BYTE>(count & 0xFF);
        out[1] = static_cast<BYTE>(count >> 8);
    }
    return TRUE;
}
