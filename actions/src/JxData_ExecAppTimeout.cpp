// The time limit of an application or prerequisite row.
#include "JxData_ExecApp.h"

namespace JxSetup::Data {

std::optional<DWORD> _exec_ParseTimeout(const std::u16string& text) {
    if (text.empty())
        return std::nullopt;
    unsigned long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - u'0');
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

} // namespace JxSetup::Data
