// The time limit of an application or prerequisite row.
#include <stdexcept>

#include "JxData_ExecApp.h"

namespace JxSetup::Data {

// The "timeout" text as an unsigned 32-bit decimal. Anything else ends the list: the exception
// goes to the install-action sequence that runs it.
DWORD _exec_ParseTimeout(const std::u16string& text) {
    unsigned long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            throw std::invalid_argument("timeout is not an unsigned number");
        value = value * 10 + static_cast<unsigned>(c - u'0');
        if (value > 0xFFFFFFFFull)
            throw std::out_of_range("timeout does not fit 32 bits");
    }
    return static_cast<DWORD>(value);
}

} // namespace JxSetup::Data
