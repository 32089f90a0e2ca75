// Split and trim helpers.
#include "jxplat/text.h"

namespace jxtext {

std::vector<std::u16string> Split(std::u16string_view text, char16_t separator) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == std::u16string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::u16string Trim(std::u16string_view text, std::u16string_view set) {
    const size_t first = text.find_first_not_of(set);
    if (first == std::u16string_view::npos) {
        return std::u16string();
    }
    const size_t last = text.find_last_not_of(set);
    return std::u16string(text.substr(first, last - first + 1));
}

} // namespace jxtext
