// Devices of the product's drivers: a handle is a connection to the driver's Unix-domain socket,
// and each I/O control is one request frame and one answer frame on it.
//
// Request: u32 length of what follows, u32 process id, u32 control code, u32 output size, input.
// Answer:  u32 Win32 error (0 = success), u32 count of output bytes, the output bytes.
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "device/device.h"
#include "jxplat/errhandling.h"
#include "jxplat/ioapiset.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "kernel/objects.h"

namespace jxplat {
namespace {

std::atomic<int> g_OpenDevices{0};

class CDeviceObject : public CKernelObject {
public:
    explicit CDeviceObject(int fd) : m_fd(fd) { ++g_OpenDevices; }
    ~CDeviceObject() override {
        ::close(m_fd);
        --g_OpenDevices;
    }

    // One request and its answer; requests of several threads take turns.
    DWORD Transact(DWORD code, const BYTE* input, DWORD inputSize, BYTE* output, DWORD outputSize,
                   DWORD& count) {
        std::lock_guard<std::mutex> hold(m_lock);
        count = 0;
        if (m_broken)
            return ERROR_GEN_FAILURE;
        std::vector<BYTE> frame(16 + size_t{inputSize});
        const DWORD header[4] = {12 + inputSize, GetCurrentProcessId(), code, outputSize};
        std::memcpy(frame.data(), header, sizeof(header));
        if (inputSize)
            std::memcpy(frame.data() + 16, input, inputSize);
        DWORD answer[2] = {0, 0};
        const DWORD timeout = Machine().deviceTimeoutMs;
        DWORD error = _dev_Send(frame.data(), frame.size());
        if (error == ERROR_SUCCESS)
            error = _dev_Receive(reinterpret_cast<BYTE*>(answer), sizeof(answer), timeout);
        // A driver that names more bytes than the caller's buffer holds breaks the protocol.
        if (error == ERROR_SUCCESS && answer[1] > outputSize)
            error = ERROR_GEN_FAILURE;
        if (error == ERROR_SUCCESS && answer[1])
            error = _dev_Receive(output, answer[1], timeout);
        if (error != ERROR_SUCCESS) {
            // A late or partial answer would be read as the next request's: the connection is done.
            m_broken = true;
            return error;
        }
        count = answer[1];
        return answer[0];
    }

private:
    DWORD _dev_Send(const BYTE* data, size_t size) {
        while (size) {
            const ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return ERROR_GEN_FAILURE;
            data += sent;
            size -= static_cast<size_t>(sent);
        }
        return ERROR_SUCCESS;
    }

    DWORD _dev_Receive(BYTE* data, size_t size, DWORD timeoutMs) {
        while (size) {
            pollfd ready = {m_fd, POLLIN, 0};
            const int polled = ::poll(&ready, 1, timeoutMs == INFINITE ? -1 : static_cast<int>(timeoutMs));
            if (polled < 0 && errno == EINTR)
                continue;
            if (polled == 0)
                return ERROR_SEM_TIMEOUT;
            const ssize_t got = polled < 0 ? -1 : ::recv(m_fd, data, size, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return ERROR_GEN_FAILURE; // the driver went away in the middle of its answer
            data += got;
            size -= static_cast<size_t>(got);
        }
        return ERROR_SUCCESS;
    }

    int m_fd;
    std::mutex m_lock;
    bool m_broken = false;
};

} // namespace

std::string DeviceSocketPath(const std::u16string& deviceName) {
    return MachinePath("devices/" + jxtext::Utf16ToUtf8(jxtext::ToLower(deviceName)));
}

bool ProcessHoldsDeviceHandle() {
    return g_OpenDevices.load() > 0;
}

bool IsDevicePath(std::u16string_view path) {
    return path.size() > 4 && path.substr(0, 4) == u"\\\\.\\";
}

HANDLE OpenDevice(std::u16string_view path) {
    std::u16string name(path.substr(4));
    if (name.size() > 7 && jxtext::EqualsNoCase(std::u16string_view(name).substr(0, 7), u"Global\\"))
        name = name.substr(7);
    const std::string socketPath = DeviceSocketPath(name);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.empty() || name.find(u'\\') != std::u16string::npos ||
        socketPath.size() >= sizeof(address.sun_path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        // No driver serves the device (no socket, or nobody listens on it).
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return InsertKernelHandle(std::make_shared<CDeviceObject>(fd));
}

} // namespace jxplat

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    auto object = jxplat::ReferenceKernelHandleAs<jxplat::CDeviceObject>(device);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((inBufferSize && !inBuffer) || (outBufferSize && !outBuffer)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The input is copied before the output is written: callers pass one buffer as both.
    std::vector<BYTE> input(static_cast<const BYTE*>(inBuffer),
                            static_cast<const BYTE*>(inBuffer) + inBufferSize);
    DWORD count = 0;
    const DWORD error = object->Transact(ioControlCode, input.data(), inBufferSize,
                                         static_cast<BYTE*>(outBuffer), outBufferSize, count);
    if (bytesReturned)
        *bytesReturned = count;
    if (overlapped) {
        overlapped->Internal = error;
        overlapped->InternalHigh = count;
        if (overlapped->hEvent)
            SetEvent(overlapped->hEvent);
    }
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL) {
    if (!overlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (bytesTransferred)
        *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
    const DWORD error = static_cast<DWORD>(overlapped->Internal);
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}
