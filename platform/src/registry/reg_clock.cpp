// The clock of the registry's last-write times.
#include "registry/reg_clock.h"

#include <chrono>
#include <mutex>

namespace jxplat::registry {

namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kRegUnixEpochAsFileTime = 116444736000000000ull;

std::mutex& _RegClockLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::function<uint64_t()>& _RegClock() {
    static auto* clock = new std::function<uint64_t()>;
    return *clock;
}

} // namespace

uint64_t RegNow() {
    {
        std::lock_guard<std::mutex> guard(_RegClockLock());
        if (_RegClock())
            return _RegClock()();
    }
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return kRegUnixEpochAsFileTime +
           static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100);
}

void SetRegistryClock(std::function<uint64_t()> clock) {
    std::lock_guard<std::mutex> guard(_RegClockLock());
    _RegClock() = std::move(clock);
}

} // namespace jxplat::registry
