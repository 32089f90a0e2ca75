#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

#include "jxplat/debugapi.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"

namespace {

std::mutex& CaptureLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::function<void(std::u16string_view)>& Capture() {
    static auto* capture = new std::function<void(std::u16string_view)>;
    return *capture;
}

void AppendToTrace(const std::string& utf8) {
    int fd =
        ::open(jxplat::MachinePath("trace.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write per string: O_APPEND keeps lines of concurrent processes whole.
    ssize_t written = ::write(fd, utf8.data(), utf8.size());
    (void)written;
    ::close(fd);
}

} // namespace

void OutputDebugStringW(LPCWSTR text) {
    std::u16string_view view(text ? text : u"", jxtext::Length(text));
    {
        std::lock_guard<std::mutex> guard(CaptureLock());
        if (Capture())
            Capture()(view);
    }
    AppendToTrace(jxtext::Utf16ToUtf8(view));
}

void OutputDebugStringA(LPCSTR text) {
    OutputDebugStringW(jxtext::Utf8ToUtf16(text ? text : "").c_str());
}

BOOL IsDebuggerPresent() {
    return FALSE;
}

namespace jxplat {
void SetDebugOutputCapture(std::function<void(std::u16string_view)> capture) {
    std::lock_guard<std::mutex> guard(CaptureLock());
    Capture() = std::move(capture);
}
} // namespace jxplat
