#include "jxvfs/container/HostFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace jxpkg {

bool ReadHostFileBytes(const std::string& path, std::vector<BYTE>& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    BYTE buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.insert(out.end(), buffer, buffer + n);
    }
    ::close(fd);
    return true;
}

bool WriteAllToHostFd(int fd, const BYTE* data, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace jxpkg
