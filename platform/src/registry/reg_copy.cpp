// Handing names and data to the caller's buffers.
#include "registry/reg_copy.h"

#include <cstring>

namespace jxplat::registry {

LSTATUS RegCopyName(std::u16string_view name, LPWSTR buffer, LPDWORD count) {
    if (name.size() + 1 > *count)
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
    buffer[name.size()] = u'\0';
    *count = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LSTATUS RegCopyData(const CRegValue& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type)
        *type = value.type;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed)
            std::memcpy(data, value.data.data(), needed);
    }
    if (size)
        *size = needed;
    return ERROR_SUCCESS;
}

} // namespace jxplat::registry
