#include "StreamBuffers.h"

#include <new>
#include <utility>
#include <vector>

namespace jxvfs {
namespace {

constexpr size_t kSparesPerThread = 4;

struct Spare {
    size_t size;
    std::unique_ptr<BYTE[]> buffer;
};

thread_local std::vector<Spare> t_spares;

} // namespace

std::unique_ptr<BYTE[]> TakeStreamBuffer(size_t size) {
    for (auto it = t_spares.begin(); it != t_spares.end(); ++it) {
        if (it->size == size) {
            std::unique_ptr<BYTE[]> buffer = std::move(it->buffer);
            t_spares.erase(it);
            return buffer;
        }
    }
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[size]);
}

void GiveStreamBuffer(std::unique_ptr<BYTE[]> buffer, size_t size) {
    if (!buffer)
        return;
    if (t_spares.size() >= kSparesPerThread)
        t_spares.erase(t_spares.begin());
    t_spares.push_back(Spare{size, std::move(buffer)});
}

} // namespace jxvfs
