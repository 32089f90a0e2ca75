// String resources of the program.
#include <map>
#include <mutex>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "jxplat/winuser.h"

namespace {

std::map<UINT, const char16_t*>& Table() {
    static auto* table = new std::map<UINT, const char16_t*>;
    return *table;
}

std::mutex& TableLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

} // namespace

namespace jxplat {
void RegisterStringResources(const StringResource* table, size_t count) {
    std::lock_guard<std::mutex> guard(TableLock());
    for (size_t i = 0; i < count; ++i)
        Table()[table[i].id] = table[i].text;
}
} // namespace jxplat

int LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int bufferMax) {
    const char16_t* text = nullptr;
    {
        std::lock_guard<std::mutex> guard(TableLock());
        auto it = Table().find(id);
        if (it != Table().end())
            text = it->second;
    }
    if (!text) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        if (buffer && bufferMax > 0)
            buffer[0] = 0;
        return 0;
    }
    int length = static_cast<int>(jxtext::Length(text));
    if (!buffer)
        return 0;
    if (bufferMax == 0) {
        // Windows hands out a read-only pointer to the resource itself.
        *reinterpret_cast<const char16_t**>(buffer) = text;
        return length;
    }
    int copied = length < bufferMax - 1 ? length : bufferMax - 1;
    for (int i = 0; i < copied; ++i)
        buffer[i] = text[i];
    buffer[copied] = 0;
    return copied;
}
